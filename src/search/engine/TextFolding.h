#pragma once

#include <QString>
#include <QStringView>

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

namespace korimado {

// How plain search compares: the string-comparison options it honours.
struct FoldingMode {
    bool caseInsensitive = false;       // full case folding (ß = ss, ς = σ, Ａ = ａ)
    bool diacriticInsensitive = false;  // combining marks dropped after decomposition (が = か)
    bool widthInsensitive = false;      // wide and narrow forms taken as their plain forms (Ａ = A, ｶ = カ)
    bool literal = false;               // no canonical equivalence: code points compared as they stand

    int index() const { return int(caseInsensitive) | int(diacriticInsensitive) << 1 | int(widthInsensitive) << 2 | int(literal) << 3; }
};

// A stretch of text in folded form with the way back to the original. Folding works on
// segments: a code point with the marks that attach to it. Where a segment folds to as many
// units as it has, folded and source offsets move together; every other segment is listed, and
// no position inside one maps back (a match may not start or end there).
struct FoldedText {
    struct Segment {
        qsizetype foldedStart;
        qsizetype sourceStart;
        std::int32_t foldedLength;
        std::int32_t sourceLength;
        qsizetype foldedEnd() const { return foldedStart + foldedLength; }
        qsizetype sourceEnd() const { return sourceStart + sourceLength; }
    };

    qsizetype sourceStart = 0;
    qsizetype sourceEnd = 0;
    const char16_t* units = nullptr;  // the source itself while nothing changed, else buffer
    qsizetype length = 0;
    std::vector<char16_t> buffer;
    std::vector<Segment> segments;  // in order

    // Source offset where a match starting at folded offset f starts; none inside a segment.
    std::optional<qsizetype> sourceStartAt(qsizetype f) const;
    // Source offset where a match ending at folded offset f ends; none inside a segment.
    std::optional<qsizetype> sourceEndAt(qsizetype f) const;
    // The first source offset at or after folded offset f where folding may start again.
    qsizetype resumePoint(qsizetype f) const;
};

// Folds text for one FoldingMode. Non-literal folding is canonical: text and pattern are brought
// to one normal form (composed, or decomposed with the marks dropped when diacritics are
// ignored) after width and full case folding, so canonically equivalent spellings fold alike.
// Per-code-point results come from process-wide tables filled on first use, one page of 256
// code points at a time; segments with attached marks go through ICU each time.
class TextFolding {
public:
    explicit TextFolding(FoldingMode mode);

    FoldingMode mode() const { return mode_; }

    // The folded form of a whole string (a pattern).
    QString fold(QStringView text) const;
    // Folds text[from, to) into out. from must be a segment start (see isSegmentStart) or the
    // edge of the searched range.
    void fold(const char16_t* text, qsizetype from, qsizetype to, FoldedText& out) const;
    // True when a new segment begins at pos (given text ends at end).
    bool isSegmentStart(const char16_t* text, qsizetype pos, qsizetype end) const;
    // True when cp folds to itself and a segment begins at it: text around it folds as if
    // it stood alone.
    bool foldsToItself(char32_t cp) const
    {
        const Entry e = entry(cp);
        return (e.flags & identityFlag) && (e.flags & boundaryFlag);
    }

    struct Entry {
        std::uint16_t value;   // the folded unit (length 1) or an offset into the page's pool
        std::uint8_t length;   // folded length in units; for identity the code point's own
        std::uint8_t flags;
    };
    static constexpr std::uint8_t identityFlag = 1;
    static constexpr std::uint8_t boundaryFlag = 2;  // a segment may begin at this code point
    static constexpr std::uint8_t longFlag = 4;      // too long for the table: fold it with ICU

    struct Page {
        Entry entries[256];
        std::vector<char16_t> pool;
    };

    struct Table {
        std::atomic<const Page*> pages[0x110000 >> 8];
    };

private:
    const Page& page(char32_t cp) const
    {
        const Page* p = table_->pages[cp >> 8].load(std::memory_order_acquire);
        return p ? *p : buildPage(cp);
    }
    const Page& buildPage(char32_t cp) const;
    Entry entry(char32_t cp) const { return page(cp).entries[cp & 0xFF]; }
    QString foldSegment(QStringView segment) const;

    FoldingMode mode_;
    Table* table_;
};

}  // namespace korimado
