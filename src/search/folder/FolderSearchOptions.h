#pragma once

#include <QString>
#include <QStringList>

namespace korimado {

// How a folder search walks the folder. The caller sets every field.
struct FolderSearchOptions {
    // The size limit the folder search window passes (20 MiB).
    static constexpr qint64 windowMaximumFileBytes = 20'971'520;

    bool recursive = true;             // false: subfolders of the root are passed over silently
    bool includesHiddenFiles = false;  // false: names beginning with "." are skipped
    bool followsSymbolicLinks = false; // true: a link stands for its target, which must be inside the root
    QStringList excludedGlobs;         // trimmed of white space and line breaks before use
    qint64 maximumFileBytes = windowMaximumFileBytes;
    // How long the search of one file may take before that file is given up and the search goes
    // on: the scripted searches' bound.
    int fileTimeLimitMilliseconds = 10'000;

    friend bool operator==(const FolderSearchOptions&, const FolderSearchOptions&) = default;
};

}  // namespace korimado
