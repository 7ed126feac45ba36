#pragma once

#include <QString>

namespace korimado {

// The order a file manager shows names in: by the user's locale, letter case ignored, runs of
// digits by their value ("Lang2" before "Lang10"). Names that compare equal that way fall back
// to their code units, so the order is total. Safe on any thread.
int localizedStandardCompare(const QString& a, const QString& b);

inline bool localizedStandardLess(const QString& a, const QString& b)
{
    return localizedStandardCompare(a, b) < 0;
}

}  // namespace korimado
