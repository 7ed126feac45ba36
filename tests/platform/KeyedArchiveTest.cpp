#include "platform/foundation/KeyedArchive.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

// A font record written by hand in the XML form, UIDs as CF$UID dictionaries.
QByteArray xmlRecord(const char* className, const char* nameUid, const char* size)
{
    return QByteArray(
               "<plist version=\"1.0\"><dict>"
               "<key>$version</key><integer>100000</integer>"
               "<key>$archiver</key><string>NSKeyedArchiver</string>"
               "<key>$top</key><dict><key>root</key><dict><key>CF$UID</key><integer>1</integer></dict></dict>"
               "<key>$objects</key><array><string>$null</string>"
               "<dict><key>NSName</key><dict><key>CF$UID</key><integer>")
        + nameUid
        + "</integer></dict><key>NSSize</key>" + size
        + "<key>NSfFlags</key><integer>16</integer>"
          "<key>$class</key><dict><key>CF$UID</key><integer>3</integer></dict></dict>"
          "<string>Menlo-Regular</string>"
          "<dict><key>$classname</key><string>"
        + className + "</string><key>$classes</key><array><string>NSFont</string><string>NSObject</string></array>"
                      "</dict></array></dict></plist>";
}

}  // namespace

TEST(KeyedArchive, FontRecordRoundTripsInBinary)
{
    const ArchivedFont font{QStringLiteral("DejaVu Sans Mono"), 13.5};
    const QByteArray record = KeyedArchive::encodeFont(font);
    EXPECT_TRUE(record.startsWith("bplist00"));
    EXPECT_EQ(KeyedArchive::decodeFont(record), font);

    const PropertyList list = PropertyList::read(record);
    const auto& top = list.dictionaryValue();
    EXPECT_EQ(top.value(QStringLiteral("$version"))->integerValue(), 100000);
    const auto& objects = top.value(QStringLiteral("$objects"))->arrayValue();
    ASSERT_EQ(objects.size(), 4);
    EXPECT_EQ(objects[0].stringValue(), QStringLiteral("$null"));
    EXPECT_EQ(objects[1].dictionaryValue().value(QStringLiteral("NSfFlags"))->integerValue(), 16);
    EXPECT_EQ(objects[2].stringValue(), font.name);
    EXPECT_EQ(*objects[3].dictionaryValue().value(QStringLiteral("$classes")),
              PropertyList(PropertyList::Array{"NSFont", "NSObject"}));
}

TEST(KeyedArchive, ReadsHandWrittenXmlAndRefusesOtherShapes)
{
    EXPECT_EQ(KeyedArchive::decodeFont(xmlRecord("NSFont", "2", "<real>12</real>")),
              (ArchivedFont{QStringLiteral("Menlo-Regular"), 12.0}));
    EXPECT_EQ(KeyedArchive::decodeFont(xmlRecord("NSFont", "2", "<integer>14</integer>")).pointSize, 14.0);

    EXPECT_THROW(KeyedArchive::decodeFont(xmlRecord("NSColor", "2", "<real>12</real>")), PropertyListError);
    EXPECT_THROW(KeyedArchive::decodeFont(xmlRecord("NSFont", "9", "<real>12</real>")), PropertyListError);
    EXPECT_THROW(KeyedArchive::decodeFont(xmlRecord("NSFont", "0", "<real>12</real>")), PropertyListError);
    EXPECT_THROW(KeyedArchive::decodeFont(xmlRecord("NSFont", "2", "<string>12</string>")), PropertyListError);
    EXPECT_THROW(KeyedArchive::decodeFont(xmlRecord("NSFont", "2", "<real>nan</real>")), PropertyListError);
    EXPECT_THROW(KeyedArchive::decodeFont("<plist><dict/></plist>"), PropertyListError);
    EXPECT_THROW(KeyedArchive::decodeFont("not a list at all"), PropertyListError);
}
