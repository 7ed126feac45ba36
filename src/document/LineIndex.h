#pragma once

#include "platform/text/TextRange.h"

#include <QString>

#include <vector>

namespace korimado {

class TextStorage;

// The line starts of a document's text in UTF-16 units, kept in step with every edit. Shared
// (through std::shared_ptr) by the document and its rulers; main thread only.
// Breaks: LF, CR, CR LF (one break), NEL, LS, PS.
class LineIndex {
public:
    LineIndex();
    explicit LineIndex(const QString& text);

    // Strictly increasing, always beginning with 0; a text ending in a break has a last entry equal
    // to its length.
    const std::vector<qsizetype>& starts() const { return starts_; }
    qsizetype length() const { return length_; }
    // Units examined by the last rebuild or update.
    qsizetype lastRescannedUnits() const { return lastRescannedUnits_; }

    void rebuild(const QString& text);
    // After an edit of `text`: editedRange is in the new text, delta the change in length.
    void update(const QString& text, TextRange editedRange, qsizetype delta);
    // The same over a document's storage, reading only the rescanned lines (never flattening it).
    void rebuild(const TextStorage& storage);
    void update(const TextStorage& storage, TextRange editedRange, qsizetype delta);

    // The 0-based line holding a UTF-16 offset; offsets past the end give the last line.
    qsizetype line(qsizetype at) const;
    qsizetype lineCount() const { return static_cast<qsizetype>(starts_.size()); }
    qsizetype start(qsizetype line) const { return starts_[static_cast<size_t>(line)]; }
    // The line's units including its break.
    TextRange lineRange(qsizetype line) const;

private:
    // Appends the line starts produced by the breaks inside units, which begin at offset base.
    static void scan(QStringView units, qsizetype base, std::vector<qsizetype>& out);
    // The rescan window [from, to) of an edit, or false when only a rebuild can follow it.
    bool rescanWindow(qsizetype newLength, TextRange editedRange, qsizetype delta, qsizetype& from,
                      qsizetype& to) const;
    // Replaces the lines of the window with the starts scanned from its units.
    void applyRescan(QStringView window, qsizetype from, qsizetype to, TextRange editedRange, qsizetype delta,
                     qsizetype newLength);

    std::vector<qsizetype> starts_;
    qsizetype length_ = 0;
    qsizetype lastRescannedUnits_ = 0;
    std::vector<qsizetype> run_;  // scratch for update, kept to avoid an allocation per keystroke
};

}  // namespace korimado
