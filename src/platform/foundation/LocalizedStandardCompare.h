#pragma once

#include <QByteArray>
#include <QString>
#include <QStringView>

#include <cstdint>

namespace korimado {

// The order a file manager shows names in: by the user's locale, letter case ignored, runs of
// digits by their value ("Lang2" before "Lang10"). Names that compare equal that way fall back
// to their code units, so the order is total. Safe on any thread.
int localizedStandardCompare(const QString& a, const QString& b);

// A byte key that orders (by memcmp, terminator included) as localizedStandardCompare does before
// its code-unit fallback: for sorting many strings, each key made once. Safe on any thread.
QByteArray localizedStandardSortKey(const QString& s);
// The same key written into buffer; returns its size with the terminating zero byte, which may
// exceed capacity (the buffer then holds a truncated key: call again with room for it).
int32_t localizedStandardSortKey(QStringView s, uint8_t* buffer, int32_t capacity);

inline bool localizedStandardLess(const QString& a, const QString& b)
{
    return localizedStandardCompare(a, b) < 0;
}

}  // namespace korimado
