#include "scripting/text/ScriptCharacters.h"
#include "scripting/text/ScriptNormalization.h"
#include "scripting/text/ScriptTypography.h"
#include "scripting/console/ChunkedUtf8Decoder.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QString u(const char16_t* text)
{
    return QString::fromUtf16(text);
}

QString nf(const QString& text, const char* form)
{
    return ScriptNormalization::apply(text, QString::fromLatin1(form)).value_or(QStringLiteral("(none)"));
}

}  // namespace

TEST(ScriptNormalization, TheFourStandardForms)
{
    EXPECT_EQ(nf(u(u"e\u0301"), "NFC"), u(u"\u00e9"));
    EXPECT_EQ(nf(u(u"\u00e9"), "NFD"), u(u"e\u0301"));
    EXPECT_EQ(nf(u(u"\uFF21\u2460"), "NFKC"), QStringLiteral("A1"));
    EXPECT_EQ(nf(u(u"\u00e9\uFB01"), "NFKD"), u(u"e\u0301fi"));
    // Text already in the form comes back as it is, a long unchanged prefix included.
    const QString ascii = QString(100000, QLatin1Char('a')) + u(u"e\u0301");
    EXPECT_EQ(nf(ascii, "NFC"), QString(100000, QLatin1Char('a')) + u(u"\u00e9"));
    EXPECT_EQ(nf(QString(), "NFD"), QString());
}

TEST(ScriptNormalization, CasefoldFoldsRemovesIgnorablesAndRecomposes)
{
    EXPECT_EQ(nf(u(u"\uFF21"), "NFKC Casefold"), QStringLiteral("a"));
    EXPECT_EQ(nf(u(u"wo\u200Brd\u00AD\uFE0F"), "NFKC Casefold"), QStringLiteral("word"));
    EXPECT_EQ(nf(u(u"Stra\u00DFe \u212B"), "NFKC Casefold"), u(u"strasse \u00e5"));
    EXPECT_EQ(nf(u(u"\U0001F600x"), "NFKC Casefold"), u(u"\U0001F600x"));
}

TEST(ScriptNormalization, ModifiedFormsSpareTheirRanges)
{
    // U+F900 and U+2F800 are CJK compatibility ideographs; NFC would map them.
    EXPECT_EQ(nf(u(u"\uF900"), "NFC"), u(u"\u8C48"));
    EXPECT_EQ(nf(u(u"\uF900 e\u0301 \U0002F800"), "Modified NFC"), u(u"\uF900 \u00e9 \U0002F800"));
    EXPECT_EQ(nf(u(u"\u2126"), "NFD"), u(u"\u03A9"));
    EXPECT_EQ(nf(u(u"\u2126\u00e9"), "Modified NFD"), u(u"\u2126e\u0301"));
    // A mark after a spared character stays apart from it and from what went before.
    EXPECT_EQ(nf(u(u"e\u2000\u0301"), "Modified NFC"), u(u"e\u2000\u0301"));
    EXPECT_TRUE(ScriptNormalization::isSpared(0x2FFF));
    EXPECT_FALSE(ScriptNormalization::isSpared(0x3000));
}

TEST(ScriptNormalization, OnlyTheSevenNamesAreForms)
{
    EXPECT_EQ(ScriptNormalization::formNames().size(), 7);
    for (const char* name : {"nfc", "NFKC casefold", "", "NFE", "Modified NFKC"})
        EXPECT_FALSE(ScriptNormalization::apply(QStringLiteral("x"), QString::fromLatin1(name))) << name;
}

TEST(ScriptTypography, StraightensEveryCurlyQuote)
{
    EXPECT_EQ(ScriptTypography::apply(u(u"\u201Ca\u201D \u2018b\u2019 \u201E\u201F\u201A\u201B"), QStringLiteral("straighten quotes")),
              QStringLiteral("\"a\" 'b' \"\"''"));
    EXPECT_EQ(ScriptTypography::apply(QStringLiteral("plain"), QStringLiteral("straighten quotes")), QStringLiteral("plain"));
}

TEST(ScriptTypography, SmartQuotesOpenAfterSpaceBracketOrQuoteAndCloseElsewhere)
{
    const auto smart = [](const QString& text) { return ScriptTypography::apply(text, QStringLiteral("smarten quotes")); };
    EXPECT_EQ(smart(QStringLiteral("\"Hi,\" she said.")), u(u"\u201CHi,\u201D she said."));
    EXPECT_EQ(smart(QStringLiteral("'one' ('two') [\"three\"]")), u(u"\u2018one\u2019 (\u2018two\u2019) [\u201Cthree\u201D]"));
    EXPECT_EQ(smart(QStringLiteral("\"'nested'\"")), u(u"\u201C\u2018nested\u2019\u201D"));
    EXPECT_EQ(smart(QStringLiteral("don't l'été")), u(u"don\u2019t l\u2019\u00e9t\u00e9"));
    EXPECT_EQ(smart(QStringLiteral("line\n\"next\"")), u(u"line\n\u201Cnext\u201D"));
    EXPECT_EQ(smart(u(u"\u300C\"\u300D")), u(u"\u300C\u201C\u300D"));
    // Any mode but the other two smartens quotes.
    EXPECT_EQ(ScriptTypography::apply(QStringLiteral("\"a\""), QStringLiteral("whatever")), u(u"\u201Ca\u201D"));
}

TEST(ScriptTypography, TwoHyphensAreAnEmDash)
{
    const auto dashes = [](const QString& text) { return ScriptTypography::apply(text, QStringLiteral("smarten dashes")); };
    EXPECT_EQ(dashes(QStringLiteral("a--b")), u(u"a\u2014b"));
    EXPECT_EQ(dashes(QStringLiteral("a - b")), QStringLiteral("a - b"));
    EXPECT_EQ(dashes(QStringLiteral("----")), u(u"\u2014\u2014"));
    EXPECT_EQ(dashes(QStringLiteral("---")), u(u"\u2014-"));
    EXPECT_EQ(dashes(QStringLiteral("no dashes")), QStringLiteral("no dashes"));
}

TEST(ScriptCharacters, CountsGraphemeClusters)
{
    EXPECT_EQ(ScriptCharacters::count(u(u"e\u0301\U0001F44D\U0001F3FD")), 2);
    EXPECT_EQ(ScriptCharacters::count(QStringLiteral("a\r\nb")), 3);
    EXPECT_EQ(ScriptCharacters::count(u(u"\U0001F1EF\U0001F1F5\U0001F1FA\U0001F1F8")), 2);  // two flags
    EXPECT_EQ(ScriptCharacters::count(u(u"\U0001F468\u200D\U0001F469\u200D\U0001F467")), 1);
    EXPECT_EQ(ScriptCharacters::count(QString()), 0);
    EXPECT_EQ(ScriptCharacters::count(QString(5000, QLatin1Char('x')) + u(u"\u0301")), 5000);
    EXPECT_EQ(ScriptCharacters::offset(u(u"\U0001F600ab"), 1), 2);
    EXPECT_EQ(ScriptCharacters::offset(u(u"\U0001F600ab"), 2), 3);
    EXPECT_EQ(ScriptCharacters::offset(u(u"\U0001F600ab"), 9), 4);
    EXPECT_EQ(ScriptCharacters::offset(QStringLiteral("a\r\nb"), 2), 3);
}

TEST(ChunkedUtf8Decoder, JoinsCharactersCutBetweenChunks)
{
    const QByteArray bytes = QStringLiteral("あい😀é").toUtf8();
    for (qsizetype cut = 0; cut <= bytes.size(); ++cut) {
        ChunkedUtf8Decoder decoder;
        QString text = decoder.decode(QByteArrayView(bytes).first(cut));
        text += decoder.decode(QByteArrayView(bytes).sliced(cut));
        text += decoder.finish();
        EXPECT_EQ(text, QStringLiteral("あい😀é")) << cut;
    }
    // Byte by byte.
    ChunkedUtf8Decoder decoder;
    QString text;
    for (const char byte : bytes)
        text += decoder.decode(QByteArrayView(&byte, 1));
    EXPECT_EQ(text + decoder.finish(), QStringLiteral("あい😀é"));

    ChunkedUtf8Decoder broken;
    EXPECT_EQ(broken.decode("a\xff" "b\xe3\x81"), QStringLiteral("a\uFFFDb"));
    EXPECT_TRUE(broken.hasPendingBytes());
    EXPECT_EQ(broken.finish(), QStringLiteral("\uFFFD"));
    EXPECT_EQ(broken.decode("\x81\x82"), QStringLiteral("\uFFFD\uFFFD"));
}
