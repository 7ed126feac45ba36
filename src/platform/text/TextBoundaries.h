#pragma once

#include "platform/text/TextRange.h"

#include <QString>

#include <functional>

namespace korimado {

// Caret stops, words and paragraphs over a text that may be too large to copy: the text is reached
// through a fetch function, and only a window around the position asked about is read. Grapheme and
// word breaks come from ICU (its Unicode tables are newer than Qt's). Paragraphs end at LF, CR,
// CR LF, NEL, LS and PS; a CR LF is never split.
class TextBoundaries {
public:
    // Returns the text in [from, to); the callers keep 0 <= from <= to <= length.
    using Fetch = std::function<QString(qsizetype from, qsizetype to)>;

    TextBoundaries(qsizetype length, Fetch fetch);
    explicit TextBoundaries(const QString& text);

    qsizetype length() const { return length_; }

    // The caret stop before / after pos (pos itself at the text's ends).
    qsizetype previousGrapheme(qsizetype pos) const;
    qsizetype nextGrapheme(qsizetype pos) const;
    // pos when it is a caret stop, else the start of the cluster it falls in.
    qsizetype graphemeStart(qsizetype pos) const;
    bool isGraphemeBoundary(qsizetype pos) const { return graphemeStart(pos) == pos; }

    // The word (or run of spaces, or punctuation mark) at pos, for selection by double click.
    TextRange wordRange(qsizetype pos) const;
    // Start of the word before pos / end of the word after pos, skipping spaces and punctuation.
    qsizetype previousWordStart(qsizetype pos) const;
    qsizetype nextWordEnd(qsizetype pos) const;

    static bool isLineBreak(char16_t c)
    {
        return c == u'\n' || c == u'\r' || c == 0x0085 || c == 0x2028 || c == 0x2029;
    }
    // Index of the first unit in [i, n) of p that may be a line break (any unit up to CR, NEL, LS or
    // PS), or n. Scans 8 units at a time where it can: every break scanner goes through here.
    static qsizetype firstPossibleBreak(const char16_t* p, qsizetype i, qsizetype n);
    qsizetype paragraphStart(qsizetype pos) const;
    // End of the paragraph's contents (before its break) and end after its break.
    qsizetype paragraphContentsEnd(qsizetype pos) const;
    qsizetype paragraphEnd(qsizetype pos) const;
    // The whole paragraphs touched by range, breaks included.
    TextRange paragraphRange(TextRange range) const;

private:
    struct Window {
        qsizetype start = 0;
        QString text;
    };
    Window window(qsizetype from, qsizetype to) const;
    qsizetype clamp(qsizetype pos) const { return pos < 0 ? 0 : (pos > length_ ? length_ : pos); }

    qsizetype length_;
    Fetch fetch_;
};

}  // namespace korimado
