#pragma once

#include "platform/foundation/ErrorInfo.h"

#include <QString>

namespace korimado {

// Paths as the file browser compares them, and the text typed into its path field.
namespace TreePath {

inline const QString errorDomain = QStringLiteral("TreePath");

struct Resolved {
    QString url;  // standardised absolute path
    bool isDirectory = false;
};

// Absolute, without dot and dot-dot components, repeated or trailing separators; links untouched.
QString standardized(const QString& path);
// Standardised, then every symbolic link in it followed (a dangling one too, as far as it leads).
QString resolved(const QString& path);
// The two paths are equal, or candidate lies below base: a test on the strings, so /a/bc is not under /a/b.
bool isAtOrUnder(const QString& candidate, const QString& base);
// base rewritten for an item moved from oldBase to newBase; candidate must be at or under oldBase.
QString rebased(const QString& candidate, const QString& oldBase, const QString& newBase);

// The existing file or folder named by typed text: an absolute path (quoted or not, with ~ or
// ~user), or a file URL of this machine. Throws ErrorInfo of errorDomain: 1 not a full path,
// 2 nothing there.
Resolved resolve(const QString& text);

}  // namespace TreePath

}  // namespace korimado
