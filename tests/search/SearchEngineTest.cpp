#include "search/engine/SearchEngine.h"
#include "search/engine/SearchEngineError.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace korimado;

namespace {

SearchOptions plainOptions()
{
    SearchOptions o;
    o.mode = SearchMode::text;
    o.caseSensitive = true;
    return o;
}

SearchOptions regexOptions()
{
    SearchOptions o = plainOptions();
    o.mode = SearchMode::regularExpression;
    return o;
}

SearchRequest request(const QString& pattern, SearchOptions options = plainOptions())
{
    SearchRequest r;
    r.pattern = pattern;
    r.options = options;
    return r;
}

QList<TextRange> ranges(const QString& text, const SearchRequest& r)
{
    QList<TextRange> out;
    for (const SearchMatch& m : SearchEngine::findAll(text, r, 0).matches) out.push_back(m.range);
    return out;
}

SearchEngineError errorOf(const QString& text, const SearchRequest& r, const SearchCancellationToken* token = nullptr)
{
    try {
        SearchEngine::findAll(text, r, 0, token);
    } catch (const SearchEngineError& e) {
        return e;
    }
    ADD_FAILURE() << "no error";
    return SearchEngineError::invalidRange();
}

}  // namespace

TEST(SearchEngineFindAll, ScopeIsCheckedFirstAndBoundsTheSearch)
{
    const QString text = QStringLiteral("abc abc abc");
    SearchRequest r = request(QStringLiteral("abc"));
    r.scope = TextRange(4, 7);
    const SearchResultSet result = SearchEngine::findAll(text, r, 42);
    EXPECT_EQ(result.revision, 42u);
    EXPECT_EQ(result.searchedRange, TextRange(4, 7));
    ASSERT_EQ(result.matches.size(), 2);
    EXPECT_EQ(result.matches[0].range, TextRange(4, 3));
    EXPECT_TRUE(result.matches[0].captureRanges.isEmpty());

    // An occurrence cut by the scope's end is not found.
    r.scope = TextRange(4, 6);
    EXPECT_EQ(ranges(text, r), (QList<TextRange>{{4, 3}}));

    for (const TextRange bad : {TextRange(0, 12), TextRange(-1, 2), TextRange(2, -1), TextRange(TextRange::NotFound, 0),
                                TextRange(12, 0)}) {
        r.scope = bad;
        EXPECT_EQ(errorOf(text, r).kind(), SearchEngineError::Kind::invalidRange);
        // Also for an empty pattern, before anything else.
        SearchRequest empty = r;
        empty.pattern.clear();
        EXPECT_EQ(errorOf(text, empty).kind(), SearchEngineError::Kind::invalidRange);
    }
    r.scope = TextRange(11, 0);  // an empty scope at the end is valid and finds nothing
    EXPECT_TRUE(ranges(text, r).isEmpty());
}

TEST(SearchEngineFindAll, EmptyPatternFindsNothingWithoutConsultingTheToken)
{
    auto token = SearchCancellationToken::make();
    token->cancel();
    const SearchResultSet result = SearchEngine::findAll(QStringLiteral("abc"), request(QString()), 7, token.get());
    EXPECT_TRUE(result.matches.isEmpty());
    EXPECT_EQ(result.elapsedMilliseconds, 0);
    EXPECT_EQ(result.searchedRange, TextRange(0, 3));
    SearchRequest regex = request(QString(), regexOptions());
    EXPECT_TRUE(SearchEngine::findAll(QStringLiteral("abc"), regex, 0, token.get()).matches.isEmpty());
}

TEST(SearchEngineFindAll, CancelledTokenThrowsInBothModes)
{
    auto token = SearchCancellationToken::make();
    token->cancel();
    EXPECT_EQ(errorOf(QStringLiteral("abc"), request(QStringLiteral("b")), token.get()).kind(),
              SearchEngineError::Kind::cancelled);
    EXPECT_EQ(errorOf(QStringLiteral("abc"), request(QStringLiteral("b"), regexOptions()), token.get()).kind(),
              SearchEngineError::Kind::cancelled);
}

TEST(SearchEngineFindAll, CancellationFromAnotherThreadStopsALongSearch)
{
    // Each search would run for ages (or is repeated until stopped); the token is set from another
    // thread once the search is under way, however late a loaded machine lets that thread run.
    SearchOptions folding = plainOptions();
    folding.caseSensitive = false;
    folding.ignoresDiacriticMarks = true;
    folding.ignoresWidth = true;
    struct Case {
        const char* name;
        QString text;
        SearchRequest request;
        int repeats;
    };
    const Case cases[] = {
        // Exponential backtracking inside one attempt: only ICU's step callback sees the token.
        {"backtracking", QString(40, QChar(u'a')) + QStringLiteral("!"), request(QStringLiteral("(a+)+$"), regexOptions()), 1},
        // With no match anywhere: the progress callback between start positions. Short enough
        // for ICU's backtracking stack (a long run of "a" ends in its memory error instead), so
        // it is repeated until stopped.
        {"no match", QString(1 << 15, QChar(u'a')), request(QStringLiteral("a*b"), regexOptions()), 100000},
        // A folded plain search without a hit, repeated: the token is polled per stretch.
        {"plain", QString(4 << 20, QChar(u'\u00E9')), request(QStringLiteral("ZZ"), folding), 100000},
    };
    for (const Case& c : cases) {
        auto token = SearchCancellationToken::make();
        std::atomic<bool> started{false};
        std::thread canceller([&] {
            while (!started) std::this_thread::yield();
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
            token->cancel();
        });
        bool cancelled = false;
        QString failure;
        try {
            for (int i = 0; i < c.repeats && !cancelled; ++i) {
                started = true;
                SearchEngine::findAll(c.text, c.request, 0, token.get());
            }
        } catch (const SearchEngineError& e) {
            cancelled = e.kind() == SearchEngineError::Kind::cancelled;
            failure = e.errorDescription();
        }
        started = true;
        canceller.join();
        EXPECT_TRUE(cancelled) << c.name << ": " << failure.toStdString();
    }
}

TEST(SearchEngineFindAll, PlainOccurrencesNeverOverlapAndWholeWordHidesWhatStartsInside)
{
    EXPECT_EQ(ranges(QStringLiteral("aaaa"), request(QStringLiteral("aa"))), (QList<TextRange>{{0, 2}, {2, 2}}));

    SearchOptions word = plainOptions();
    word.wholeWord = true;
    EXPECT_EQ(ranges(QStringLiteral("cat_dog cat"), request(QStringLiteral("cat"), word)), (QList<TextRange>{{8, 3}}));
    EXPECT_EQ(ranges(QStringLiteral("aaa aa"), request(QStringLiteral("aa"), word)), (QList<TextRange>{{4, 2}}));

    // é is no ASCII word character, but a Unicode one.
    EXPECT_EQ(ranges(QStringLiteral("café"), request(QStringLiteral("caf"), word)).size(), 1);
    word.usesUnicodeBoundaries = true;
    EXPECT_TRUE(ranges(QStringLiteral("café"), request(QStringLiteral("caf"), word)).isEmpty());
    // Decomposed é: the character after is the first scalar of its cluster, e.
    word.usesUnicodeBoundaries = false;
    EXPECT_TRUE(ranges(QStringLiteral("cafe\u0301"), request(QStringLiteral("caf"), word)).isEmpty());
}

TEST(SearchEngineFindAll, WholeWordInJapaneseText)
{
    const QString text = QStringLiteral("吾輩は猫である。猫 cat");
    SearchOptions word = plainOptions();
    word.wholeWord = true;
    // ASCII word characters only: kana around the kanji do not count.
    EXPECT_EQ(ranges(text, request(QStringLiteral("猫"), word)), (QList<TextRange>{{3, 1}, {8, 1}}));
    word.usesUnicodeBoundaries = true;
    EXPECT_EQ(ranges(text, request(QStringLiteral("猫"), word)), (QList<TextRange>{{8, 1}}));
    // The expression fence counts every letter: only the word standing alone matches.
    SearchOptions regex = regexOptions();
    regex.wholeWord = true;
    EXPECT_EQ(ranges(text, request(QStringLiteral("猫"), regex)), (QList<TextRange>{{8, 1}}));
    EXPECT_EQ(ranges(QStringLiteral("猫です"), request(QStringLiteral("猫"), regex)), QList<TextRange>{});
}

TEST(SearchEngineFindAll, ScopeEdgesDifferBetweenPlainWholeWordAndExpressions)
{
    const QString text = QStringLiteral("xcat cat");
    SearchOptions word = plainOptions();
    word.wholeWord = true;
    SearchRequest r = request(QStringLiteral("cat"), word);
    r.scope = TextRange(1, 7);
    // The letter before the scope counts for the plain test...
    EXPECT_EQ(ranges(text, r), (QList<TextRange>{{5, 3}}));
    // ...but the scope's edge hides it from the expression's lookbehind.
    SearchOptions regex = regexOptions();
    regex.wholeWord = true;
    r.options = regex;
    EXPECT_EQ(ranges(text, r), (QList<TextRange>{{1, 3}, {5, 3}}));
    // Anchors bind to the scope's edges too, and lookahead does not see past its end.
    SearchRequest anchored = request(QStringLiteral("^cat$"), regexOptions());
    anchored.scope = TextRange(1, 3);
    EXPECT_EQ(ranges(text, anchored), (QList<TextRange>{{1, 3}}));
    SearchRequest ahead = request(QStringLiteral("ca(?!t)"), regexOptions());
    ahead.scope = TextRange(5, 2);
    EXPECT_EQ(ranges(text, ahead), (QList<TextRange>{{5, 2}}));
    ahead.scope = std::nullopt;
    EXPECT_TRUE(ranges(text, ahead).isEmpty());
}

TEST(SearchEngineFindAll, ExpressionGroupsNamedAndMissing)
{
    const SearchResultSet optional = SearchEngine::findAll(QStringLiteral("y"), request(QStringLiteral("(x)?y"), regexOptions()), 0);
    ASSERT_EQ(optional.matches.size(), 1);
    ASSERT_EQ(optional.matches[0].captureRanges.size(), 1);
    EXPECT_TRUE(optional.matches[0].captureRanges[0].isNotFound());
    EXPECT_EQ(optional.matches[0].captureRanges[0].length, 0);

    const SearchResultSet named = SearchEngine::findAll(
        QStringLiteral("ab 12"), request(QStringLiteral("(?<word>[a-z]+)|(?<num>\\d+)"), regexOptions()), 0);
    ASSERT_EQ(named.matches.size(), 2);
    EXPECT_EQ(named.matches[0].namedCaptureRanges, (QMap<QString, TextRange>{{QStringLiteral("word"), TextRange(0, 2)}}));
    EXPECT_EQ(named.matches[1].namedCaptureRanges, (QMap<QString, TextRange>{{QStringLiteral("num"), TextRange(3, 2)}}));

    // An escaped opener is listed by the textual scan but is no group: no entry, no failure.
    const SearchResultSet escaped = SearchEngine::findAll(
        QStringLiteral("(?<fake>x"), request(QStringLiteral("\\(\\?<fake>x"), regexOptions()), 0);
    ASSERT_EQ(escaped.matches.size(), 1);
    EXPECT_TRUE(escaped.matches[0].namedCaptureRanges.isEmpty());
}

TEST(SearchEngineFindAll, EmptyExpressionMatchesAdvanceOnePosition)
{
    EXPECT_EQ(ranges(QStringLiteral("ab"), request(QStringLiteral("x*"), regexOptions())),
              (QList<TextRange>{{0, 0}, {1, 0}, {2, 0}}));
    // A surrogate pair is one position.
    EXPECT_EQ(ranges(QStringLiteral("😀"), request(QStringLiteral("x*"), regexOptions())),
              (QList<TextRange>{{0, 0}, {2, 0}}));
}

TEST(SearchEngineFindAll, OptionBitsBecomeIcuFlags)
{
    SearchOptions o = regexOptions();
    o.caseSensitive = false;
    EXPECT_EQ(ranges(QStringLiteral("ABC"), request(QStringLiteral("b"), o)).size(), 1);
    o.caseSensitive = true;
    o.preservedRegexOptionsRawValue = 1;  // case-insensitive bit stays in force
    EXPECT_EQ(ranges(QStringLiteral("ABC"), request(QStringLiteral("b"), o)).size(), 1);

    SearchOptions lines = regexOptions();
    EXPECT_EQ(ranges(QStringLiteral("a\nb"), request(QStringLiteral("^b"), lines)).size(), 0);
    lines.isMultiline = true;
    EXPECT_EQ(ranges(QStringLiteral("a\nb"), request(QStringLiteral("^b"), lines)).size(), 1);

    SearchOptions dot = regexOptions();
    EXPECT_EQ(ranges(QStringLiteral("a\nb"), request(QStringLiteral("a.b"), dot)).size(), 0);
    dot.dotMatchesNewline = true;
    EXPECT_EQ(ranges(QStringLiteral("a\nb"), request(QStringLiteral("a.b"), dot)).size(), 1);

    // Comments and whitespace (bit 1).
    SearchOptions comments = regexOptions();
    comments.preservedRegexOptionsRawValue = 2;
    EXPECT_EQ(ranges(QStringLiteral("ab"), request(QStringLiteral("a b # note"), comments)).size(), 1);

    // Ignore metacharacters (bit 2) still works with the whole-word fence.
    SearchOptions literal = regexOptions();
    literal.preservedRegexOptionsRawValue = 4;
    literal.wholeWord = true;
    EXPECT_EQ(ranges(QStringLiteral("x a.b* y a.b*z"), request(QStringLiteral("a.b*"), literal)),
              (QList<TextRange>{{2, 4}}));
    // Bits with no ICU meaning are not passed through.
    SearchOptions unknown = regexOptions();
    unknown.preservedRegexOptionsRawValue = quint64(1) << 40;
    EXPECT_EQ(ranges(QStringLiteral("ab"), request(QStringLiteral("b"), unknown)).size(), 1);
}

TEST(SearchEngineFindAll, BadExpressionReportsIcuReasonInJapanese)
{
    const SearchEngineError e = errorOf(QStringLiteral("abc"), request(QStringLiteral("(ab"), regexOptions()));
    EXPECT_EQ(e.kind(), SearchEngineError::Kind::invalidRegularExpression);
    EXPECT_TRUE(e.errorDescription().startsWith(QStringLiteral("正規表現が正しくありません。括弧")));
    EXPECT_EQ(e.errorDescription(), QStringLiteral("正規表現が正しくありません。") + e.payload());
    // The position is the user's, not the whole-word fence's.
    SearchOptions word = regexOptions();
    word.wholeWord = true;
    const SearchEngineError fenced = errorOf(QStringLiteral("abc"), request(QStringLiteral("a{2,1}"), word));
    EXPECT_EQ(fenced.kind(), SearchEngineError::Kind::invalidRegularExpression);
    EXPECT_FALSE(fenced.payload().contains(QStringLiteral("(?<!"))) << qPrintable(fenced.payload());
}

TEST(SearchEngineFindAll, LineEndingOfThePatternIsConvertedInPlainModeOnly)
{
    const QString text = QStringLiteral("a\r\nb");
    SearchRequest r = request(QStringLiteral("a\nb"));
    r.lineEnding = LineEnding::crlf;
    EXPECT_EQ(ranges(text, r), (QList<TextRange>{{0, 4}}));
    r.options = regexOptions();
    EXPECT_TRUE(ranges(text, r).isEmpty());
    // Whatever breaks the pattern was typed with become the document's.
    SearchRequest typed = request(QStringLiteral("a\r\nb\u2028c"));
    typed.lineEnding = LineEnding::cr;
    EXPECT_EQ(ranges(QStringLiteral("a\rb\rc"), typed), (QList<TextRange>{{0, 5}}));
    typed.lineEnding = LineEnding::lf;
    EXPECT_EQ(ranges(QStringLiteral("a\nb\nc a\r\nb\r\nc"), typed), (QList<TextRange>{{0, 5}}));
    // Without an ending nothing is converted.
    SearchRequest bare = request(QStringLiteral("a\nb"));
    EXPECT_TRUE(ranges(text, bare).isEmpty());
}

TEST(SearchEngineError, Descriptions)
{
    EXPECT_EQ(SearchEngineError::invalidRegularExpression(QStringLiteral("X")).errorDescription(),
              QStringLiteral("正規表現が正しくありません。X"));
    EXPECT_EQ(SearchEngineError::invalidRange().errorDescription(), QStringLiteral("検索範囲が現在の文書と一致しません。"));
    EXPECT_EQ(SearchEngineError::cancelled().errorDescription(), QStringLiteral("検索を中止しました。"));
    EXPECT_EQ(SearchEngineError::invalidRegularExpression(QStringLiteral("a")),
              SearchEngineError::invalidRegularExpression(QStringLiteral("a")));
    EXPECT_FALSE(SearchEngineError::invalidRegularExpression(QStringLiteral("a"))
                 == SearchEngineError::invalidRegularExpression(QStringLiteral("b")));
}

// Past a megabyte of results the list grows ahead of itself: every match must still be there, in
// order, for plain text (folded too) and for expressions with their groups.
TEST(SearchEngineFindAll, HundredsOfThousandsOfMatchesAreAllKeptInOrder)
{
    constexpr qsizetype count = 150000;
    QString text;
    for (qsizetype i = 0; i < count; ++i) text += (i % 2 == 0) ? u"ab " : u"AB ";
    SearchOptions folded = plainOptions();
    folded.caseSensitive = false;
    SearchOptions grouped = regexOptions();
    grouped.caseSensitive = false;
    for (const SearchRequest& r : {request(QStringLiteral("ab"), folded), request(QStringLiteral("(a)(b)"), grouped)}) {
        const QList<SearchMatch> matches = SearchEngine::findAll(text, r, 0).matches;
        ASSERT_EQ(matches.size(), count);
        for (qsizetype i = 0; i < count; ++i) {
            ASSERT_EQ(matches[i].range, TextRange(3 * i, 2)) << i;
            if (r.options.mode == SearchMode::regularExpression) {
                ASSERT_EQ(matches[i].captureRanges.size(), 2);
                ASSERT_EQ(matches[i].captureRanges[1], TextRange(3 * i + 1, 1)) << i;
            }
        }
    }
}
