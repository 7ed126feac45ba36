#include "window/RTFWriter.h"

#include <gtest/gtest.h>

using namespace korimado;

TEST(RTFWriter, JapaneseEmojiEscapesAndColours)
{
    const QByteArray rtf = RTFWriter::write(QStringLiteral("日本 {\\}\t😀\r\nx\ry\u2028z"), QStringLiteral("游ゴシック"), 13, {});
    EXPECT_TRUE(rtf.startsWith("{\\rtf1\\ansi\\ansicpg1252\\uc1\\deff0{\\fonttbl{\\f0\\fmodern\\fcharset0 \\u28216?\\u12468?"));
    EXPECT_TRUE(rtf.contains("\\fs26 "));
    // Each half of the emoji as a signed 16-bit number; a CR LF is one paragraph.
    EXPECT_TRUE(rtf.contains("\\u26085?\\u26412? \\{\\\\\\}\\tab \\u-10179?\\u-8704?\\par\nx\\par\ny\\line z}"));
    EXPECT_TRUE(rtf.endsWith("}"));

    const QByteArray coloured = RTFWriter::write(QStringLiteral("int x;"), QStringLiteral("Mono"), 12,
                                                 {{{0, 3}, 0x0000FF, std::nullopt}, {{4, 1}, 0xFF8000, 0x202020}});
    EXPECT_TRUE(coloured.contains("{\\colortbl;\\red0\\green0\\blue255;\\red255\\green128\\blue0;\\red32\\green32\\blue32;}"));
    EXPECT_TRUE(coloured.contains("\\cf1\\cb0 int\\cf0\\cb0  \\cf2\\cb3 x\\cf0\\cb0 ;}"));

    // A run that ends inside a surrogate pair or a CR LF does not split it.
    const QByteArray split = RTFWriter::write(QStringLiteral("a😀\r\nb"), QStringLiteral("M"), 12,
                                              {{{0, 2}, 0x111111, std::nullopt}, {{3, 2}, 0x222222, std::nullopt}});
    EXPECT_TRUE(split.contains("\\cf1\\cb0 a\\u-10179?\\u-8704?\\cf2\\cb0 \\par\n\\cf0\\cb0 b}")) << split.constData();
}
