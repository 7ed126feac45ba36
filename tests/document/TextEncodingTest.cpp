#include "document/TextEncoding.h"

#include <gtest/gtest.h>

using korimado::TextEncoding;

TEST(TextEncoding, DisplayNamesInFixedOrderRoundTrip)
{
    const auto& all = TextEncoding::allCases();
    ASSERT_EQ(all.size(), 20u);
    EXPECT_EQ(all[0].rawValue(), "UTF-8");
    EXPECT_EQ(all[16].rawValue(), "Shift JIS X0213");
    EXPECT_EQ(all[19].rawValue(), "EUC-KR");
    for (TextEncoding e : all) {
        auto back = TextEncoding::fromRawValue(e.rawValue());
        ASSERT_TRUE(back.has_value());
        EXPECT_EQ(*back, e);
    }
    EXPECT_FALSE(TextEncoding::fromRawValue("utf-8").has_value());
}

TEST(TextEncoding, MarkersOnlyForUnicodeForms)
{
    int withMark = 0;
    for (TextEncoding e : TextEncoding::allCases()) withMark += e.supportsBOM() ? 1 : 0;
    EXPECT_EQ(withMark, 5);
    EXPECT_EQ(TextEncoding(TextEncoding::utf32LE).marker(), QByteArray("\xFF\xFE\x00\x00", 4));
    EXPECT_TRUE(TextEncoding(TextEncoding::shiftJIS).marker().isEmpty());
}

TEST(TextEncoding, LenientLookup)
{
    EXPECT_EQ(TextEncoding::named("Japanese (Shift JIS)"), TextEncoding::shiftJIS);
    EXPECT_EQ(TextEncoding::named("utf-8"), TextEncoding::utf8);
    EXPECT_EQ(TextEncoding::named("UTF16"), TextEncoding::utf16LE);
    EXPECT_EQ(TextEncoding::named("CP932"), TextEncoding::shiftJIS);
    EXPECT_EQ(TextEncoding::named("iso-8859-15"), TextEncoding::latin9);
    EXPECT_EQ(TextEncoding::named("macintosh"), TextEncoding::macRoman);
    EXPECT_FALSE(TextEncoding::named("EUC").has_value());
    // "(" without a later ")" is used whole.
    EXPECT_FALSE(TextEncoding::named("Japanese (Shift JIS").has_value());
    EXPECT_EQ(TextEncoding::named("(utf-8"), TextEncoding::utf8);
}
