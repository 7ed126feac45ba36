#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonWriter.h"

#include <gtest/gtest.h>

using namespace korimado;

TEST(JsonReader, RefusesWhatIsNotStrictJson)
{
    for (const char* bad : {"", "{", "{\"a\":1,}", "[1,]", "{\"a\":1}x", "// c\n{}", "{'a':1}", "01", "1.", "-", "NaN",
                            "\"a\x01\"", "\"\\x\"", "\"\\u12\"", "{\"a\":1,\"a\":2}", "\"\xC0\xAF\"", "\"\xED\xA0\x80\"",
                            "\"\xF4\x90\x80\x80\"", "\"\xE3\x81\"", "tru", "nul"}) {
        EXPECT_THROW(JsonReader::parse(QByteArray(bad)), JsonDecodingError) << bad;
    }
    const QByteArray deep = QByteArray(JsonReader::maximumDepth + 1, '[') + QByteArray(JsonReader::maximumDepth + 1, ']');
    EXPECT_THROW(JsonReader::parse(deep), JsonDecodingError);
}

TEST(JsonReader, KeepsExactNumbersStringsAndOrder)
{
    const JsonValue v = JsonReader::parse("\xEF\xBB\xBF {\"b\":18446744073709551615,\"a\":-9223372036854775808,"
                                          "\"s\":\"\\u00e9\\ud83d\\ude00\\ud800\xE3\x81\x82\\/\",\"f\":1.5e3,\"n\":null}");
    ASSERT_EQ(v.type(), JsonValue::Type::object);
    EXPECT_EQ(v.toObject()[0].key, QStringLiteral("b"));
    EXPECT_EQ(v.member(u"b")->unsignedValue(), quint64(18446744073709551615ull));
    EXPECT_FALSE(v.member(u"b")->integerValue());
    EXPECT_EQ(v.member(u"a")->integerValue(), std::numeric_limits<qint64>::min());
    EXPECT_FALSE(v.member(u"a")->unsignedValue());
    EXPECT_EQ(v.member(u"s")->toString(), QString::fromUtf16(u"é😀") + QChar(0xD800) + QStringLiteral("あ/"));
    EXPECT_FALSE(v.member(u"f")->integerValue());
    EXPECT_TRUE(v.member(u"n")->isNull());
    // A mark before the text is a byte-order mark; one that begins a string or a key is kept.
    const JsonValue marked = JsonReader::parse("\xEF\xBB\xBF{\"\xEF\xBB\xBFk\":\"\xEF\xBB\xBFv\"}");
    EXPECT_EQ(marked.toObject()[0].key, QChar(0xFEFF) + QStringLiteral("k"));
    EXPECT_EQ(marked.member(QString(QChar(0xFEFF)) + QStringLiteral("k"))->toString(), QChar(0xFEFF) + QStringLiteral("v"));
}

TEST(JsonWriter, WritesWhatTheReaderTakesBack)
{
    JsonValue o(JsonValue::Object{});
    o.insert(QStringLiteral("z"), JsonValue(QStringLiteral("a/b\"\\\n\t\x01") + QChar(0xDC00) + QStringLiteral("日本")));
    o.insert(QStringLiteral("a"), JsonValue(JsonValue::Array{JsonValue(true), JsonValue(), JsonValue::unsignedInteger(~0ull)}));
    o.insert(QStringLiteral("e"), JsonValue(JsonValue::Object{}));
    JsonWriter::Options options;
    options.prettyPrinted = true;
    options.sortedKeys = true;
    const QByteArray bytes = JsonWriter::write(o, options);
    EXPECT_EQ(bytes, QByteArray("{\n  \"a\" : [\n    true,\n    null,\n    18446744073709551615\n  ],\n  \"e\" : {},\n"
                                "  \"z\" : \"a\\/b\\\"\\\\\\n\\t\\u0001\\udc00\xE6\x97\xA5\xE6\x9C\xAC\"\n}"));
    const JsonValue back = JsonReader::parse(bytes);
    EXPECT_EQ(back.member(u"z")->toString(), o.member(u"z")->toString());
    options.escapesSolidus = false;
    options.prettyPrinted = false;
    EXPECT_TRUE(JsonWriter::write(o, options).contains("\"a/b"));
}
