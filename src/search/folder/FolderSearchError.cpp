#include "search/folder/FolderSearchError.h"

namespace korimado {

FolderSearchError::FolderSearchError(Kind kind, QString message, QStringList lines)
    : kind_(kind), message_(std::move(message)), lines_(std::move(lines)), what_(errorDescription().toUtf8())
{
}

FolderSearchError FolderSearchError::preconditionFailed(const QStringList& problems)
{
    return FolderSearchError(Kind::preconditionFailed, QString(), problems);
}

FolderSearchError FolderSearchError::writeFailed(const QString& message, const QStringList& rollbackFailures,
                                                 std::optional<FolderReplaceReceipt> unrestored)
{
    FolderSearchError error(Kind::writeFailed, message, rollbackFailures);
    error.unrestored_ = std::move(unrestored);
    return error;
}

FolderSearchError FolderSearchError::invalidRoot()
{
    return FolderSearchError(Kind::invalidRoot, QString(), {});
}

FolderSearchError FolderSearchError::cancelled()
{
    return FolderSearchError(Kind::cancelled, QString(), {});
}

QString FolderSearchError::errorDescription() const
{
    switch (kind_) {
    case Kind::preconditionFailed:
        return QStringLiteral("置換前の安全確認に失敗しました。\n") + lines_.join(u'\n');
    case Kind::writeFailed: {
        QString text = QStringLiteral("ファイルの保存に失敗しました。") + message_;
        if (!lines_.isEmpty()) text += QStringLiteral("\n復元できなかったファイル:\n") + lines_.join(u'\n');
        return text;
    }
    case Kind::invalidRoot: return QStringLiteral("検索するフォルダが見つかりません。");
    case Kind::cancelled: return QStringLiteral("フォルダ内検索を中止しました。");
    }
    return QString();
}

}  // namespace korimado
