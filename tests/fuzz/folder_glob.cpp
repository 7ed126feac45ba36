// Exclusion patterns of the folder search: any pattern against any path agrees with the pattern
// turned into an anchored expression ("**" any run, "*" and "?" without a slash, the rest
// literal), tried on the whole path and then on its last component; long inputs only must not
// take long or fail.
#include "FuzzSupport.h"

#include "search/folder/FolderGlob.h"

#include <QRegularExpression>

using namespace korimado;

namespace {

QString pick(const std::uint8_t* data, std::size_t size)
{
    static const char16_t alphabet[] = {u'*', u'*', u'?', u'/', u'a', u'b', u'.', u'[', u'\\', u' ', 0x00E9, 0xD83D, 0xDE00};
    QString text;
    for (std::size_t i = 0; i < size; ++i) {
        const char16_t c = alphabet[data[i] % std::size(alphabet)];
        // Keep the astral character whole: a lone half is no character a path can hold.
        if (c == 0xD83D) text.append(QChar(0xD83D)).append(QChar(0xDE00));
        else if (c != 0xDE00) text.append(QChar(c));
    }
    return text;
}

bool expressionMatches(const QString& pattern, const QString& path)
{
    QString expression = QStringLiteral("^");
    const QList<uint> points = pattern.toUcs4();
    for (qsizetype i = 0; i < points.size(); ++i) {
        if (points[i] == '*') {
            // A run of stars is one star: ".*" if it holds "**", else "[^/]*". Written out one by
            // one, PCRE's backtracking hits its match limit and quietly reports no match.
            bool crossesSlashes = false;
            while (i < points.size() && points[i] == '*') {
                if (i + 1 < points.size() && points[i + 1] == '*') {
                    crossesSlashes = true;
                    ++i;
                }
                ++i;
            }
            --i;
            expression += crossesSlashes ? QStringLiteral(".*") : QStringLiteral("[^/]*");
        } else if (points[i] == '?') {
            expression += QStringLiteral("[^/]");
        } else {
            const char32_t c = points[i];
            expression += QRegularExpression::escape(QString::fromUcs4(&c, 1));
        }
    }
    expression += u'$';
    const QRegularExpression re(expression, QRegularExpression::DotMatchesEverythingOption);
    FUZZ_CHECK(re.isValid());
    if (re.match(path).hasMatch()) return true;
    const qsizetype slash = path.lastIndexOf(u'/');
    return slash >= 0 && re.match(path.mid(slash + 1)).hasMatch();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 1) return 0;
    const std::size_t split = std::min<std::size_t>(data[0], size - 1);
    const QString pattern = pick(data + 1, split);
    const QString path = pick(data + 1 + split, size - 1 - split);
    const bool matched = FolderGlob::matches(pattern, path);
    if (pattern.isEmpty()) FUZZ_CHECK(!matched);
    if (!pattern.isEmpty() && pattern.size() <= 24 && path.size() <= 96) FUZZ_CHECK(matched == expressionMatches(pattern, path));
    FUZZ_CHECK(FolderGlob::isExcluded(path, {pattern}) == FolderGlob::matches(pattern.trimmed(), path)
               || pattern.trimmed() != pattern);
    return 0;
}
