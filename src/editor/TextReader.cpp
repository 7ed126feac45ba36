#include "editor/TextReader.h"

#include "platform/text/TextStorage.h"

namespace korimado {

namespace {
constexpr qsizetype BlockSize = 4096;
}  // namespace

TextReader::TextReader(QStringView text)
    : view_(text),
      length_(text.size()),
      boundaries_(text.size(), [text](qsizetype from, qsizetype to) { return text.mid(from, to - from).toString(); })
{
}

TextReader::TextReader(const TextStorage& storage)
    : storage_(&storage),
      length_(storage.length()),
      boundaries_(storage.length(), [this](qsizetype from, qsizetype to) { return substring(TextRange(from, to - from)); })
{
}

void TextReader::loadBlock(qsizetype index) const
{
    // Centred, so that scans in either direction reuse it.
    blockStart_ = std::max<qsizetype>(0, index - BlockSize / 2);
    block_ = storage_->substring(TextRange(blockStart_, BlockSize));
}

QString TextReader::substring(TextRange range) const
{
    const TextRange r = range.clamped(length_);
    if (!storage_) return view_.mid(r.location, r.length).toString();
    if (r.location >= blockStart_ && r.end() <= blockStart_ + block_.size())
        return block_.mid(r.location - blockStart_, r.length);
    return storage_->substring(r);
}

// Line scans run per line over whole selections, so they read units from the cached block rather
// than copying windows of text.
TextReader::Line TextReader::lineAt(qsizetype index) const
{
    qsizetype j = std::clamp<qsizetype>(index, 0, length_);
    while (j > 0) {
        const QChar before = at(j - 1);
        // A position between CR and LF belongs to the line that break ends.
        if (TextBoundaries::isLineBreak(before.unicode()) && !(before == u'\r' && at(j) == u'\n')) break;
        --j;
    }
    return lineFrom(j);
}

TextReader::Line TextReader::lineFrom(qsizetype start) const
{
    Line line;
    line.start = start;
    qsizetype k = start;
    while (k < length_ && !TextBoundaries::isLineBreak(at(k).unicode())) ++k;
    line.contentsEnd = k;
    line.end = k >= length_ ? k : ((at(k) == u'\r' && at(k + 1) == u'\n') ? k + 2 : k + 1);
    return line;
}

TextRange TextReader::composedCharacterRange(qsizetype index) const
{
    if (index < 0 || index >= length_) return TextRange(std::clamp<qsizetype>(index, 0, length_), 0);
    const qsizetype start = boundaries_.graphemeStart(index);
    return TextRange::fromBounds(start, boundaries_.nextGrapheme(start));
}

}  // namespace korimado
