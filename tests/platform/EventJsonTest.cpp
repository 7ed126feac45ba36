#include "platform/events/EventCommandLine.h"
#include "platform/events/EventJson.h"
#include "platform/foundation/JsonReader.h"
#include "platform/foundation/JsonWriter.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

using D = EventDescriptor;

std::optional<D> fromJson(const char* json, QString* error = nullptr)
{
    return EventJson::descriptor(JsonReader::parse(QByteArray(json)), error);
}

QByteArray toJson(const D& value)
{
    return JsonWriter::write(EventJson::json(value), {.prettyPrinted = false, .sortedKeys = false, .escapesSolidus = false});
}

EventCommandLine parsed(const QStringList& arguments)
{
    auto result = EventCommandLine::parse(arguments);
    if (const QString* message = std::get_if<QString>(&result)) {
        ADD_FAILURE() << message->toStdString();
        return {};
    }
    return std::get<EventCommandLine>(result);
}

QString refused(const QStringList& arguments)
{
    auto result = EventCommandLine::parse(arguments);
    const QString* message = std::get_if<QString>(&result);
    return message ? *message : QString();
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
    EXPECT_EQ(toJson(*specifier), QByteArray(json));

    EXPECT_EQ(toJson(*fromJson(R"([null,true,-3,9007199254740993,2.5,"あ",{"enum":"cCup"},{"record":{"kocl":{"type":"docu"}}}])")),
              QByteArray(R"([null,true,-3,9007199254740993,2.5,"あ",{"enum":"cCup"},{"record":{"kocl":{"type":"docu"}}}])"));
    // Tagged codes are accepted where bare ones are.
    EXPECT_EQ(fromJson(R"({"obj":{"want":{"type":"docu"},"form":{"enum":"name"},"seld":"a"}})")->value(D::keyWant)->toCode(),
              fourCharCode("docu"));
    EXPECT_EQ(toJson(D::opaque(fourCharCode("furl"), "ab")), QByteArray(R"({"opaque":{"type":"furl","base64":"YWI="}})"));
}

TEST(EventJson, RefusesWhatNamesNoValue)
{
    for (const char* bad : {R"({"type":"abc"})", R"({"enum":5})", R"({"type":"PCnt","enum":"cCup"})", R"({"color":"red"})",
                            R"({"obj":{"want":"docu","form":"indx"}})", R"({"obj":{"want":"docu","form":"indx","seld":1,"x":1}})",
                            R"({"record":{"toolong":1}})", "1e999"}) {
        QString error;
        EXPECT_FALSE(fromJson(bad, &error)) << bad;
        EXPECT_FALSE(error.isEmpty()) << bad;
    }
}

TEST(EventCommandLine, ReadsClassIdDirectObjectAndParameters)
{
    const EventCommandLine line = parsed({"--timeout", "2.5", "cEd1", "RPlc", R"({"obj":{"want":"docu","form":"indx","seld":1}})",
                                          "tRgt=a", R"(nWst="x\ny")", "aLl =true", "rEex=true"});
    EXPECT_DOUBLE_EQ(line.timeoutSeconds, 2.5);
    EXPECT_FALSE(line.pid);
    EXPECT_EQ(line.event.eventClass(), fourCharCode("cEd1"));
    EXPECT_EQ(line.event.eventID(), fourCharCode("RPlc"));
    EXPECT_TRUE(line.event.directObject()->isObjectSpecifier());
    EXPECT_EQ(line.event.parameter(fourCharCode("tRgt"))->toText(), QStringLiteral("a"));  // a plain word is text
    EXPECT_EQ(line.event.parameter(fourCharCode("nWst"))->toText(), QStringLiteral("x\ny"));
    EXPECT_EQ(line.event.parameter(fourCharCode("aLl "))->toBoolean(), true);

    EXPECT_EQ(parsed({"--pid", "42", "cEd1", "cnsl", "hello world"}).pid, 42);
    EXPECT_EQ(parsed({"cEd1", "cnsl", "hello world"}).event.directObject()->toText(), QStringLiteral("hello world"));
    EXPECT_EQ(parsed({"cEd1", "cnsl", "----=12"}).event.directObject()->toInteger(), 12);
    EXPECT_FALSE(parsed({"aevt", "rapp"}).event.directObject());
    EXPECT_TRUE(parsed({"--help"}).help);
}

TEST(EventCommandLine, ExplainsWhatIsWrong)
{
    EXPECT_FALSE(refused({}).isEmpty());
    EXPECT_FALSE(refused({"cEd1"}).isEmpty());
    EXPECT_FALSE(refused({"cEd", "RPlc"}).isEmpty());
    EXPECT_FALSE(refused({"--pid", "x", "cEd1", "RPlc"}).isEmpty());
    EXPECT_FALSE(refused({"--timeout", "-1", "cEd1", "RPlc"}).isEmpty());
    EXPECT_FALSE(refused({"--timeout"}).isEmpty());
    EXPECT_FALSE(refused({"--colour", "cEd1", "RPlc"}).isEmpty());
    EXPECT_FALSE(refused({"cEd1", "RPlc", "a", "b"}).isEmpty());
    EXPECT_FALSE(refused({"cEd1", "RPlc", "tRgt=a", "tRgt=b"}).isEmpty());
    EXPECT_TRUE(refused({"cEd1", "RPlc", "tRgt={broken"}).contains(QStringLiteral("tRgt")));
}
