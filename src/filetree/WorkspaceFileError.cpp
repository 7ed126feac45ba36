#include "filetree/WorkspaceFileError.h"

namespace korimado {

QString WorkspaceFileError::errorDescription() const
{
    const QString quoted = QStringLiteral("「") + name_ + QStringLiteral("」");
    switch (case_) {
    case Case::sourceMissing: return quoted + QStringLiteral("が見つかりません。ツリーを更新してください。");
    case Case::destinationExists: return quoted + QStringLiteral("はすでに存在します。上書きはしていません。");
    case Case::notDirectory: return quoted + QStringLiteral("はフォルダではありません。");
    case Case::openDocument:
        return quoted + QStringLiteral("またはその中の文書を開いています。文書を閉じてからゴミ箱に入れてください。");
    case Case::operationFailed: return operation_ + QStringLiteral("できませんでした。") + underlying_.description;
    case Case::invalidName: return QStringLiteral("名前を入力してください。スラッシュ、コロン、改行は使えません。");
    case Case::outsideWorkspace: return QStringLiteral("開いているフォルダの外へは移動できません。");
    case Case::rootOperation: return QStringLiteral("開いているフォルダ自体の名前変更や移動はできません。");
    case Case::destinationInsideSource: return QStringLiteral("フォルダをそのフォルダ自身の中へ移動できません。");
    }
    return QString();
}

ErrorInfo WorkspaceFileError::errorInfo() const
{
    return ErrorInfo{QStringLiteral("WorkspaceFileError"), static_cast<int>(case_), errorDescription(), QString()};
}

}  // namespace korimado
