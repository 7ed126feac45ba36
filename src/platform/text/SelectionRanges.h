#pragma once

#include "platform/text/TextRange.h"

#include <QVector>

namespace korimado {

// The rules a view's several selections keep: carets among several stand apart, anything else merges.
bool hasCaretAmongSeveral(const QVector<TextRange>& ranges);
// Touching or overlapping ranges merge; several selections are never carets.
QVector<TextRange> mergedSelection(QVector<TextRange> sorted);
// Clamped and sorted; carets among several stay, anything else is merged.
QVector<TextRange> caretsKept(const QVector<TextRange>& ranges, qsizetype length);

}  // namespace korimado
