#pragma once

#include <QString>
#include <QStringList>

namespace korimado {

// The sidebar's sort order; the raw values are stored under EditorSettingsKey::treeSortOrder.
enum class FileTreeSortOrder : int {
    nameAscending = 0,
    nameDescending = 1,
    modifiedNewest = 2,
};

// The order of a stored value or pop-up index: anything unknown sorts by name, ascending.
inline FileTreeSortOrder fileTreeSortOrder(qint64 value)
{
    switch (value) {
    case 1: return FileTreeSortOrder::nameDescending;
    case 2: return FileTreeSortOrder::modifiedNewest;
    default: return FileTreeSortOrder::nameAscending;
    }
}

// The pop-up's titles, in raw-value order.
inline QStringList fileTreeSortOrderTitles()
{
    return {QStringLiteral("名前（昇順）"), QStringLiteral("名前（降順）"), QStringLiteral("更新日時（新しい順）")};
}

}  // namespace korimado
