#pragma once

#include <QStringView>

#include <unicode/uversion.h>

#include <memory>

U_NAMESPACE_BEGIN
class BreakIterator;
U_NAMESPACE_END
struct UText;

namespace korimado {

// The characters scripts and the character counts count: extended grapheme clusters (an emoji sequence, a letter with its
// combining marks, CR LF), walked over a text without copying it. Units no rule can join (ASCII,
// kana, kanji, most letters) need no break iterator, so ordinary text goes fast.
class CharacterClusters {
public:
    explicit CharacterClusters(QStringView text);
    ~CharacterClusters();
    CharacterClusters(const CharacterClusters&) = delete;
    CharacterClusters& operator=(const CharacterClusters&) = delete;

    // The end of the character that starts at offset (a character boundary); the text's length
    // at the end.
    qsizetype next(qsizetype offset);

    static qsizetype count(QStringView text);
    // Whether a character always ends between units a and b, whatever comes before or after.
    static bool endsBetween(char16_t a, char16_t b);
    // The UTF-16 length of the first n characters; the whole length when there are fewer.
    static qsizetype offset(QStringView text, qsizetype characters);

private:
    QStringView text_;
    std::unique_ptr<UText, UText* (*)(UText*)> utext_;
    std::unique_ptr<icu::BreakIterator> iterator_;
};

}  // namespace korimado
