#pragma once

#include "platform/foundation/PropertyList.h"
#include "preferences/archive/SettingsArchive.h"
#include "preferences/archive/SettingsArchiveError.h"
#include "support/TestSupport.h"

#include <QDateTime>

#include <functional>

namespace korimado::test {

// An Info.plist as the outside editor writes one, by hand.
inline QByteArray infoPlist(const QString& version = QStringLiteral("7.1.2"),
                            const QByteArray& date = "<date>2024-05-06T07:08:09Z</date>")
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n"
           "\t<key>date</key>\n\t" + date + "\n\t<key>version</key>\n\t<string>" + version.toUtf8()
        + "</string>\n\t<key>build</key>\n\t<string>712</string>\n</dict>\n</plist>\n";
}

inline QByteArray defaultsPlist(const QByteArray& entries = {})
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + entries
        + "</dict>\n</plist>\n";
}

// Writes a package folder with the two lists; returns its path.
inline QString writePackage(const TempDir& dir, const QString& name, const QByteArray& defaults = defaultsPlist(),
                            const QByteArray& info = infoPlist())
{
    dir.write(name + QStringLiteral("/Info.plist"), info);
    dir.write(name + QStringLiteral("/Defaults.plist"), defaults);
    return dir.file(name);
}

// The error a call throws, or none.
inline std::optional<SettingsArchiveError> archiveError(const std::function<void()>& call)
{
    try {
        call();
    } catch (const SettingsArchiveError& error) {
        return error;
    }
    return std::nullopt;
}

inline PropertyList::Dictionary validInfo()
{
    PropertyList::Dictionary info;
    info.insert(QStringLiteral("date"), PropertyList::Date::fromDateTime(QDateTime::currentDateTimeUtc()));
    info.insert(QStringLiteral("version"), "7.1.2");
    return info;
}

}  // namespace korimado::test
