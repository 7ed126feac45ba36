#include "search/engine/GraphemeProbe.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

namespace korimado {

struct GraphemeProbe::Iterator {
    UText text = UTEXT_INITIALIZER;
    std::unique_ptr<icu::BreakIterator> characters;
    ~Iterator() { utext_close(&text); }
};

GraphemeProbe::GraphemeProbe(const QString& text)
    : text_(reinterpret_cast<const char16_t*>(text.utf16())), length_(text.size())
{
}

GraphemeProbe::~GraphemeProbe() = default;

char32_t GraphemeProbe::scalarAt(qsizetype pos) const
{
    const char16_t u = text_[pos];
    if (QChar::isHighSurrogate(u) && pos + 1 < length_ && QChar::isLowSurrogate(text_[pos + 1]))
        return QChar::surrogateToUcs4(u, text_[pos + 1]);
    return u;
}

static bool isPlain(int32_t breakClass)
{
    return breakClass == U_GCB_OTHER || breakClass == U_GCB_CONTROL || breakClass == U_GCB_CR
        || breakClass == U_GCB_LF;
}

bool GraphemeProbe::isBoundary(qsizetype pos)
{
    if (pos <= 0 || pos >= length_) return true;
    const char16_t before = text_[pos - 1];
    const char16_t after = text_[pos];
    if (before < 0x80 && after < 0x80) return !(before == u'\r' && after == u'\n');
    if (QChar::isLowSurrogate(after) && QChar::isHighSurrogate(before)) return false;
    char32_t previous = before;
    if (QChar::isLowSurrogate(before) && pos >= 2 && QChar::isHighSurrogate(text_[pos - 2]))
        previous = QChar::surrogateToUcs4(text_[pos - 2], before);
    // Two code points of the plain classes always have a boundary between them, CR LF apart;
    // marks, joiners, prepended signs, Hangul syllables and flags need the full rules.
    const int32_t a = u_getIntPropertyValue(UChar32(previous), UCHAR_GRAPHEME_CLUSTER_BREAK);
    const int32_t b = u_getIntPropertyValue(UChar32(scalarAt(pos)), UCHAR_GRAPHEME_CLUSTER_BREAK);
    if (isPlain(a) && isPlain(b)) return !(a == U_GCB_CR && b == U_GCB_LF);
    return iteratorIsBoundary(pos);
}

bool GraphemeProbe::iteratorIsBoundary(qsizetype pos)
{
    if (!iterator_) {
        auto it = std::make_unique<Iterator>();
        UErrorCode status = U_ZERO_ERROR;
        utext_openUChars(&it->text, reinterpret_cast<const UChar*>(text_), length_, &status);
        it->characters.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
        if (U_SUCCESS(status) && it->characters) it->characters->setText(&it->text, status);
        if (U_FAILURE(status) || !it->characters) return true;
        iterator_ = std::move(it);
    }
    return iterator_->characters->isBoundary(int32_t(pos));
}

qsizetype GraphemeProbe::clusterStart(qsizetype pos)
{
    if (pos <= 0) return 0;
    if (isBoundary(pos)) return pos;
    if (!iterator_) iteratorIsBoundary(pos);
    if (!iterator_) return pos;
    const int32_t start = iterator_->characters->preceding(int32_t(pos));
    return start == icu::BreakIterator::DONE ? 0 : start;
}

bool GraphemeProbe::isWordCharacter(char32_t c, bool unicode)
{
    if (!unicode) return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_';
    switch (u_charType(UChar32(c))) {
    case U_UPPERCASE_LETTER:
    case U_LOWERCASE_LETTER:
    case U_TITLECASE_LETTER:
    case U_MODIFIER_LETTER:
    case U_OTHER_LETTER:
    case U_NON_SPACING_MARK:
    case U_COMBINING_SPACING_MARK:
    case U_ENCLOSING_MARK:
    case U_DECIMAL_DIGIT_NUMBER:
    case U_LETTER_NUMBER:
    case U_OTHER_NUMBER:
    case U_CONNECTOR_PUNCTUATION:
        return true;
    default:
        return false;
    }
}

}  // namespace korimado
