#include "preferences/archive/SettingsArchiveError.h"

#include <utility>

namespace korimado {

SettingsArchiveError::SettingsArchiveError(Kind kind, QString detail, ErrorInfo underlying)
    : kind_(kind), detail_(std::move(detail)), underlying_(std::move(underlying))
{
    what_ = localizedDescription().toUtf8();
}

SettingsArchiveError SettingsArchiveError::missingFile(const QString& name)
{
    return SettingsArchiveError(Kind::missingFile, name);
}

SettingsArchiveError SettingsArchiveError::invalidPropertyList(const QString& name)
{
    return SettingsArchiveError(Kind::invalidPropertyList, name);
}

SettingsArchiveError SettingsArchiveError::invalidInfo(const QString& reason)
{
    return SettingsArchiveError(Kind::invalidInfo, reason);
}

SettingsArchiveError SettingsArchiveError::unsafeEntry(const QString& name)
{
    return SettingsArchiveError(Kind::unsafeEntry, name);
}

SettingsArchiveError SettingsArchiveError::fileOperation(const QString& operation, const ErrorInfo& underlying)
{
    return SettingsArchiveError(Kind::fileOperation, operation, underlying);
}

SettingsArchiveError SettingsArchiveError::notPackage()
{
    return SettingsArchiveError(Kind::notPackage, {});
}

SettingsArchiveError SettingsArchiveError::tooLarge()
{
    return SettingsArchiveError(Kind::tooLarge, {});
}

QString SettingsArchiveError::localizedDescription() const
{
    switch (kind_) {
    case Kind::missingFile: return QStringLiteral("設定アーカイブに「") + detail_ + QStringLiteral("」がありません。");
    case Kind::invalidPropertyList:
        return QStringLiteral("設定アーカイブの「") + detail_ + QStringLiteral("」を読み取れません。");
    case Kind::invalidInfo: return QStringLiteral("設定アーカイブのInfo.plistが正しくありません。") + detail_;
    case Kind::unsafeEntry:
        return QStringLiteral("設定アーカイブの「") + detail_ + QStringLiteral("」は安全に読み込めません。");
    case Kind::fileOperation:
        return QStringLiteral("設定アーカイブを") + detail_ + QStringLiteral("できませんでした。") + underlying_.description;
    case Kind::notPackage: return QStringLiteral("設定アーカイブは.cotsettings形式のフォルダではありません。");
    case Kind::tooLarge: return QStringLiteral("設定アーカイブの項目数または容量が上限を超えています。");
    }
    return {};
}

}  // namespace korimado
