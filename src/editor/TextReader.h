#pragma once

#include "platform/text/TextBoundaries.h"
#include "platform/text/TextRange.h"

#include <QString>
#include <QStringView>

namespace korimado {

class TextStorage;

// Read access for the editing logic to a text held as a plain string or in the storage's rope.
// Reads near each other are served from a cached block, so scanning a line stays cheap on the rope.
// Not thread-safe; the text must not change while a reader is used.
class TextReader {
public:
    explicit TextReader(QStringView text);
    explicit TextReader(const TextStorage& storage);
    TextReader(const TextReader&) = delete;
    TextReader& operator=(const TextReader&) = delete;

    qsizetype length() const { return length_; }
    // The unit at index, or a null QChar outside the text.
    QChar at(qsizetype index) const
    {
        if (index < 0 || index >= length_) return QChar();
        if (!storage_) return view_[index];
        if (index < blockStart_ || index >= blockStart_ + block_.size()) loadBlock(index);
        return block_[index - blockStart_];
    }
    // Ranges reaching outside the text are clamped to it.
    QString substring(TextRange range) const;

    struct Line {
        qsizetype start = 0;
        qsizetype contentsEnd = 0;  // before the terminator
        qsizetype end = 0;          // after the terminator
    };
    // The line holding index (clamped into the text); the offset at the end of a text that ends
    // with a break is an empty last line.
    Line lineAt(qsizetype index) const;
    // The line that starts at start (a known line start), read forward only.
    Line lineFrom(qsizetype start) const;
    // The user-perceived character that contains index; empty at the text end.
    TextRange composedCharacterRange(qsizetype index) const;

    const TextBoundaries& boundaries() const { return boundaries_; }

private:
    void loadBlock(qsizetype index) const;

    QStringView view_;
    const TextStorage* storage_ = nullptr;
    qsizetype length_ = 0;
    mutable QString block_;
    mutable qsizetype blockStart_ = 0;
    TextBoundaries boundaries_;
};

}  // namespace korimado
