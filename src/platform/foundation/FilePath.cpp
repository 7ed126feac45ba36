#include "platform/foundation/FilePath.h"

#include <QDir>

#include <cerrno>
#include <climits>
#include <cstring>
#include <vector>

#include <unistd.h>

namespace korimado {

namespace {

// The working folder from its bytes: Qt's own answer goes through the local encoding, which
// loses the bytes of a name that is not UTF-8.
QString currentFolder()
{
    std::vector<char> buffer(PATH_MAX);
    while (!::getcwd(buffer.data(), buffer.size())) {
        if (errno != ERANGE || buffer.size() > (std::size_t(1) << 20))
            return QDir::currentPath();
        buffer.resize(buffer.size() * 2);
    }
    return decodedFileName(QByteArrayView(buffer.data(), qsizetype(std::strlen(buffer.data()))));
}

}  // namespace

QString standardizedPath(const QString& path)
{
    if (path.isEmpty())
        return QString();
    // By the name alone: Qt's absolute form passes a path that is not clean through the local
    // encoding, and a name that is not UTF-8 comes back as other bytes.
    return QDir::cleanPath(path.startsWith(u'/') ? path : currentFolder() + u'/' + path);
}

namespace {

bool isContinuation(uchar b)
{
    return (b & 0xC0) == 0x80;
}

// The length of the well-formed UTF-8 sequence at p (shortest forms, no surrogates), or 0.
int sequenceLength(const uchar* p, qsizetype left)
{
    const uchar b0 = p[0];
    if (b0 < 0x80) return 1;
    if (b0 < 0xC2) return 0;
    if (b0 < 0xE0) return left >= 2 && isContinuation(p[1]) ? 2 : 0;
    if (b0 < 0xF0) {
        if (left < 3 || !isContinuation(p[1]) || !isContinuation(p[2])) return 0;
        if ((b0 == 0xE0 && p[1] < 0xA0) || (b0 == 0xED && p[1] >= 0xA0)) return 0;
        return 3;
    }
    if (b0 < 0xF5) {
        if (left < 4 || !isContinuation(p[1]) || !isContinuation(p[2]) || !isContinuation(p[3])) return 0;
        if ((b0 == 0xF0 && p[1] < 0x90) || (b0 == 0xF4 && p[1] >= 0x90)) return 0;
        return 4;
    }
    return 0;
}

bool isEscapedByte(char16_t u)
{
    return u >= 0xDC80 && u <= 0xDCFF;
}

}  // namespace

QString decodedFileName(QByteArrayView bytes)
{
    const auto* p = reinterpret_cast<const uchar*>(bytes.data());
    const qsizetype n = bytes.size();
    qsizetype i = 0;
    while (i < n) {
        const int length = sequenceLength(p + i, n - i);
        if (length == 0) break;
        i += length;
    }
    if (i == n) return QString::fromUtf8(bytes);
    QString out = QString::fromUtf8(bytes.first(i));
    while (i < n) {
        const int length = sequenceLength(p + i, n - i);
        if (length == 0) {
            out += QChar(char16_t(0xDC00 + p[i]));
            ++i;
            continue;
        }
        out += QString::fromUtf8(bytes.sliced(i, length));
        i += length;
    }
    return out;
}

QByteArray encodedFileName(QStringView name)
{
    const auto escaped = [](QStringView s, qsizetype i) {
        return isEscapedByte(s[i].unicode()) && (i == 0 || !s[i - 1].isHighSurrogate());
    };
    qsizetype first = 0;
    while (first < name.size() && !escaped(name, first)) ++first;
    if (first == name.size()) return name.toUtf8();
    QByteArray out = name.first(first).toUtf8();
    qsizetype start = first;
    for (qsizetype i = first; i <= name.size(); ++i) {
        if (i < name.size() && !escaped(name, i)) continue;
        out += name.sliced(start, i - start).toUtf8();
        if (i < name.size()) out += char(name[i].unicode() - 0xDC00);
        start = i + 1;
    }
    return out;
}

}  // namespace korimado
