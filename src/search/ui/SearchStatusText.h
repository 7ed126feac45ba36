#pragma once

#include <QString>

namespace korimado {

// The status lines the find panel and the multiple-replace window both show.
namespace SearchStatusText {
inline const QString noMatch = QStringLiteral("一致する文字列はありません。");
inline const QString refused = QStringLiteral("本文の変更が受け付けられなかったため、置換しませんでした。");
inline QString matchedUnchanged(const QString& count)
{
    return count + QStringLiteral("件が一致しました。本文は変わりません。");
}
}  // namespace SearchStatusText

}  // namespace korimado
