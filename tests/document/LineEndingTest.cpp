#include "document/LineEnding.h"
#include "document/TextFormat.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QString s(const char16_t* text)
{
    return QString::fromUtf16(text);
}

}  // namespace

TEST(LineEndingTest, RawValuesRoundTripExactlyAndCaseSensitively)
{
    ASSERT_EQ(LineEnding::allCases().size(), 6u);
    for (LineEnding e : LineEnding::allCases()) {
        auto back = LineEnding::fromRawValue(e.rawValue());
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, e);
    }
    EXPECT_EQ(LineEnding(LineEnding::crlf).rawValue(), "CRLF");
    EXPECT_FALSE(LineEnding::fromRawValue("crlf").has_value());
    EXPECT_FALSE(LineEnding::fromRawValue("").has_value());
    EXPECT_FALSE(LineEnding::fromRawValue("LF ").has_value());
    EXPECT_EQ(LineEnding(LineEnding::nel).breakString(), QString(QChar(0x85)));
    EXPECT_EQ(LineEnding(LineEnding::crlf).breakString(), "\r\n");
}

TEST(LineEndingTest, KindsInOrderOfFirstAppearance)
{
    using L = QList<LineEnding>;
    EXPECT_EQ(LineEnding::kinds("a\r\nb\nc\r"), (L{LineEnding::crlf, LineEnding::lf, LineEnding::cr}));
    EXPECT_EQ(LineEnding::kinds("a\rb"), (L{LineEnding::cr}));
    EXPECT_EQ(LineEnding::kinds("ab\r"), (L{LineEnding::cr}));
    EXPECT_EQ(LineEnding::kinds(""), L{});
    EXPECT_EQ(LineEnding::kinds("plain"), L{});
    // A CR before a CR LF is a lone CR; NEL, LS and PS are their own kinds.
    EXPECT_EQ(LineEnding::kinds("\r\r\n"), (L{LineEnding::cr, LineEnding::crlf}));
    EXPECT_EQ(LineEnding::kinds(s(u"x\u2029y\u0085z\u2028\n")),
              (L{LineEnding::ps, LineEnding::nel, LineEnding::ls, LineEnding::lf}));
    // A CR followed by another break is still recorded before that break.
    EXPECT_EQ(LineEnding::kinds(s(u"\r\u2028")), (L{LineEnding::cr, LineEnding::ls}));
    EXPECT_EQ(LineEnding::kinds("\n\n\n"), (L{LineEnding::lf}));
}

TEST(LineEndingTest, ToLFALongTextKeepsItselfOrConvertsTheOneForeignBreakWhereverItStands)
{
    QString text;
    for (int i = 0; i < 40; ++i)
        text += QStringLiteral("行の本文 line %1\n").arg(i);
    const LineEnding lf(LineEnding::lf);
    const QString same = lf.replacing(text);
    EXPECT_EQ(same, text);
    EXPECT_TRUE(same.isSharedWith(text));  // not copied
    // A foreign break at each place in and around the blocks the scan reads at once.
    for (const char16_t foreign : {u'\r', u'\u0085', u'\u2028', u'\u2029'}) {
        for (qsizetype at = 0; at < 200; ++at) {
            QString changed = text;
            changed[at] = QChar(foreign);
            QString expected = changed;
            expected[at] = QLatin1Char('\n');
            if (foreign == u'\r' && at + 1 < changed.size() && changed[at + 1] == QLatin1Char('\n'))
                expected.remove(at + 1, 1);
            EXPECT_EQ(lf.replacing(changed), expected) << int(foreign) << " at " << at;
        }
    }
}

TEST(LineEndingTest, ReplacingConvertsEveryBreakAndNothingElse)
{
    const QString mixed = s(u"a\rb\r\nc\u2028d");
    const QString crlf = LineEnding(LineEnding::crlf).replacing(mixed);
    EXPECT_EQ(crlf, "a\r\nb\r\nc\r\nd");

    EXPECT_EQ(LineEnding(LineEnding::lf).replacing(s(u"\r\r\n\u0085\u2029x")), "\n\n\n\nx");
    EXPECT_EQ(LineEnding(LineEnding::cr).replacing("a\nb\r\n"), "a\rb\r");
    EXPECT_EQ(LineEnding(LineEnding::ps).replacing("a\n"), s(u"a\u2029"));
    // Characters that merely look like breaks are left alone.
    const QString noBreaks = s(u"\t\u000B\u000C\u2027\u202Aあ");
    EXPECT_EQ(LineEnding(LineEnding::crlf).replacing(noBreaks), noBreaks);
    EXPECT_EQ(LineEnding(LineEnding::lf).replacing(""), "");
    // Converting twice is the same as converting once, for every ending.
    for (LineEnding e : LineEnding::allCases()) {
        const QString once = e.replacing(mixed);
        EXPECT_EQ(e.replacing(once), once) << e.rawValue().toStdString();
        EXPECT_EQ(LineEnding::kinds(once), QList<LineEnding>{e});
    }
}

// The breaks a conversion replaces, one piece each, give the same text as the whole-text
// conversion and touch nothing else: a CR before a CR LF is a break of its own, a final CR too.
TEST(LineEndingTest, ForeignBreaksAreExactlyWhatAConversionReplaces)
{
    const QString texts[] = {s(u"a\rb\r\nc\u2028d"), s(u"\r\r\n\u0085\u2029x\r"), "\n\n", "no breaks", "",
                             s(u"\t\u000B\u000C\u2027あ\r\n"), "\r\n\r\n\n\r"};
    for (const QString& text : texts) {
        for (LineEnding e : LineEnding::allCases()) {
            const QVector<TextRange> breaks = e.foreignBreaks(text);
            QString converted = text;
            for (auto it = breaks.crbegin(); it != breaks.crend(); ++it)
                converted.replace(it->location, it->length, e.breakString());
            EXPECT_EQ(converted, e.replacing(text)) << e.rawValue().toStdString();
            for (const TextRange& r : breaks) EXPECT_NE(text.mid(r.location, r.length), e.breakString());
        }
    }
    EXPECT_EQ(LineEnding(LineEnding::crlf).foreignBreaks(u"a\r\nb\nc\r"),
              (QVector<TextRange>{TextRange(4, 1), TextRange(6, 1)}));
    EXPECT_EQ(LineEnding(LineEnding::lf).foreignBreaks(u"a\r\r\n"), (QVector<TextRange>{TextRange(1, 1), TextRange(2, 2)}));
}

TEST(LineEndingTest, TextFormatEqualityComparesAllFourFields)
{
    const TextFormat base;
    EXPECT_EQ(base.encoding, TextEncoding::utf8);
    EXPECT_EQ(base.lineEnding, LineEnding::lf);
    TextFormat other = base;
    EXPECT_TRUE(base == other);
    other.bom = true;
    EXPECT_FALSE(base == other);
    other = base;
    other.mixedLineEndings = true;
    EXPECT_FALSE(base == other);
    other = base;
    other.lineEnding = LineEnding::cr;
    EXPECT_FALSE(base == other);
    other = base;
    other.encoding = TextEncoding::eucJP;
    EXPECT_FALSE(base == other);
}

TEST(LineEndingTest, KindsAreFoundWhereverTabsAndOtherControlsStandBesideThem)
{
    // Source text is full of tabs and form feeds: they are not breaks, and a break or CR that
    // follows them, at any alignment, is still seen.
    for (int offset = 0; offset < 20; ++offset) {
        for (const auto& [tail, expected] :
             {std::pair{s(u"\r\n"), QList<LineEnding>{LineEnding::crlf}}, std::pair{s(u"\r\t"), QList<LineEnding>{LineEnding::cr}},
              std::pair{s(u"\n"), QList<LineEnding>{LineEnding::lf}}, std::pair{s(u"\u2029"), QList<LineEnding>{LineEnding::ps}},
              std::pair{s(u"\t\x0B\x0C"), QList<LineEnding>{}}}) {
            const QString text = QString(offset, QChar(u'\t')) + s(u"\x0C\x0B") + QString(offset, QChar(u'\t')) + tail
                + QString(17, QChar(u'\t'));
            EXPECT_EQ(LineEnding::kinds(text), expected) << offset;
        }
    }
}
