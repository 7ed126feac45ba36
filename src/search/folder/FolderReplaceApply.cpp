#include "search/folder/FolderReplaceApply.h"

#include "platform/foundation/FilePath.h"
#include "search/folder/FolderApplyTemporaries.h"
#include "search/folder/FolderFileSystem.h"
#include "search/folder/FolderRollback.h"
#include "search/folder/FolderSearchEngine.h"
#include "search/folder/FolderSearchError.h"
#include "search/folder/FolderSearchPaths.h"

#include <QUuid>

#include <limits>

namespace korimado {

namespace {

constexpr qint64 noLimit = std::numeric_limits<qint64>::max() - 1;
// Backups hold other people's text: only their owner may enter a run's folder.
constexpr quint32 privateFolderMode = 0700;

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

}  // namespace

// What ends the writing. readBack: the file's own read-back showed other bytes.
struct FolderReplaceApply::Failure {
    enum class Kind { cancelled, readBack, other } kind;
    QString message;
};

FolderReplaceApply::FolderReplaceApply(const FolderReplacementPreview& preview,
                                       const std::optional<QString>& backupRoot,
                                       const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem)
    : preview_(preview), cancellation_(cancellation), fileSystem_(fileSystem), root_(standardizedPath(preview.rootURL))
{
    // Resolved like the root, so that the backups' folders can be told from links.
    if (backupRoot) {
        const QString base = standardizedPath(*backupRoot);
        backupRoot_ = fileSystem_.resolvedPath(base).value_or(base);
    }
}

QString FolderReplaceApply::backupBase() const
{
    if (backupRoot_) return *backupRoot_;
    return (root_.endsWith(u'/') ? root_ : root_ + u'/') + FolderSearchEngine::backupFolderName;
}

std::optional<QString> FolderReplaceApply::placeProblem(const FolderSearchFile& source) const
{
    const QString url = standardizedPath(source.url);
    const std::optional<FolderEntryAttributes> now = fileSystem_.attributes(url, false);
    if (!now) return QStringLiteral("見つかりません: ") + source.relativePath;
    // The search's path was free of links: one now on the way leads somewhere else.
    const std::optional<QString> resolved = fileSystem_.resolvedPath(url);
    if (resolved && !FolderSearchPaths::isInside(*resolved, root_)) return QStringLiteral("対象フォルダ外: ") + url;
    if (!resolved || *resolved != url || now->isSymbolicLink || !now->isRegularFile || !source.identity
        || now->identity != source.identity) {
        return QStringLiteral("検索後に別のファイルに置き換え: ") + source.relativePath;
    }
    return std::nullopt;
}

QStringList FolderReplaceApply::recheck(const QList<const FolderReplacementFile*>& files,
                                        const QSet<QString>& blocked) const
{
    QStringList problems;
    for (const FolderReplacementFile* file : files) {
        if (isCancelled()) throw FolderSearchError::cancelled();
        const FolderSearchFile& source = file->source;
        const QString url = standardizedPath(source.url);
        const QString& relative = source.relativePath;
        if (!FolderSearchPaths::isInside(url, root_)) {
            problems.push_back(QStringLiteral("対象フォルダ外: ") + url);
            continue;
        }
        if (FolderSearchPaths::isInBackups(url, root_)) {
            problems.push_back(QStringLiteral("バックアップフォルダ内: ") + relative);
            continue;
        }
        if (blocked.contains(url)) {
            problems.push_back(QStringLiteral("開いている文書: ") + relative);
            continue;
        }
        if (const std::optional<QString> problem = placeProblem(source)) {
            problems.push_back(*problem);
            continue;
        }
        if (!source.isWritable || !fileSystem_.isWritable(url)) {
            problems.push_back(QStringLiteral("読取専用: ") + relative);
            continue;
        }
        // The new file is made beside the old one and renamed over it.
        if (!fileSystem_.isFolderWritable(folderOf(url))) {
            problems.push_back(QStringLiteral("フォルダに書き込めません: ") + relative);
            continue;
        }
        const std::optional<QByteArray> bytes = fileSystem_.readFile(url, noLimit, nullptr);
        if (!bytes || *bytes != source.originalData) {
            problems.push_back(QStringLiteral("検索後に変更: ") + relative);
            continue;
        }
        const std::optional<FolderEntryAttributes> now = fileSystem_.attributes(url, false);
        const std::optional<QDateTime> date = now ? now->modificationDate : std::nullopt;
        if (date != source.modificationDate) {
            problems.push_back(QStringLiteral("更新日時が変更: ") + relative);
            continue;
        }
    }
    return problems;
}

FolderReplaceReceipt FolderReplaceApply::run(const QSet<QString>& selectedURLs, const QSet<QString>& blockedOpenURLs)
{
    QSet<QString> selected;
    for (const QString& url : selectedURLs) selected.insert(standardizedPath(url));
    // Documents are known by where their paths lead, as the search knows its files.
    QSet<QString> blocked;
    for (const QString& url : blockedOpenURLs) {
        const QString path = standardizedPath(url);
        blocked.insert(path);
        blocked.insert(fileSystem_.resolvedPath(path).value_or(path));
    }
    QList<const FolderReplacementFile*> files;
    for (const FolderReplacementFile& file : preview_.files) {
        if (selected.contains(standardizedPath(file.source.url))) files.push_back(&file);
    }

    const QStringList problems = recheck(files, blocked);
    if (!problems.isEmpty()) throw FolderSearchError::preconditionFailed(problems);

    FolderReplaceReceipt receipt;
    receipt.identifier = QUuid::createUuid();
    runFolder_ = backupBase() + u'/' + receipt.identifier.toString(QUuid::WithoutBraces).toUpper();
    receipt.backupURL = runFolder_;

    QList<FolderRollbackEntry> entries;
    staged_.reserve(files.size());
    try {
        for (const FolderReplacementFile* file : files) {
            if (isCancelled()) throw Failure{Failure::Kind::cancelled, QString()};
            stage(*file);
        }
        // Every backup and every new content on the disk before anything is renamed: from here on
        // a crash leaves each file old or new, and the run's folder whole or absent.
        flush({});
        if (!staged_.isEmpty()) placeBackups();
        for (Staged& staged : staged_) {
            if (isCancelled()) throw Failure{Failure::Kind::cancelled, QString()};
            commit(staged, entries);
            receipt.replacementCount += staged.file->replacementCount;
        }
        flush({});
    } catch (const Failure& failure) {
        fail(failure, entries, receipt);
    }
    receipt.entries = std::move(entries);
    return receipt;
}

void FolderReplaceApply::fail(const Failure& failure, const QList<FolderRollbackEntry>& entries,
                              const FolderReplaceReceipt& receipt)
{
    // The failed file's own backup first: its file still holds its old bytes, and on a full disk
    // every block counts. Files never reached keep theirs no more: nothing has touched them. Then
    // the temporaries that will never be renamed.
    if (backupsPlaced_) {
        if (committing_ && !committing_->replaced) fileSystem_.removeFile(committing_->backupFile, nullptr);
        for (const Staged& staged : staged_) {
            if (!staged.replaced && &staged != committing_) fileSystem_.removeFile(staged.backupFile, nullptr);
        }
    }
    discardTemporaries();
    // Renaming the backups back needs no room on the disk.
    const FolderRollbackResult rollback = FolderRollback::run(entries, fileSystem_, FolderRollback::Method::move,
                                                              failure.kind == Failure::Kind::readBack);
    // Every file left with the replacement's bytes is named, also the ones the rollback refused
    // because someone changed them meanwhile.
    QStringList unrestored = rollback.failures;
    for (const QString& target : rollback.refused) {
        unrestored.push_back(FolderRollback::failureLine(
            target, QStringLiteral("置換後に内容が変更されたため、バックアップから戻していません。")));
    }
    // What could not be put back stays on offer for the user's own rollback.
    FolderReplaceReceipt left;
    left.identifier = receipt.identifier;
    left.backupURL = receipt.backupURL;
    for (const FolderRollbackEntry& entry : entries) {
        if (rollback.restored.contains(entry.targetURL) || rollback.refused.contains(entry.targetURL)) continue;
        left.entries.push_back(entry);
        for (const Staged& staged : staged_) {
            if (staged.backupFile == entry.backupURL) left.replacementCount += staged.file->replacementCount;
        }
    }
    std::optional<FolderReplaceReceipt> offered;
    if (!left.entries.isEmpty()) offered = std::move(left);
    if (failure.kind == Failure::Kind::cancelled) {
        if (unrestored.isEmpty()) throw FolderSearchError::cancelled();
        throw FolderSearchError::writeFailed(FolderSearchError::cancelled().errorDescription(), unrestored, offered);
    }
    throw FolderSearchError::writeFailed(failure.message, unrestored, offered);
}

void FolderReplaceApply::discardTemporaries()
{
    for (Staged& staged : staged_) {
        if (staged.targetTemporary.isEmpty()) continue;
        fileSystem_.removeFile(staged.targetTemporary, nullptr);
        staged.targetTemporary.clear();
    }
    // Backups never put in place are temporaries too: no file was replaced.
    if (!stagingFolder_.isEmpty() && !backupsPlaced_) {
        FolderApplyTemporaries::removeTree(stagingFolder_, fileSystem_);
        stagingFolder_.clear();
    }
}

void FolderReplaceApply::flush(const QStringList& extra) const
{
    QStringList paths = extra;
    if (!stagingFolder_.isEmpty()) paths << backupBase() << (backupsPlaced_ ? runFolder_ : stagingFolder_);
    for (const Staged& staged : staged_) paths.push_back(folderOf(standardizedPath(staged.file->source.url)));
    ErrorInfo error;
    if (!fileSystem_.flush(paths, &error)) throw Failure{Failure::Kind::other, error.description};
}

void FolderReplaceApply::makeStagingFolder()
{
    ErrorInfo error;
    const QString base = backupBase();
    if (!backupRoot_) {
        // A link or a file in place of the backup folder would send other people's text wherever it
        // points: only a real folder, or none yet, is used.
        const std::optional<FolderEntryAttributes> existing = fileSystem_.attributes(base, false);
        if (!existing) {
            if (!fileSystem_.createDirectory(base, privateFolderMode, &error)) throw Failure{Failure::Kind::other, error.description};
        } else if (existing->isSymbolicLink || !existing->isDirectory) {
            throw Failure{Failure::Kind::other,
                          base + QStringLiteral(" はフォルダではないため、バックアップを作れません。")};
        }
    } else {
        QStringList missing;
        QString folder = base;
        while (!fileSystem_.attributes(folder, true)) {
            missing.prepend(folder);
            const QString parent = folder.section(u'/', 0, -2);
            if (parent.isEmpty() || parent == folder) break;
            folder = parent;
        }
        for (const QString& path : missing) {
            if (!fileSystem_.createDirectory(path, privateFolderMode, &error)) throw Failure{Failure::Kind::other, error.description};
        }
    }
    const QString staging = base + u'/' + FolderApplyTemporaries::newName();
    if (!fileSystem_.createDirectory(staging, privateFolderMode, &error)) {
        throw Failure{Failure::Kind::other, error.description};
    }
    stagingFolder_ = staging;
    if (!backupRoot_) {
        const std::optional<QString> resolved = fileSystem_.resolvedPath(staging);
        if (!resolved || *resolved != staging || !FolderSearchPaths::isInside(*resolved, root_)) {
            throw Failure{Failure::Kind::other,
                          runFolder_ + QStringLiteral(" が検索したフォルダの外を指しているため、バックアップを作れません。")};
        }
    }
}

void FolderReplaceApply::placeBackups()
{
    // One rename puts every backup in place at once, whole: the journal keeps it before any of
    // the renames of the files that follow.
    ErrorInfo error;
    if (!fileSystem_.renameFolder(stagingFolder_, runFolder_, &error)) throw Failure{Failure::Kind::other, error.description};
    backupsPlaced_ = true;
}

void FolderReplaceApply::makeBackupParents(const QString& backupFile)
{
    ErrorInfo error;
    QStringList parts = backupFile.sliced(stagingFolder_.size() + 1).split(u'/');
    parts.removeLast();
    QString folder = stagingFolder_;
    for (const QString& part : parts) {
        folder += u'/' + part;
        const std::optional<FolderEntryAttributes> existing = fileSystem_.attributes(folder, false);
        if (existing && existing->isDirectory && !existing->isSymbolicLink) continue;
        if (!fileSystem_.createDirectory(folder, privateFolderMode, &error)) throw Failure{Failure::Kind::other, error.description};
    }
}

void FolderReplaceApply::stage(const FolderReplacementFile& file)
{
    const FolderSearchFile& source = file.source;
    if (stagingFolder_.isEmpty()) makeStagingFolder();
    const QString backupFile = standardizedPath(runFolder_ + u'/' + source.relativePath);
    if (!FolderSearchPaths::isInside(backupFile, runFolder_) || backupFile == runFolder_) {
        throw Failure{Failure::Kind::other, source.relativePath + QStringLiteral(" のバックアップ先が不正です。")};
    }
    const QString stagedBackup = stagingFolder_ + backupFile.sliced(runFolder_.size());
    makeBackupParents(stagedBackup);
    staged_.push_back(Staged{&file, backupFile, QString(), false});
    Staged& staged = staged_.back();
    ErrorInfo error;
    // A copy, never a second name of the file: a run killed before the file is replaced would
    // leave its "backup" changing with it.
    const quint32 backupMode = source.posixPermissions.value_or(0600) & 0777;
    if (!fileSystem_.writeNewFile(stagedBackup, source.originalData, backupMode, &error)) {
        throw Failure{Failure::Kind::other, error.description};
    }
    // A file with other names is written in place once its backup is on the disk: a rename would
    // leave the other names with the old text.
    const std::optional<FolderEntryAttributes> now = fileSystem_.attributes(standardizedPath(source.url), false);
    if (now && now->linkCount > 1) return;
    const std::optional<QString> temporary =
        fileSystem_.writeTemporary(folderOf(standardizedPath(source.url)), file.replacementData, &error);
    if (!temporary) throw Failure{Failure::Kind::other, error.description};
    staged.targetTemporary = *temporary;
}

void FolderReplaceApply::commit(Staged& staged, QList<FolderRollbackEntry>& entries)
{
    ErrorInfo error;
    const FolderReplacementFile& file = *staged.file;
    const FolderSearchFile& source = file.source;
    const QString target = standardizedPath(source.url);
    committing_ = &staged;

    if (const std::optional<QString> problem = placeProblem(source)) {
        throw Failure{Failure::Kind::other, FolderSearchError::preconditionFailed({*problem}).errorDescription()};
    }
    const std::optional<QByteArray> before = fileSystem_.readFile(target, noLimit, &error);
    if (!before) throw Failure{Failure::Kind::other, error.description};
    if (*before != source.originalData) {
        throw Failure{Failure::Kind::other,
                      FolderSearchError::preconditionFailed({QStringLiteral("書込直前に変更: ") + source.relativePath})
                          .errorDescription()};
    }
    // The rename replaces the very file looked at, never a link put in its place since, and
    // carries the recorded permissions (a new file has its own). A file that has other names,
    // even since it was staged, is written in place: its backup is already on the disk.
    FileIdentity placed;
    const std::optional<FolderEntryAttributes> now = fileSystem_.attributes(target, false);
    if (staged.targetTemporary.isEmpty() || (now && now->linkCount > 1)) {
        if (!staged.targetTemporary.isEmpty()) fileSystem_.removeFile(staged.targetTemporary, nullptr);
        staged.targetTemporary.clear();
        if (!source.identity) {
            throw Failure{Failure::Kind::other,
                          FolderSearchError::preconditionFailed({QStringLiteral("検索後に別のファイルに置き換え: ")
                                                                 + source.relativePath})
                              .errorDescription()};
        }
        if (!fileSystem_.overwrite(target, *source.identity, file.replacementData, &error)) {
            // Whatever part of it was written, the backup is what it must hold again.
            staged.replaced = true;
            entries.push_back(FolderRollbackEntry{target, staged.backupFile, file.replacementData,
                                                  source.posixPermissions, source.identity});
            throw Failure{Failure::Kind::readBack, error.description};
        }
        placed = *source.identity;
    } else {
        if (!fileSystem_.replace(staged.targetTemporary, target, source.identity, source.posixPermissions, &placed,
                                 &error)) {
            throw Failure{Failure::Kind::other, error.description};
        }
        staged.targetTemporary.clear();
    }
    staged.replaced = true;
    entries.push_back(FolderRollbackEntry{target, staged.backupFile, file.replacementData, source.posixPermissions, placed});
    // Whatever the file holds after a failed read-back, its backup is what it must hold again.
    const std::optional<QByteArray> after = fileSystem_.readFile(target, noLimit, &error);
    if (!after) throw Failure{Failure::Kind::readBack, error.description};
    if (*after != file.replacementData) {
        throw Failure{Failure::Kind::readBack, QStringLiteral("保存直後の内容が一致しません: ") + source.relativePath};
    }
}

}  // namespace korimado
