#include "platform/documents/AutosavedContents.h"

#include "platform/documents/FileIO.h"
#include "platform/foundation/Bundle.h"

#include <QCryptographicHash>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUuid>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <limits>
#include <utility>

namespace korimado {

namespace {

constexpr unsigned privateFileMode = 0600;
constexpr unsigned privateFolderMode = 0700;
constexpr qint64 largestRecord = 1 << 20;

ErrorInfo unsafeFolder(const QString& folder, const QString& reason)
{
    return ErrorInfo{Bundle::configuration().errorDomain, AutosavedContents::unsafeFolderErrorCode,
                     QStringLiteral("自動保存のフォルダ“%1”は%2ため、使いません。").arg(folder, reason),
                     QStringLiteral("自動保存のフォルダは、自分が所有し、自分だけが書き込めるフォルダ（アクセス権700）"
                                    "にしてください。")};
}

// Whether the open folder is the user's and nobody else may put anything into it.
bool isUsersOwn(const DirectoryHandle& folder, ErrorInfo* error)
{
    struct stat info {};
    if (::fstat(folder.descriptor(), &info) != 0) {
        if (error) *error = posixError(errno, folder.path());
        return false;
    }
    if (info.st_uid != ::geteuid()) {
        if (error) *error = unsafeFolder(folder.path(), QStringLiteral("ほかのユーザーのものである"));
        return false;
    }
    if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
        if (error) *error = unsafeFolder(folder.path(), QStringLiteral("ほかのユーザーも書き込める"));
        return false;
    }
    return true;
}

// The recovery folder, open. The path may lead through links; what it opens is checked.
std::optional<DirectoryHandle> openRoot(const QString& root, bool create, ErrorInfo* error)
{
    if (create) {
        const QByteArray name = QFile::encodeName(root);
        struct stat info {};
        if (::stat(name.constData(), &info) != 0) {
            const qsizetype slash = root.lastIndexOf(u'/');
            if (slash > 0 && !createDirectories(root.left(slash), error)) return std::nullopt;
            if (::mkdir(name.constData(), privateFolderMode) != 0 && errno != EEXIST) {
                if (error) *error = posixError(errno, root);
                return std::nullopt;
            }
        }
    }
    std::optional<DirectoryHandle> handle = DirectoryHandle::open(root, error);
    if (!handle || !isUsersOwn(*handle, error)) return std::nullopt;
    return handle;
}

// Takes the folder's lock without waiting. False when another process holds it, or the folder was
// replaced or removed while the lock was taken (a claimer removing it).
bool lockFolder(const DirectoryHandle& root, const QByteArray& name, const DirectoryHandle& folder)
{
    struct stat held {};
    struct stat named {};
    return ::flock(folder.descriptor(), LOCK_EX | LOCK_NB) == 0 && ::fstat(folder.descriptor(), &held) == 0
        && ::fstatat(root.descriptor(), name.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino;
}

bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(u'/');
}

// Contents without a record (written by hand, or a record lost): the one file that is neither the
// record nor a temporary of an interrupted write.
QString findContents(const DirectoryHandle& folder)
{
    std::optional<std::vector<QByteArray>> names = folder.entryNames();
    if (!names) return {};
    std::sort(names->begin(), names->end());
    for (const QByteArray& name : *names) {
        const QString decoded = QFile::decodeName(name);
        if (decoded == AutosavedContents::recordFileName || decoded.startsWith(QLatin1String(".korimado-"))) continue;
        if (folder.kind(name) == DirectoryHandle::Kind::regularFile) return decoded;
    }
    return {};
}

std::optional<FileContentsDigest> parseDigest(const QJsonValue& size, const QJsonValue& digest)
{
    constexpr double largestExactSize = 9007199254740992.0;  // 2^53
    const double bytes = size.toDouble(-1);
    if (!size.isDouble() || !(bytes >= 0) || bytes > largestExactSize || bytes != std::floor(bytes)) return std::nullopt;
    const QString hex = digest.toString();
    static const QRegularExpression sha256Hex(QStringLiteral("^[0-9a-f]{64}$"));
    if (!sha256Hex.match(hex).hasMatch()) return std::nullopt;
    return FileContentsDigest{static_cast<qint64>(bytes), QByteArray::fromHex(hex.toLatin1())};
}

}  // namespace

FileContentsDigest FileContentsDigest::of(QByteArrayView bytes)
{
    return {bytes.size(), QCryptographicHash::hash(bytes, QCryptographicHash::Sha256)};
}

QByteArray AutosaveRecord::toJson() const
{
    QJsonObject object{{QStringLiteral("contents"), contentsName},
                       {QStringLiteral("file"), fileURL},
                       {QStringLiteral("type"), fileType},
                       {QStringLiteral("name"), displayName},
                       {QStringLiteral("state"), state}};
    if (fileContents) {
        object.insert(QStringLiteral("fileSize"), static_cast<double>(fileContents->size));
        object.insert(QStringLiteral("fileSHA256"), QString::fromLatin1(fileContents->sha256.toHex()));
    }
    return QJsonDocument(object).toJson(QJsonDocument::Indented);
}

std::optional<AutosaveRecord> AutosaveRecord::fromJson(const QByteArray& json)
{
    const QJsonDocument document = QJsonDocument::fromJson(json);
    if (!document.isObject()) return std::nullopt;
    const QJsonObject object = document.object();
    AutosaveRecord record;
    record.contentsName = object.value(QStringLiteral("contents")).toString();
    record.fileURL = object.value(QStringLiteral("file")).toString();
    record.fileType = object.value(QStringLiteral("type")).toString();
    record.displayName = object.value(QStringLiteral("name")).toString();
    record.state = object.value(QStringLiteral("state")).toObject();
    const QJsonValue size = object.value(QStringLiteral("fileSize"));
    const QJsonValue digest = object.value(QStringLiteral("fileSHA256"));
    if (!size.isUndefined() || !digest.isUndefined()) {
        record.fileContents = parseDigest(size, digest);
        // Damaged: matches no file, so that the restore takes the file as changed rather than unchanged.
        if (!record.fileContents) record.fileContents = FileContentsDigest::matchingNothing();
    }
    if (!isPlainName(record.contentsName) || record.contentsName == AutosavedContents::recordFileName) return std::nullopt;
    return record;
}

AutosavedContents::AutosavedContents(std::shared_ptr<const DirectoryHandle> root, QByteArray name,
                                     DirectoryHandle folder, QString contentsName)
    : root_(std::move(root)),
      name_(std::move(name)),
      folderPath_(folder.path()),
      folder_(std::move(folder)),
      contentsName_(std::move(contentsName))
{
}

AutosavedContents::~AutosavedContents() = default;

std::unique_ptr<AutosavedContents> AutosavedContents::create(const QString& root, const QString& fileName,
                                                             ErrorInfo* error)
{
    std::optional<DirectoryHandle> opened = openRoot(root, true, error);
    if (!opened) return nullptr;
    return createIn(std::make_shared<const DirectoryHandle>(std::move(*opened)), fileName, error);
}

std::unique_ptr<AutosavedContents> AutosavedContents::createIn(const std::shared_ptr<const DirectoryHandle>& root,
                                                               const QString& fileName, ErrorInfo* error)
{
    QString contentsName = isPlainName(fileName) ? fileName : QStringLiteral("contents.txt");
    if (contentsName == recordFileName) contentsName.prepend(u'_');
    // A fresh name each try: one taken, or one a claimer removes as empty, is simply passed over.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QByteArray name = QUuid::createUuid().toString(QUuid::WithoutBraces).left(8).toLatin1();
        ErrorInfo made;
        std::optional<DirectoryHandle> folder = root->createDirectory(name, privateFolderMode, &made);
        if (!folder) {
            if (made.domain == posixErrorDomain && made.code == EEXIST) continue;
            if (error) *error = made;
            return nullptr;
        }
        if (!lockFolder(*root, name, *folder)) continue;
        return std::unique_ptr<AutosavedContents>(new AutosavedContents(root, name, std::move(*folder), contentsName));
    }
    if (error) *error = posixError(EEXIST, root->path());
    return nullptr;
}

std::vector<std::unique_ptr<AutosavedContents>> AutosavedContents::claimAbandoned(const QString& rootPath,
                                                                                 std::vector<ErrorInfo>* refused)
{
    ErrorInfo rootError;
    std::optional<DirectoryHandle> opened = openRoot(rootPath, false, &rootError);
    if (!opened) {
        if (refused && rootError.code == unsafeFolderErrorCode) refused->push_back(rootError);
        return {};
    }
    const auto root = std::make_shared<const DirectoryHandle>(std::move(*opened));
    const std::optional<std::vector<QByteArray>> names = root->entryNames();
    if (!names) return {};
    std::vector<QByteArray> folders;
    std::vector<QByteArray> looseFiles;
    for (const QByteArray& name : *names) {
        switch (root->kind(name)) {
        case DirectoryHandle::Kind::regularFile: looseFiles.push_back(name); break;
        case DirectoryHandle::Kind::directory: folders.push_back(name); break;
        case DirectoryHandle::Kind::symbolicLink:
            if (refused) {
                refused->push_back(unsafeFolder(root->path() + QLatin1Char('/') + QFile::decodeName(name),
                                                QStringLiteral("シンボリックリンクである")));
            }
            break;
        default: break;
        }
    }

    // Earlier versions left each autosave loose in root, tagged “（自動保存 1a2b3c4d）”, and never
    // offered it back: each moves into a folder of its own and is offered like the rest.
    static const QRegularExpression looseTag(QStringLiteral("（自動保存 [0-9a-f]{8}）"));
    for (const QByteArray& name : looseFiles) {
        QString shown = QFile::decodeName(name);
        if (!shown.contains(looseTag)) continue;
        shown.remove(looseTag);
        std::unique_ptr<AutosavedContents> adopted = createIn(root, shown, nullptr);
        if (!adopted) continue;
        if (::renameat(root->descriptor(), name.constData(), adopted->folder_->descriptor(),
                       QFile::encodeName(adopted->contentsName_).constData())
            != 0) {
            adopted->remove();
            continue;
        }
        folders.push_back(adopted->name_);
    }

    struct Found {
        std::unique_ptr<AutosavedContents> contents;
        qint64 modified;
    };
    std::vector<Found> found;
    for (const QByteArray& name : folders) {
        // A link put in the folder's place meanwhile is not followed.
        std::optional<DirectoryHandle> folder = root->openDirectory(name);
        if (!folder) continue;
        ErrorInfo unsafe;
        if (!isUsersOwn(*folder, &unsafe)) {
            if (refused && unsafe.code == unsafeFolderErrorCode) refused->push_back(unsafe);
            continue;
        }
        if (!lockFolder(*root, name, *folder)) continue;
        const std::optional<QByteArray> json = folder->readFile(QFile::encodeName(recordFileName), largestRecord);
        std::optional<AutosaveRecord> record = json ? AutosaveRecord::fromJson(*json) : std::nullopt;
        const QString contentsName = record ? record->contentsName : findContents(*folder);
        auto claimed = std::unique_ptr<AutosavedContents>(new AutosavedContents(root, name, std::move(*folder), contentsName));
        struct stat info {};
        if (contentsName.isEmpty()
            || ::fstatat(claimed->folder_->descriptor(), QFile::encodeName(contentsName).constData(), &info,
                         AT_SYMLINK_NOFOLLOW)
                != 0
            || !S_ISREG(info.st_mode)) {
            // Killed before its first contents were written: nothing to give back.
            claimed->remove();
            continue;
        }
        if (!record) {
            record = AutosaveRecord{};
            record->contentsName = contentsName;
            record->displayName = contentsName;
        }
        claimed->record_ = std::move(*record);
        found.push_back({std::move(claimed), static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec});
    }
    std::stable_sort(found.begin(), found.end(), [](const Found& a, const Found& b) { return a.modified < b.modified; });
    std::vector<std::unique_ptr<AutosavedContents>> result;
    for (Found& entry : found) result.push_back(std::move(entry.contents));
    return result;
}

std::optional<QByteArray> AutosavedContents::readContents(ErrorInfo* error) const
{
    if (!folder_) {
        if (error) *error = posixError(ENOENT, contentsPath());
        return std::nullopt;
    }
    return folder_->readFile(QFile::encodeName(contentsName_), std::numeric_limits<qint64>::max() - 1, error);
}

bool AutosavedContents::write(AutosaveRecord record, const QByteArray& contents, ErrorInfo* error) const
{
    if (!folder_) {
        if (error) *error = posixError(ENOENT, contentsPath());
        return false;
    }
    record.contentsName = contentsName_;
    return folder_->writeFile(QFile::encodeName(recordFileName), record.toJson(), privateFileMode, error)
        && folder_->writeFile(QFile::encodeName(contentsName_), contents, privateFileMode, error);
}

void AutosavedContents::remove()
{
    if (!folder_) return;
    // The contents first: a record left alone by an interruption has nothing to give back.
    folder_->removeEntry(QFile::encodeName(contentsName_));
    folder_->removeEntry(QFile::encodeName(recordFileName));
    if (const auto names = folder_->entryNames()) {
        for (const QByteArray& name : *names) folder_->removeEntry(name, folder_->kind(name) == DirectoryHandle::Kind::directory);
    }
    // Only the folder held, should another have taken its name meanwhile.
    struct stat held {};
    struct stat named {};
    if (::fstat(folder_->descriptor(), &held) == 0
        && ::fstatat(root_->descriptor(), name_.constData(), &named, AT_SYMLINK_NOFOLLOW) == 0
        && held.st_dev == named.st_dev && held.st_ino == named.st_ino) {
        root_->removeEntry(name_, true);
    }
    folder_.reset();
}

}  // namespace korimado
