#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QString>
#include <QStringView>

namespace korimado {

// The absolute, cleaned form of a local path, by which two spellings of one file compare equal.
// An empty path stays empty.
QString standardizedPath(const QString& path);

// A file name's bytes as a string and back, losslessly: well-formed UTF-8 reads as itself, and
// each byte of a name that is not (Latin-1 or Shift_JIS names on a UTF-8 system) stands as the
// lone surrogate U+DC80..U+DCFF, which turns back into that byte. Any name read this way opens.
QString decodedFileName(QByteArrayView bytes);
QByteArray encodedFileName(QStringView name);

}  // namespace korimado
