// The settings file import: whatever it accepts exports again, and that export imports to the
// same settings. (A file without a theme name leaves the stored one alone, so only the settings
// as read are compared, not the stored keys.)
#include "FuzzSupport.h"

#include "platform/foundation/UserDefaults.h"
#include "settings/EditorSettingsError.h"
#include "settings/EditorSettingsStore.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    UserDefaults defaults;
    const EditorSettingsStore store(defaults);
    EditorSettingsSnapshot imported;
    try {
        imported = store.importData(fuzz::bytes(data, size));
    } catch (const EditorSettingsError&) {
        FUZZ_CHECK(defaults.dictionaryRepresentation().isEmpty());
        return 0;
    }

    QByteArray exported;
    try {
        exported = store.exportData();
    } catch (const EditorSettingsError&) {
        FUZZ_CHECK(!"imported settings must export");
    }
    UserDefaults other;
    try {
        const EditorSettingsSnapshot again = EditorSettingsStore(other).importData(exported);
        FUZZ_CHECK(again == EditorSettingsSnapshot(defaults));
    } catch (const EditorSettingsError&) {
        FUZZ_CHECK(!"exported settings must import");
    }
    FUZZ_CHECK(EditorSettingsSnapshot(other) == EditorSettingsSnapshot(defaults));
    return 0;
}
