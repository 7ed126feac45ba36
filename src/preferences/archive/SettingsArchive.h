#pragma once

#include "platform/documents/FileWrapper.h"
#include "platform/foundation/PropertyList.h"
#include "preferences/archive/SettingsArchiveImportSummary.h"

#include <QMap>
#include <QSet>
#include <QString>

#include <functional>
#include <optional>

namespace korimado {

class DirectoryHandle;
class UserDefaults;
struct EditorSettingsSnapshot;

// Thrown by a read or write whose job was cancelled.
struct SettingsArchiveCancelled {};

// One file or folder of an archive's resources, held byte for byte.
using SettingsArchiveEntry = FileWrapper;

// A ".cotsettings" package held in memory: its Info and Defaults property lists and every other
// top-level entry as a tree of files and folders. Archives come from outside: reading checks every
// name, refuses links and special files, and bounds what is read before reading it.
class SettingsArchive {
public:
    using Dictionary = PropertyList::Dictionary;
    using Resources = QMap<QString, SettingsArchiveEntry>;
    // The family a font setting is exported under: the name itself when it names an installed font,
    // else the system's fixed-pitch family.
    using FontNameResolver = std::function<QString(const QString& fontName)>;

    static constexpr int maximumFileCount = 10'000;
    static constexpr qint64 maximumByteCount = 134'217'728;
    // Either property list larger than this is refused before it is read.
    static constexpr qint64 maximumPropertyListSize = 32 * 1024 * 1024;
    // Folders are not counted against the file limit, but their number and nesting are bounded
    // so that a hostile tree cannot exhaust memory or descriptors.
    static constexpr int maximumFolderCount = 10'000;
    static constexpr int maximumFolderDepth = 64;

    // Reads and validates a package; throws SettingsArchiveError, or SettingsArchiveCancelled once
    // cancel is set.
    static SettingsArchive read(const QString& path, const CancellationToken* cancel = nullptr);
    // Validates the Info record and that Defaults can be written as XML; throws SettingsArchiveError.
    SettingsArchive(Dictionary info, Dictionary defaults, Resources resources);

    const Dictionary& info() const { return info_; }
    const Dictionary& defaults() const { return defaults_; }
    const Resources& resources() const { return resources_; }

    // Writes the package atomically: the previous item at path stays until the new one is whole.
    // Throws SettingsArchiveError. beforeExchange has the last word before the old item is
    // replaced; once cancel is set the write stops and throws SettingsArchiveCancelled.
    void write(const QString& path, const FileWrapper::BeforeExchange& beforeExchange = {},
               const CancellationToken* cancel = nullptr) const;

    // Applies the archive's settings that have a counterpart here to the defaults (all settings are
    // written back, changed or not) and reports what was applied, kept and refused. Themes named by
    // the archive must be among availableThemeNames when given. Throws EditorSettingsError.
    SettingsArchiveImportSummary applyKnownSettings(UserDefaults& defaults,
                                                    const std::optional<QSet<QString>>& availableThemeNames) const;
    // A new archive of the current settings over a base: the base's other Info and Defaults keys
    // and all its resources carried over. Throws SettingsArchiveError.
    static SettingsArchive exporting(const EditorSettingsSnapshot& settings, const SettingsArchive* base,
                                     const FontNameResolver& fontName);

    // A whole number that is not a Boolean, within the signed 64-bit range (4.0 counts as 4).
    static std::optional<qint64> integer(const PropertyList* value);
    // Only a Boolean.
    static std::optional<bool> boolean(const PropertyList* value);

    // The 18 keys read and written here, and the 64 the format knows.
    static const QStringList& mappedDefaultKeys();
    static const QSet<QString>& portableDefaultKeys();

    // The valid names of Info "version": three dot-separated runs of numeric characters, before any "-".
    static bool isSemanticVersion(const QString& version);

private:
    SettingsArchive() = default;

    static Dictionary propertyListDictionary(const QByteArray& data, const QString& name);
    static QByteArray propertyListData(const Dictionary& dictionary);
    static void validateInfo(const Dictionary& info);
    static void overlay(const EditorSettingsSnapshot& settings, Dictionary& defaults, const FontNameResolver& fontName);

    struct Budget {
        int fileCount = 0;
        qint64 byteCount = 0;
        int folderCount = 0;
        const CancellationToken* cancel = nullptr;
    };
    static QString checkedEntryName(const QByteArray& rawName);
    static SettingsArchiveEntry loadEntry(const DirectoryHandle& parent, const QByteArray& rawName,
                                          const QString& name, Budget& budget, int depth);

    Dictionary info_;
    Dictionary defaults_;
    Resources resources_;
};

}  // namespace korimado
