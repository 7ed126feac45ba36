#pragma once

// The paragraph records and bounds that LayoutManager's own files share; no other file includes it.

#include "platform/text/LayoutManager.h"

#include <QRectF>
#include <QTextLayout>

#include <algorithm>
#include <limits>
#include <memory>
#include <vector>

namespace korimado {

namespace layout_manager_detail {

inline constexpr qreal UnwrappedLineWidth = 1.0e7;

inline QRectF everywhere()
{
    return QRectF(-UnwrappedLineWidth, -1.0e12, 2 * UnwrappedLineWidth, 2.0e12);
}

inline TextRange allText()
{
    return TextRange(0, std::numeric_limits<qsizetype>::max() / 2);
}

}  // namespace layout_manager_detail

struct LayoutManager::Segment {
    qsizetype start = 0;  // in the paragraph's contents
    qsizetype length = 0;
    std::unique_ptr<QTextLayout> layout;  // null until laid out
    int rows = 1;                         // estimated until laid out
    qreal width = 0;                      // estimated until laid out
    qreal x = 0;                          // left edge when lines do not wrap
    std::vector<qsizetype> insertions;    // where the layout holds the composition, relative to start
    qsizetype end() const { return start + length; }
};

struct LayoutManager::ParagraphLayout {
    std::vector<Segment> segments;
    quint64 lastUse = 0;
    int totalRows() const
    {
        int sum = 0;
        for (const Segment& s : segments) sum += s.rows;
        return std::max(sum, 1);
    }
};

}  // namespace korimado
