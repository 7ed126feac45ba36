// Plain search over text full of marks, kana, width forms, case pairs, surrogates and breaks:
// matches lie in the scope, in order, apart, on grapheme boundaries and fold to the folded
// pattern; a replace-all rebuilds the scope from its edits and maps positions forwards.
#include "FuzzSupport.h"

#include "search/engine/PlainMatcher.h"
#include "platform/text/TextChanges.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"
#include "search/engine/TextFolding.h"

#include <unicode/brkiter.h>

using namespace korimado;

namespace {

QString textOf(const std::uint8_t* data, std::size_t size)
{
    struct Piece {
        char16_t units[2];
        int length;
    };
    // Lone surrogates too, so the pieces are written as units.
    static const Piece pieces[] = {
        {{u'a'}, 1}, {{u'e'}, 1}, {{u's'}, 1}, {{u'S'}, 1}, {{u'_'}, 1}, {{u' '}, 1}, {{0x00DF}, 1},
        {{0x00E9}, 1}, {{0x0301}, 1}, {{0x0323}, 1}, {{0x304B}, 1}, {{0x304C}, 1}, {{0x3099}, 1},
        {{0xFF76}, 1}, {{0xFF9E}, 1}, {{0x30AB}, 1}, {{0xFF21}, 1}, {{0xFF41}, 1}, {{0x03A3}, 1},
        {{0x03C2}, 1}, {{0x03C3}, 1}, {{0x1100}, 1}, {{0x1161}, 1}, {{0xAC00}, 1}, {{0x212B}, 1},
        {{u'\r'}, 1}, {{u'\n'}, 1}, {{0xD83D}, 1}, {{0xDE00}, 1}, {{0xD83D, 0xDC4D}, 2},
        {{0xD83C, 0xDFFD}, 2}, {{0x200D}, 1}, {{0xFB01}, 1}, {{0x0130}, 1}, {{0x3000}, 1}, {{0x0085}, 1},
    };
    QString text;
    for (std::size_t i = 0; i < size; ++i) {
        const Piece& piece = pieces[data[i] % (sizeof pieces / sizeof *pieces)];
        text.append(reinterpret_cast<const QChar*>(piece.units), piece.length);
    }
    return text;
}

bool isClusterBoundary(icu::BreakIterator& it, qsizetype pos) { return it.isBoundary(int32_t(pos)); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    const std::uint8_t bits = data[0];
    const std::size_t patternLength = std::min<std::size_t>(data[1] % 6, size - 4);
    const QString pattern = textOf(data + 4, patternLength);
    const QString text = textOf(data + 4 + patternLength, size - 4 - patternLength);

    SearchRequest request;
    request.pattern = pattern;
    request.replacement = QStringLiteral("<\n>");
    request.options.mode = SearchMode::text;
    request.options.caseSensitive = !(bits & 1);
    request.options.ignoresDiacriticMarks = bits & 2;
    request.options.ignoresWidth = bits & 4;
    request.options.isLiteralSearch = bits & 8;
    request.options.wholeWord = bits & 16;
    request.options.usesUnicodeBoundaries = bits & 32;
    if (bits & 64) request.lineEnding = LineEnding::crlf;
    if (bits & 128) {
        const qsizetype from = text.isEmpty() ? 0 : data[2] % (text.size() + 1);
        request.scope = TextRange(from, (text.size() - from) == 0 ? 0 : data[3] % (text.size() - from + 1));
    }

    SearchResultSet found;
    try {
        found = SearchEngine::findAll(text, request, 0);
    } catch (const SearchEngineError&) {
        FUZZ_CHECK(!"plain search within the text must not fail");
    }
    const TextRange scope = found.searchedRange;

    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> clusters(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString units(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
    clusters->setText(units);
    const TextFolding folding(PlainMatcher::foldingMode(request.options));
    const QString target = folding.fold(request.lineEnding ? request.lineEnding->replacing(pattern) : pattern);

    qsizetype previousEnd = scope.location;
    for (const SearchMatch& match : found.matches) {
        const TextRange r = match.range;
        FUZZ_CHECK(r.length > 0 && r.location >= previousEnd && r.end() <= scope.end());
        FUZZ_CHECK(isClusterBoundary(*clusters, r.location) && isClusterBoundary(*clusters, r.end()));
        FUZZ_CHECK(folding.fold(QStringView(text).mid(r.location, r.length)) == target);
        FUZZ_CHECK(match.captureRanges.isEmpty() && match.namedCaptureRanges.isEmpty());
        previousEnd = r.end();
    }

    const SearchReplacementResult replaced = SearchEngine::replacingAll(text, request);
    FUZZ_CHECK(replaced.matchCount == found.matches.size() && replaced.searchedRange == scope);
    QString rebuilt;
    qsizetype cursor = scope.location;
    for (const SearchReplacement& edit : replaced.edits) {
        rebuilt += QStringView(text).mid(cursor, edit.originalRange.location - cursor);
        rebuilt += edit.replacement;
        cursor = edit.originalRange.end();
    }
    rebuilt += QStringView(text).mid(cursor, scope.end() - cursor);
    FUZZ_CHECK(rebuilt == replaced.replacement);
    // The edits as the storage's pieces: positions keep their order across them.
    std::vector<TextChange> pieces;
    for (const SearchReplacement& edit : replaced.edits)
        pieces.push_back({edit.originalRange.location, edit.originalRange.length, edit.replacement.size()});
    const TextChanges changes(std::move(pieces));
    qsizetype last = -1;
    for (qsizetype p = scope.location; p <= scope.end(); ++p) {
        const qsizetype mapped = changes.mapPosition(p, InsertionBias::Before);
        FUZZ_CHECK(mapped >= last && mapped <= changes.mapPosition(p, InsertionBias::After));
        last = mapped;
    }
    FUZZ_CHECK(changes.mapPosition(scope.end(), InsertionBias::After) == scope.location + replaced.replacement.size());
    return 0;
}
