#include "preview/CharacterIndex.h"

#include "platform/text/TextStorage.h"

#include <unicode/brkiter.h>
#include <unicode/uchar.h>
#include <unicode/utext.h>

#include <algorithm>
#include <array>
#include <memory>
#include <optional>

namespace korimado {

namespace {

// How a BMP unit takes part in grapheme clustering, for the fast path. Between a `base` unit and
// a following unit that is neither `extending` nor a surrogate there is always a boundary; after
// `breakAfter` (LF, controls) always; CR joins only a following LF. Everything else asks ICU.
enum Kind : std::uint8_t { base, breakAfter, carriageReturn, extending, surrogate, complex };

const std::array<std::uint8_t, 65536>& kinds()
{
    static const std::array<std::uint8_t, 65536> table = [] {
        std::array<std::uint8_t, 65536> t{};
        for (UChar32 c = 0; c < 65536; ++c) {
            std::uint8_t k = complex;
            if (c >= 0xD800 && c <= 0xDFFF) {
                k = surrogate;
            } else {
                switch (u_getIntPropertyValue(c, UCHAR_GRAPHEME_CLUSTER_BREAK)) {
                case U_GCB_OTHER: k = base; break;
                case U_GCB_LF:
                case U_GCB_CONTROL: k = breakAfter; break;
                case U_GCB_CR: k = carriageReturn; break;
                case U_GCB_EXTEND:
                case U_GCB_ZWJ:
                case U_GCB_SPACING_MARK: k = extending; break;
                default: k = complex; break;
                }
            }
            t[static_cast<std::size_t>(c)] = k;
        }
        return t;
    }();
    return table;
}

// Steps from one character boundary to the next over one stretch of text, which is taken as a
// text of its own (its end is the end of a text).
class GraphemeWalker {
public:
    explicit GraphemeWalker(QStringView text)
        : p_(reinterpret_cast<const char16_t*>(text.utf16())), n_(text.size()), kinds_(kinds())
    {
    }
    ~GraphemeWalker()
    {
        if (iterator_) utext_close(&utext_);
    }
    GraphemeWalker(const GraphemeWalker&) = delete;
    GraphemeWalker& operator=(const GraphemeWalker&) = delete;

    // The boundary after the one at i (i < n).
    qsizetype next(qsizetype i)
    {
        const std::uint8_t k = kinds_[p_[i]];
        if (k == base) {
            if (i + 1 == n_) return n_;
            const std::uint8_t after = kinds_[p_[i + 1]];
            if (after != extending && after != surrogate) return i + 1;
        } else if (k == breakAfter) {
            return i + 1;
        } else if (k == carriageReturn) {
            return i + 1 < n_ && p_[i + 1] == u'\n' ? i + 2 : i + 1;
        }
        return slow(i);
    }

    qsizetype size() const { return n_; }

private:
    qsizetype slow(qsizetype i)
    {
        if (!iterator_ && !failed_) {
            UErrorCode status = U_ZERO_ERROR;
            utext_openUChars(&utext_, reinterpret_cast<const UChar*>(p_), n_, &status);
            iterator_.reset(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
            if (U_SUCCESS(status) && iterator_) iterator_->setText(&utext_, status);
            if (U_FAILURE(status) || !iterator_) {
                iterator_.reset();
                utext_close(&utext_);
                failed_ = true;
            }
        }
        if (!iterator_) return i + 1;
        const int32_t b = iterator_->following(static_cast<int32_t>(i));
        return b == icu::BreakIterator::DONE ? n_ : b;
    }

    const char16_t* p_;
    qsizetype n_;
    const std::array<std::uint8_t, 65536>& kinds_;
    UText utext_ = UTEXT_INITIALIZER;
    std::unique_ptr<icu::BreakIterator> iterator_;
    bool failed_ = false;
};

}  // namespace

TextSource TextSource::of(const QString& text)
{
    return {text.size(), [text](qsizetype from, qsizetype to) { return text.mid(from, to - from); }};
}

TextSource TextSource::of(const TextSnapshot& snapshot)
{
    return {snapshot.length(), [snapshot](qsizetype from, qsizetype to) { return snapshot.substring({from, to - from}); }};
}

qsizetype CharacterIndex::countCharacters(QStringView text)
{
    GraphemeWalker walker(text);
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size(); i = walker.next(i)) ++n;
    return n;
}

qsizetype CharacterIndex::countCharacters(QStringView text, const std::function<bool(QStringView)>& keep)
{
    GraphemeWalker walker(text);
    qsizetype n = 0;
    for (qsizetype i = 0; i < text.size();) {
        const qsizetype next = walker.next(i);
        if (keep(text.mid(i, next - i))) ++n;
        i = next;
    }
    return n;
}

std::optional<CharacterIndex> CharacterIndex::build(const TextSource& text, const std::function<bool()>& superseded)
{
    CharacterIndex index;
    index.text_ = text;
    index.offsets_.reserve(static_cast<std::size_t>(text.length / checkpointSpacing + 2));
    index.counts_.reserve(index.offsets_.capacity());
    index.offsets_.push_back(0);
    index.counts_.push_back(0);

    const qsizetype length = text.length;
    qsizetype n = 0;        // characters so far
    qsizetype u = 0;        // their UTF-16 end, always a boundary
    qsizetype segment = 0;  // the last checkpoint
    qsizetype window = 65536;
    while (u < length) {
        // A window is read from a known boundary; a character that reaches the window's end may go
        // on past it, so it is left to the next window.
        const qsizetype end = std::min(length, u + window);
        const QString piece = text.substring(u, end);
        GraphemeWalker walker(piece);
        const bool last = end == length;
        qsizetype i = 0;
        while (i < piece.size()) {
            if (n % 4096 == 0 && superseded && superseded()) return std::nullopt;
            const qsizetype next = walker.next(i);
            if (next == piece.size() && !last) break;
            i = next;
            ++n;
            if (u + i - segment >= checkpointSpacing) {
                segment = u + i;
                index.offsets_.push_back(segment);
                index.counts_.push_back(n);
            }
        }
        if (i == 0 && !last) {
            window *= 2;  // one character longer than the window
            continue;
        }
        u += i;
    }
    if (superseded && superseded()) return std::nullopt;
    index.count_ = n;
    return index;
}

std::size_t CharacterIndex::checkpointAtOrBefore(qsizetype utf16) const
{
    const auto after = std::upper_bound(offsets_.begin(), offsets_.end(), utf16);
    return after == offsets_.begin() ? 0 : static_cast<std::size_t>(after - offsets_.begin() - 1);
}

qsizetype CharacterIndex::position(qsizetype utf16) const
{
    const qsizetype o = std::clamp<qsizetype>(utf16, 0, length());
    const std::size_t k = checkpointAtOrBefore(o);
    return counts_[k] + countCharacters(text_.substring(offsets_[k], o));
}

bool CharacterIndex::isBoundary(qsizetype utf16) const
{
    if (utf16 <= 0 || utf16 >= length()) return true;
    const std::size_t k = checkpointAtOrBefore(utf16);
    if (offsets_[k] == utf16) return true;
    // Whether a boundary falls at o depends on the text before it and the code point at it only.
    const QString piece = text_.substring(offsets_[k], std::min(length(), utf16 + 2));
    GraphemeWalker walker(piece);
    const qsizetype target = utf16 - offsets_[k];
    qsizetype i = 0;
    while (i < target) i = walker.next(i);
    return i == target;
}

qsizetype CharacterIndex::characters(TextRange range) const
{
    if (range.location == 0 && range.length == length()) return count_;
    const qsizetype a = range.location;
    const qsizetype e = range.location + range.length;
    if (isBoundary(a) && isBoundary(e)) return position(e) - position(a);
    return countCharacters(text_.substring(a, e));
}

}  // namespace korimado
