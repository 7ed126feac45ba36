// Replacement templates over expression matches: any template, any text, any scope. A replace-all
// rebuilds the scope from its edits, each edit is its template expanded for that match and given
// the line ending, group texts come from the text itself, and a template without a backslash or
// a dollar sign is inserted as typed.
#include "FuzzSupport.h"

#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"

using namespace korimado;

namespace {

// Expressions whose cost stays linear, so that the run finds faults rather than slow inputs:
// optional, named and nested groups, empty matches, lookaround at the scope's edges, anchors,
// astral characters.
const char16_t* const expressions[] = {
    u"(a)(b)?",
    u"(?<x>a+)|(?<y>\\s)",
    u"((a)|(e))\\1?",
    u"",
    u"x*",
    u"(?<=a)(e?)",
    u"^(.)|(.)$",
    u"(\\p{Lo})(\\P{Lo})?",
    u"([\\x{1F600}-\\x{1F64F}])",
    u"\\b(\\w)(\\w*)\\b",
    u"(\\R)",
    u"(a)(a)(a)(a)(a)(a)(a)(a)(a)(a)(a)(a)",
};

QString templateOf(const std::uint8_t* data, std::size_t size)
{
    static const char16_t alphabet[] = {u'$', u'\\', u'&', u'0', u'1', u'2', u'9', u'{', u'}', u'n',
                                        u't', u'r', u'a', u'\n', 0xD83D, 0xDE00, u'x', u'<', u'>', u'$'};
    QString out;
    for (std::size_t i = 0; i < size; ++i) out.append(QChar(alphabet[data[i] % std::size(alphabet)]));
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 5) return 0;
    const std::uint8_t bits = data[0];
    const std::size_t templateLength = std::min<std::size_t>(data[1] % 24, size - 5);
    const QString replacement = templateOf(data + 5, templateLength);
    const QString text = fuzz::breakyText(data + 5 + templateLength, size - 5 - templateLength);

    SearchRequest request;
    request.pattern = QString::fromUtf16(expressions[data[4] % std::size(expressions)]);
    request.replacement = replacement;
    request.options.mode = SearchMode::regularExpression;
    request.options.caseSensitive = !(bits & 1);
    request.options.unescapesReplacementString = bits & 2;
    request.options.wholeWord = bits & 4;
    request.options.isMultiline = bits & 8;
    request.options.dotMatchesNewline = bits & 16;
    if (bits & 32) request.lineEnding = (bits & 64) ? LineEnding::crlf : LineEnding::ps;
    if (bits & 128) {
        const qsizetype from = text.isEmpty() ? 0 : data[2] % (text.size() + 1);
        request.scope = TextRange(from, (text.size() - from) == 0 ? 0 : data[3] % (text.size() - from + 1));
    }

    SearchResultSet found;
    SearchReplacementResult replaced;
    try {
        found = SearchEngine::findAll(text, request, 0);
        replaced = SearchEngine::replacingAll(text, request);
    } catch (const SearchEngineError&) {
        FUZZ_CHECK(!"these expressions compile and the scope lies in the text");
    }
    const TextRange scope = found.searchedRange;
    FUZZ_CHECK(replaced.searchedRange == scope && replaced.matchCount == found.matches.size());

    const bool verbatim = !replacement.contains(u'$') && !replacement.contains(u'\\');
    QString rebuilt;
    qsizetype cursor = scope.location;
    for (qsizetype i = 0; i < replaced.edits.size(); ++i) {
        const SearchReplacement& edit = replaced.edits[i];
        const SearchMatch& match = found.matches[i];
        FUZZ_CHECK(edit.originalRange == match.range && match.range.location >= cursor && match.range.end() <= scope.end());
        for (const TextRange& group : match.captureRanges)
            FUZZ_CHECK(group.isNotFound() || (group.location >= scope.location && group.end() <= scope.end()));
        QString expected = SearchEngine::expandedReplacement(replacement, match, text, request.options);
        if (request.lineEnding) expected = request.lineEnding->replacing(expected);
        FUZZ_CHECK(edit.replacement == expected);
        if (verbatim) FUZZ_CHECK(expected == (request.lineEnding ? request.lineEnding->replacing(replacement) : replacement));
        // A template of group references alone is made of the text's own pieces.
        if (replacement == u"$0" || replacement == u"$&")
            FUZZ_CHECK(expected == (request.lineEnding ? request.lineEnding->replacing(text.mid(match.range.location, match.range.length))
                                                       : text.mid(match.range.location, match.range.length)));
        rebuilt += QStringView(text).mid(cursor, edit.originalRange.location - cursor);
        rebuilt += edit.replacement;
        cursor = edit.originalRange.end();
    }
    rebuilt += QStringView(text).mid(cursor, scope.end() - cursor);
    FUZZ_CHECK(rebuilt == replaced.replacement);

    // Plain mode inserts any template as typed.
    if (!found.matches.isEmpty()) {
        SearchOptions plain = request.options;
        plain.mode = SearchMode::text;
        FUZZ_CHECK(SearchEngine::expandedReplacement(replacement, found.matches.first(), text, plain) == replacement);
    }
    return 0;
}
