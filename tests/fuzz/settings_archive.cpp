// The settings archive: a package made of the input is read, stored as a base, applied and
// exported over itself. The stored base reads back as it was; what is read applies without
// throwing; the export reads back with every resource and every key this program does not map as
// they were, and imports to the same settings the archive gave (the font by the family it was
// exported under).
//
// Input: parts separated by "\n@@\n". The first two are Info.plist and Defaults.plist; each later
// part is a relative path on its first line and the file's bytes after it.
#include "FuzzSupport.h"

#include "platform/foundation/UserDefaults.h"
#include "preferences/archive/SettingsArchive.h"
#include "preferences/archive/SettingsArchiveError.h"
#include "settings/EditorSettingsError.h"
#include "settings/EditorSettingsSnapshot.h"

#include <QFile>

#include <cmath>

using namespace korimado;

namespace {

bool writeInside(const QString& root, const QByteArray& rawPath, const QByteArray& contents)
{
    // Names stay within the package; odd bytes in them are the reader's business.
    const QList<QByteArray> pieces = rawPath.split('/');
    for (const QByteArray& piece : pieces) {
        if (piece.isEmpty() || piece == "." || piece == ".." || piece.contains('\0')) return false;
    }
    QByteArray path = QFile::encodeName(root);
    for (qsizetype i = 0; i + 1 < pieces.size(); ++i) {
        path += '/' + pieces[i];
        QDir().mkdir(QFile::decodeName(path));
    }
    QFile file(QFile::decodeName(path + '/' + pieces.last()));
    if (!file.open(QIODevice::WriteOnly)) return false;
    file.write(contents);
    return true;
}

QList<QByteArray> splitParts(const QByteArray& input)
{
    static const QByteArray separator = "\n@@\n";
    QList<QByteArray> parts;
    qsizetype from = 0;
    for (qsizetype at; (at = input.indexOf(separator, from)) >= 0; from = at + separator.size()) {
        parts.append(input.mid(from, at - from));
    }
    parts.append(input.mid(from));
    return parts;
}

// Equal as an XML list stores them: a date to its whole second.
bool sameAsStored(const PropertyList& value, const PropertyList& stored)
{
    if (value.type() != stored.type()) return false;
    switch (value.type()) {
    case PropertyList::Type::date:
        return std::floor(value.dateValue().seconds) == stored.dateValue().seconds;
    case PropertyList::Type::array: {
        const PropertyList::Array& items = value.arrayValue();
        if (items.size() != stored.arrayValue().size()) return false;
        for (qsizetype i = 0; i < items.size(); ++i) {
            if (!sameAsStored(items[i], stored.arrayValue()[i])) return false;
        }
        return true;
    }
    case PropertyList::Type::dictionary: {
        const QList<PropertyList::Entry>& entries = value.dictionaryValue().entries();
        if (entries.size() != stored.dictionaryValue().size()) return false;
        for (const PropertyList::Entry& entry : entries) {
            const PropertyList* other = stored.dictionaryValue().value(entry.key);
            if (!other || !sameAsStored(entry.value, *other)) return false;
        }
        return true;
    }
    default: return value == stored;
    }
}

QString fixedFamily(const QString& name)
{
    return name.isEmpty() ? QStringLiteral("Monospace") : name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QList<QByteArray> parts = splitParts(fuzz::bytes(data, size));
    if (parts.size() < 2) return 0;

    QDir scratch(fuzz::scratchFolder());
    const QString package = scratch.filePath(QStringLiteral("in.cotsettings"));
    const QString exported = scratch.filePath(QStringLiteral("out.cotsettings"));
    QDir(package).removeRecursively();
    QDir(exported).removeRecursively();
    scratch.mkdir(QStringLiteral("in.cotsettings"));
    writeInside(package, "Info.plist", parts[0]);
    writeInside(package, "Defaults.plist", parts[1]);
    for (qsizetype i = 2; i < parts.size(); ++i) {
        const qsizetype lineEnd = parts[i].indexOf('\n');
        if (lineEnd <= 0) continue;
        writeInside(package, parts[i].left(lineEnd), parts[i].mid(lineEnd + 1));
    }

    std::optional<SettingsArchive> archive;
    try {
        archive = SettingsArchive::read(package);
    } catch (const SettingsArchiveError&) {
        return 0;
    }

    UserDefaults defaults;
    try {
        archive->applyKnownSettings(defaults, std::nullopt);
    } catch (const EditorSettingsError&) {
        FUZZ_CHECK(!"an archive that was read must apply");
    }
    const EditorSettingsSnapshot applied(defaults);

    // The archive as read is stored as the base of the next export: it is refused when written,
    // or it reads back as it was (dates to the whole second).
    const QString stored = scratch.filePath(QStringLiteral("base.cotsettings"));
    QDir(stored).removeRecursively();
    bool isStored = true;
    try {
        archive->write(stored);
    } catch (const SettingsArchiveError&) {
        isStored = false;
    }
    if (isStored) {
        try {
            const SettingsArchive base = SettingsArchive::read(stored);
            FUZZ_CHECK(sameAsStored(PropertyList(archive->info()), PropertyList(base.info())));
            FUZZ_CHECK(sameAsStored(PropertyList(archive->defaults()), PropertyList(base.defaults())));
            FUZZ_CHECK(base.resources() == archive->resources());
        } catch (const SettingsArchiveError& error) {
            std::fprintf(stderr, "%s\n", qPrintable(error.localizedDescription()));
            FUZZ_CHECK(!"a stored base must read back");
        }
    }

    // A binary list may hold what XML cannot carry (a UID, a control character, a date beyond
    // the year 9999); such a base refuses to export, by name. The export dates itself anew.
    PropertyList::Dictionary carriedInfo = archive->info();
    carriedInfo.remove(QStringLiteral("date"));
    if (!PropertyList::isValidForXML(carriedInfo) || !PropertyList::isValidForXML(archive->defaults())) {
        try {
            SettingsArchive::exporting(applied, &*archive, fixedFamily).write(exported);
            FUZZ_CHECK(!"a base XML cannot carry must not export");
        } catch (const SettingsArchiveError&) {
        }
        return 0;
    }

    std::optional<SettingsArchive> again;
    try {
        SettingsArchive::exporting(applied, &*archive, fixedFamily).write(exported);
        again = SettingsArchive::read(exported);
    } catch (const SettingsArchiveError& error) {
        std::fprintf(stderr, "%s\n", qPrintable(error.localizedDescription()));
        FUZZ_CHECK(!"an archive that was read must export and read back");
    }
    FUZZ_CHECK(again->resources() == archive->resources());
    const QStringList& mapped = SettingsArchive::mappedDefaultKeys();
    for (const auto& entry : archive->defaults().entries()) {
        if (mapped.contains(entry.key)) continue;
        const PropertyList* kept = again->defaults().value(entry.key);
        FUZZ_CHECK(kept && *kept == entry.value);
    }

    UserDefaults other;
    try {
        again->applyKnownSettings(other, std::nullopt);
    } catch (const EditorSettingsError&) {
        FUZZ_CHECK(!"an exported archive must apply");
    }
    // An empty font name stands for the fixed-pitch family, which the export names.
    EditorSettingsSnapshot expected = applied;
    expected.fontName = fixedFamily(applied.fontName);
    FUZZ_CHECK(EditorSettingsSnapshot(other) == expected);
    return 0;
}
