#pragma once

#include "preview/TokenEncoding.h"

#include <QString>
#include <QStringView>

#include <vector>

namespace korimado {

// Splits a text into the pieces of an encoding's pre-tokenizer expression (LocalTokenizer::pattern)
// in one forward pass, with the choices ICU's backtracking matcher makes: the same pieces, without
// a matcher, its frames or its stack. `$` and the look-ahead see the end of the text given.
class PreTokenizer {
public:
    explicit PreTokenizer(TokenEncoding encoding) : cl100k_(encoding == TokenEncoding::cl100k) {}

    // The end of the piece that starts at `at` (< length), or -1 where the expression matches
    // nothing there.
    qsizetype pieceEnd(const char16_t* text, qsizetype length, qsizetype at) const
    {
        return cl100k_ ? cl100kEnd(text, length, at) : o200kEnd(text, length, at);
    }

    // The piece ends ICU's matcher finds for the expression, up to the first gap: what the scanner
    // is checked against.
    static std::vector<qsizetype> expressionEnds(TokenEncoding encoding, QStringView text);
    std::vector<qsizetype> ends(QStringView text) const;

private:
    static qsizetype o200kEnd(const char16_t* text, qsizetype length, qsizetype at);
    static qsizetype cl100kEnd(const char16_t* text, qsizetype length, qsizetype at);

    bool cl100k_;
};

}  // namespace korimado
