#include "theme/EditorThemeError.h"

#include <utility>

namespace korimado {

EditorThemeError::EditorThemeError(Kind kind, QString detail, QString colorText, ErrorInfo underlying)
    : kind_(kind), detail_(std::move(detail)), colorText_(std::move(colorText)), underlying_(std::move(underlying))
{
    what_ = localizedDescription().toUtf8();
}

EditorThemeError EditorThemeError::invalidSchema(const QString& detail)
{
    return EditorThemeError(Kind::invalidSchema, detail);
}

EditorThemeError EditorThemeError::invalidColor(const QString& key, const QString& colorText)
{
    return EditorThemeError(Kind::invalidColor, key, colorText);
}

EditorThemeError EditorThemeError::unavailable(const QString& name)
{
    return EditorThemeError(Kind::unavailable, name);
}

EditorThemeError EditorThemeError::alreadyImported(const QString& name)
{
    return EditorThemeError(Kind::alreadyImported, name);
}

EditorThemeError EditorThemeError::fileOperation(const QString& operation, const ErrorInfo& underlying)
{
    return EditorThemeError(Kind::fileOperation, operation, {}, underlying);
}

EditorThemeError EditorThemeError::invalidJSON()
{
    return EditorThemeError(Kind::invalidJSON, {});
}

QString EditorThemeError::localizedDescription() const
{
    switch (kind_) {
    case Kind::invalidSchema: return QStringLiteral("テーマの形式が正しくありません。") + detail_;
    case Kind::invalidColor:
        return QStringLiteral("テーマの「") + detail_ + QStringLiteral("」にある色「") + colorText_
            + QStringLiteral("」を読み取れません。#RRGGBBまたは#RRGGBBAAで指定してください。");
    case Kind::unavailable: return QStringLiteral("テーマ「") + detail_ + QStringLiteral("」が見つかりません。");
    case Kind::alreadyImported:
        return QStringLiteral("テーマ「") + detail_
            + QStringLiteral("」はすでに読み込まれています。既存のテーマは変更していません。");
    case Kind::fileOperation: {
        // The system's reason says more than "could not access", so it follows the description.
        QString cause = underlying_.description;
        if (!underlying_.recoverySuggestion.isEmpty()) cause += underlying_.recoverySuggestion;
        return QStringLiteral("テーマを") + detail_ + QStringLiteral("できませんでした。") + cause;
    }
    case Kind::invalidJSON:
        return QStringLiteral("テーマを読み込めません。.cottheme形式のJSONファイルを選んでください。");
    }
    return {};
}

}  // namespace korimado
