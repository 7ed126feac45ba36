#include "settings/EditorSettingsStore.h"

#include "platform/foundation/UserDefaults.h"

namespace korimado {

QByteArray EditorSettingsStore::exportData() const
{
    return EditorSettingsSnapshot(defaults_).validated().encoded();
}

EditorSettingsSnapshot EditorSettingsStore::importData(const QByteArray& data) const
{
    const EditorSettingsSnapshot snapshot = EditorSettingsSnapshot::decoded(data).validated();
    snapshot.applying(defaults_);
    return snapshot;
}

}  // namespace korimado
