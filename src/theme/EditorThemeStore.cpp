#include "theme/EditorThemeStore.h"
#include "platform/foundation/FilePath.h"

#include "platform/foundation/Bundle.h"
#include "platform/documents/FileIO.h"
#include "platform/documents/FileWrapper.h"
#include "platform/foundation/LocalizedStandardCompare.h"
#include "theme/EditorThemeError.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace korimado {

namespace {

const QString kExtension = QStringLiteral("cottheme");

// Nanoseconds since the epoch, or none when the file cannot be examined.
std::optional<qint64> modificationDate(const QString& path)
{
    struct stat info {};
    if (::stat(QFile::encodeName(path).constData(), &info) != 0) return std::nullopt;
    return static_cast<qint64>(info.st_mtim.tv_sec) * 1'000'000'000 + info.st_mtim.tv_nsec;
}

QString deletingPathExtension(const QString& fileName)
{
    const qsizetype dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot > 0 ? fileName.left(dot) : fileName;
}

QString defaultUserDirectory()
{
    const QString support = Bundle::applicationSupportPath();
    if (!support.isEmpty()) return support + QStringLiteral("/Themes");
    return QDir::cleanPath(QDir::tempPath() + QLatin1Char('/') + Bundle::configuration().dataFolderName +
                           QStringLiteral("/Themes"));
}

// Creates path and writes data into it, refusing to replace anything already there (even a file
// that appeared a moment ago); a half-written file is removed again.
bool writeNewFile(const QString& path, const QByteArray& data, ErrorInfo* error)
{
    const QByteArray name = QFile::encodeName(path);
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) {
        *error = posixError(errno, path);
        return false;
    }
    auto discard = [&](int code) {
        ::close(fd);
        ::unlink(name.constData());
        *error = posixError(code, path);
        return false;
    };
    const char* bytes = data.constData();
    qsizetype left = data.size();
    while (left > 0) {
        const ssize_t written = ::write(fd, bytes, static_cast<size_t>(left));
        if (written < 0) {
            if (errno == EINTR) continue;
            return discard(errno);
        }
        bytes += written;
        left -= written;
    }
    if (::fsync(fd) != 0) return discard(errno);
    if (::close(fd) != 0) {
        const int code = errno;
        ::unlink(name.constData());
        *error = posixError(code, path);
        return false;
    }
    return true;
}

}  // namespace

EditorThemeStore& EditorThemeStore::shared()
{
    static EditorThemeStore* store = new EditorThemeStore(Bundle::main());  // lives for the process
    return *store;
}

EditorThemeStore::EditorThemeStore(const Bundle& bundle)
    : EditorThemeStore(bundle.resourcePath().isEmpty()
                           ? std::nullopt
                           : std::optional<QString>(QDir::cleanPath(bundle.resourcePath() + QStringLiteral("/Themes"))),
                       defaultUserDirectory())
{
}

EditorThemeStore::EditorThemeStore(const std::optional<QString>& bundledDirectory, const QString& userDirectory)
    : bundledDirectory_(bundledDirectory), userDirectory_(userDirectory)
{
}

std::vector<EditorThemeDescriptor> EditorThemeStore::availableThemes() const
{
    std::map<QString, EditorThemeDescriptor> byName;
    const std::pair<std::optional<QString>, bool> sources[] = {{bundledDirectory_, true}, {userDirectory_, false}};
    for (const auto& [folder, isBundled] : sources) {
        if (!folder || folder->isEmpty()) continue;
        // Hidden files are skipped; sorted so that which of two same-named files wins is stable.
        const QFileInfoList entries =
            QDir(*folder).entryInfoList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::Name);
        for (const QFileInfo& entry : entries) {
            if (entry.suffix().toLower() != kExtension) continue;
            try {
                const EditorTheme theme = load(entry.filePath());
                byName.insert_or_assign(theme.name, EditorThemeDescriptor{theme.name, entry.filePath(), isBundled});
            } catch (const EditorThemeError&) {
            }
        }
    }

    std::vector<EditorThemeDescriptor> result;
    result.reserve(byName.size());
    for (auto& [name, descriptor] : byName) result.push_back(std::move(descriptor));
    std::sort(result.begin(), result.end(), [](const EditorThemeDescriptor& a, const EditorThemeDescriptor& b) {
        return localizedStandardLess(a.name, b.name);
    });
    return result;
}

QStringList EditorThemeStore::availableThemeNames() const
{
    QStringList names;
    for (const EditorThemeDescriptor& descriptor : availableThemes()) names.append(descriptor.name);
    return names;
}

EditorTheme EditorThemeStore::theme(const QString& named) const
{
    for (const EditorThemeDescriptor& descriptor : availableThemes()) {
        if (descriptor.name == named) return load(descriptor.url);
    }
    throw EditorThemeError::unavailable(named);
}

EditorTheme EditorThemeStore::load(const QString& url) const
{
    const QString path = standardizedPath(url);
    const std::optional<qint64> date = modificationDate(path);
    {
        std::lock_guard guard(lock_);
        const auto cached = cache_.find(path);
        if (cached != cache_.end() && cached->second.date == date) return cached->second.theme;
    }

    ErrorInfo error;
    const std::optional<QByteArray> data = readWholeFile(path, &error);
    if (!data) throw EditorThemeError::fileOperation(QStringLiteral("読み込み"), error);
    EditorTheme theme(*data, deletingPathExtension(QFileInfo(path).fileName()));

    std::lock_guard guard(lock_);
    cache_.insert_or_assign(path, CacheEntry{date, theme});
    return theme;
}

void EditorThemeStore::invalidate(const std::optional<QString>& url)
{
    std::lock_guard guard(lock_);
    if (url) {
        cache_.erase(standardizedPath(*url));
    } else {
        cache_.clear();
    }
}

EditorTheme EditorThemeStore::installTheme(const QByteArray& data, const std::optional<QString>& nameFallback,
                                           bool overwrite)
{
    EditorTheme theme(data, nameFallback);

    ErrorInfo error;
    if (!createDirectories(userDirectory_, &error)) throw EditorThemeError::fileOperation(QStringLiteral("保存"), error);

    const QString destination = userDirectory_ + QLatin1Char('/') + theme.name + QLatin1Char('.') + kExtension;
    const QFileInfo existing(destination);
    if (!overwrite && (existing.exists() || existing.isSymLink())) throw EditorThemeError::alreadyImported(theme.name);

    const QByteArray encoded = theme.encodedData();
    // A link standing under the theme's name is replaced, never written through: it could lead
    // anywhere outside the theme folder.
    const bool written = overwrite ? FileWrapper::regularFile(encoded).write(destination, &error)
                                   : writeNewFile(destination, encoded, &error);
    if (!written) throw EditorThemeError::fileOperation(QStringLiteral("保存"), error);

    invalidate(destination);
    return theme;
}

void EditorThemeStore::exportTheme(const EditorTheme& theme, const QString& to) const
{
    ErrorInfo error;
    if (!writeFileSafely(to, theme.encodedData(), &error)) {
        throw EditorThemeError::fileOperation(QStringLiteral("書き出し"), error);
    }
}

}  // namespace korimado
