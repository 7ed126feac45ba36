#pragma once

#include <QByteArray>
#include <QString>

namespace korimado {

// The order a file manager shows names in: by the user's locale, letter case ignored, runs of
// digits by their value ("Lang2" before "Lang10"). Names that compare equal that way fall back
// to their code units, so the order is total. Safe on any thread.
int localizedStandardCompare(const QString& a, const QString& b);

// A byte key that orders (by memcmp, terminator included) as localizedStandardCompare does before
// its code-unit fallback: for sorting many strings, each key made once. Safe on any thread.
QByteArray localizedStandardSortKey(const QString& s);

inline bool localizedStandardLess(const QString& a, const QString& b)
{
    return localizedStandardCompare(a, b) < 0;
}

}  // namespace korimado
