// Outline extraction of SyntaxParser.
#include "syntax/SyntaxParser.h"

#include "platform/text/LineStarts.h"
#include "platform/text/TextBoundaries.h"
#include "syntax/SyntaxRegex.h"

#include <QSet>

#include <algorithm>
#include <set>
#include <utility>

namespace korimado {

namespace {

constexpr int titleLimit = 100;

struct BuiltInOutline {
    const char* id;
    const char16_t* pattern;
    int titleGroup;
    bool levelFromGroup1;
};

// Statements that look like C function definitions ("else if (x) {"): their titles are no entries.
bool isCControlWord(const QString& title)
{
    static const QSet<QString> words = {QStringLiteral("if"),     QStringLiteral("for"),     QStringLiteral("while"),
                                        QStringLiteral("switch"), QStringLiteral("catch"),   QStringLiteral("return"),
                                        QStringLiteral("sizeof"), QStringLiteral("alignof"), QStringLiteral("decltype")};
    return words.contains(title);
}

// Each begins at a line start with blanks that stay on that line: "\s" there would reach back over
// the blank lines above a definition.
const BuiltInOutline builtInOutlines[] = {
    {"markdown", uR"((?m)^[ \t]{0,3}(#{1,6})[ \t]+(.+?)[ \t]*#*[ \t]*$)", 2, true},
    {"swift",
     uR"((?m)^[ \t]*(?:(?:public|private|internal|fileprivate|open|final|static|class|mutating|nonisolated)\s+)*(?:(?:class|struct|enum|protocol|extension|actor|func)\s+)([A-Za-z_][A-Za-z0-9_]*(?:\s*\([^\n{]*\))?))",
     1, false},
    {"javascript", uR"((?m)^[ \t]*(?:export\s+)?(?:default\s+)?(?:async\s+)?(?:class|function|interface|type|enum)\s+([A-Za-z_$][A-Za-z0-9_$]*))", 1, false},
    {"typescript", uR"((?m)^[ \t]*(?:export\s+)?(?:default\s+)?(?:async\s+)?(?:class|function|interface|type|enum)\s+([A-Za-z_$][A-Za-z0-9_$]*))", 1, false},
    {"python", uR"((?m)^[ \t]*(?:async\s+)?(?:class|def)\s+([A-Za-z_][A-Za-z0-9_]*))", 1, false},
    {"html", uR"((?i)<(h[1-6])(?:\s[^>]*)?>([^<]+)</h[1-6]>)", 2, true},
    {"css", uR"((?m)^[ \t]*([^@\s][^{\n]+)\s*\{)", 1, false},
    {"shell", uR"((?m)^[ \t]*(?:function\s+)?([A-Za-z_][A-Za-z0-9_]*)\s*(?:\(\s*\))?\s*\{)", 1, false},
    // A function definition: a return type (which may end in "*" or "&" right before the name,
    // and may stand on the line above), the name and its parameters, then "{". Reaching over any
    // number of lines would make every line of prose a start tried against the rest of the text.
    {"c",
     uR"((?m)^[ \t]*(?:[A-Za-z_][A-Za-z0-9_<>:*& \t]*[\s*&])([A-Za-z_][A-Za-z0-9_]*)\s*\([^;\n]*\)\s*(?:const\s*)?\{)",
     1, false},
    {"sql", uR"((?im)^[ \t]*(?:CREATE\s+(?:TABLE|VIEW|PROCEDURE|FUNCTION)|ALTER\s+TABLE)\s+([A-Za-z_][A-Za-z0-9_.]*))", 1, false},
};

const BuiltInOutline* builtInOutline(const QString& id)
{
    for (const BuiltInOutline& entry : builtInOutlines) {
        if (id == QLatin1String(entry.id)) return &entry;
    }
    return nullptr;
}

int lineOf(const LineStarts& lines, qsizetype location)
{
    return static_cast<int>(lines.lineAt(location)) + 1;
}

QString limitedTitle(const QString& title)
{
    if (title.size() <= titleLimit) return title;
    const TextBoundaries boundaries(title);
    qsizetype end = 0;
    for (int count = 0; count < titleLimit; ++count) {
        if (end >= title.size()) return title;
        end = boundaries.nextGrapheme(end);
    }
    if (end >= title.size()) return title;
    return title.left(end) + QChar(0x2026);
}

std::vector<qsizetype> groupBounds(const SyntaxRegex::Matcher& matcher)
{
    std::vector<qsizetype> bounds;
    const int groups = matcher.groupCount();
    bounds.reserve(static_cast<size_t>(groups + 1) * 2);
    for (int g = 0; g <= groups; ++g) {
        bounds.push_back(matcher.start(g));
        bounds.push_back(matcher.end(g));
    }
    return bounds;
}

QString groupText(const QString& text, const std::vector<qsizetype>& bounds, int group)
{
    const size_t index = static_cast<size_t>(group) * 2;
    if (index + 1 >= bounds.size() || bounds[index] < 0) return {};
    return text.mid(bounds[index], bounds[index + 1] - bounds[index]);
}

int levelFrom(const QString& id, const QString& group1, bool participated)
{
    if (!participated) return 1;
    if (id == QLatin1String("html") && group1.size() == 2 && group1[1].isDigit()) return group1[1].digitValue();
    return std::max<int>(1, static_cast<int>(group1.size()));
}

}  // namespace

QString SyntaxParser::expandTemplate(const QString& templateText, const QString& text, const std::vector<qsizetype>& bounds)
{
    const int groupCount = static_cast<int>(bounds.size() / 2) - 1;
    QString out;
    for (qsizetype i = 0; i < templateText.size(); ++i) {
        const QChar c = templateText[i];
        if (c == QLatin1Char('\\')) {
            if (i + 1 < templateText.size()) out += templateText[++i];
            continue;
        }
        if (c != QLatin1Char('$') || i + 1 >= templateText.size() || !templateText[i + 1].isDigit() || templateText[i + 1].unicode() > u'9') {
            out += c;
            continue;
        }
        int group = templateText[++i].unicode() - u'0';
        // Further digits belong to the number only while it still names a group.
        while (i + 1 < templateText.size() && templateText[i + 1].unicode() >= u'0' && templateText[i + 1].unicode() <= u'9') {
            const int longer = group * 10 + (templateText[i + 1].unicode() - u'0');
            if (longer > groupCount) break;
            group = longer;
            ++i;
        }
        if (group <= groupCount) out += groupText(text, bounds, group);
    }
    return out;
}

SyntaxParser::Outline SyntaxParser::outline(const QString& text, const SyntaxLanguage& language,
                                            const std::function<bool()>& isCancelled, qint64 entryLimit,
                                            std::chrono::steady_clock::time_point deadline)
{
    const LineStarts lines(text);
    const auto cancelled = [&] { return isCancelled && isCancelled(); };
    const size_t limit = static_cast<size_t>(std::max<qint64>(entryLimit, 1));

    Outline result;
    std::vector<SyntaxOutlineEntry>& entries = result.entries;
    // An entry begins where its definition does, not at the blanks or blank lines before it.
    const auto add = [&](QString title, qsizetype start, qsizetype end, int level) {
        while (start < end && text[start].isSpace()) ++start;
        entries.push_back({limitedTitle(title), lineOf(lines, start), TextRange(start, end - start), level});
        if (entries.size() >= limit) result.truncated = true;
    };
    const auto ended = [&](const SyntaxRegex::Matcher& matcher) {
        if (matcher.stoppedEarly() && !cancelled()) result.truncated = true;
    };

    for (const SyntaxOutlineRule& rule : language.importedOutlineRules) {
        if (cancelled()) return {};
        if (result.truncated) break;
        uint32_t options = SyntaxRegex::anchorsMatchLines;
        if (rule.ignoreCase) options |= SyntaxRegex::caseInsensitive;
        const SyntaxRegex regex = SyntaxRegex::cached(rule.pattern, options, true);
        if (!regex.isValid()) continue;
        SyntaxRegex::Matcher matcher(regex, text, &isCancelled, true, deadline);
        while (!result.truncated && matcher.find()) {
            // An expression that matches nothing at all would otherwise give an entry per character.
            if (matcher.end() <= matcher.start()) continue;
            const QString title = expandTemplate(rule.templateText, text, groupBounds(matcher)).trimmed();
            if (title.isEmpty()) continue;
            add(title, matcher.start(), matcher.end(), 1);
        }
        ended(matcher);
    }

    const BuiltInOutline* builtIn = builtInOutline(language.id);
    if (builtIn && !cancelled() && !result.truncated) {
        const SyntaxRegex regex = SyntaxRegex::cached(QString::fromUtf16(builtIn->pattern), 0, false);
        SyntaxRegex::Matcher matcher(regex, text, &isCancelled, false, deadline);
        while (!result.truncated && matcher.find()) {
            const std::vector<qsizetype> bounds = groupBounds(matcher);
            if (bounds[static_cast<size_t>(builtIn->titleGroup) * 2] < 0) continue;
            const QString title = groupText(text, bounds, builtIn->titleGroup).trimmed();
            if (language.id == QLatin1String("c") && isCControlWord(title)) continue;
            int level = 1;
            if (builtIn->levelFromGroup1) level = levelFrom(language.id, groupText(text, bounds, 1), bounds[2] >= 0);
            add(title, matcher.start(), matcher.end(), level);
        }
        ended(matcher);
    }
    if (cancelled()) return {};

    std::stable_sort(entries.begin(), entries.end(), [](const SyntaxOutlineEntry& a, const SyntaxOutlineEntry& b) {
        return a.range.location < b.range.location;
    });
    if (!builtIn) return result;

    std::set<std::pair<qsizetype, QString>> seen;
    std::vector<SyntaxOutlineEntry> unique;
    unique.reserve(entries.size());
    for (SyntaxOutlineEntry& entry : entries) {
        if (seen.emplace(entry.range.location, entry.title).second) unique.push_back(std::move(entry));
    }
    entries = std::move(unique);
    return result;
}

bool SyntaxParser::findsNothingIn(const SyntaxLanguage& language)
{
    return language.id == QLatin1String("plain") && language.importedOutlineRules.empty() && !builtInOutline(language.id);
}

std::vector<SyntaxOutlineEntry> SyntaxParser::outline(const QString& text, const SyntaxLanguage& language,
                                                      const std::function<bool()>& isCancelled)
{
    const auto deadline = SyntaxRegex::Clock::now() + SyntaxRegex::budget(false, text.size());
    return outline(text, language, isCancelled, maximumTokens(), deadline).entries;
}

}  // namespace korimado
