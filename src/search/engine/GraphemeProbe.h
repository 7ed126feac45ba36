#pragma once

#include <QString>

#include <memory>

namespace korimado {

// Grapheme-cluster questions about one whole text, asked at match edges: most answers come from
// the two code points around the position; the rest from an ICU character iterator over the
// text itself (no copy), made on first need.
class GraphemeProbe {
public:
    explicit GraphemeProbe(const QString& text);
    ~GraphemeProbe();
    GraphemeProbe(const GraphemeProbe&) = delete;
    GraphemeProbe& operator=(const GraphemeProbe&) = delete;

    bool isBoundary(qsizetype pos);
    // Start of the cluster that holds the unit at pos (0 <= pos < length).
    qsizetype clusterStart(qsizetype pos);
    // The code point that starts at pos (a lone surrogate stands for itself).
    char32_t scalarAt(qsizetype pos) const;

    // Word characters of the plain whole-word test: A-Z a-z 0-9 _ or, with unicode, the letter,
    // mark, number and connector-punctuation categories.
    static bool isWordCharacter(char32_t c, bool unicode);

private:
    bool iteratorIsBoundary(qsizetype pos);

    const char16_t* text_;
    qsizetype length_;
    struct Iterator;
    std::unique_ptr<Iterator> iterator_;
};

}  // namespace korimado
