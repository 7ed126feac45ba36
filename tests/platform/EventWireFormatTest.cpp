#include "platform/events/EventWireFormat.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace korimado;

namespace {

using D = EventDescriptor;

D deepList(int depth)
{
    D value = D::integer(1);
    for (int i = 0; i < depth; ++i)
        value = D::list({value});
    return value;
}

AppleEvent sampleEvent()
{
    AppleEvent event(fourCharCode("cEd1"), fourCharCode("RPlc"));
    event.setDirectObject(D::objectSpecifier(fourCharCode("docu"), fourCharCode("name"), D::text(QStringLiteral("a.txt")), D()));
    event.setParameter(fourCharCode("tRgt"), D::text(QString::fromUtf16(u"置換前😀") + QChar(0xD800)));
    event.setParameter(fourCharCode("aLl "), D::boolean(true));
    event.setParameter(fourCharCode("list"), D::list({D::integer(-5), D::integer(qint64(1) << 40), D::real(2.5),
                                                      D::unicodeText(QStringLiteral("é")), D::typeCode(fourCharCode("PCnt")),
                                                      D::enumerated(fourCharCode("cCup")), D::record({{fourCharCode("kocl"), D()}})}));
    return event;
}

}  // namespace

TEST(EventCode, FourCharactersStandMostSignificantFirst)
{
    EXPECT_EQ(code(u"cEd1"), 0x63456431u);
    EXPECT_EQ(code(u"aLl "), fourCharCode("aLl "));
    EXPECT_EQ(codeString(fourCharCode("aLl ")), QStringLiteral("aLl "));
    // Longer text keeps the low 32 bits, as the suite's code() does.
    EXPECT_EQ(code(u"xcEd1"), 0x63456431u);
    EXPECT_TRUE(isCodeText(u"----"));
    EXPECT_FALSE(isCodeText(u"abc"));
    EXPECT_FALSE(isCodeText(u"abcé"));
}

TEST(EventWireFormat, WritesBigEndianTypeLengthAndPayload)
{
    EXPECT_EQ(EventWireFormat::encode(D::integer(258)), QByteArray("long\0\0\0\x04\0\0\x01\x02", 12));
    EXPECT_EQ(EventWireFormat::encode(D::text(QStringLiteral("あ"))), QByteArray("utf8\0\0\0\x03\xE3\x81\x82", 11));
    EXPECT_EQ(EventWireFormat::encode(D::list({D(), D::boolean(true)})),
              QByteArray("list\0\0\0\x11null\0\0\0\0bool\0\0\0\x01\x01", 25));
    const QByteArray event = EventWireFormat::encode(AppleEvent(fourCharCode("core"), fourCharCode("getd")));
    EXPECT_EQ(event, QByteArray("aevt\0\0\0\x08" "coregetd", 16));
}

TEST(EventWireFormat, EveryTypeReadsBackAsWritten)
{
    const AppleEvent event = sampleEvent();
    const QByteArray bytes = EventWireFormat::encode(event);
    EXPECT_EQ(EventWireFormat::encodedSize(event), bytes.size());
    QString error;
    const std::optional<AppleEvent> read = EventWireFormat::decodeEvent(bytes, &error);
    ASSERT_TRUE(read) << error.toStdString();
    // The lone surrogate cannot travel as UTF-8: it arrives as U+FFFD; everything else is equal.
    EXPECT_EQ(read->parameter(fourCharCode("tRgt"))->toText(), QString::fromUtf16(u"置換前😀\uFFFD"));
    EXPECT_EQ(*read->parameter(fourCharCode("list")), *event.parameter(fourCharCode("list")));
    EXPECT_EQ(*read->directObject(), *event.directObject());
    EXPECT_TRUE(read->directObject()->isObjectSpecifier());
    EXPECT_EQ(read->parameter(fourCharCode("list"))->items()[1].value.type(), D::typeInteger64);

    // A type this layer does not know travels untouched.
    const D opaque = D::opaque(fourCharCode("furl"), QByteArray("file:///tmp/a"));
    EXPECT_EQ(EventWireFormat::decodeDescriptor(EventWireFormat::encode(opaque)), opaque);
    // A "comp" holding a small number stays a "comp".
    EXPECT_EQ(EventWireFormat::decodeDescriptor(EventWireFormat::encode(D::integer64(3)))->type(), D::typeInteger64);
}

TEST(EventWireFormat, RefusesBytesThatAreNotOneValue)
{
    const auto refused = [](const QByteArray& bytes) { return !EventWireFormat::decodeDescriptor(bytes).has_value(); };
    EXPECT_TRUE(refused(QByteArray()));
    EXPECT_TRUE(refused(QByteArray("long\0\0\0", 7)));                          // header cut short
    EXPECT_TRUE(refused(QByteArray("long\0\0\0\x08\0\0\0\x01", 12)));           // length past the end
    EXPECT_TRUE(refused(QByteArray("long\0\0\0\x03\0\0\x01", 11)));             // wrong size
    EXPECT_TRUE(refused(QByteArray("bool\0\0\0\x01\x02", 9)));                  // neither 0 nor 1
    EXPECT_TRUE(refused(QByteArray("utf8\0\0\0\x02\xC3\x28", 10)));             // malformed UTF-8
    EXPECT_TRUE(refused(QByteArray("utxt\0\0\0\x03\0a\0", 11)));                // odd UTF-16
    EXPECT_TRUE(refused(QByteArray("null\0\0\0\0x", 9)));                        // bytes after the value
    EXPECT_TRUE(refused(QByteArray("list\0\0\0\x05long\0", 13)));               // an item cut short
    EXPECT_TRUE(refused(QByteArray("reco\0\0\0\x0Akeyxnull\0\0\0\0", 20)));     // key and value over the length
    EXPECT_TRUE(refused(QByteArray("list\xff\xff\xff\xff", 8)));                // huge length

    QString error;
    EXPECT_FALSE(EventWireFormat::decodeDescriptor(QByteArray("list\0\0\0\x09long\0\0\0\x05", 17), &error));
    EXPECT_TRUE(error.contains(QStringLiteral("at byte"))) << error.toStdString();

    // Nesting: 64 containers are read, 65 are not.
    EXPECT_TRUE(EventWireFormat::decodeDescriptor(EventWireFormat::encode(deepList(64))));
    EXPECT_FALSE(EventWireFormat::decodeDescriptor(EventWireFormat::encode(deepList(65))));

    // Events: the type, the stated length and every parameter are checked.
    QByteArray event = EventWireFormat::encode(sampleEvent());
    EXPECT_TRUE(EventWireFormat::decodeEvent(event));
    EXPECT_FALSE(EventWireFormat::decodeEvent(event.left(event.size() - 1)));
    EXPECT_FALSE(EventWireFormat::decodeEvent(event + "x"));
    EXPECT_FALSE(EventWireFormat::decodeEvent(EventWireFormat::encode(D::integer(1))));
    event[3] = 'x';
    EXPECT_FALSE(EventWireFormat::decodeEvent(event));
}

TEST(EventDescriptor, CoercionsTakeOnlyTheirTypes)
{
    EXPECT_EQ(D::real(3.0).toInteger(), 3);
    EXPECT_EQ(D::real(-0.0).toInteger(), 0);
    EXPECT_FALSE(D::real(2.5).toInteger());
    EXPECT_FALSE(D::real(1e300).toInteger());
    EXPECT_FALSE(D::real(std::nan("")).toInteger());
    EXPECT_EQ(D::integer(7).toReal(), 7.0);
    EXPECT_FALSE(D::text(QStringLiteral("3")).toInteger());
    EXPECT_FALSE(D::integer(1).toBoolean());
    EXPECT_EQ(D::unicodeText(QStringLiteral("x")).toText(), QStringLiteral("x"));
    EXPECT_FALSE(D::enumerated(fourCharCode("cCup")).toText());
    EXPECT_EQ(D::enumerated(fourCharCode("cCup")).toCode(), fourCharCode("cCup"));
    EXPECT_EQ(D::integer(qint64(1) << 31).type(), D::typeInteger64);
    EXPECT_EQ(D::integer(-(qint64(1) << 31)).type(), D::typeInteger);

    // Records share their items until one copy changes.
    D record = D::record({{fourCharCode("aaaa"), D::integer(1)}});
    D copy = record;
    copy.setValue(fourCharCode("aaaa"), D::integer(2));
    copy.setValue(fourCharCode("bbbb"), D());
    EXPECT_EQ(record.value(fourCharCode("aaaa"))->toInteger(), 1);
    EXPECT_EQ(copy.value(fourCharCode("aaaa"))->toInteger(), 2);
    EXPECT_EQ(copy.count(), 2);
    EXPECT_EQ(record.value(fourCharCode("bbbb")), nullptr);
}

TEST(AppleEvent, RepliesCarryValueAndError)
{
    AppleEvent reply = AppleEvent::reply();
    EXPECT_TRUE(reply.isReply());
    EXPECT_EQ(reply.errorNumber(), 0);
    reply.setError(-1728, QStringLiteral("見つかりません"));
    EXPECT_EQ(reply.errorNumber(), -1728);
    EXPECT_EQ(reply.errorString(), QStringLiteral("見つかりません"));
    reply.setParameter(AppleEvent::keyErrorNumber, D::text(QStringLiteral("x")));
    EXPECT_EQ(reply.errorNumber(), 0);
    reply.removeParameter(AppleEvent::keyErrorString);
    EXPECT_EQ(reply.errorString(), QString());
}
