#include "search/engine/PlainMatcher.h"
#include "search/engine/SearchEngine.h"
#include "search/engine/TextFolding.h"

#include <gtest/gtest.h>

#include <unicode/brkiter.h>

#include <random>

using namespace korimado;

namespace {

SearchOptions plain()
{
    SearchOptions o;
    o.mode = SearchMode::text;
    o.caseSensitive = true;
    return o;
}

SearchOptions folded(bool caseInsensitive, bool diacritics, bool width, bool literal = false)
{
    SearchOptions o = plain();
    o.caseSensitive = !caseInsensitive;
    o.ignoresDiacriticMarks = diacritics;
    o.ignoresWidth = width;
    o.isLiteralSearch = literal;
    return o;
}

QList<TextRange> find(const QString& text, const QString& pattern, const SearchOptions& options)
{
    QList<TextRange> out;
    for (const SearchMatch& m : PlainMatcher::matches(text, pattern, TextRange(0, text.size()), options, nullptr))
        out.push_back(m.range);
    return out;
}

const QString eAcute = QStringLiteral("\u00E9");
const QString eCombining = QStringLiteral("e\u0301");

}  // namespace

TEST(PlainMatcherCanonical, ComposedAndDecomposedSpellingsMatchEachOther)
{
    const SearchOptions o = plain();
    EXPECT_EQ(find(QStringLiteral("caf") + eCombining + QStringLiteral("!"), QStringLiteral("caf") + eAcute, o),
              (QList<TextRange>{{0, 5}}));
    EXPECT_EQ(find(QStringLiteral("caf") + eAcute, QStringLiteral("caf") + eCombining, o), (QList<TextRange>{{0, 4}}));
    // A base letter never matches inside its cluster, either spelling.
    EXPECT_TRUE(find(eAcute, QStringLiteral("e"), o).isEmpty());
    EXPECT_TRUE(find(eCombining, QStringLiteral("e"), o).isEmpty());
    // Nor does the mark alone.
    EXPECT_TRUE(find(eCombining, QStringLiteral("\u0301"), o).isEmpty());
    // Canonical order of marks: dot below and acute in either order are one character.
    EXPECT_EQ(find(QStringLiteral("e\u0323\u0301"), QStringLiteral("e\u0301\u0323"), o), (QList<TextRange>{{0, 3}}));
    // A pattern that folds to nothing (a lone mark, diacritics ignored) finds nothing at all.
    EXPECT_TRUE(find(QStringLiteral("e\u0301a"), QStringLiteral("\u0301"), folded(false, true, false)).isEmpty());
    EXPECT_EQ(find(eCombining + eAcute, QStringLiteral("e"), folded(false, true, false)), (QList<TextRange>{{0, 2}, {2, 1}}));
    // Literal search compares units as they stand.
    EXPECT_TRUE(find(eCombining, eAcute, folded(false, false, false, true)).isEmpty());
    EXPECT_EQ(find(eAcute, eAcute, folded(false, false, false, true)), (QList<TextRange>{{0, 1}}));
}

TEST(PlainMatcherCanonical, KanaVoicedMarks)
{
    const QString ga = QStringLiteral("が");
    const QString gaDecomposed = QStringLiteral("か\u3099");
    EXPECT_TRUE(find(ga, QStringLiteral("か"), plain()).isEmpty());
    EXPECT_TRUE(find(gaDecomposed, QStringLiteral("か"), plain()).isEmpty());
    EXPECT_EQ(find(gaDecomposed, ga, plain()), (QList<TextRange>{{0, 2}}));
    EXPECT_EQ(find(QStringLiteral("がか"), QStringLiteral("か"), plain()), (QList<TextRange>{{1, 1}}));
    // Ignoring diacritics: か finds が in both spellings, each whole.
    const SearchOptions d = folded(false, true, false);
    EXPECT_EQ(find(ga + gaDecomposed, QStringLiteral("か"), d), (QList<TextRange>{{0, 1}, {1, 2}}));
    EXPECT_EQ(find(QStringLiteral("résumé"), QStringLiteral("resume"), d), (QList<TextRange>{{0, 6}}));
}

TEST(PlainMatcherWidth, FullAndHalfWidthForms)
{
    const SearchOptions w = folded(false, false, true);
    EXPECT_EQ(find(QStringLiteral("xＡＢＣy"), QStringLiteral("ABC"), w), (QList<TextRange>{{1, 3}}));
    EXPECT_EQ(find(QStringLiteral("ABC"), QStringLiteral("ＡＢＣ"), w), (QList<TextRange>{{0, 3}}));
    EXPECT_EQ(find(QStringLiteral("ｶﾀｶﾅ"), QStringLiteral("カタカナ"), w), (QList<TextRange>{{0, 4}}));
    // A half-width voiced mark joins its letter: ｶﾞ is ガ, and ｶ alone does not match inside it.
    EXPECT_EQ(find(QStringLiteral("ｶﾞｲﾄﾞ"), QStringLiteral("ガイド"), w), (QList<TextRange>{{0, 5}}));
    EXPECT_TRUE(find(QStringLiteral("ｶﾞ"), QStringLiteral("カ"), w).isEmpty());
    EXPECT_EQ(find(QStringLiteral("a\u3000b"), QStringLiteral("a b"), w), (QList<TextRange>{{0, 3}}));
    EXPECT_TRUE(find(QStringLiteral("ＡＢＣ"), QStringLiteral("ABC"), plain()).isEmpty());
    // Width, case and diacritics together.
    EXPECT_EQ(find(QStringLiteral("ｶﾞｲﾄﾞ Ｋōｒｉ"), QStringLiteral("かいと kori"), folded(true, true, true)).size(), 0);
    EXPECT_EQ(find(QStringLiteral("ｶﾞｲﾄﾞ Ｋōｒｉ"), QStringLiteral("カイト kori"), folded(true, true, true)),
              (QList<TextRange>{{0, 10}}));
}

TEST(PlainMatcherCase, FullCaseFoldingBeyondAscii)
{
    const SearchOptions c = folded(true, false, false);
    EXPECT_EQ(find(QStringLiteral("Straße"), QStringLiteral("STRASSE"), c), (QList<TextRange>{{0, 6}}));
    EXPECT_EQ(find(QStringLiteral("STRASSE"), QStringLiteral("straße"), c), (QList<TextRange>{{0, 7}}));
    // One s does not match half of ß.
    EXPECT_TRUE(find(QStringLiteral("ß"), QStringLiteral("s"), c).isEmpty());
    // Greek sigma in all three forms.
    EXPECT_EQ(find(QStringLiteral("ΟΔΟΣ οδος οδοσ"), QStringLiteral("οδος"), c),
              (QList<TextRange>{{0, 4}, {5, 4}, {10, 4}}));
    EXPECT_EQ(find(QStringLiteral("ｋｏｒｉ ＫＯＲＩ"), QStringLiteral("ＫＯＲＩ"), c), (QList<TextRange>{{0, 4}, {5, 4}}));
    // Case folding then composition: Å as the Angstrom sign and as A with ring above.
    EXPECT_EQ(find(QStringLiteral("\u212B A\u030A"), QStringLiteral("å"), c), (QList<TextRange>{{0, 1}, {2, 2}}));
    EXPECT_TRUE(find(QStringLiteral("Straße"), QStringLiteral("STRASSE"), plain()).isEmpty());
}

TEST(PlainMatcherClusters, EmojiAndMarksAreWholeClusters)
{
    const QString thumbs = QStringLiteral("👍🏽👍");
    EXPECT_EQ(find(thumbs, QStringLiteral("👍"), plain()), (QList<TextRange>{{4, 2}}));
    EXPECT_EQ(find(thumbs, QStringLiteral("👍🏽"), plain()), (QList<TextRange>{{0, 4}}));
    EXPECT_EQ(find(QStringLiteral("a😀b😀"), QStringLiteral("😀"), plain()), (QList<TextRange>{{1, 2}, {4, 2}}));
    // A lone surrogate only matches itself.
    const QString lone = QString(QChar(0xD83D)) + QStringLiteral("x");
    EXPECT_EQ(find(lone, QString(QChar(0xD83D)), plain()), (QList<TextRange>{{0, 1}}));
}

TEST(PlainMatcherOptions, OnlyTheComparisonBitsOfAPreservedWordChangeMatching)
{
    SearchOptions o = plain();
    o.preservedTextualOptionsRawValue = 1;  // case-insensitive stays so with caseSensitive true
    EXPECT_EQ(find(QStringLiteral("ABC"), QStringLiteral("b"), o), (QList<TextRange>{{1, 1}}));
    // Backwards (4), anchored (8), numeric (64) and expression (1024) do not change plain matching.
    for (const quint64 bits : {quint64(4), quint64(8), quint64(64), quint64(1024), quint64(4 | 8 | 1024)}) {
        o.preservedTextualOptionsRawValue = bits;
        EXPECT_EQ(find(QStringLiteral("abab"), QStringLiteral("ab"), o), (QList<TextRange>{{0, 2}, {2, 2}})) << bits;
        EXPECT_EQ(find(QStringLiteral("abc a.c"), QStringLiteral("a.c"), o), (QList<TextRange>{{4, 3}})) << bits;
    }
    o.preservedTextualOptionsRawValue = 128 | 256;
    EXPECT_EQ(find(QStringLiteral("Ｃａｆé"), QStringLiteral("Ｃａｆe"), o).size(), 1);
    o.preservedTextualOptionsRawValue = 2;  // literal
    EXPECT_TRUE(find(eCombining, eAcute, o).isEmpty());
}

TEST(PlainMatcherStretches, OccurrencesAcrossStretchBoundariesAreFound)
{
    // Folding works a stretch at a time: occurrences, folds that change the length and marks
    // must come out the same wherever a stretch ends.
    const qsizetype stretch = PlainMatcher::stretchLength;
    for (const qsizetype offset : {qsizetype(-9), qsizetype(-5), qsizetype(-3), qsizetype(-2), qsizetype(-1), qsizetype(0), qsizetype(1)}) {
        QString text(stretch + offset, QChar(u'x'));
        const qsizetype at = text.size();
        text += QStringLiteral("Straße e\u0301");
        text += QString(stretch, QChar(u'x'));
        text += QStringLiteral("STRASSE");
        const QList<TextRange> hits = find(text, QStringLiteral("strasse"), folded(true, false, false));
        EXPECT_EQ(hits, (QList<TextRange>{{at, 6}, {text.size() - 7, 7}})) << offset;
        EXPECT_EQ(find(text, eAcute, plain()), (QList<TextRange>{{at + 7, 2}})) << offset;
    }
    // A pattern longer than a stretch.
    QString longPattern(stretch + 10, QChar(u'y'));
    QString text = QStringLiteral("ab") + longPattern + QStringLiteral("c") + longPattern;
    EXPECT_EQ(find(text, longPattern, plain()).size(), 2);
}

static std::string hex(const QString& s)
{
    std::string out;
    for (QChar c : s) out += QString::number(c.unicode(), 16).toStdString() + " ";
    return out;
}

// Reference: at every cluster boundary in turn (save before a cluster that folds to nothing), the shortest stretch of whole clusters that folds
// to the folded pattern; then on from its end.
static QList<TextRange> reference(const QString& text, const QString& pattern, const SearchOptions& options, qsizetype from)
{
    const TextFolding folding(PlainMatcher::foldingMode(options));
    const QString target = folding.fold(pattern);
    QList<TextRange> out;
    if (target.isEmpty()) return out;
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString u(reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
    it->setText(u);
    std::vector<qsizetype> boundaries;
    const int32_t first = from > 0 ? it->preceding(int32_t(from) + 1) : it->first();
    for (int32_t b = first; b != icu::BreakIterator::DONE; b = it->next()) boundaries.push_back(b);
    qsizetype cursor = from;
    for (size_t i = 0; i < boundaries.size(); ++i) {
        const qsizetype s = boundaries[i];
        if (s < cursor) continue;
        // A cluster that folds to nothing (a stray mark, diacritics ignored) begins no match.
        if (i + 1 < boundaries.size() && folding.fold(QStringView(text).mid(s, boundaries[i + 1] - s)).isEmpty()) continue;
        for (size_t j = i + 1; j < boundaries.size(); ++j) {
            const qsizetype e = boundaries[j];
            if (folding.fold(QStringView(text).mid(s, e - s)) == target) {
                out.push_back(TextRange(s, e - s));
                cursor = e;
                break;
            }
        }
    }
    return out;
}

TEST(PlainMatcherReference, RandomTextsAgreeWithTheClusterReferenceInEveryMode)
{
    static const char16_t* const pieces[] = {
        u"a", u"e", u"\u00E9", u"e\u0301", u"\u0301", u"A", u"\u00DF", u"s", u"S", u"\u304B", u"\u304C",
        u"\u3099", u"\uFF76", u"\uFF9E", u"\u30AB", u"\u30AC", u"\uFF21", u"\U0001F600", u"\U0001F44D",
        u"\U0001F3FD", u" ", u"\r\n", u"\u03A3", u"\u03C2", u"\u03C3", u"\u1100", u"\u1161", u"\uAC00",
    };
    constexpr int count = int(sizeof pieces / sizeof *pieces);
    std::mt19937 random(20240517);
    std::uniform_int_distribution<int> piece(0, count - 1);
    const qsizetype stretch = PlainMatcher::stretchLength;
    for (int round = 0; round < 3000; ++round) {
        QString body;
        const int length = 4 + int(random() % 24);
        for (int k = 0; k < length; ++k) body += QString::fromUtf16(pieces[piece(random)]);
        // A text that opens with a stray mark has a first cluster whose start folds to nothing;
        // no occurrence begins inside it, where the reference would begin one.
        if (body.startsWith(u'\u0301') || body.startsWith(u'\u3099')) body.prepend(u'a');
        QString pattern;
        const int patternLength = 1 + int(random() % 3);
        for (int k = 0; k < patternLength; ++k) pattern += QString::fromUtf16(pieces[piece(random)]);
        const int bits = int(random() % 16);
        const SearchOptions options = folded(bits & 1, bits & 2, bits & 4, bits & 8);
        // Now and then the body straddles the end of the first stretch.
        QString text = body;
        qsizetype prefix = 0;
        if (round % 10 == 0) {
            prefix = stretch - qsizetype(random() % 12);
            text = QString(prefix, QChar(u'x')) + body;
        }
        const QList<TextRange> expected = reference(text, pattern, options, prefix);
        QList<TextRange> actual;
        for (const TextRange r : find(text, pattern, options)) {
            if (r.location >= prefix) actual.push_back(r);
        }
        ASSERT_EQ(actual, expected) << "round " << round << " bits " << bits << " prefix " << prefix << " text " << hex(body)
                                    << " pattern " << hex(pattern);
    }
}

TEST(PlainMatcherScope, OnlyTheScopeIsSearchedAndMatchesKeepWholeTextOffsets)
{
    const QString text = QStringLiteral("ß-ß-ß");
    SearchRequest r;
    r.pattern = QStringLiteral("ss");
    r.options = folded(true, false, false);
    r.scope = TextRange(2, 3);
    const SearchResultSet result = SearchEngine::findAll(text, r, 0);
    ASSERT_EQ(result.matches.size(), 2);
    EXPECT_EQ(result.matches[0].range, TextRange(2, 1));
    EXPECT_EQ(result.matches[1].range, TextRange(4, 1));
    // A scope that starts inside a cluster finds nothing that would split it.
    r.pattern = QStringLiteral("\u0301");
    r.options = plain();
    r.scope = TextRange(1, 1);
    EXPECT_TRUE(SearchEngine::findAll(eCombining, r, 0).matches.isEmpty());
    // A scope that ends inside a cluster still finds the whole clusters before its end, and
    // nothing that would cut the last one.
    r.scope = TextRange(0, 4);
    r.pattern = QStringLiteral("ab");
    EXPECT_EQ(SearchEngine::findAll(QStringLiteral("ab ") + eCombining, r, 0).matches.size(), 1);
    r.pattern = QStringLiteral("e");
    EXPECT_TRUE(SearchEngine::findAll(QStringLiteral("ab ") + eCombining, r, 0).matches.isEmpty());
}
