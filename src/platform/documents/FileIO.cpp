#include "platform/documents/FileIO.h"

#include "platform/documents/ExtendedAttributes.h"
#include "platform/documents/FileDescriptor.h"
#include "platform/documents/FileReplacement.h"
#include "platform/documents/StaleTemporaries.h"
#include "platform/foundation/FilePath.h"
#include "platform/foundation/MemoryAdvice.h"
#include "platform/foundation/ParallelParts.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <cstring>
#include <vector>

namespace korimado {

namespace {

bool fail(ErrorInfo* error, int code, const QString& path)
{
    if (error) *error = posixError(code, path);
    return false;
}

QString quotedName(const QString& path)
{
    return QStringLiteral("“%1”").arg(QFileInfo(path).fileName());
}

bool failNotRegular(ErrorInfo* error, const QString& path)
{
    if (error) {
        *error = ErrorInfo{posixErrorDomain, EINVAL,
                           quotedName(path) + QStringLiteral("は通常のファイルではないため、読み書きできません。"),
                           QStringLiteral("装置やパイプは開けません。通常のファイルを選んでください。")};
    }
    return false;
}

// Making the temporary, or renaming it, is the folder's business: a writable file in a folder the
// user may not write must not be blamed.
bool failFolder(ErrorInfo* error, int code, const QString& folder, const QString& path)
{
    if (code != EACCES && code != EPERM) return fail(error, code, path);
    if (error) {
        *error = ErrorInfo{posixErrorDomain, code,
                           QStringLiteral("フォルダ%1に書き込む権限がないため、%2を保存できませんでした。")
                               .arg(folder == QStringLiteral("/") ? QStringLiteral("“/”") : quotedName(folder),
                                    quotedName(path)),
                           QStringLiteral("フォルダのアクセス権を確認するか、別の場所に保存してください。")};
    }
    return false;
}

bool failReadOnly(ErrorInfo* error, const QString& path)
{
    if (error) {
        *error = ErrorInfo{posixErrorDomain, EACCES,
                           quotedName(path) + QStringLiteral("は書き込みが許可されていないため、上書きしませんでした。"),
                           QStringLiteral("別名で保存すると、変更を別のファイルに残せます。")};
    }
    return false;
}

// Where a path that may be a symbolic link (or a chain of them) finally leads, even when nothing
// exists there yet. False with ELOOP for a cycle.
bool resolveLinks(QString& path, int* code)
{
    for (int depth = 0; depth < 40; ++depth) {
        struct stat info {};
        if (::lstat(encodedFileName(path).constData(), &info) != 0 || !S_ISLNK(info.st_mode)) return true;
        const QString target = QFileInfo(path).symLinkTarget();
        if (target.isEmpty()) return true;
        path = standardizedPath(target);
    }
    *code = ELOOP;
    return false;
}

void flushFolder(const QString& folder)
{
    FileDescriptor dir(::open(encodedFileName(folder).constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.get() >= 0) ::fsync(dir.get());
}

// A file with other names stays one file: a rename would leave them with the old text. Its old
// bytes go to a flushed copy beside it first, so that a crash midway loses nothing; the copy is
// removed once the file holds the new bytes, and kept (and named) when they could not be put back.
bool writeInPlace(const QString& target, const QString& folder, const struct stat& existing, const QByteArray& data,
                  ErrorInfo* error)
{
    const std::optional<QByteArray> old = readWholeFile(target, error);
    if (!old) return false;
    const FileIdentity identity{quint64(existing.st_dev), quint64(existing.st_ino)};
    QByteArray keep = encodedFileName(folder + QLatin1Char('/') + temporaryFileNamePrefix(QFileInfo(target).fileName()))
        + QByteArray("keep-XXXXXX");
    {
        FileDescriptor fd(::mkostemp(keep.data(), O_CLOEXEC));
        if (fd.get() < 0) return failFolder(error, errno, folder, target);
        const char* bytes = old->constData();
        qsizetype left = old->size();
        int code = 0;
        while (left > 0 && code == 0) {
            const ssize_t written = ::write(fd.get(), bytes, static_cast<size_t>(left));
            if (written < 0) {
                if (errno != EINTR) code = errno;
                continue;
            }
            bytes += written;
            left -= written;
        }
        if (code == 0 && ::fsync(fd.get()) != 0) code = errno;
        if (::close(fd.release()) != 0 && code == 0) code = errno;
        if (code != 0) {
            ::unlink(keep.constData());
            return fail(error, code, target);
        }
    }
    flushFolder(folder);
    if (!overwriteInPlace(target, identity, data, error)) {
        ErrorInfo ignored;
        if (overwriteInPlace(target, identity, *old, &ignored)) {
            ::unlink(keep.constData());
        } else if (error) {
            error->recoverySuggestion += QStringLiteral("元の内容は“%1”に残してあります。").arg(decodedFileName(keep).section(u'/', -1));
        }
        return false;
    }
    ::unlink(keep.constData());
    return true;
}

}  // namespace

ErrorInfo posixError(int code, const QString& path)
{
    const QString name = quotedName(path);
    QString description;
    QString suggestion;
    switch (code) {
    case ENOSPC:
        description = QStringLiteral("ディスクに空きがないため、%1を書き込めませんでした。").arg(name);
        suggestion = QStringLiteral("不要なファイルを削除して空きを作ってから、もう一度試してください。");
        break;
    case EDQUOT:
        description = QStringLiteral("ディスクの使用量が割り当ての上限に達したため、%1を書き込めませんでした。").arg(name);
        suggestion = QStringLiteral("不要なファイルを削除してから、もう一度試してください。");
        break;
    case ENAMETOOLONG:
        description = QStringLiteral("名前が長すぎるため、%1にアクセスできませんでした。").arg(name);
        suggestion = QStringLiteral("短い名前か、浅いフォルダで試してください。");
        break;
    case EACCES:
    case EPERM:
        description = QStringLiteral("%1にアクセスする権限がありません。").arg(name);
        suggestion = QStringLiteral("ファイルとフォルダのアクセス権を確認してください。");
        break;
    case EROFS:
        description = QStringLiteral("%1は読み出し専用のボリュームにあるため、書き込めません。").arg(name);
        suggestion = QStringLiteral("別の場所に保存してください。");
        break;
    case EISDIR:
        description = QStringLiteral("%1はフォルダです。").arg(name);
        suggestion = QStringLiteral("ファイルを選んでください。");
        break;
    case ENOENT:
        description = QStringLiteral("%1が見つかりません。").arg(name);
        suggestion = QStringLiteral("ファイルやフォルダが移動または削除されていないか確認してください。");
        break;
    case EIO:
        description = QStringLiteral("%1の読み書き中に入出力エラーが起きました。").arg(name);
        suggestion = QStringLiteral("ディスクや接続の状態を確認してください。");
        break;
    case ELOOP:
        description = QStringLiteral("%1へのシンボリックリンクが循環しているため、たどれませんでした。").arg(name);
        suggestion = QStringLiteral("リンクの参照先を確認してください。");
        break;
    case ENOTDIR:
        description = QStringLiteral("%1へのパスの途中に、フォルダではない項目があります。").arg(name);
        suggestion = QStringLiteral("ファイルやフォルダが移動または置き換えられていないか確認してください。");
        break;
    default:
        description = QStringLiteral("%1にアクセスできませんでした。").arg(name);
        suggestion = QString::fromLocal8Bit(std::strerror(code));
        break;
    }
    return ErrorInfo{posixErrorDomain, code, description, suggestion};
}

std::optional<QByteArray> readWholeFile(const QString& path, ErrorInfo* error, qint64 maximumSize)
{
    const QByteArray encoded = encodedFileName(path);
    // Decided before opening: opening some devices has effects of its own.
    struct stat info {};
    if (::stat(encoded.constData(), &info) != 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    if (S_ISDIR(info.st_mode)) {
        fail(error, EISDIR, path);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        failNotRegular(error, path);
        return std::nullopt;
    }
    // Without O_NONBLOCK a pipe put in the file's place meanwhile would block until a writer came.
    FileDescriptor fd(::open(encoded.constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    if (::fstat(fd.get(), &info) != 0) {
        fail(error, errno, path);
        return std::nullopt;
    }
    if (!S_ISREG(info.st_mode)) {
        failNotRegular(error, path);
        return std::nullopt;
    }
    const qint64 limit = maximumSize + 1;
    QByteArray data;
    qint64 capacity = std::min<qint64>(info.st_size > 0 ? info.st_size + 1 : 4096, limit);
    data.resize(static_cast<qsizetype>(capacity));
    qint64 used = 0;
    // A large file is read in parts at once, into memory advised for large pages: copying tens of
    // megabytes out of the page cache is most of the time of opening it.
    const qint64 known = std::min<qint64>(info.st_size, capacity);
    if (known >= (qint64(4) << 20)) {
        adviseLargeBuffer(data.data(), static_cast<std::size_t>(capacity));
        const std::size_t parts = parallelPartCount(static_cast<std::size_t>(known), std::size_t(4) << 20, 8);
        std::vector<int> failures(parts, 0);
        runInParts(parts, [&](std::size_t k) {
            qint64 at = known * qint64(k) / qint64(parts);
            const qint64 end = known * qint64(k + 1) / qint64(parts);
            while (at < end) {
                const ssize_t count = ::pread(fd.get(), data.data() + at, static_cast<size_t>(end - at), at);
                if (count < 0 && errno == EINTR) continue;
                if (count <= 0) {
                    // Shorter than it was a moment ago, or unreadable: the plain loop below decides.
                    failures[k] = count < 0 ? errno : -1;
                    return;
                }
                at += count;
            }
        });
        if (std::all_of(failures.begin(), failures.end(), [](int f) { return f == 0; })) used = known;
        if (::lseek(fd.get(), static_cast<off_t>(used), SEEK_SET) < 0) {
            fail(error, errno, path);
            return std::nullopt;
        }
    }
    while (used < limit) {
        if (used == capacity) {
            capacity = std::min(capacity * 2, limit);
            data.resize(static_cast<qsizetype>(capacity));
        }
        const ssize_t count = ::read(fd.get(), data.data() + used, static_cast<size_t>(capacity - used));
        if (count < 0) {
            if (errno == EINTR) continue;
            fail(error, errno, path);
            return std::nullopt;
        }
        if (count == 0) break;
        used += count;
    }
    data.resize(static_cast<qsizetype>(used));
    return data;
}

bool createDirectories(const QString& path, ErrorInfo* error)
{
    std::error_code code;
    std::filesystem::create_directories(std::filesystem::path(QFile::encodeName(path).toStdString()), code);
    if (!code) return true;
    if (error) *error = posixError(code.value(), path);
    return false;
}

QString temporaryFileNamePrefix(const QString& fileName)
{
    // A digest keeps the name short for a name of any length, and still tells whose it is.
    const QByteArray digest = QCryptographicHash::hash(fileName.toUtf8(), QCryptographicHash::Sha1).toHex().left(12);
    return QStringLiteral(".korimado-") + QString::fromLatin1(digest) + QLatin1Char('-');
}

bool writeFileSafely(const QString& path, const QByteArray& data, ErrorInfo* error, std::optional<unsigned> newFileMode)
{
    QString target = standardizedPath(path);
    // Replacing a link would turn it into a plain file: write where it points instead.
    int loopCode = 0;
    if (!resolveLinks(target, &loopCode)) return fail(error, loopCode, target);
    const QString folder = QFileInfo(target).path();
    const QString fileName = QFileInfo(target).fileName();

    mode_t mode = 0666;
    struct stat existing {};
    const bool exists = ::stat(encodedFileName(target).constData(), &existing) == 0;
    if (exists) {
        if (S_ISDIR(existing.st_mode)) return fail(error, EISDIR, target);
        if (!S_ISREG(existing.st_mode)) return failNotRegular(error, target);
        // The rename would replace a read-only file without a word, as root even any file.
        const bool ownerMayWrite = (existing.st_mode & S_IWUSR) != 0;
        const bool weMayWrite = ::geteuid() == 0 || ::access(encodedFileName(target).constData(), W_OK) == 0;
        if (!ownerMayWrite || !weMayWrite) return failReadOnly(error, target);
        mode = existing.st_mode & 07777;
    } else if (newFileMode) {
        mode = static_cast<mode_t>(*newFileMode & 07777);
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode &= ~mask;
    }

    if (exists && existing.st_nlink > 1) return writeInPlace(target, folder, existing, data, error);

    removeStaleTemporaries(folder, fileName);
    QByteArray temporary = encodedFileName(folder + QLatin1Char('/') + temporaryFileNamePrefix(fileName))
        + QByteArray("XXXXXX");
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) return failFolder(error, errno, folder, target);
    // Held until the rename: tells a later save that this temporary is not stale.
    ::flock(fd.get(), LOCK_EX | LOCK_NB);
    auto discard = [&](int code, bool inFolder = false) {
        fd.reset();
        ::unlink(temporary.constData());
        return inFolder ? failFolder(error, code, folder, target) : fail(error, code, target);
    };

    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd.get(), bytes, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR) continue;
            return discard(errno);
        }
        bytes += written;
        left -= written;
    }
    // Owner first: changing it afterwards would clear the set-user-ID and set-group-ID bits.
    if (exists && ::geteuid() == 0) {
        if (::fchown(fd.get(), existing.st_uid, existing.st_gid) != 0) return discard(errno);
    }
    if (::fchmod(fd.get(), mode) != 0) return discard(errno);
    // After the mode: an ACL sets the group bits from its mask, as the old file has them.
    if (exists) {
        const FileDescriptor old(::open(encodedFileName(target).constData(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
        struct stat oldInfo {};
        if (!old.isOpen() || ::fstat(old.get(), &oldInfo) != 0) return discard(errno);
        if (oldInfo.st_dev == existing.st_dev && oldInfo.st_ino == existing.st_ino) {
            if (const int code = copyExtendedAttributes(old.get(), fd.get())) return discard(code);
        }
    }
    if (::fsync(fd.get()) != 0) return discard(errno);
    if (::rename(temporary.constData(), encodedFileName(target).constData()) != 0) return discard(errno, true);
    if (::close(fd.release()) != 0) return fail(error, errno, target);
    // The rename itself must reach the disk too.
    flushFolder(folder);
    return true;
}

}  // namespace korimado
