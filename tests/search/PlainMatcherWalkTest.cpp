#include "search/engine/PlainMatcher.h"

#include <gtest/gtest.h>

#include <random>

using namespace korimado;

namespace {

QList<TextRange> ranges(const QList<SearchMatch>& matches)
{
    QList<TextRange> out;
    for (const SearchMatch& m : matches) out.push_back(m.range);
    return out;
}

// Text search with the options the low bits of a random draw choose.
SearchOptions optionsFrom(int bits)
{
    SearchOptions options;
    options.mode = SearchMode::text;
    options.caseSensitive = !(bits & 1);
    options.ignoresDiacriticMarks = bits & 2;
    options.ignoresWidth = bits & 4;
    options.isLiteralSearch = bits & 8;
    options.wholeWord = bits & 16;
    return options;
}

}  // namespace

// Walking straight to the literal of the pattern folds only the text around it; the matches
// must be the very ones that folding everything finds, whatever stands between.
TEST(PlainMatcherWalk, GoingStraightToTheLiteralFindsWhatFoldingEverythingFinds)
{
    static const char16_t* const pieces[] = {
        u"Korimado", u"korimado", u"KORIMADO", u"K\u0301orimado", u"Ko\u0301rimado", u"\u212Aorimado", u"orimado",
        u"\uFF2B\uFF4F\uFF52\uFF49\uFF4D\uFF41\uFF44\uFF4F", u"\u0301", u"\u3099", u"\u304B", u"\u00DF", u"ss",
        u" ", u"\n", u"\r\n", u"x", u"\U0001F600", u"\U0001F3FD", u"\u1100\u1161", u"mado", u"Kori", u"_",
        u"\u5439\u8F29\u306F\u732B\u3067\u3042\u308B\u3002",
    };
    constexpr int count = int(sizeof pieces / sizeof *pieces);
    static const char16_t* const patterns[] = {u"Korimado", u"orimado", u"Kori mado", u"rima", u"o\u0301r", u"ado\nK",
                                               u"do Ko", u"Korimado_"};
    std::mt19937 random(42);
    // Long texts (as long as a text must be for the second filter) with the pieces after a
    // stretch of plain Japanese and ASCII.
    QString padding;
    while (padding.size() < (1 << 16) + 2000) padding += QStringLiteral("\u5439\u8F29 the cat, \u540D\u524D\u306F ");
    for (int round = 0; round < 300; ++round) {
        QString text = round % 2 ? QString() : padding.left(padding.size() - qsizetype(random() % 50));
        const int length = 20 + int(random() % 400);
        for (int k = 0; k < length; ++k) {
            // Long stretches without the literal between the pieces that may hold it.
            if (random() % 4 == 0) text += QString(int(random() % 300), QChar(u'\u3042'));
            text += QString::fromUtf16(pieces[random() % count]);
        }
        const QString pattern = QString::fromUtf16(patterns[random() % (sizeof patterns / sizeof *patterns)]);
        const int bits = int(random() % 64);
        const SearchOptions options = optionsFrom(bits);
        const qsizetype from = (bits & 32) ? qsizetype(random() % std::max<qsizetype>(1, text.size() / 64)) : 0;
        const TextRange scope(from, text.size() - from);
        const QList<TextRange> expected =
            ranges(PlainMatcher::matches(text, pattern, scope, options, nullptr, PlainMatcher::Walk::foldingAll));
        const QList<TextRange> actual = ranges(PlainMatcher::matches(text, pattern, scope, options, nullptr));
        if (actual != expected) {
            qsizetype k = 0;
            while (k < actual.size() && k < expected.size() && actual[k] == expected[k]) ++k;
            const TextRange a = k < actual.size() ? actual[k] : TextRange(-1, 0);
            const TextRange e = k < expected.size() ? expected[k] : TextRange(-1, 0);
            FAIL() << "round " << round << " bits " << bits << " pattern " << pattern.toStdString() << " from " << from
                   << " size " << text.size() << " first difference " << k << ": " << a.location << "+" << a.length
                   << " against " << e.location << "+" << e.length << " near "
                   << QStringView(text).mid(std::max<qsizetype>(0, std::min(a.location, e.location) - 10), 30).toString().toStdString();
        }
    }
}

TEST(PlainMatcherWalk, ADroppedMarkBetweenTheCharactersOfThePieceHidesNoMatch)
{
    SearchOptions options;
    options.mode = SearchMode::text;
    options.ignoresDiacriticMarks = true;
    for (const bool literal : {false, true}) {
        options.isLiteralSearch = literal;
        const QString text = QStringLiteral("x 1\u03012 y");
        EXPECT_EQ(ranges(PlainMatcher::matches(text, QStringLiteral("12"), TextRange(0, text.size()), options, nullptr)),
                  (QList<TextRange>{{2, 3}})) << literal;
    }
}

// The start filter passes over punctuation, emoji and the rest of the emoji planes unfolded;
// next to marks, other planes' letters that fold, Greek, the dotless i and ß it must still stop.
TEST(PlainMatcherWalk, TheStartFilterMissesNothingBesideEmojiPunctuationAndOtherPlanes)
{
    static const char16_t* const pieces[] = {
        u"Korimado", u"KORIMADO", u"Ko\u0301rimado", u"\uFF2B\uFF4F\uFF52\uFF49\uFF4D\uFF41\uFF44\uFF4F", u"\u3001",
        u"\u3002", u"\u300C", u"\u3000", u"\u302A", u"\U0001F600", u"\U0001F44D\U0001F3FD", u"\U0001F600\u0301",
        u"\U0001F1EF\U0001F1F5", u"\U00010400", u"\U00010428", u"\U0001D400", u"K\U000E0100o", u"o\U0001D167", u"\u0131",
        u"I", u"\u0130", u"\u00DF", u"SS", u"\u03A3", u"\u03C2", u"\u03C3", u"\u5439\u8F29", u" ", u"\n", u"k", u"o",
    };
    constexpr int count = int(sizeof pieces / sizeof *pieces);
    static const char16_t* const patterns[] = {u"korimado", u"Ko", u"\u0131s", u"Iss", u"\u00DFo", u"\u03C3\u03C2",
                                               u"\U0001F600K", u"o\U0001F600", u"\U00010428k", u"\u3002K", u"do\u3001"};
    std::mt19937 random(7);
    QString padding;
    while (padding.size() < (1 << 16) + 500) padding += QStringLiteral("\u5439\u8F29\u3002 the cat\u3001\U0001F600\U0001F44D ");
    for (int round = 0; round < 160; ++round) {
        QString text = padding.left(padding.size() - qsizetype(random() % 50));
        const int length = 20 + int(random() % 300);
        for (int k = 0; k < length; ++k) text += QString::fromUtf16(pieces[random() % count]);
        const QString pattern = QString::fromUtf16(patterns[random() % (sizeof patterns / sizeof *patterns)]);
        const int bits = int(random() % 16);
        const SearchOptions options = optionsFrom(bits);
        const TextRange scope(0, text.size());
        EXPECT_EQ(ranges(PlainMatcher::matches(text, pattern, scope, options, nullptr)),
                  ranges(PlainMatcher::matches(text, pattern, scope, options, nullptr, PlainMatcher::Walk::foldingAll)))
            << "round " << round << " bits " << bits << " pattern " << pattern.toStdString();
    }
}

TEST(PlainMatcherWalk, AMarkBeyondTheBmpBesideTheFirstCharacterStillStopsTheFilter)
{
    QString text;
    while (text.size() < (1 << 16) + 100) text += QStringLiteral("\u5439\u8F29\u3002\U0001F600 the cat ");
    const qsizetype at = text.size();
    text += QStringLiteral("K\U000E0100orimado \u5439\u8F29 \U0001F600\U0001F44D the end");
    SearchOptions options;
    options.mode = SearchMode::text;
    options.caseSensitive = false;
    options.ignoresDiacriticMarks = true;
    const QList<TextRange> found =
        ranges(PlainMatcher::matches(text, QStringLiteral("korimado"), TextRange(0, text.size()), options, nullptr));
    EXPECT_EQ(found, (QList<TextRange>{{at, 10}}));
}
