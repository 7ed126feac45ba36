// The replacement commands of the folder search window: preview, apply and rollback.
#include "search/ui/FolderFindWindowController.h"

#include "platform/foundation/FilePath.h"
#include "platform/ui/AlertPresenter.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderSearchEngine.h"

#include <QLabel>
#include <QPushButton>

namespace korimado {

namespace {

// The first button of a warning asked on the window; no presenter means no answer, and nothing is
// written without one.
bool confirmed(const QString& message, const QString& informative, const QString& action)
{
    AlertPresenter* presenter = AlertPresenter::shared();
    if (!presenter) return false;
    return presenter->runModal(Alert{message, informative, {action, QStringLiteral("キャンセル")}, Alert::Style::warning})
           == 0;
}

}  // namespace

QSet<QString> FolderFindWindowController::resolvedOpenDocuments() const
{
    // The search knows its files by where their paths lead: so are the documents known.
    QSet<QString> open;
    if (!openDocumentURLs_) return open;
    for (const QString& url : openDocumentURLs_()) {
        const QString path = standardizedPath(url);
        open.insert(path);
        open.insert(FolderFileSystem::standard().resolvedPath(path).value_or(path));
    }
    return open;
}

void FolderFindWindowController::makePreview()
{
    if (!result_) return;
    const SearchRequest request = currentRequest();
    if (!resultRequest_ || !(request == *resultRequest_)) {
        setStatus(requestChangedStatus);
        previewButton_->setEnabled(false);
        applyButton_->setEnabled(false);
        return;
    }
    const FolderSearchResult searched = *result_;
    start(QStringLiteral("置換結果を作成中…"), [searched, request](const SearchCancellationToken& token) -> Completion {
        try {
            FolderReplacementPreview made = FolderSearchEngine::makeReplacementPreview(searched, request, &token);
            return [made = std::move(made)](FolderFindWindowController& window) { window.previewFinished(made); };
        } catch (...) {
            return failure(std::current_exception());
        }
    });
}

void FolderFindWindowController::previewFinished(const FolderReplacementPreview& made)
{
    preview_ = made;
    const QSet<QString> open = resolvedOpenDocuments();
    blockedOpenURLs_.clear();
    selectedURLs_.clear();
    QStringList blockedPaths;
    qsizetype replacements = 0;
    for (const FolderReplacementFile& file : preview_->files) {
        const QString url = standardizedPath(file.source.url);
        replacements += file.replacementCount;
        if (open.contains(url)) {
            blockedOpenURLs_.insert(url);
            blockedPaths.append(file.source.relativePath);
        } else {
            selectedURLs_.insert(url);
        }
    }
    reloadTable();
    applyButton_->setEnabled(!selectedURLs_.isEmpty());
    if (!blockedPaths.isEmpty()) {
        setStatus(QStringLiteral("開いている文書") + QString::number(blockedPaths.size())
                  + QStringLiteral("件は対象外です。閉じて再検索すると対象にできます: ")
                  + blockedPaths.mid(0, 4).join(QStringLiteral("、")));
        status_->setToolTip(blockedPaths.join(u'\n'));
        return;
    }
    setStatus(QString::number(preview_->files.size()) + QStringLiteral("ファイル、") + QString::number(replacements)
              + QStringLiteral("件の変更をプレビューしています。対象のチェックを外せます。"));
}

void FolderFindWindowController::applyPreview()
{
    if (!preview_) return;
    QSet<QString> chosen;
    qsizetype replacements = 0;
    for (const FolderReplacementFile& file : preview_->files) {
        const QString url = standardizedPath(file.source.url);
        if (!selectedURLs_.contains(url)) continue;
        chosen.insert(url);
        replacements += file.replacementCount;
    }
    if (chosen.isEmpty()) {
        setStatus(nothingSelectedStatus);
        return;
    }
    const FolderReplacementPreview shown = *preview_;
    std::weak_ptr<int> alive = alive_;
    if (!confirmed(QString::number(chosen.size()) + QStringLiteral("ファイルの") + QString::number(replacements)
                       + QStringLiteral("件を置換しますか？"),
                   QStringLiteral("適用前に全ファイルの変更日時と内容を再確認します。バックアップを検索フォルダ内の "
                                  ".korimado-backups に保存します。開いている文書は置換しません。"),
                   QStringLiteral("置換する"))
        || alive.expired()) {
        return;
    }
    // Both sets as they stand now that the user has answered: a document opened meanwhile is blocked.
    // A search that finished while the question was up ticks every file again; only files the
    // question counted may be written.
    const QSet<QString> selected = QSet<QString>(selectedURLs_).intersect(chosen);
    const QSet<QString> open = resolvedOpenDocuments();
    start(QStringLiteral("安全確認後に置換中…"), [shown, selected, open, fs = fileSystem_](const SearchCancellationToken& token) -> Completion {
        try {
            FolderReplaceReceipt made = FolderSearchEngine::apply(shown, selected, open, std::nullopt, &token, fs);
            const bool wrote = !made.entries.isEmpty();
            Completion done = [made = std::move(made)](FolderFindWindowController& window) {
                window.receipt_ = made;
                window.rollbackButton_->setEnabled(true);
                window.applyButton_->setEnabled(false);
                window.setStatus(QString::number(made.entries.size()) + QStringLiteral("ファイル、")
                                 + QString::number(made.replacementCount) + QStringLiteral("件を置換しました。バックアップ: ")
                                 + made.backupURL);
            };
            // Files were written: whatever was pressed since, the user learns of it and may undo it.
            done.reportsWhenStale = wrote;
            return done;
        } catch (...) {
            return failure(std::current_exception());
        }
    });
}

void FolderFindWindowController::rollback()
{
    if (!receipt_) return;
    const QList<FolderRollbackEntry> entries = receipt_->entries;
    std::weak_ptr<int> alive = alive_;
    if (!confirmed(QStringLiteral("直前のフォルダ置換を元に戻しますか？"),
                   QStringLiteral("置換後に変更されたファイルは上書きせず、復元を拒否します。"), QStringLiteral("元に戻す"))
        || alive.expired()) {
        return;
    }
    // The restore takes no token: once begun it runs to its end, whoever cancels.
    start(QStringLiteral("バックアップから復元中…"), [entries, fs = fileSystem_](const SearchCancellationToken&) -> Completion {
        try {
            const FolderRollbackResult restored = FolderSearchEngine::rollbackEntries(entries, fs);
            Completion done = [restored](FolderFindWindowController& window) {
                window.rollbackButton_->setEnabled(false);
                window.setStatus(QString::number(restored.restored.size()) + QStringLiteral("ファイルを復元しました。拒否: ")
                                 + QString::number(restored.refused.size()) + QStringLiteral("件、失敗: ")
                                 + QString::number(restored.failures.size()) + QStringLiteral("件"));
            };
            done.reportsWhenStale = !restored.failures.isEmpty() || !restored.refused.isEmpty();
            return done;
        } catch (...) {
            return failure(std::current_exception());
        }
    });
}

}  // namespace korimado
