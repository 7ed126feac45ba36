#include "filetree/TreePath.h"

#include "platform/foundation/FilePath.h"
#include "platform/text/StringChecks.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringList>
#include <QUrl>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <vector>

namespace korimado::TreePath {

namespace {

constexpr int maximumLinkHops = 40;  // as the kernel's own limit

ErrorInfo pathError(int code)
{
    return ErrorInfo{errorDomain, code,
                     code == 1 ? QStringLiteral("ファイルまたはフォルダのフルパスを入力してください。")
                               : QStringLiteral("指定されたパスが見つかりません。"),
                     QString()};
}

QString homeOf(const QString& user)
{
    if (user.isEmpty()) return QDir::homePath();
    long size = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(static_cast<size_t>(size > 0 ? size : 16384));
    struct passwd entry {};
    struct passwd* found = nullptr;
    if (::getpwnam_r(user.toLocal8Bit().constData(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found) {
        return QString();
    }
    return QFile::decodeName(found->pw_dir);
}

// "~" and "~user" at the start; an unknown user leaves the text as it is.
QString expandTilde(const QString& text)
{
    if (!text.startsWith(u'~')) return text;
    const qsizetype slash = text.indexOf(u'/');
    const QString user = text.mid(1, slash < 0 ? -1 : slash - 1);
    const QString home = homeOf(user);
    if (home.isEmpty()) return text;
    return slash < 0 ? home : home + text.mid(slash);
}

// The path of a file URL of this machine; empty when the text is not one. The host is compared
// as written, so "LOCALHOST" is another machine.
QString localFileURLPath(const QString& text)
{
    const QString rest = text.mid(7);
    const qsizetype slash = rest.indexOf(u'/');
    const QString host = slash < 0 ? rest : rest.left(slash);
    if (!host.isEmpty() && host != QStringLiteral("localhost")) return QString();
    const QUrl url(text);
    if (!url.isValid() || !url.isLocalFile()) return QString();
    return url.path(QUrl::FullyDecoded);
}

}  // namespace

QString standardized(const QString& path)
{
    return standardizedPath(path);
}

QString resolved(const QString& path)
{
    const QString clean = standardized(path);
    if (clean.isEmpty()) return clean;
    std::deque<QString> pending;
    for (const QString& part : clean.split(u'/', Qt::SkipEmptyParts)) pending.push_back(part);
    QString current = QStringLiteral("/");
    int hops = 0;
    while (!pending.empty()) {
        const QString part = pending.front();
        pending.pop_front();
        if (part == u'.') continue;
        if (part == QStringLiteral("..")) {
            current = QFileInfo(current).path();
            continue;
        }
        const QString next = current == u'/' ? current + part : current + u'/' + part;
        const QByteArray native = QFile::encodeName(next);
        struct stat info {};
        if (hops < maximumLinkHops && ::lstat(native.constData(), &info) == 0 && S_ISLNK(info.st_mode)) {
            QByteArray target(static_cast<qsizetype>(info.st_size) + 256, '\0');
            const ssize_t length = ::readlink(native.constData(), target.data(), static_cast<size_t>(target.size()));
            if (length > 0) {
                hops += 1;
                target.truncate(length);
                const QString into = QFile::decodeName(target);
                const QStringList parts = into.split(u'/', Qt::SkipEmptyParts);
                for (auto it = parts.rbegin(); it != parts.rend(); ++it) pending.push_front(*it);
                if (into.startsWith(u'/')) current = QStringLiteral("/");
                continue;
            }
        }
        current = next;
    }
    return current;
}

bool isAtOrUnder(const QString& candidate, const QString& base)
{
    if (candidate == base) return true;
    return candidate.startsWith(base.endsWith(u'/') ? base : base + u'/');
}

QString rebased(const QString& candidate, const QString& oldBase, const QString& newBase)
{
    if (candidate == oldBase) return newBase;
    const qsizetype cut = oldBase.size() + (oldBase.endsWith(u'/') ? 0 : 1);
    return standardized(newBase + u'/' + candidate.mid(cut));
}

Resolved resolve(const QString& typed)
{
    QString text = trimmedOfWhiteSpaceAndNewlines(typed);
    if (text.size() >= 2 && (text.front() == u'"' || text.front() == u'\'') && text.back() == text.front()) {
        text = text.mid(1, text.size() - 2);
    }
    QString path;
    if (text.startsWith(QStringLiteral("file://"))) path = localFileURLPath(text);
    if (path.isEmpty()) path = expandTilde(text);
    if (!path.startsWith(u'/')) throw pathError(1);
    const QString url = standardized(path);
    struct stat info {};
    // Followed: a link to a folder is a folder, and a dangling link is nothing.
    if (::stat(QFile::encodeName(url).constData(), &info) != 0) throw pathError(2);
    return Resolved{url, S_ISDIR(info.st_mode)};
}

}  // namespace korimado::TreePath
