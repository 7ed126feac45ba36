#include "platform/text/CharacterClusters.h"

#include <unicode/brkiter.h>
#include <unicode/utext.h>

namespace korimado {

CharacterClusters::CharacterClusters(QStringView text) : text_(text), utext_(nullptr, utext_close) {}

CharacterClusters::~CharacterClusters() = default;

qsizetype CharacterClusters::next(qsizetype offset)
{
    const qsizetype length = text_.size();
    if (offset >= length)
        return length;
    const char16_t unit = text_[offset].unicode();
    if (unit < 0x80) {
        if (offset + 1 == length)
            return length;
        const char16_t following = text_[offset + 1].unicode();
        if (following < 0x80)
            return offset + (unit == u'\r' && following == u'\n' ? 2 : 1);
    }
    if (!iterator_) {
        UErrorCode status = U_ZERO_ERROR;
        utext_.reset(utext_openUChars(nullptr, reinterpret_cast<const UChar*>(text_.utf16()), length, &status));
        iterator_.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_FAILURE(status) || !iterator_ || !utext_) {
            iterator_.reset();
            return offset + 1;
        }
        iterator_->setText(utext_.get(), status);
    }
    const int32_t end = iterator_->following(int32_t(offset));
    return end == icu::BreakIterator::DONE ? length : end;
}

qsizetype CharacterClusters::count(QStringView text)
{
    CharacterClusters characters(text);
    qsizetype count = 0;
    for (qsizetype at = 0; at < text.size(); at = characters.next(at))
        ++count;
    return count;
}

qsizetype CharacterClusters::offset(QStringView text, qsizetype characters)
{
    CharacterClusters walker(text);
    qsizetype at = 0;
    for (qsizetype i = 0; i < characters && at < text.size(); ++i)
        at = walker.next(at);
    return at;
}

}  // namespace korimado
