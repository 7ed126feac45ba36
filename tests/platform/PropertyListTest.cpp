#include "platform/foundation/BinaryPropertyList.h"
#include "platform/foundation/OpenStepPropertyList.h"
#include "platform/foundation/PropertyList.h"
#include "platform/foundation/XMLPropertyList.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <cmath>
#include <limits>

using namespace korimado;

namespace {

using Dict = PropertyList::Dictionary;
using Array = PropertyList::Array;

// plistlib.dumps(value, fmt=FMT_BINARY, sort_keys=False) of the value expected() builds.
const char kPlistlibBinary[] =
    "62706c6973743030db0102030405060708090a0b0c0d0e1b1c1d1e1f20212254626f6f6c526e6f54696e7473547265616c5574"
    "656e7468576e65677a65726f54646174655464617461556173636969586a6170616e657365566e65737465640908ac0f101112"
    "131415161718191a1000100110ff11010011ffff120001000012ffffffff13000000010000000013ffffffffffffffff137fff"
    "ffffffffffff138000000000000000140000000000000000ffffffffffffffff234010000000000000233fb999999999999a23"
    "80000000000000003341c5f45cac800000430001fe584b6f72696d61646f6765e5672c8a9e30c630ad30b930c8a3232425a0d0"
    "a126d12728516b51760008001f00240027002c00310037003f00440049004f0058005f00600061006e0070007200740077007a"
    "007f0084008d0096009f00a800b900c200cb00d400dd00e100ea00f900fd00fe00ff0101010401060000000000000201000000"
    "000000002900000000000000000000000000000108";

// plistlib.dumps({"u": plistlib.UID(5)}, fmt=FMT_BINARY).
const char kPlistlibUid[] =
    "62706c6973743030d1010251758005080b0d000000000000010100000000000000030000000000000000000000000000000f";

PropertyList expected()
{
    Dict nestedInner;
    nestedInner.insert(QStringLiteral("k"), "v");
    Dict top;
    top.insert(QStringLiteral("bool"), true);
    top.insert(QStringLiteral("no"), false);
    Array ints{0, 1, 255, 256, 65535, 65536, qint64(4294967295LL), qint64(4294967296LL), -1,
               std::numeric_limits<qint64>::max(), std::numeric_limits<qint64>::min(),
               PropertyList::unsignedInteger(std::numeric_limits<quint64>::max())};
    top.insert(QStringLiteral("ints"), ints);
    top.insert(QStringLiteral("real"), 4.0);
    top.insert(QStringLiteral("tenth"), 0.1);
    top.insert(QStringLiteral("negzero"), -0.0);
    top.insert(QStringLiteral("date"), PropertyList::Date{736672089});  // 2024-05-06T07:08:09Z
    top.insert(QStringLiteral("data"), QByteArray("\x00\x01\xfe", 3));
    top.insert(QStringLiteral("ascii"), "Korimado");
    top.insert(QStringLiteral("japanese"), QStringLiteral("日本語テキスト"));
    top.insert(QStringLiteral("nested"), Array{Array{}, Dict{}, Array{nestedInner}});
    return top;
}

QString failure(QByteArrayView bytes)
{
    try {
        PropertyList::read(bytes);
    } catch (const PropertyListError& error) {
        return error.description();
    }
    return QString();
}

// A binary list of one object list with the given trailer fields; objects follow the header.
QByteArray binary(const QByteArray& objects, const QByteArray& offsets, int offsetSize, int refSize, quint64 count,
                  quint64 top, quint64 tableOffset)
{
    QByteArray out = QByteArray("bplist00") + objects + offsets;
    QByteArray trailer(6, '\0');
    trailer.append(char(offsetSize));
    trailer.append(char(refSize));
    for (quint64 value : {count, top, tableOffset}) {
        char buffer[8];
        qToBigEndian(value, buffer);
        trailer.append(buffer, 8);
    }
    return out + trailer;
}

}  // namespace

TEST(PropertyList, ReadsPlistlibVectorsWithKindsApart)
{
    PropertyList::Format format = PropertyList::Format::xml;
    const PropertyList read = PropertyList::read(QByteArray::fromHex(kPlistlibBinary), &format);
    EXPECT_EQ(format, PropertyList::Format::binary);
    EXPECT_EQ(read, expected());
    const Dict& top = read.dictionaryValue();
    EXPECT_TRUE(top.value(QStringLiteral("real"))->isReal());  // 4.0 stays a real
    EXPECT_TRUE(top.value(QStringLiteral("ints"))->arrayValue()[2].isInteger());
    EXPECT_TRUE(top.value(QStringLiteral("bool"))->isBool());
    EXPECT_EQ(top.keys().first(), QStringLiteral("bool"));  // order kept
    EXPECT_EQ(top.value(QStringLiteral("date"))->dateValue().toDateTime(),
              QDateTime(QDate(2024, 5, 6), QTime(7, 8, 9), Qt::UTC));

    const PropertyList uid = PropertyList::read(QByteArray::fromHex(kPlistlibUid));
    EXPECT_EQ(uid.dictionaryValue().value(QStringLiteral("u"))->uidValue().value, 5u);
}

TEST(PropertyList, WritesWhatReadsBackInBothFormats)
{
    const PropertyList value = expected();
    EXPECT_EQ(PropertyList::read(PropertyList::binaryData(value)), value);
    const QByteArray xml = PropertyList::xmlData(value);
    EXPECT_EQ(PropertyList::read(xml), value);
    EXPECT_TRUE(xml.contains("<real>4</real>"));
    EXPECT_TRUE(xml.contains("<integer>18446744073709551615</integer>"));
    EXPECT_TRUE(xml.contains("<date>2024-05-06T07:08:09Z</date>"));

    // What XML would lose or mangle: carriage returns and markup characters.
    Dict text;
    text.insert(QStringLiteral("a<&>b"), QStringLiteral("line\r\nnext\rend & <tag>"));
    text.insert(QStringLiteral("inf"), std::numeric_limits<double>::infinity());
    text.insert(QStringLiteral("nan"), std::nan(""));
    text.insert(QStringLiteral("emoji"), QStringLiteral("😀 \t"));
    EXPECT_EQ(PropertyList::read(PropertyList::xmlData(text)), PropertyList(text));
    EXPECT_EQ(PropertyList::read(PropertyList::binaryData(text)), PropertyList(text));
}

TEST(PropertyList, XmlWriterRefusesWhatXmlCannotCarry)
{
    for (const PropertyList& bad : {PropertyList(PropertyList::Uid{3}), PropertyList(QString(QChar(1))),
                                    PropertyList(QString(QChar(0xFFFE))), PropertyList(QString(QChar(0xD800)))}) {
        Dict holder;
        holder.insert(QStringLiteral("k"), bad);
        EXPECT_FALSE(PropertyList::isValidForXML(holder));
        EXPECT_THROW(PropertyList::xmlData(holder), PropertyListError);
        EXPECT_NO_THROW(PropertyList::binaryData(holder));
    }
    Dict badKey;
    badKey.insert(QString(QChar(0x7)), 1);
    EXPECT_FALSE(PropertyList::isValidForXML(badKey));

    // A date is written as a four-digit year: what lies outside the years 0 to 9999, or is no
    // number at all, could not be read back (a binary list carries any of them).
    constexpr double first = -63'145'526'400;    // 0000-01-01T00:00:00Z
    constexpr double afterLast = 252'423'993'600;  // 10000-01-01T00:00:00Z
    for (const double seconds : {first - 1, afterLast, std::nan(""), std::numeric_limits<double>::infinity(),
                                 -std::numeric_limits<double>::infinity(), 3e11}) {
        Dict holder;
        holder.insert(QStringLiteral("date"), PropertyList::Date{seconds});
        EXPECT_FALSE(PropertyList::isValidForXML(holder)) << seconds;
        EXPECT_THROW(PropertyList::xmlData(holder), PropertyListError) << seconds;
        EXPECT_EQ(PropertyList::read(PropertyList::binaryData(holder)), PropertyList(holder)) << seconds;
    }
    for (const double seconds : {first, afterLast - 1, afterLast - 0.5}) {
        Dict holder;
        holder.insert(QStringLiteral("date"), PropertyList::Date{seconds});
        ASSERT_TRUE(PropertyList::isValidForXML(holder)) << seconds;
        EXPECT_EQ(PropertyList::read(PropertyList::xmlData(holder)).dictionaryValue().value(QStringLiteral("date"))
                      ->dateValue().seconds, std::floor(seconds)) << seconds;
    }
}

TEST(PropertyList, XmlReaderKnowsOnlyPredefinedEntities)
{
    const QByteArray ok =
        "<?xml version=\"1.0\"?>\n<!DOCTYPE plist [ <!ENTITY x \"boom\"> ]>\n"
        "<plist version=\"1.0\"><dict><key>a&amp;b</key><string>&lt;&#x3042;&#12354;&gt;<![CDATA[<raw>]]></string>"
        "<key>u</key><dict><key>CF$UID</key><integer>7</integer></dict>"
        "<key>hex</key><integer>0x10</integer><key>neg</key><integer>-5</integer></dict></plist>";
    const PropertyList read = PropertyList::read(ok);
    const Dict& top = read.dictionaryValue();
    EXPECT_EQ(top.value(QStringLiteral("a&b"))->stringValue(), QStringLiteral("<ああ><raw>"));
    EXPECT_EQ(top.value(QStringLiteral("u"))->uidValue().value, 7u);
    EXPECT_EQ(top.value(QStringLiteral("hex"))->integerValue(), 16);
    EXPECT_EQ(top.value(QStringLiteral("neg"))->integerValue(), -5);

    EXPECT_FALSE(failure("<!DOCTYPE plist [ <!ENTITY x \"boom\"> ]><plist><string>&x;</string></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><integer>18446744073709551616</integer></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><integer>1.5</integer></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><dict><key>a</key></dict></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><dict><string>a</string></dict></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><blob/></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><date>2024-13-01T00:00:00Z</date></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><data>!!</data></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><string>&#0;</string></plist>").isEmpty());
    // Characters XML 1.0 forbids, raw or referenced, in a value or a key: what is read must write back.
    EXPECT_FALSE(failure("<plist><string>&#x14;</string></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><string>&#xFFFE;</string></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><dict><key>date\x14</key><true/></dict></plist>").isEmpty());
    EXPECT_EQ(PropertyList::read("<plist><string>a&#x9;b</string></plist>").stringValue(), QStringLiteral("a\tb"));
    // Indentation between elements is not text, but a value of white space alone is.
    const PropertyList spaces = PropertyList::read("<plist>\n<dict>\n\t<key> </key>\n\t<string> \t</string>\n</dict>\n</plist>");
    EXPECT_EQ(spaces.dictionaryValue().value(QStringLiteral(" "))->stringValue(), QStringLiteral(" \t"));
    EXPECT_FALSE(failure("<plist><true/><false/></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><array><string>a</string>stray</array></plist>").isEmpty());

    QByteArray deep = "<plist>";
    for (int i = 0; i < PropertyList::maximumDepth + 1; ++i) deep += "<array>";
    for (int i = 0; i < PropertyList::maximumDepth + 1; ++i) deep += "</array>";
    EXPECT_FALSE(failure(deep + "</plist>").isEmpty());
}

TEST(PropertyList, BinaryReaderChecksEveryCountAndReference)
{
    // One false object at offset 8; offset table at 9.
    const QByteArray good = binary("\x08", "\x08", 1, 1, 1, 0, 9);
    EXPECT_EQ(PropertyList::read(good), PropertyList(false));

    EXPECT_FALSE(failure(good.left(good.size() - 1)).isEmpty());                      // truncated trailer
    EXPECT_FALSE(failure(binary("\x08", "\x08", 0, 1, 1, 0, 9)).isEmpty());           // offset size 0
    EXPECT_FALSE(failure(binary("\x08", "\x08", 1, 9, 1, 0, 9)).isEmpty());           // reference size 9
    EXPECT_FALSE(failure(binary("\x08", "\x08", 1, 1, quint64(1) << 62, 0, 9)).isEmpty());  // objects beyond the table
    EXPECT_FALSE(failure(binary("\x08", "\x08", 1, 1, 1, 1, 9)).isEmpty());           // top beyond the objects
    EXPECT_FALSE(failure(binary("\x08", "\x09", 1, 1, 1, 0, 9)).isEmpty());           // offset into the table
    EXPECT_FALSE(failure(binary("\x08", "\x08", 1, 1, 1, 0, ~quint64(0))).isEmpty());  // table beyond the data
    // An array that claims 2^60 elements, counted by a trailing integer.
    EXPECT_FALSE(failure(binary(QByteArray::fromHex("af131000000000000000"), "\x08", 1, 1, 1, 0, 18)).isEmpty());
    // A data object longer than the bytes left.
    EXPECT_FALSE(failure(binary(QByteArray::fromHex("4f10ff00"), "\x08", 1, 1, 1, 0, 12)).isEmpty());
    // An array naming object 5 of 1.
    EXPECT_FALSE(failure(binary(QByteArray::fromHex("a105"), "\x08", 1, 1, 1, 0, 10)).isEmpty());
    // An array holding itself: a cycle, not a stack overflow.
    EXPECT_TRUE(failure(binary(QByteArray::fromHex("a100"), "\x08", 1, 1, 1, 0, 10)).contains(QStringLiteral("cycle")));
    // A dictionary whose key is not a string.
    EXPECT_FALSE(failure(binary(QByteArray::fromHex("d1010108"), QByteArray::fromHex("080b"), 1, 1, 2, 0, 12))
                     .isEmpty());
    // Sets, nulls and 128-bit numbers that need more than 64 bits are not property-list values.
    EXPECT_FALSE(failure(binary(QByteArray::fromHex("c0"), "\x08", 1, 1, 1, 0, 9)).isEmpty());
    EXPECT_FALSE(failure(binary(QByteArray::fromHex("00"), "\x08", 1, 1, 1, 0, 9)).isEmpty());
    EXPECT_FALSE(failure(binary(QByteArray::fromHex("1400000000000000010000000000000000"), "\x08", 1, 1, 1, 0, 25))
                     .isEmpty());
}

TEST(PropertyList, BinaryReaderBoundsSharedExpansionAndDepth)
{
    // Object i is an array holding object i + 1 twice: 2^levels values from levels + 1 objects.
    const auto shared = [](int levels) {
        QByteArray objects;
        QByteArray offsets;
        for (int i = 0; i < levels; ++i) {
            offsets.append(char(8 + objects.size()));
            objects.append(QByteArray::fromHex("a2") + char(i + 1) + char(i + 1));
        }
        offsets.append(char(8 + objects.size()));
        objects.append('\x09');
        return binary(objects, offsets, 1, 1, quint64(levels + 1), 0, quint64(8 + objects.size()));
    };
    EXPECT_TRUE(failure(shared(24)).contains(QStringLiteral("too many")));
    // A few levels of sharing is an ordinary value.
    EXPECT_EQ(PropertyList::read(shared(2)), PropertyList(Array{Array{true, true}, Array{true, true}}));

    PropertyList deep(true);
    for (int i = 0; i < PropertyList::maximumDepth; ++i) deep = PropertyList(Array{deep});
    EXPECT_EQ(PropertyList::read(PropertyList::binaryData(deep)), deep);
    EXPECT_TRUE(failure(PropertyList::binaryData(Array{deep})).contains(QStringLiteral("deeply")));
}

TEST(PropertyList, OpenStepReadsEveryScalarAsString)
{
    const QByteArray text =
        "// settings\n{\n  tabWidth = 4;\n  real = 4.0; /* a comment */\n  flag = YES;\n"
        "  \"quoted key\" = \"a\\n\\\"b\\\"\\t\\U3042\\101\";\n  list = (one, \"two\", (nested),);\n"
        "  bytes = <0fbd 7782>;\n  empty = {};\n}\n";
    PropertyList::Format format = PropertyList::Format::xml;
    const PropertyList read = PropertyList::read(text, &format);
    EXPECT_EQ(format, PropertyList::Format::openStep);
    const Dict& top = read.dictionaryValue();
    EXPECT_EQ(*top.value(QStringLiteral("tabWidth")), PropertyList("4"));
    EXPECT_EQ(*top.value(QStringLiteral("real")), PropertyList("4.0"));
    EXPECT_EQ(*top.value(QStringLiteral("flag")), PropertyList("YES"));
    EXPECT_EQ(top.value(QStringLiteral("quoted key"))->stringValue(), QStringLiteral("a\n\"b\"\tあA"));
    EXPECT_EQ(*top.value(QStringLiteral("list")), PropertyList(Array{"one", "two", Array{"nested"}}));
    EXPECT_EQ(top.value(QStringLiteral("bytes"))->dataValue(), QByteArray::fromHex("0fbd7782"));
    EXPECT_TRUE(top.value(QStringLiteral("empty"))->isDictionary());

    // Bare pairs at the top level, as in a strings file.
    const PropertyList pairs = OpenStepPropertyList::read("a = b;\n\"c\" = \"d\";");
    EXPECT_EQ(pairs.dictionaryValue().size(), 2);
    EXPECT_EQ(OpenStepPropertyList::read("\"just text\""), PropertyList("just text"));

    for (const char* bad : {"{ a = b; ", "{ a b; }", "<0fb>", "( a b )", "{ a = \"open; }", "/* open", "", "{} }",
                            "\xff\xfe\x00"}) {
        EXPECT_THROW(OpenStepPropertyList::read(QByteArray(bad)), PropertyListError) << bad;
    }
    QByteArray deep;
    for (int i = 0; i <= PropertyList::maximumDepth; ++i) deep += "(";
    EXPECT_THROW(OpenStepPropertyList::read(deep), PropertyListError);
}

TEST(PropertyList, FormatIsToldByTheFirstBytes)
{
    PropertyList::Format format = PropertyList::Format::binary;
    PropertyList::read("  \n<plist><true/></plist>", &format);
    EXPECT_EQ(format, PropertyList::Format::xml);
    EXPECT_EQ(PropertyList::read("<0001>", &format), PropertyList(QByteArray("\x00\x01", 2)));
    EXPECT_EQ(format, PropertyList::Format::openStep);
    EXPECT_EQ(PropertyList::read("\xEF\xBB\xBF<true/>", &format), PropertyList(true));
    EXPECT_EQ(format, PropertyList::Format::xml);
    EXPECT_THROW(PropertyList::read("bplist00"), PropertyListError);
}

TEST(PropertyList, DictionaryKeepsOrderAndReplacesInPlace)
{
    Dict d;
    d.insert(QStringLiteral("b"), 1);
    d.insert(QStringLiteral("a"), 2);
    d.insert(QStringLiteral("b"), 3);
    EXPECT_EQ(d.keys(), (QList<QString>{QStringLiteral("b"), QStringLiteral("a")}));
    EXPECT_EQ(d.value(QStringLiteral("b"))->integerValue(), 3);
    d.remove(QStringLiteral("b"));
    EXPECT_EQ(d.keys(), QList<QString>{QStringLiteral("a")});
    EXPECT_EQ(d.value(QStringLiteral("a"))->integerValue(), 2);
    EXPECT_EQ(d.value(QStringLiteral("b")), nullptr);
}

TEST(PropertyList, XmlReaderFollowsTheStructureAndTheEncoding)
{
    const QString body = QStringLiteral(
        "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!-- a comment --><?pi data?>\n"
        "<!DOCTYPE plist PUBLIC \"-//x//EN\" \"x.dtd\" [ <!-- ] > --> <!ENTITY q '>]'> ]>\n"
        "<plist version='1.0' note=\"a > b\"><dict>\n"
        "\t<key>ｱｲｳ</key><string>ＡＢＣ\r\nｶﾅ\r<!-- skipped -->end<?skipped?></string>\n"
        "\t<key>kept</key><string>&#13;<![CDATA[a\r\nb<&>]]></string>\n"
        "\t<key>rows</key><array><dict><key>name</key><string>x</string></dict>"
        "<dict><key>name</key><string>y</string></dict></array>\n"
        "\t<key>spaced</key><integer> 12\n</integer>\n"
        "</dict></plist>\n");
    Dict rowX;
    rowX.insert(QStringLiteral("name"), "x");
    Dict rowY;
    rowY.insert(QStringLiteral("name"), "y");
    Dict expected;
    expected.insert(QStringLiteral("ｱｲｳ"), QStringLiteral("ＡＢＣ\nｶﾅ\nend"));
    expected.insert(QStringLiteral("kept"), QStringLiteral("\ra\nb<&>"));
    expected.insert(QStringLiteral("rows"), Array{rowX, rowY});
    expected.insert(QStringLiteral("spaced"), 12);

    const PropertyList utf8 = PropertyList::read(body.toUtf8());
    EXPECT_EQ(utf8, PropertyList(expected));
    // The same document in UTF-16 either way, with a byte-order mark or without one.
    QByteArray little("\xFF\xFE");
    little.append(reinterpret_cast<const char*>(body.utf16()), body.size() * 2);
    EXPECT_EQ(XMLPropertyList::read(little), utf8);
    EXPECT_EQ(XMLPropertyList::read(little.mid(2)), utf8);
    EXPECT_EQ(PropertyList::read(QByteArray("\xEF\xBB\xBF") + body.toUtf8()), utf8);
    const PropertyList latin = PropertyList::read(
        QByteArray("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><plist><string>caf\xE9</string></plist>"));
    EXPECT_EQ(latin.stringValue(), QStringLiteral("café"));

    // Padding after the document is allowed; other text around it, or a tag left open or closed
    // out of order, is not.
    EXPECT_EQ(PropertyList::read(QByteArray("<plist><true/></plist>\n\0\0", 24)), PropertyList(true));
    EXPECT_FALSE(failure("<plist><true/></plist>trailing").isEmpty());
    EXPECT_FALSE(failure("<plist><true/></plist><plist><false/></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><array><true/></plist></array>").isEmpty());
    EXPECT_FALSE(failure("<plist><array><true/>").isEmpty());
    EXPECT_FALSE(failure("<plist><string>open").isEmpty());
    EXPECT_FALSE(failure("<plist><string>a<b/></string></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><string>a &amp b</string></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><string><![CDATA[open</string></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><dict><key>a</key><!-- open </dict></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist a=\"<\"><true/></plist>").isEmpty());
    EXPECT_FALSE(failure("<!DOCTYPE plist [ <plist><true/></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><string>\xEF\xBF\xBF</string></plist>").isEmpty());
    EXPECT_FALSE(failure("<plist><string><![CDATA[\x01]]></string></plist>").isEmpty());
    EXPECT_FALSE(failure(QByteArray("<plist><string>a\0b</string></plist>", 33)).isEmpty());
}

TEST(PropertyList, LargeDictionaryReadsEveryKeyOnceInOrder)
{
    // Past the size where a dictionary keeps an index; a repeated key replaces in place.
    QByteArray xml = "<plist><dict>";
    for (int i = 0; i < 40; ++i) xml += "<key>k" + QByteArray::number(i) + "</key><integer>" + QByteArray::number(i) + "</integer>";
    xml += "<key>k3</key><string>again</string><key>k39</key><true/></dict></plist>";
    const PropertyList value = PropertyList::read(xml);
    const Dict& read = value.dictionaryValue();
    ASSERT_EQ(read.size(), 40);
    EXPECT_EQ(read.keys().at(3), QStringLiteral("k3"));
    EXPECT_EQ(read.value(QStringLiteral("k3"))->stringValue(), QStringLiteral("again"));
    EXPECT_TRUE(read.value(QStringLiteral("k39"))->isBool());
    EXPECT_EQ(read.value(QStringLiteral("k20"))->integerValue(), 20);
    EXPECT_EQ(read.keys().last(), QStringLiteral("k39"));
}
