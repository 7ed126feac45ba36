#pragma once

#include <QString>

namespace korimado {

// The absolute, cleaned form of a local path, by which two spellings of one file compare equal.
// An empty path stays empty.
QString standardizedPath(const QString& path);

}  // namespace korimado
