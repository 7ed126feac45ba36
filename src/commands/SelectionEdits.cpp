#include "commands/SelectionEdits.h"

#include "editor/TextReader.h"
#include "platform/text/TextBoundaries.h"

#include <unicode/brkiter.h>

#include <memory>

namespace korimado {

namespace {

const QString selectionMark = QStringLiteral("${selection}");
const QString cursorMark = QStringLiteral("${cursor}");

// The characters (grapheme clusters) of text before the UTF-16 offset.
qsizetype charactersBefore(icu::BreakIterator& graphemes, const QString& text, qsizetype offset)
{
    if (offset <= 0) return 0;
    const icu::UnicodeString s(false, reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
    graphemes.setText(s);
    // Boundaries inside (0, offset), plus the character that ends at or holds the offset.
    qsizetype count = 1;
    for (int32_t b = graphemes.next(); b != icu::BreakIterator::DONE && b < offset; b = graphemes.next()) ++count;
    return count;
}

qsizetype unitsOfCharacters(icu::BreakIterator& graphemes, const QString& text, qsizetype characters)
{
    const icu::UnicodeString s(false, reinterpret_cast<const UChar*>(text.utf16()), static_cast<int32_t>(text.size()));
    graphemes.setText(s);
    int32_t b = graphemes.first();
    for (qsizetype i = 0; i < characters; ++i) {
        const int32_t next = graphemes.next();
        if (next == icu::BreakIterator::DONE) break;
        b = next;
    }
    return b;
}

bool isWordCharacter(QChar c)
{
    return c.isLetterOrNumber() || c.isMark() || c == u'_' || c.isSurrogate();
}

}  // namespace

SelectionEdits::Result SelectionEdits::surround(const TextReader& text, const std::vector<TextRange>& ranges,
                                                const QString& open, const QString& close)
{
    Result result;
    std::vector<TextRange> selections;
    qsizetype shift = 0;
    for (TextRange range : ranges) {
        const QString replacement = open + text.substring(range) + close;
        result.edit.add(range, replacement);
        selections.emplace_back(range.location + shift + open.size(), range.length);
        shift += replacement.size() - range.length;
    }
    result.selections = std::move(selections);
    return result;
}

SelectionEdits::Result SelectionEdits::insertSnippet(const TextReader& text, const std::vector<TextRange>& ranges,
                                                     const QString& body)
{
    Result result;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> graphemes(
        icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    std::vector<std::optional<qsizetype>> carets;
    bool anyMark = false;
    for (TextRange range : ranges) {
        QString inserted = body;
        inserted.replace(selectionMark, text.substring(range));
        std::optional<qsizetype> caret;
        const qsizetype mark = inserted.indexOf(cursorMark);
        if (mark >= 0 && U_SUCCESS(status)) {
            const qsizetype characters = charactersBefore(*graphemes, inserted, mark);
            inserted.remove(cursorMark);
            caret = unitsOfCharacters(*graphemes, inserted, characters);
            anyMark = true;
        } else {
            inserted.remove(cursorMark);
        }
        result.edit.add(range, inserted);
        carets.push_back(caret);
    }
    if (!anyMark) return result;
    std::vector<TextRange> selections;
    qsizetype shift = 0;
    for (size_t i = 0; i < ranges.size(); ++i) {
        const qsizetype length = result.edit.strings[static_cast<qsizetype>(i)].size();
        selections.emplace_back(ranges[i].location + shift + carets[i].value_or(length), 0);
        shift += length - ranges[i].length;
    }
    result.selections = std::move(selections);
    return result;
}

std::vector<TextRange> SelectionEdits::conversionRanges(const TextReader& text, const std::vector<TextRange>& ranges)
{
    for (TextRange range : ranges)
        if (!range.isEmpty()) return ranges;
    const TextBoundaries& boundaries = text.boundaries();
    std::vector<TextRange> words;
    for (TextRange caret : ranges) {
        TextRange word = boundaries.wordRange(caret.location);
        // A caret just after a word (at a space or the line's end) takes that word.
        const bool isWord = !word.isEmpty() && isWordCharacter(text.at(word.location));
        if (!isWord && caret.location > 0 && isWordCharacter(text.at(caret.location - 1)))
            word = boundaries.wordRange(caret.location - 1);
        words.push_back(word);
    }
    return words;
}

SelectionEdits::LineTarget SelectionEdits::lineTarget(const TextReader& text, qint64 n)
{
    LineTarget target;
    qsizetype t = 0;
    for (qint64 i = 1; i < n; ++i) {
        if (t < text.length()) {
            const qsizetype end = text.lineFrom(t).end;
            if (end > t) {
                target.offset = t = end;
                continue;
            }
        }
        target.offset = t;
        target.beep = true;
        break;
    }
    target.offset = std::min<qsizetype>(target.offset, text.length());
    return target;
}

QString SelectionEdits::inspectionSubject(const QString& text, TextRange selection)
{
    if (!selection.isEmpty()) return text.mid(selection.location, selection.length);
    if (selection.location >= text.size()) return {};
    const TextReader reader(text);
    const TextRange character = reader.composedCharacterRange(selection.location);
    return text.mid(character.location, character.length);
}

}  // namespace korimado
