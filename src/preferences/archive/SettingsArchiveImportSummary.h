#pragma once

#include "preferences/archive/SettingsResourceActivationSummary.h"

#include <QString>
#include <QStringList>

namespace korimado {

// The report of one archive import: the settings applied, the keys and files kept for the next
// export, the resources installed or refused, and the values that were not taken.
struct SettingsArchiveImportSummary {
    QString archiveVersion = QStringLiteral("不明");
    QStringList appliedKeys;         // Japanese labels, sorted, no duplicates
    QStringList unsupportedKeys;     // known to the format, not applied here; sorted
    QStringList unrecognizedKeys;    // outside the format's key table; sorted
    QStringList preservedResources;  // file paths kept in the archive
    QStringList activatedResources;  // sorted
    QStringList rejectedResources;   // "path（reason）", sorted by path
    QStringList warnings;            // sorted

    // The summary with the installation's result merged in: installed and refused paths leave the
    // preserved list, by whole path components (a handled Syntaxes/Go keeps Syntaxes/Go.cotsyntax/…).
    SettingsArchiveImportSummary including(const SettingsResourceActivationSummary& activation) const;
    // The text of the report, one section a heading with its items, sections apart by an empty line.
    QString displayText() const;

    friend bool operator==(const SettingsArchiveImportSummary&, const SettingsArchiveImportSummary&) = default;
};

}  // namespace korimado
