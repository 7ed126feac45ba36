#include "preferences/archive/SettingsArchive.h"

#include "platform/documents/DirectoryHandle.h"
#include "preferences/archive/SettingsArchiveError.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <unicode/uchar.h>

#include <sys/stat.h>

#include <algorithm>

namespace korimado {

namespace {

const QString kInfoName = QStringLiteral("Info.plist");
const QString kDefaultsName = QStringLiteral("Defaults.plist");
const QString kReading = QStringLiteral("読み込み");

bool isControlCharacter(char32_t c)
{
    const int8_t type = u_charType(static_cast<UChar32>(c));
    return type == U_CONTROL_CHAR || type == U_FORMAT_CHAR;
}

QString withoutTrailingSlashes(QString path)
{
    while (path.size() > 1 && path.endsWith(u'/')) path.chop(1);
    return path;
}

}  // namespace

bool SettingsArchive::isSemanticVersion(const QString& version)
{
    const qsizetype dash = version.indexOf(u'-');
    const QString core = dash < 0 ? version : version.left(dash);
    const QStringList pieces = core.split(u'.', Qt::KeepEmptyParts);
    if (pieces.size() != 3) return false;
    for (const QString& piece : pieces) {
        if (piece.isEmpty()) return false;
        for (char32_t c : piece.toUcs4()) {
            if (u_getIntPropertyValue(static_cast<UChar32>(c), UCHAR_NUMERIC_TYPE) == U_NT_NONE) return false;
        }
    }
    return true;
}

void SettingsArchive::validateInfo(const Dictionary& info)
{
    const PropertyList* date = info.value(QStringLiteral("date"));
    if (!date || !date->isDate()) throw SettingsArchiveError::invalidInfo(QStringLiteral("dateがありません。"));
    const PropertyList* version = info.value(QStringLiteral("version"));
    if (!version || !version->isString() || !isSemanticVersion(version->stringValue())) {
        throw SettingsArchiveError::invalidInfo(QStringLiteral("versionがセマンティックバージョンではありません。"));
    }
}

SettingsArchive::Dictionary SettingsArchive::propertyListDictionary(const QByteArray& data, const QString& name)
{
    try {
        const PropertyList list = PropertyList::read(data);
        if (list.isDictionary()) return list.dictionaryValue();
    } catch (const PropertyListError&) {
        // The parser's own words are not shown: the name says which file it was.
    }
    throw SettingsArchiveError::invalidPropertyList(name);
}

QByteArray SettingsArchive::propertyListData(const Dictionary& dictionary)
{
    if (!PropertyList::isValidForXML(dictionary)) {
        throw SettingsArchiveError::invalidPropertyList(QStringLiteral("書き出す値"));
    }
    return PropertyList::xmlData(dictionary);
}

SettingsArchive::SettingsArchive(Dictionary info, Dictionary defaults, Resources resources)
{
    validateInfo(info);
    if (!PropertyList::isValidForXML(defaults)) throw SettingsArchiveError::invalidPropertyList(kDefaultsName);
    info_ = std::move(info);
    defaults_ = std::move(defaults);
    resources_ = std::move(resources);
}

SettingsArchive SettingsArchive::read(const QString& givenPath, const CancellationToken* cancel)
{
    const QString path = withoutTrailingSlashes(givenPath);
    if (QFileInfo(path).suffix().toLower() != QLatin1String("cotsettings")) throw SettingsArchiveError::notPackage();
    struct stat status {};
    if (::stat(QFile::encodeName(path).constData(), &status) != 0 || !S_ISDIR(status.st_mode)) {
        throw SettingsArchiveError::notPackage();
    }

    ErrorInfo error;
    std::optional<DirectoryHandle> root = DirectoryHandle::open(path, &error);
    if (!root) throw SettingsArchiveError::fileOperation(kReading, error);
    std::optional<std::vector<QByteArray>> names = root->entryNames(&error);
    if (!names) throw SettingsArchiveError::fileOperation(kReading, error);

    const QByteArray infoName = kInfoName.toUtf8();
    const QByteArray defaultsName = kDefaultsName.toUtf8();
    qint64 infoSize = 0;
    qint64 defaultsSize = 0;
    if (root->kind(infoName, &infoSize) != DirectoryHandle::Kind::regularFile) {
        throw SettingsArchiveError::missingFile(kInfoName);
    }
    if (root->kind(defaultsName, &defaultsSize) != DirectoryHandle::Kind::regularFile) {
        throw SettingsArchiveError::missingFile(kDefaultsName);
    }
    // Each list is held whole while it is parsed: its size is bounded before a byte is read.
    if (infoSize > maximumPropertyListSize || defaultsSize > maximumPropertyListSize) {
        throw SettingsArchiveError::tooLarge();
    }
    const auto readList = [&root](const QByteArray& name) {
        ErrorInfo readError;
        std::optional<QByteArray> bytes = root->readFile(name, maximumPropertyListSize, &readError);
        if (!bytes) throw SettingsArchiveError::fileOperation(kReading, readError);
        if (bytes->size() > maximumPropertyListSize) throw SettingsArchiveError::tooLarge();
        return *bytes;
    };
    const QByteArray infoBytes = readList(infoName);
    const QByteArray defaultsBytes = readList(defaultsName);

    SettingsArchive archive;
    archive.info_ = propertyListDictionary(infoBytes, kInfoName);
    archive.defaults_ = propertyListDictionary(defaultsBytes, kDefaultsName);
    validateInfo(archive.info_);

    std::sort(names->begin(), names->end());
    Budget budget;
    budget.cancel = cancel;
    for (const QByteArray& raw : *names) {
        if (raw == infoName || raw == defaultsName) continue;
        const QString name = checkedEntryName(raw);
        archive.resources_.insert(name, loadEntry(*root, raw, name, budget, 0));
    }
    return archive;
}

QString SettingsArchive::checkedEntryName(const QByteArray& raw)
{
    // Without ConvertInitialBom a leading U+FEFF would vanish and the name pass as another one.
    QStringDecoder decoder(QStringConverter::Utf8,
                           QStringConverter::Flag::Stateless | QStringConverter::Flag::ConvertInitialBom);
    const QString name = decoder.decode(raw);
    if (decoder.hasError()) throw SettingsArchiveError::unsafeEntry(name);
    const bool unsafe = name.isEmpty() || name == QLatin1String(".") || name == QLatin1String("..")
        || name.contains(u'/') || name.contains(u':')
        || std::ranges::any_of(name.toUcs4(), [](char32_t c) { return isControlCharacter(c); });
    if (unsafe) throw SettingsArchiveError::unsafeEntry(name);
    return name;
}

SettingsArchiveEntry SettingsArchive::loadEntry(const DirectoryHandle& parent, const QByteArray& raw,
                                                const QString& name, Budget& budget, int depth)
{
    if (budget.cancel && budget.cancel->isCancelled()) throw SettingsArchiveCancelled();
    qint64 size = 0;
    switch (parent.kind(raw, &size)) {
    case DirectoryHandle::Kind::regularFile: {
        ++budget.fileCount;
        budget.byteCount += size;
        if (budget.fileCount > maximumFileCount || budget.byteCount > maximumByteCount) {
            throw SettingsArchiveError::tooLarge();
        }
        // What is left of the budget bounds the read too, should the file grow in the meantime.
        const qint64 allowed = maximumByteCount - (budget.byteCount - size);
        std::optional<QByteArray> bytes = parent.readFile(raw, allowed);
        if (!bytes) throw SettingsArchiveError::unsafeEntry(name);
        if (bytes->size() > allowed) throw SettingsArchiveError::tooLarge();
        budget.byteCount += bytes->size() - size;
        return FileWrapper::regularFile(*bytes);
    }
    case DirectoryHandle::Kind::directory: {
        if (++budget.folderCount > maximumFolderCount || depth >= maximumFolderDepth) {
            throw SettingsArchiveError::tooLarge();
        }
        std::optional<DirectoryHandle> folder = parent.openDirectory(raw);
        if (!folder) throw SettingsArchiveError::unsafeEntry(name);
        std::optional<std::vector<QByteArray>> names = folder->entryNames();
        if (!names) throw SettingsArchiveError::unsafeEntry(name);
        std::sort(names->begin(), names->end());
        FileWrapper::Children children;
        for (const QByteArray& childRaw : *names) {
            const QString childName = checkedEntryName(childRaw);
            children.insert(childName, loadEntry(*folder, childRaw, childName, budget, depth + 1));
        }
        return FileWrapper::directory(std::move(children));
    }
    case DirectoryHandle::Kind::symbolicLink:
    case DirectoryHandle::Kind::missing:
    case DirectoryHandle::Kind::other: break;
    }
    throw SettingsArchiveError::unsafeEntry(name);
}

void SettingsArchive::write(const QString& path, const FileWrapper::BeforeExchange& beforeExchange,
                            const CancellationToken* cancel) const
{
    FileWrapper package = FileWrapper::directory(resources_);
    package.addFileWrapper(kInfoName, FileWrapper::regularFile(propertyListData(info_)));
    package.addFileWrapper(kDefaultsName, FileWrapper::regularFile(propertyListData(defaults_)));
    ErrorInfo error;
    if (!package.write(withoutTrailingSlashes(path), &error, beforeExchange, cancel)) {
        if (cancel && cancel->isCancelled()) throw SettingsArchiveCancelled();
        throw SettingsArchiveError::fileOperation(QStringLiteral("書き出し"), error);
    }
}

}  // namespace korimado
