#include "platform/documents/AutosavedContents.h"

#include "platform/documents/FileIO.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QUuid>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

namespace korimado {

namespace {

constexpr unsigned privateFileMode = 0600;
constexpr qint64 largestRecord = 1 << 20;

// Opens folder and takes its lock without waiting. -1 when it is not a folder, another process
// holds it, or it was replaced or removed while the lock was taken (a claimer removing it).
int lockFolder(const QString& folder)
{
    const QByteArray name = QFile::encodeName(folder);
    const int fd = ::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0) return -1;
    struct stat held {};
    struct stat named {};
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 || ::fstat(fd, &held) != 0 || ::lstat(name.constData(), &named) != 0
        || held.st_dev != named.st_dev || held.st_ino != named.st_ino) {
        ::close(fd);
        return -1;
    }
    return fd;
}

bool isRegularFile(const QString& path, struct stat* info = nullptr)
{
    struct stat local {};
    struct stat& out = info ? *info : local;
    return ::lstat(QFile::encodeName(path).constData(), &out) == 0 && S_ISREG(out.st_mode);
}

bool isPlainName(const QString& name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") && !name.contains(u'/');
}

// Contents without a record (written by hand, or a record lost): the one file that is neither the
// record nor a temporary of an interrupted write.
QString findContents(const QString& folder)
{
    const QStringList names = QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System, QDir::Name);
    for (const QString& name : names) {
        if (name == AutosavedContents::recordFileName || name.startsWith(QLatin1String(".korimado-"))) continue;
        if (isRegularFile(folder + QLatin1Char('/') + name)) return name;
    }
    return {};
}

}  // namespace

QByteArray AutosaveRecord::toJson() const
{
    QJsonObject object{{QStringLiteral("contents"), contentsName},
                       {QStringLiteral("file"), fileURL},
                       {QStringLiteral("type"), fileType},
                       {QStringLiteral("name"), displayName},
                       {QStringLiteral("state"), state}};
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
    if (!isPlainName(record.contentsName) || record.contentsName == AutosavedContents::recordFileName) return std::nullopt;
    return record;
}

AutosavedContents::AutosavedContents(QString folder, QString contentsName, int lock)
    : folder_(std::move(folder)), contentsName_(std::move(contentsName)), lock_(lock)
{
}

AutosavedContents::~AutosavedContents()
{
    if (lock_ >= 0) ::close(lock_);
}

std::unique_ptr<AutosavedContents> AutosavedContents::create(const QString& root, const QString& fileName,
                                                             ErrorInfo* error)
{
    if (!QDir().mkpath(root)) {
        if (error) *error = posixError(errno ? errno : EACCES, root);
        return nullptr;
    }
    QString contentsName = isPlainName(fileName) ? fileName : QStringLiteral("contents.txt");
    if (contentsName == recordFileName) contentsName.prepend(u'_');
    // A fresh name each try: one taken, or one a claimer removes as empty, is simply passed over.
    for (int attempt = 0; attempt < 16; ++attempt) {
        const QString folder =
            root + QLatin1Char('/') + QUuid::createUuid().toString(QUuid::WithoutBraces).left(8);
        if (::mkdir(QFile::encodeName(folder).constData(), 0700) != 0) {
            if (errno == EEXIST) continue;
            if (error) *error = posixError(errno, root);
            return nullptr;
        }
        const int lock = lockFolder(folder);
        if (lock < 0) continue;
        return std::unique_ptr<AutosavedContents>(new AutosavedContents(folder, contentsName, lock));
    }
    if (error) *error = posixError(EEXIST, root);
    return nullptr;
}

std::vector<std::unique_ptr<AutosavedContents>> AutosavedContents::claimAbandoned(const QString& root)
{
    struct Found {
        std::unique_ptr<AutosavedContents> contents;
        qint64 modified;
    };
    std::vector<Found> found;
    DIR* dir = ::opendir(QFile::encodeName(root).constData());
    if (!dir) return {};
    QStringList folders;
    QStringList looseFiles;
    while (const dirent* entry = ::readdir(dir)) {
        const QString name = QFile::decodeName(entry->d_name);
        if (name == QLatin1String(".") || name == QLatin1String("..")) continue;
        if (isRegularFile(root + QLatin1Char('/') + name)) looseFiles.append(name);
        else folders.append(root + QLatin1Char('/') + name);
    }
    ::closedir(dir);

    // Earlier versions left each autosave loose in root, tagged “（自動保存 1a2b3c4d）”, and never
    // offered it back: each moves into a folder of its own and is offered like the rest.
    static const QRegularExpression looseTag(QStringLiteral("（自動保存 [0-9a-f]{8}）"));
    for (const QString& name : looseFiles) {
        if (!name.contains(looseTag)) continue;
        QString shown = name;
        shown.remove(looseTag);
        std::unique_ptr<AutosavedContents> adopted = create(root, shown, nullptr);
        if (!adopted) continue;
        if (::rename(QFile::encodeName(root + QLatin1Char('/') + name).constData(),
                     QFile::encodeName(adopted->contentsPath()).constData())
            != 0) {
            adopted->remove();
            continue;
        }
        folders.append(adopted->folder());
    }

    for (const QString& folder : folders) {
        const int lock = lockFolder(folder);
        if (lock < 0) continue;
        const std::optional<QByteArray> json =
            readWholeFile(folder + QLatin1Char('/') + recordFileName, nullptr, largestRecord);
        std::optional<AutosaveRecord> record = json ? AutosaveRecord::fromJson(*json) : std::nullopt;
        const QString contentsName = record ? record->contentsName : findContents(folder);
        auto claimed = std::unique_ptr<AutosavedContents>(new AutosavedContents(folder, contentsName, lock));
        struct stat info {};
        if (contentsName.isEmpty() || !isRegularFile(claimed->contentsPath(), &info)) {
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

bool AutosavedContents::write(AutosaveRecord record, const QByteArray& contents, ErrorInfo* error) const
{
    record.contentsName = contentsName_;
    return writeFileSafely(folder_ + QLatin1Char('/') + recordFileName, record.toJson(), error, privateFileMode)
        && writeFileSafely(contentsPath(), contents, error, privateFileMode);
}

void AutosavedContents::remove()
{
    if (lock_ < 0) return;
    // The contents first: a record left alone by an interruption has nothing to give back.
    QFile::remove(contentsPath());
    QDir(folder_).removeRecursively();
    ::close(lock_);
    lock_ = -1;
}

}  // namespace korimado
