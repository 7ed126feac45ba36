#pragma once

#include "commands/CommandEdit.h"

#include <QString>

#include <functional>

class QRandomGenerator;

namespace korimado {

class TextReader;

// The cores of the commands that work on whole-line blocks: from the text and the blocks (whole
// lines, terminators included, as the editor gives them) to the replacements.
class LineEdits {
public:
    LineEdits() = delete;

    // Each block replaced by transform(its text).
    static CommandEdit transformBlocks(const TextReader& text, const std::vector<TextRange>& blocks,
                                       const std::function<QString(const QString&)>& transform);

    // The block twice; a last line without terminator gets `ending` between the copies, and an
    // empty block (the empty last line) becomes `ending` alone.
    static QString duplicate(const QString& block, const QString& ending);
    // A caret joins its line with the next: the first block grows by the line after it.
    static std::vector<TextRange> blocksToJoin(const TextReader& text, std::vector<TextRange> blocks, bool primaryIsCaret);
    // The lines in random order, each position keeping the terminator it had.
    static QString shuffle(const QString& block, QRandomGenerator& random);
    // Each block swapped with the line above (up) or below; blocks at the text's edge are skipped.
    static CommandEdit moveUp(const TextReader& text, const std::vector<TextRange>& blocks);
    static CommandEdit moveDown(const TextReader& text, const std::vector<TextRange>& blocks);
    // Spaces and tabs at the end of every line removed.
    static QString trimTrailingWhitespace(const QString& block);
    // marker + " " after the indentation of every line, blank lines and commented ones too.
    static QString inlineComment(const QString& block, const QString& marker);
    // A tab, or tabWidth spaces (at least one), before every line.
    static QString shiftRight(const QString& block, int tabWidth, bool usesSpaces);
};

}  // namespace korimado
