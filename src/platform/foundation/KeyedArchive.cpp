#include "platform/foundation/KeyedArchive.h"

#include <cmath>

namespace korimado {

namespace {

[[noreturn]] void fail(const char* reason)
{
    throw PropertyListError(QStringLiteral("keyed archive: ") + QLatin1String(reason));
}

const PropertyList& member(const PropertyList& dictionary, const char* key)
{
    const PropertyList* value = dictionary.dictionaryValue().value(QString::fromLatin1(key));
    if (!value) fail(key);
    return *value;
}

// The object a UID names; UID 0 is the archive's null.
const PropertyList& object(const PropertyList::Array& objects, const PropertyList& reference)
{
    if (!reference.isUid()) fail("reference is not a UID");
    const quint64 index = reference.uidValue().value;
    if (index == 0 || index >= static_cast<quint64>(objects.size())) fail("UID out of range");
    return objects[static_cast<qsizetype>(index)];
}

}  // namespace

ArchivedFont KeyedArchive::decodeFont(QByteArrayView data)
{
    const PropertyList archive = PropertyList::read(data);
    if (!archive.isDictionary()) fail("not a dictionary");
    if (member(archive, "$archiver").stringValue() != QLatin1String("NSKeyedArchiver")) fail("not a keyed archive");
    const PropertyList& objectList = member(archive, "$objects");
    const PropertyList& top = member(archive, "$top");
    if (!objectList.isArray() || !top.isDictionary()) fail("no objects");
    const PropertyList::Array& objects = objectList.arrayValue();

    const PropertyList& root = object(objects, member(top, "root"));
    if (!root.isDictionary()) fail("root is not an object");
    const PropertyList& objectClass = object(objects, member(root, "$class"));
    if (!objectClass.isDictionary() || member(objectClass, "$classname").stringValue() != QLatin1String("NSFont")) {
        fail("root is not a font");
    }

    ArchivedFont font;
    const PropertyList& nameValue = member(root, "NSName");
    const PropertyList& name = nameValue.isUid() ? object(objects, nameValue) : nameValue;
    if (name.isString()) {
        font.name = name.stringValue();
    } else if (name.isDictionary() && member(name, "NS.string").isString()) {
        font.name = member(name, "NS.string").stringValue();
    } else {
        fail("name is not a string");
    }

    const PropertyList& size = member(root, "NSSize");
    if (size.isReal()) {
        font.pointSize = size.realValue();
    } else if (auto whole = size.integerValue()) {
        font.pointSize = static_cast<double>(*whole);
    } else {
        fail("size is not a number");
    }
    if (!std::isfinite(font.pointSize)) fail("size is not finite");
    return font;
}

QByteArray KeyedArchive::encodeFont(const ArchivedFont& font)
{
    PropertyList::Dictionary fontObject;
    fontObject.insert(QStringLiteral("NSName"), PropertyList::Uid{2});
    fontObject.insert(QStringLiteral("NSSize"), font.pointSize);
    fontObject.insert(QStringLiteral("NSfFlags"), 16);
    fontObject.insert(QStringLiteral("$class"), PropertyList::Uid{3});

    PropertyList::Dictionary fontClass;
    fontClass.insert(QStringLiteral("$classname"), "NSFont");
    fontClass.insert(QStringLiteral("$classes"), PropertyList::Array{"NSFont", "NSObject"});

    PropertyList::Dictionary top;
    top.insert(QStringLiteral("root"), PropertyList::Uid{1});

    PropertyList::Dictionary archive;
    archive.insert(QStringLiteral("$version"), 100000);
    archive.insert(QStringLiteral("$archiver"), "NSKeyedArchiver");
    archive.insert(QStringLiteral("$top"), top);
    archive.insert(QStringLiteral("$objects"), PropertyList::Array{"$null", fontObject, font.name, fontClass});
    return PropertyList::binaryData(archive);
}

}  // namespace korimado
