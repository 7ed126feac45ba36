#pragma once

#include <QString>

#include <vector>

namespace korimado {

// The path rules of the folder engine, on standardised paths ("." and ".." removed, no trailing
// slash). Links are never resolved here.
class FolderSearchPaths {
public:
    FolderSearchPaths() = delete;

    // path is root, or below it after a "/".
    static bool isInside(const QString& path, const QString& root);
    // path lies below root in a folder of replacement backups (".korimado-backups" at any depth).
    static bool isInBackups(const QString& path, const QString& root);
    // The part of path after root and "/", or else its last component.
    static QString relativePath(const QString& path, const QString& root);
    // UTF-16 offsets where lines begin: 0, then after each LF, CR, CR LF, NEL, LS and PS that is
    // not at the very end.
    static std::vector<qsizetype> lineStarts(const QString& text);
};

}  // namespace korimado
