#include "commands/LineEdits.h"

#include "commands/EditingTransforms.h"
#include "editor/TextReader.h"

#include <QRandomGenerator>

#include <algorithm>

namespace korimado {

CommandEdit LineEdits::transformBlocks(const TextReader& text, const std::vector<TextRange>& blocks,
                                       const std::function<QString(const QString&)>& transform)
{
    CommandEdit edit;
    for (TextRange block : blocks) edit.add(block, transform(text.substring(block)));
    return edit;
}

QString LineEdits::duplicate(const QString& block, const QString& ending)
{
    if (block.isEmpty()) return ending;
    const std::vector<EditingTransforms::Line> lines = EditingTransforms::lines(block);
    if (!lines.back().ending.isEmpty()) return block + block;
    return block + ending + block;
}

std::vector<TextRange> LineEdits::blocksToJoin(const TextReader& text, std::vector<TextRange> blocks, bool primaryIsCaret)
{
    if (!primaryIsCaret || blocks.empty() || blocks.front().end() >= text.length()) return blocks;
    const TextReader::Line next = text.lineAt(blocks.front().end());
    blocks.front() = TextRange::fromBounds(blocks.front().location, next.end);
    return blocks;
}

QString LineEdits::shuffle(const QString& block, QRandomGenerator& random)
{
    std::vector<EditingTransforms::Line> lines = EditingTransforms::lines(block);
    std::vector<QString> endings;
    endings.reserve(lines.size());
    for (const auto& line : lines) endings.push_back(line.ending);
    for (size_t i = lines.size(); i > 1; --i) {
        const size_t j = static_cast<size_t>(random.bounded(static_cast<quint64>(i)));
        std::swap(lines[i - 1], lines[j]);
    }
    for (size_t i = 0; i < lines.size(); ++i) lines[i].ending = endings[i];
    return EditingTransforms::joined(lines);
}

CommandEdit LineEdits::moveUp(const TextReader& text, const std::vector<TextRange>& blocks)
{
    CommandEdit edit;
    for (TextRange block : blocks) {
        if (block.location <= 0) continue;
        const TextReader::Line above = text.lineAt(block.location - 1);
        const TextRange aboveRange = TextRange::fromBounds(above.start, above.end);
        edit.add(TextRange::fromBounds(above.start, block.end()),
                 EditingTransforms::swapAdjacentLineBlocks(text.substring(aboveRange), text.substring(block)));
    }
    return edit;
}

CommandEdit LineEdits::moveDown(const TextReader& text, const std::vector<TextRange>& blocks)
{
    CommandEdit edit;
    for (TextRange block : blocks) {
        if (block.end() >= text.length()) continue;
        const TextReader::Line below = text.lineAt(block.end());
        const TextRange belowRange = TextRange::fromBounds(below.start, below.end);
        edit.add(TextRange::fromBounds(block.location, below.end),
                 EditingTransforms::swapAdjacentLineBlocks(text.substring(block), text.substring(belowRange)));
    }
    return edit;
}

QString LineEdits::trimTrailingWhitespace(const QString& block)
{
    std::vector<EditingTransforms::Line> lines = EditingTransforms::lines(block);
    for (auto& line : lines) {
        qsizetype end = line.content.size();
        while (end > 0 && (line.content[end - 1] == u' ' || line.content[end - 1] == u'\t')) --end;
        line.content.truncate(end);
    }
    return EditingTransforms::joined(lines);
}

QString LineEdits::inlineComment(const QString& block, const QString& marker)
{
    std::vector<EditingTransforms::Line> lines = EditingTransforms::lines(block);
    for (auto& line : lines) {
        const qsizetype run = EditingTransforms::indentationLength(line.content);
        line.content.insert(run, marker + u' ');
    }
    return EditingTransforms::joined(lines);
}

QString LineEdits::shiftRight(const QString& block, int tabWidth, bool usesSpaces)
{
    const QString unit = usesSpaces ? QString(std::max(tabWidth, 1), u' ') : QStringLiteral("\t");
    std::vector<EditingTransforms::Line> lines = EditingTransforms::lines(block);
    for (auto& line : lines) line.content.prepend(unit);
    return EditingTransforms::joined(lines);
}

}  // namespace korimado
