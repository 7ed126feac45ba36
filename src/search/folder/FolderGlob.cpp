#include "search/folder/FolderGlob.h"

#include "platform/text/StringChecks.h"

namespace korimado {

namespace {

std::vector<char32_t> codePoints(QStringView text)
{
    std::vector<char32_t> out;
    out.reserve(static_cast<size_t>(text.size()));
    for (char32_t c : text.toUcs4()) out.push_back(c);
    return out;
}

}  // namespace

FolderGlob::FolderGlob(const QString& pattern)
{
    const std::vector<char32_t> units = codePoints(pattern);
    for (size_t i = 0; i < units.size(); ++i) {
        const char32_t c = units[i];
        if (c == U'*') {
            if (i + 1 < units.size() && units[i + 1] == U'*') {
                tokens_.push_back(anyRun);
                ++i;
            } else {
                tokens_.push_back(anyRunWithoutSlash);
            }
        } else if (c == U'?') {
            tokens_.push_back(anyOne);
        } else {
            tokens_.push_back(c);
        }
    }
}

bool FolderGlob::matchesWhole(const std::vector<char32_t>& path) const
{
    // reach[j]: the tokens so far can take the first j characters of path. One row per token
    // keeps the work at tokens × characters, whatever the stars.
    const size_t n = path.size();
    std::vector<char> reach(n + 1, 0);
    reach[0] = 1;
    for (char32_t token : tokens_) {
        if (token == anyRun) {
            for (size_t j = 1; j <= n; ++j) reach[j] = reach[j] || reach[j - 1];
        } else if (token == anyRunWithoutSlash) {
            for (size_t j = 1; j <= n; ++j) reach[j] = reach[j] || (reach[j - 1] && path[j - 1] != U'/');
        } else {
            for (size_t j = n; j >= 1; --j) {
                const char32_t c = path[j - 1];
                reach[j] = reach[j - 1] && (token == anyOne ? c != U'/' : c == token);
            }
            reach[0] = 0;
        }
    }
    return reach[n] != 0;
}

bool FolderGlob::matches(const QString& relativePath) const
{
    if (tokens_.empty()) return false;
    if (matchesWhole(codePoints(relativePath))) return true;
    const qsizetype slash = relativePath.lastIndexOf(u'/');
    if (slash < 0) return false;
    return matchesWhole(codePoints(QStringView(relativePath).sliced(slash + 1)));
}

bool FolderGlob::isExcluded(const QString& relativePath, const QStringList& patterns)
{
    return FolderGlobList(patterns).matches(relativePath);
}

FolderGlobList::FolderGlobList(const QStringList& patterns)
{
    for (const QString& pattern : patterns) globs_.emplace_back(trimmedOfWhiteSpaceAndNewlines(pattern));
}

bool FolderGlobList::matches(const QString& relativePath) const
{
    for (const FolderGlob& glob : globs_) {
        if (glob.matches(relativePath)) return true;
    }
    return false;
}

}  // namespace korimado
