#pragma once

#include "settings/EditorSettingsSnapshot.h"

#include <QByteArray>

namespace korimado {

class UserDefaults;

// Export and import of the program's own JSON settings file.
class EditorSettingsStore {
public:
    explicit EditorSettingsStore(UserDefaults& defaults) : defaults_(defaults) {}

    UserDefaults& defaults() const { return defaults_; }

    // The current settings as file bytes; throws EditorSettingsError when a stored value is invalid.
    QByteArray exportData() const;
    // Decodes and validates the whole file before writing anything; returns what was applied.
    // Throws EditorSettingsError. Posting the change notification is the caller's job.
    EditorSettingsSnapshot importData(const QByteArray& data) const;

private:
    UserDefaults& defaults_;
};

}  // namespace korimado
