#include "search/folder/FolderRollback.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/FilePath.h"
#include "platform/foundation/ParallelParts.h"
#include "search/folder/FolderFileSystem.h"

#include <QSet>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <exception>
#include <functional>
#include <limits>
#include <mutex>

namespace korimado {

namespace {

constexpr qint64 noLimit = std::numeric_limits<qint64>::max() - 1;

QString folderOf(const QString& path)
{
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash <= 0 ? QStringLiteral("/") : path.left(slash);
}

// One entry on its way back.
struct Restore {
    enum class State { pending, restored, refused, failed } state = State::pending;
    QString failure;
    FileIdentity identity;  // of the target, as last seen
    QString temporary;      // the backup's bytes beside the target, for a copy
    bool movesBackup = false;
    bool joined = false;    // the target has other names: written in place, never replaced
};

// Whether the target is still the file the replacement left there, holding what it wrote.
void check(const FolderRollbackEntry& entry, bool unchecked, FolderFileSystem& fs, Restore& restore)
{
    const QString target = entry.targetURL;
    const std::optional<FolderEntryAttributes> now = fs.attributes(target, false);
    if (!now) {
        restore.state = Restore::State::failed;
        restore.failure = posixError(ENOENT, target).description;
        return;
    }
    // Some other file, a link, or reached through a link: not the one the replacement left.
    const std::optional<QString> resolved = fs.resolvedPath(target);
    if (!resolved || *resolved != standardizedPath(target) || now->isSymbolicLink || !now->isRegularFile
        || !now->identity || (entry.identity && *entry.identity != *now->identity)) {
        restore.state = Restore::State::refused;
        return;
    }
    restore.identity = *now->identity;
    restore.joined = now->linkCount > 1;
    if (unchecked) return;
    ErrorInfo error;
    const std::optional<QByteArray> current = fs.readFile(target, noLimit, &error);
    if (!current) {
        restore.state = Restore::State::failed;
        restore.failure = error.description;
    } else if (*current != entry.replacementData) {
        restore.state = Restore::State::refused;
    }
}

bool isOutOfRoom(int code)
{
    return code == ENOSPC || code == EDQUOT;
}

// The backup's bytes written beside the target; on a full disk the backup itself will move.
void stageCopy(const FolderRollbackEntry& entry, FolderFileSystem& fs, Restore& restore)
{
    ErrorInfo error;
    const std::optional<QByteArray> backup = fs.readFile(entry.backupURL, noLimit, &error);
    if (!backup) {
        restore.state = Restore::State::failed;
        restore.failure = error.description;
        return;
    }
    const std::optional<QString> temporary = fs.writeTemporary(folderOf(entry.targetURL), *backup, &error);
    if (temporary) {
        restore.temporary = *temporary;
    } else if (isOutOfRoom(error.code)) {
        restore.movesBackup = true;
    } else {
        restore.state = Restore::State::failed;
        restore.failure = error.description;
    }
}

// The backup's bytes written into the target itself, so that its other names see them too; the
// file keeps its mode, which an in-place write never changed.
void putInPlace(const FolderRollbackEntry& entry, FolderFileSystem& fs, Restore& restore)
{
    ErrorInfo error;
    const std::optional<QByteArray> backup = fs.readFile(entry.backupURL, noLimit, &error);
    if (!restore.temporary.isEmpty()) fs.removeFile(restore.temporary, nullptr);
    const bool done = backup && fs.overwrite(entry.targetURL, restore.identity, *backup, &error);
    restore.state = done ? Restore::State::restored : Restore::State::failed;
    if (!done) restore.failure = error.description;
}

void put(const FolderRollbackEntry& entry, FolderFileSystem& fs, Restore& restore)
{
    if (restore.joined) return putInPlace(entry, fs, restore);
    ErrorInfo error;
    const QString source = restore.temporary.isEmpty() ? entry.backupURL : restore.temporary;
    bool done = fs.replace(source, entry.targetURL, restore.identity, entry.posixPermissions, nullptr, &error);
    if (!done && error.code == EXDEV && restore.temporary.isEmpty()) {
        // The backup lies on another file system: its bytes are copied over instead.
        stageCopy(entry, fs, restore);
        if (restore.state != Restore::State::pending) return;
        if (restore.movesBackup) {
            restore.state = Restore::State::failed;
            restore.failure = error.description;
            return;
        }
        done = fs.replace(restore.temporary, entry.targetURL, restore.identity, entry.posixPermissions, nullptr, &error);
    }
    if (!restore.temporary.isEmpty() && !done) fs.removeFile(restore.temporary, nullptr);
    restore.state = done ? Restore::State::restored : Restore::State::failed;
    if (!done) restore.failure = error.description;
}

// Calls restore(i) for each entry, newest first. Putting a file back frees the one it replaces,
// and where the disk is told of freed blocks at once every file waits for it: restores of
// different targets run side by side. A target named twice keeps its entries' order.
void forEachNewestFirst(const QList<FolderRollbackEntry>& entries, bool sideBySide,
                        const std::function<void(qsizetype)>& restore)
{
    const qsizetype count = entries.size();
    std::size_t parts = 1;
    if (sideBySide) {
        QSet<QString> targets;
        for (const FolderRollbackEntry& entry : entries) targets.insert(entry.targetURL);
        if (targets.size() == count) parts = parallelPartCount(std::size_t(count), 16, 4);
    }
    std::atomic<bool> stopped{false};
    std::exception_ptr thrown;
    std::mutex mutex;
    runInParts(parts, [&](std::size_t part) {
        try {
            for (qsizetype k = qsizetype(part); k < count && !stopped; k += qsizetype(parts)) restore(count - 1 - k);
        } catch (...) {
            const std::lock_guard lock(mutex);
            if (!thrown) thrown = std::current_exception();
            stopped = true;
        }
    });
    if (thrown) std::rethrow_exception(thrown);
}

}  // namespace

QString FolderRollback::failureLine(const QString& target, const QString& description)
{
    return target + QStringLiteral(": ") + description;
}

FolderRollbackResult FolderRollback::run(const QList<FolderRollbackEntry>& entries, FolderFileSystem& fileSystem,
                                         Method method, bool restoreNewestUnchecked)
{
    std::vector<Restore> restores(size_t(entries.size()));
    const auto unchecked = [&](qsizetype i) { return restoreNewestUnchecked && i == entries.size() - 1; };
    QStringList folders;
    for (qsizetype i = entries.size() - 1; i >= 0; --i) folders.push_back(folderOf(entries[i].targetURL));

    // Apply's own restore after a failure stays in order: it is short, and its file system may be a test's.
    const bool sideBySide = method == Method::copy;
    if (method == Method::copy) {
        // Every copy written first and flushed once, so that each rename then puts a whole file in place.
        forEachNewestFirst(entries, sideBySide, [&](qsizetype i) {
            Restore& restore = restores[size_t(i)];
            check(entries[i], unchecked(i), fileSystem, restore);
            if (restore.state == Restore::State::pending) stageCopy(entries[i], fileSystem, restore);
        });
        const bool staged = std::any_of(restores.begin(), restores.end(),
                                        [](const Restore& r) { return !r.temporary.isEmpty(); });
        if (staged) fileSystem.flush(folders, nullptr);
    }
    forEachNewestFirst(entries, sideBySide, [&](qsizetype i) {
        Restore& restore = restores[size_t(i)];
        if (restore.state != Restore::State::pending) return;
        // Looked at again right before the write: time has passed since.
        const QString temporary = restore.temporary;
        check(entries[i], unchecked(i), fileSystem, restore);
        if (restore.state != Restore::State::pending) {
            if (!temporary.isEmpty()) fileSystem.removeFile(temporary, nullptr);
            return;
        }
        put(entries[i], fileSystem, restore);
    });
    const bool anyRestored = std::any_of(restores.begin(), restores.end(),
                                         [](const Restore& r) { return r.state == Restore::State::restored; });
    if (anyRestored) fileSystem.flush(folders, nullptr);

    FolderRollbackResult result;
    for (qsizetype i = entries.size() - 1; i >= 0; --i) {
        const Restore& restore = restores[size_t(i)];
        const QString& target = entries[i].targetURL;
        switch (restore.state) {
        case Restore::State::restored: result.restored.push_back(target); break;
        case Restore::State::refused: result.refused.push_back(target); break;
        case Restore::State::failed: result.failures.push_back(failureLine(target, restore.failure)); break;
        case Restore::State::pending: break;
        }
    }
    return result;
}

}  // namespace korimado
