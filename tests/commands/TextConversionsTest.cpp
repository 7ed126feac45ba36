#include "commands/TextConversions.h"

#include <gtest/gtest.h>

using namespace korimado;
using TC = TextConversions;

namespace {

QString s(const char16_t* text)
{
    return QString::fromUtf16(text);
}

}  // namespace

TEST(TextConversions, CaseFollowsUnicodeNotAscii)
{
    EXPECT_EQ(TC::uppercase(s(u"stra\u00dfe \u00e9")), s(u"STRASSE \u00c9")) << "ß grows into two letters";
    EXPECT_EQ(TC::lowercase(s(u"\u00c9COLE \U00010400")), s(u"\u00e9cole \U00010428")) << "astral Deseret letters";
    EXPECT_EQ(TC::capitalize(QStringLiteral("hello wORLD foo-bar")), QStringLiteral("Hello World Foo-Bar"));
    EXPECT_EQ(TC::uppercase(s(u"日本語 abc")), s(u"日本語 ABC"));
    EXPECT_EQ(TC::uppercase(QString()), QString());
}

TEST(TextConversions, WidthTransformBothWays)
{
    EXPECT_EQ(TC::halfWidth(s(u"\uFF21\uFF22\uFF43\u3000\uFF11\u30AB\u30AC")), s(u"ABc 1\uFF76\uFF76\uFF9E"));
    EXPECT_EQ(TC::fullWidth(s(u"AB 1\uFF76\uFF9E")), s(u"\uFF21\uFF22\u3000\uFF11\u30AC"))
        << "an ASCII space becomes U+3000 and a voiced half-width kana one character";
    EXPECT_EQ(TC::fullWidth(QStringLiteral("a\nb\r\n")), s(u"\uFF41\n\uFF42\r\n")) << "line breaks stay";
    // Skipping what the transform cannot change must not alter the result.
    const QString mixed = s(u"plain ascii \uFF21\uFF22 more \u30AB\u30AC\u30D1 end \U0001F600");
    EXPECT_EQ(TC::halfWidth(mixed), s(u"plain ascii AB more \uFF76\uFF76\uFF9E\uFF8A\uFF9F end \U0001F600"));
}

TEST(TextConversions, UrlEncodingAndDecoding)
{
    EXPECT_EQ(TC::urlEncode(QStringLiteral("a b&c")), QStringLiteral("a%20b%26c"));
    EXPECT_EQ(TC::urlEncode(s(u"-._~\u3042\U0001F600")), QStringLiteral("-._~%E3%81%82%F0%9F%98%80"));
    EXPECT_EQ(TC::urlEncode(s(u"a\xD800")), s(u"a\xD800")) << "a lone surrogate has no UTF-8 form";
    EXPECT_EQ(TC::urlDecode(QStringLiteral("%E3%81%82")), s(u"\u3042"));
    EXPECT_EQ(TC::urlDecode(s(u"\U0001F600%20x")), s(u"\U0001F600 x"));
    for (const char* bad : {"%zz", "%", "%4", "a%e3%81", "%FF"})
        EXPECT_EQ(TC::urlDecode(QString::fromLatin1(bad)), QString::fromLatin1(bad)) << bad;
}
