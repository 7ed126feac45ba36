#include "preview/PreviewResourceLocator.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace korimado {

namespace {

const QSet<QString>& assetExtensions()
{
    static const QSet<QString> extensions = {
        QStringLiteral("css"),  QStringLiteral("png"),  QStringLiteral("jpg"),  QStringLiteral("jpeg"),
        QStringLiteral("gif"),  QStringLiteral("webp"), QStringLiteral("avif"), QStringLiteral("svg"),
        QStringLiteral("ico"),  QStringLiteral("bmp"),  QStringLiteral("woff"), QStringLiteral("woff2"),
        QStringLiteral("ttf"),  QStringLiteral("otf"),  QStringLiteral("mp3"),  QStringLiteral("m4a"),
        QStringLiteral("wav"),  QStringLiteral("ogg"),  QStringLiteral("mp4"),  QStringLiteral("webm"),
    };
    return extensions;
}

PreviewResourceLocator::Failure refused()
{
    return {true, PreviewResourceLocator::refusalMessage};
}

}  // namespace

std::optional<QString> PreviewResourceLocator::standardizedRoot(const std::optional<QString>& folder)
{
    if (!folder || folder->isEmpty()) return std::nullopt;
    const QFileInfo info(*folder);
    const QString resolved = info.canonicalFilePath();
    return resolved.isEmpty() ? QDir::cleanPath(info.absoluteFilePath()) : resolved;
}

std::optional<QString> PreviewResourceLocator::localPath(const QUrl& url, const std::optional<QString>& root)
{
    if (url.scheme() != scheme || url.host() != host || !root || root->isEmpty()) return std::nullopt;
    QString path = url.path(QUrl::FullyDecoded);
    // A NUL would cut the name the system sees short of the one checked here.
    if (path.contains(QChar(0))) return std::nullopt;
    if (path.startsWith(QLatin1Char('/'))) path.remove(0, 1);
    const QString candidate = QFileInfo(QDir::cleanPath(*root + QLatin1Char('/') + path)).canonicalFilePath();
    if (candidate.isEmpty()) return std::nullopt;
    const QString prefix = root->endsWith(QLatin1Char('/')) ? *root : *root + QLatin1Char('/');
    if (!candidate.startsWith(prefix) || candidate.size() == prefix.size()) return std::nullopt;
    return candidate;
}

bool PreviewResourceLocator::isAssetExtension(const QString& path)
{
    return assetExtensions().contains(QFileInfo(path).suffix().toLower());
}

QByteArray PreviewResourceLocator::mimeType(const QString& path)
{
    static const QMimeDatabase database;
    const QString suffix = QFileInfo(path).suffix();
    const QList<QMimeType> types = database.mimeTypesForFileName(QStringLiteral("x.") + suffix);
    for (const QMimeType& type : types) {
        if (type.isValid() && !type.isDefault()) return type.name().toUtf8();
    }
    return QByteArrayLiteral("application/octet-stream");
}

std::variant<PreviewResourceLocator::Resource, PreviewResourceLocator::Failure>
PreviewResourceLocator::load(const QUrl& url, const std::optional<QString>& root)
{
    const std::optional<QString> path = localPath(url, root);
    if (!path || !isAssetExtension(*path)) return refused();
    // Opened without following a last link and checked on the open file, so what is read is
    // what was checked.
    const int fd = ::open(QFile::encodeName(*path).constData(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return refused();
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode) || info.st_size > maximumSize) {
        ::close(fd);
        return refused();
    }
    QByteArray data;
    data.resize(static_cast<qsizetype>(info.st_size));
    qsizetype done = 0;
    while (done < data.size()) {
        const ssize_t n = ::read(fd, data.data() + done, static_cast<size_t>(data.size() - done));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            const QString message = QString::fromLocal8Bit(std::strerror(errno));
            ::close(fd);
            return Failure{false, message};
        }
        if (n == 0) break;  // the file shrank while it was read
        done += n;
    }
    ::close(fd);
    data.truncate(done);
    return Resource{data, mimeType(*path)};
}

}  // namespace korimado
