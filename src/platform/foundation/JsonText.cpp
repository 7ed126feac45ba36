#include "platform/foundation/JsonText.h"

namespace korimado {

namespace {

constexpr char rawMark[] = "\xEF\xBB\xBF";

// Every raw U+FEFF from `from` on, as its escape. One after an odd run of backslashes would make
// an escape of the backslash instead (turning a broken file into a different one), so it stays.
QByteArray escapingMarks(const QByteArray& bytes, qsizetype from)
{
    qsizetype found = bytes.indexOf(rawMark, from);
    if (found < 0) return bytes;
    QByteArray out;
    out.reserve(bytes.size() + 8);
    qsizetype copied = 0;
    while (found >= 0) {
        qsizetype backslashes = 0;
        while (found - backslashes - 1 >= 0 && bytes[found - backslashes - 1] == '\\') ++backslashes;
        if (backslashes % 2 == 0) {
            out.append(bytes.constData() + copied, found - copied);
            out.append("\\ufeff");
            copied = found + 3;
        }
        found = bytes.indexOf(rawMark, found + 3);
    }
    out.append(bytes.constData() + copied, bytes.size() - copied);
    return out;
}

}  // namespace

QByteArray jsonBytes(const QJsonDocument& document, QJsonDocument::JsonFormat format)
{
    // The writer never puts a raw mark outside a string, so every one is escaped.
    return escapingMarks(document.toJson(format), 0);
}

QJsonDocument jsonDocument(const QByteArray& bytes, QJsonParseError* error)
{
    const qsizetype start = bytes.startsWith(rawMark) ? 3 : 0;
    return QJsonDocument::fromJson(escapingMarks(bytes, start), error);
}

}  // namespace korimado
