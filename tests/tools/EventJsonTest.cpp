// The command-line client's JSON and arguments, read back through the program's own wire reader
// so that both sides are held to one form.
#include "platform/events/EventWireFormat.h"
#include "EventCommandLine.h"
#include "EventJson.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

using D = EventDescriptor;

std::optional<D> fromJson(const char* json, std::string* error = nullptr)
{
    const std::optional<wire::JsonNode> node = wire::JsonNode::parse(json);
    if (!node)
        return std::nullopt;
    std::string bytes;
    wire::Writer writer(bytes);
    if (!wire::EventJson::write(*node, writer, error))
        return std::nullopt;
    return EventWireFormat::decodeDescriptor(QByteArray::fromStdString(bytes));
}

std::string toJson(const D& value)
{
    const QByteArray bytes = EventWireFormat::encode(value);
    const std::optional<wire::Value> read = wire::decodeValue(std::string_view(bytes.constData(), size_t(bytes.size())));
    std::string json;
    if (read)
        wire::EventJson::append(json, *read);
    return json;
}

wire::EventCommandLine parsed(const std::vector<std::string>& arguments)
{
    auto result = wire::EventCommandLine::parse(arguments);
    if (const std::string* message = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << *message;
        return {};
    }
    return std::get<wire::EventCommandLine>(result);
}

AppleEvent eventOf(const wire::EventCommandLine& line)
{
    return EventWireFormat::decodeEvent(QByteArray::fromStdString(line.event)).value_or(AppleEvent());
}

std::string refused(const std::vector<std::string>& arguments)
{
    auto result = wire::EventCommandLine::parse(arguments);
    const std::string* message = std::get_if<std::string>(&result);
    return message ? *message : std::string();
}

}  // namespace

TEST(EventJson, ValuesReadAndWriteBack)
{
    const char* json =
        R"({"obj":{"want":"prop","form":"prop","seld":{"type":"PCnt"},"from":{"obj":{"want":"docu","form":"indx","seld":1,"from":null}}}})";
    const std::optional<D> specifier = fromJson(json);
    ASSERT_TRUE(specifier);
    EXPECT_TRUE(specifier->isObjectSpecifier());
    EXPECT_EQ(specifier->value(D::keySeld)->toCode(), fourCharCode("PCnt"));
    EXPECT_EQ(specifier->value(D::keyFrom)->value(D::keySeld)->toInteger(), 1);
    EXPECT_EQ(toJson(*specifier), json);

    const char* values = R"([null,true,-3,9007199254740993,2.5,"あ",{"enum":"cCup"},{"record":{"kocl":{"type":"docu"}}}])";
    EXPECT_EQ(toJson(*fromJson(values)), values);
    // Tagged codes are accepted where bare ones are.
    EXPECT_EQ(fromJson(R"({"obj":{"want":{"type":"docu"},"form":{"enum":"name"},"seld":"a"}})")->value(D::keyWant)->toCode(),
              fourCharCode("docu"));
    EXPECT_EQ(toJson(D::opaque(fourCharCode("furl"), "ab")), R"({"opaque":{"type":"furl","base64":"YWI="}})");
    EXPECT_EQ(toJson(D::opaque(fourCharCode("furl"), "abc")), R"({"opaque":{"type":"furl","base64":"YWJj"}})");
}

TEST(EventJson, NumbersKeepTheirWidth)
{
    EXPECT_EQ(fromJson("2147483647")->type(), D::typeInteger);
    EXPECT_EQ(fromJson("-2147483649")->type(), D::typeInteger64);
    EXPECT_EQ(fromJson("-9223372036854775808")->toInteger(), std::numeric_limits<qint64>::min());
    EXPECT_EQ(fromJson("9223372036854775808")->type(), D::typeReal);  // past 64 bits: a real
    EXPECT_EQ(fromJson("1e2")->type(), D::typeReal);
    EXPECT_EQ(toJson(D::real(0.1)), "0.10000000000000001");
    EXPECT_EQ(toJson(D::real(qInf())), "null");
}

TEST(EventJson, TextEscapesAsTheProgramWritesIt)
{
    // Control characters escaped, solidus and non-ASCII as they stand, a pair of escapes one character.
    EXPECT_EQ(toJson(D::text(QStringLiteral("a\"\\/\n\t\x01\x7f😀改"))), "\"a\\\"\\\\/\\n\\t\\u0001\x7f😀改\"");
    EXPECT_EQ(fromJson(R"("\ud83d\ude00\u00e9")")->toText(), QStringLiteral("😀é"));
    // A lone surrogate reads as U+FFFD, as the wire writes it.
    EXPECT_EQ(fromJson(R"("a\ud800b")")->toText(), QStringLiteral("a\uFFFDb"));
    // UTF-16 text: a lone surrogate stays visible.
    const QString lone = QStringLiteral("x") + QChar(0xDC00) + QStringLiteral("😀");
    EXPECT_EQ(toJson(D::unicodeText(lone)), "\"x\\udc00😀\"");
    // A record's key given twice on the wire is written once, with its last value.
    EXPECT_EQ(toJson(D::record({{fourCharCode("abcd"), D::integer(1)}, {fourCharCode("wxyz"), D()},
                                {fourCharCode("abcd"), D::integer(2)}})),
              R"({"record":{"abcd":2,"wxyz":null}})");
}

TEST(EventJson, RefusesWhatNamesNoValue)
{
    for (const char* bad : {R"({"type":"abc"})", R"({"enum":5})", R"({"type":"PCnt","enum":"cCup"})", R"({"color":"red"})",
                            R"({"obj":{"want":"docu","form":"indx"}})", R"({"obj":{"want":"docu","form":"indx","seld":1,"x":1}})",
                            R"({"record":{"toolong":1}})", "1e999"}) {
        std::string error;
        EXPECT_FALSE(fromJson(bad, &error)) << bad;
        EXPECT_FALSE(error.empty()) << bad;
    }
    // Not JSON at all.
    for (const char* bad : {"", "[1,]", "{\"a\":1,\"a\":2}", "01", "\"\\x\"", "\"\xC0\x80\"", "\"\xED\xA0\x80\"", "tru", "[1] x"})
        EXPECT_FALSE(wire::JsonNode::parse(bad)) << bad;
    EXPECT_TRUE(wire::JsonNode::parse("\xEF\xBB\xBF [1]"));
    EXPECT_TRUE(wire::JsonNode::parse(std::string(511, '[') + std::string(511, ']')));
    EXPECT_FALSE(wire::JsonNode::parse(std::string(513, '[') + std::string(513, ']')));
}

TEST(EventCommandLine, ReadsClassIdDirectObjectAndParameters)
{
    const wire::EventCommandLine line = parsed({"--timeout", "2.5", "cEd1", "RPlc", R"({"obj":{"want":"docu","form":"indx","seld":1}})",
                                                "tRgt=a", R"(nWst="x\ny")", "aLl =true", "rEex=true"});
    const AppleEvent event = eventOf(line);
    EXPECT_DOUBLE_EQ(line.timeoutSeconds, 2.5);
    EXPECT_FALSE(line.pid);
    EXPECT_EQ(event.eventClass(), fourCharCode("cEd1"));
    EXPECT_EQ(event.eventID(), fourCharCode("RPlc"));
    ASSERT_TRUE(event.directObject());
    EXPECT_TRUE(event.directObject()->isObjectSpecifier());
    EXPECT_EQ(event.parameter(fourCharCode("tRgt"))->toText(), QStringLiteral("a"));  // a plain word is text
    EXPECT_EQ(event.parameter(fourCharCode("nWst"))->toText(), QStringLiteral("x\ny"));
    EXPECT_EQ(event.parameter(fourCharCode("aLl "))->toBoolean(), true);

    EXPECT_EQ(parsed({"--pid", "42", "cEd1", "cnsl", "hello world"}).pid, 42);
    EXPECT_EQ(eventOf(parsed({"cEd1", "cnsl", "hello world"})).directObject()->toText(), QStringLiteral("hello world"));
    EXPECT_EQ(eventOf(parsed({"cEd1", "cnsl", "日本語"})).directObject()->toText(), QStringLiteral("日本語"));
    EXPECT_EQ(eventOf(parsed({"cEd1", "cnsl", "----=12"})).directObject()->toInteger(), 12);
    EXPECT_FALSE(eventOf(parsed({"aevt", "rapp"})).directObject());
    EXPECT_EQ(eventOf(parsed({"aevt", "rapp"})).eventID(), fourCharCode("rapp"));
    EXPECT_TRUE(parsed({"--help"}).help);
}

TEST(EventCommandLine, ExplainsWhatIsWrong)
{
    EXPECT_FALSE(refused({}).empty());
    EXPECT_FALSE(refused({"cEd1"}).empty());
    EXPECT_FALSE(refused({"cEd", "RPlc"}).empty());
    EXPECT_FALSE(refused({"cEdあ", "RPlc"}).empty());
    EXPECT_FALSE(refused({"--pid", "x", "cEd1", "RPlc"}).empty());
    EXPECT_FALSE(refused({"--pid", "0", "cEd1", "RPlc"}).empty());
    EXPECT_FALSE(refused({"--timeout", "-1", "cEd1", "RPlc"}).empty());
    EXPECT_FALSE(refused({"--timeout", "nan", "cEd1", "RPlc"}).empty());
    EXPECT_FALSE(refused({"--timeout"}).empty());
    EXPECT_FALSE(refused({"--colour", "cEd1", "RPlc"}).empty());
    EXPECT_FALSE(refused({"cEd1", "RPlc", "a", "b"}).empty());
    EXPECT_FALSE(refused({"cEd1", "RPlc", "tRgt=a", "tRgt=b"}).empty());
    EXPECT_NE(refused({"cEd1", "RPlc", "tRgt={broken"}).find("tRgt"), std::string::npos);
}

// "@file" stands for the file's text as it is (no JSON read in it); what cannot be read is named.
TEST(EventCommandLine, TakesAValueFromAFile)
{
    test::TempDir dir;
    const std::string text = "{\"not\": json}\r\n𠮷\n";
    const std::string path = dir.write(QStringLiteral("値.txt"), QByteArray::fromStdString(text)).toStdString();
    const std::string folder = dir.path().toStdString();
    const AppleEvent event = eventOf(parsed({"core", "setd", "x", "data=@" + path}));
    EXPECT_EQ(event.parameter(fourCharCode("data"))->toText(), QString::fromStdString(text));
    EXPECT_EQ(eventOf(parsed({"cEd1", "cnsl", "@" + path})).directObject()->toText(), QString::fromStdString(text));
    EXPECT_EQ(eventOf(parsed({"cEd1", "cnsl", "\"@" + path + "\""})).directObject()->toText(), QString::fromStdString("@" + path));
    EXPECT_EQ(eventOf(parsed({"cEd1", "cnsl", "@"})).directObject()->toText(), QStringLiteral("@"));
    EXPECT_NE(refused({"cEd1", "cnsl", "@" + folder + "/none"}).find("/none"), std::string::npos);
    EXPECT_NE(refused({"cEd1", "cnsl", "@" + folder}).find("フォルダ"), std::string::npos);
    EXPECT_TRUE(parsed({"--list"}).list);
    EXPECT_FALSE(refused({"--list", "cEd1", "cnsl"}).empty());
}
