#include "search/folder/FolderReplaceApply.h"

#include "platform/foundation/FilePath.h"
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

QString defaultBackupBase(const QString& root)
{
    return (root.endsWith(u'/') ? root : root + u'/') + FolderSearchEngine::backupFolderName;
}

}  // namespace

// What ends the writing loop. readBack: the file's own read-back showed other bytes.
struct FolderReplaceApply::Failure {
    enum class Kind { cancelled, readBack, other } kind;
    QString message;
};

FolderReplaceApply::FolderReplaceApply(const FolderReplacementPreview& preview,
                                       const std::optional<QString>& backupRoot,
                                       const SearchCancellationToken* cancellation, FolderFileSystem& fileSystem)
    : preview_(preview), backupRoot_(backupRoot), cancellation_(cancellation), fileSystem_(fileSystem),
      root_(standardizedPath(preview.rootURL))
{
}

QStringList FolderReplaceApply::recheck(const QList<const FolderReplacementFile*>& files,
                                        const QSet<QString>& blocked) const
{
    QStringList problems;
    for (const FolderReplacementFile* file : files) {
        if (isCancelled()) throw FolderSearchError::cancelled();
        const FolderSearchFile& source = file->source;
        const QString url = standardizedPath(source.url);
        if (!FolderSearchPaths::isInside(url, root_)) {
            problems.push_back(QStringLiteral("対象フォルダ外: ") + url);
            continue;
        }
        if (blocked.contains(url)) {
            problems.push_back(QStringLiteral("開いている文書: ") + source.relativePath);
            continue;
        }
        if (!source.isWritable || !fileSystem_.isWritable(url)) {
            problems.push_back(QStringLiteral("読取専用: ") + source.relativePath);
            continue;
        }
        const std::optional<QByteArray> bytes = fileSystem_.readFile(url, noLimit, nullptr);
        if (!bytes || *bytes != source.originalData) {
            problems.push_back(QStringLiteral("検索後に変更: ") + source.relativePath);
            continue;
        }
        const std::optional<FolderEntryAttributes> now = fileSystem_.attributes(url, true);
        const std::optional<QDateTime> date = now ? now->modificationDate : std::nullopt;
        if (date != source.modificationDate) {
            problems.push_back(QStringLiteral("更新日時が変更: ") + source.relativePath);
            continue;
        }
    }
    return problems;
}

FolderReplaceReceipt FolderReplaceApply::run(const QSet<QString>& selectedURLs, const QSet<QString>& blockedOpenURLs)
{
    QSet<QString> selected;
    for (const QString& url : selectedURLs) selected.insert(standardizedPath(url));
    QSet<QString> blocked;
    for (const QString& url : blockedOpenURLs) blocked.insert(standardizedPath(url));
    QList<const FolderReplacementFile*> files;
    for (const FolderReplacementFile& file : preview_.files) {
        if (selected.contains(standardizedPath(file.source.url))) files.push_back(&file);
    }

    const QStringList problems = recheck(files, blocked);
    if (!problems.isEmpty()) throw FolderSearchError::preconditionFailed(problems);

    FolderReplaceReceipt receipt;
    receipt.identifier = QUuid::createUuid();
    const QString base = backupRoot_ ? standardizedPath(*backupRoot_) : defaultBackupBase(root_);
    runFolder_ = base + u'/' + receipt.identifier.toString(QUuid::WithoutBraces).toUpper();
    receipt.backupURL = runFolder_;

    QList<FolderRollbackEntry> entries;
    std::optional<Failure> failure;
    for (const FolderReplacementFile* file : files) {
        if (isCancelled()) {
            failure = Failure{Failure::Kind::cancelled, QString()};
            break;
        }
        try {
            write(*file, entries);
        } catch (Failure& f) {
            failure = std::move(f);
            break;
        }
        receipt.replacementCount += file->replacementCount;
    }
    if (!failure) {
        receipt.entries = std::move(entries);
        return receipt;
    }

    const FolderRollbackResult rollback =
        FolderRollback::run(entries, fileSystem_, failure->kind == Failure::Kind::readBack);
    // Every file left with the replacement's bytes is named, also the ones the rollback refused
    // because someone changed them meanwhile.
    QStringList unrestored = rollback.failures;
    for (const QString& target : rollback.refused) {
        unrestored.push_back(FolderRollback::failureLine(
            target, QStringLiteral("置換後に内容が変更されたため、バックアップから戻していません。")));
    }
    if (failure->kind == Failure::Kind::cancelled) {
        if (unrestored.isEmpty()) throw FolderSearchError::cancelled();
        throw FolderSearchError::writeFailed(FolderSearchError::cancelled().errorDescription(), unrestored);
    }
    throw FolderSearchError::writeFailed(failure->message, unrestored);
}

void FolderReplaceApply::makeRunFolder()
{
    ErrorInfo error;
    if (!backupRoot_) {
        // A link or a file in place of the backup folder would send other people's text wherever it
        // points: only a real folder, or none yet, is used.
        const QString base = defaultBackupBase(root_);
        const std::optional<FolderEntryAttributes> existing = fileSystem_.attributes(base, false);
        if (!existing) {
            if (!fileSystem_.createDirectory(base, privateFolderMode, &error)) throw Failure{Failure::Kind::other, error.description};
        } else if (existing->isSymbolicLink || !existing->isDirectory) {
            throw Failure{Failure::Kind::other,
                          base + QStringLiteral(" はフォルダではないため、バックアップを作れません。")};
        }
    } else {
        const QString base = standardizedPath(*backupRoot_);
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
    if (!fileSystem_.createDirectory(runFolder_, privateFolderMode, &error)) {
        throw Failure{Failure::Kind::other, error.description};
    }
    if (!backupRoot_) {
        const std::optional<QString> resolved = fileSystem_.resolvedPath(runFolder_);
        if (!resolved || *resolved != runFolder_ || !FolderSearchPaths::isInside(*resolved, root_)) {
            throw Failure{Failure::Kind::other,
                          runFolder_ + QStringLiteral(" が検索したフォルダの外を指しているため、バックアップを作れません。")};
        }
    }
    runFolderMade_ = true;
}

void FolderReplaceApply::makeBackupParents(const QString& backupFile)
{
    ErrorInfo error;
    QStringList parts = backupFile.sliced(runFolder_.size() + 1).split(u'/');
    parts.removeLast();
    QString folder = runFolder_;
    for (const QString& part : parts) {
        folder += u'/' + part;
        const std::optional<FolderEntryAttributes> existing = fileSystem_.attributes(folder, false);
        if (existing && existing->isDirectory && !existing->isSymbolicLink) continue;
        if (!fileSystem_.createDirectory(folder, privateFolderMode, &error)) throw Failure{Failure::Kind::other, error.description};
    }
}

void FolderReplaceApply::write(const FolderReplacementFile& file, QList<FolderRollbackEntry>& entries)
{
    ErrorInfo error;
    const FolderSearchFile& source = file.source;
    const QString target = standardizedPath(source.url);
    if (!runFolderMade_) makeRunFolder();

    const QString backupFile = standardizedPath(runFolder_ + u'/' + source.relativePath);
    if (!FolderSearchPaths::isInside(backupFile, runFolder_) || backupFile == runFolder_) {
        throw Failure{Failure::Kind::other, source.relativePath + QStringLiteral(" のバックアップ先が不正です。")};
    }
    makeBackupParents(backupFile);
    // The backup gets the original's permission bits before it appears under its name.
    const quint32 backupMode = source.posixPermissions.value_or(0600) & 0777;
    if (!fileSystem_.writeFile(backupFile, source.originalData, backupMode, &error)) {
        throw Failure{Failure::Kind::other, error.description};
    }

    const std::optional<QByteArray> before = fileSystem_.readFile(target, noLimit, &error);
    if (!before) throw Failure{Failure::Kind::other, error.description};
    if (*before != source.originalData) {
        throw Failure{Failure::Kind::other,
                      FolderSearchError::preconditionFailed({QStringLiteral("書込直前に変更: ") + source.relativePath})
                          .errorDescription()};
    }
    if (!fileSystem_.writeFile(target, file.replacementData, std::nullopt, &error)) {
        throw Failure{Failure::Kind::other, error.description};
    }
    // Recorded at once: from here on the file holds the new bytes, whatever fails next.
    entries.push_back(FolderRollbackEntry{target, backupFile, file.replacementData, source.posixPermissions});
    if (source.posixPermissions && !fileSystem_.setPermissions(target, *source.posixPermissions, &error)) {
        throw Failure{Failure::Kind::other, error.description};
    }
    // Whatever the file holds after a failed read-back, its backup is what it must hold again.
    const std::optional<QByteArray> after = fileSystem_.readFile(target, noLimit, &error);
    if (!after) throw Failure{Failure::Kind::readBack, error.description};
    if (*after != file.replacementData) {
        throw Failure{Failure::Kind::readBack, QStringLiteral("保存直後の内容が一致しません: ") + source.relativePath};
    }
}

}  // namespace korimado
