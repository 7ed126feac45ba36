#pragma once

#include <QMap>
#include <QString>
#include <QStringList>

namespace korimado {

// What one installation of an archive's resources did: the resource paths installed, in the order
// they were installed, and those refused with their reasons.
struct SettingsResourceActivationSummary {
    QStringList activated;
    QMap<QString, QString> rejected;

    friend bool operator==(const SettingsResourceActivationSummary&, const SettingsResourceActivationSummary&) = default;
};

}  // namespace korimado
