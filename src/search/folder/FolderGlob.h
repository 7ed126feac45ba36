#pragma once

#include <QString>
#include <QStringList>

#include <vector>

namespace korimado {

// An exclusion pattern of the folder search: "**" any run of characters, "*" any run without
// "/", "?" one character other than "/", everything else literal (brackets, braces and
// backslashes included). Case-sensitive; matched against a whole relative path, then against
// its last component. An empty pattern matches nothing.
class FolderGlob {
public:
    explicit FolderGlob(const QString& pattern);

    bool isEmpty() const { return tokens_.empty(); }
    bool matches(const QString& relativePath) const;

    static bool matches(const QString& pattern, const QString& relativePath)
    {
        return FolderGlob(pattern).matches(relativePath);
    }
    // Each pattern trimmed of white space and line breaks; true at the first that matches.
    static bool isExcluded(const QString& relativePath, const QStringList& patterns);

private:
    bool matchesWhole(const std::vector<char32_t>& path) const;

    enum : char32_t { anyRun = 0xFFFFFFFFu, anyRunWithoutSlash = 0xFFFFFFFEu, anyOne = 0xFFFFFFFDu };
    std::vector<char32_t> tokens_;  // code points, or one of the three wildcards
};

// The patterns of one search, trimmed and parsed once.
class FolderGlobList {
public:
    explicit FolderGlobList(const QStringList& patterns);
    bool matches(const QString& relativePath) const;

private:
    std::vector<FolderGlob> globs_;
};

}  // namespace korimado
