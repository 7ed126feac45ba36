// The defaults store reading its file: any file loads without harm, and what it loaded is written
// back and read again unchanged.
#include "FuzzSupport.h"

#include "platform/foundation/UserDefaults.h"

#include <QFile>
#include <QJsonObject>

using namespace korimado;

namespace {

// Compared as written, so that a NaN equals itself.
QJsonObject asJson(const DefaultsValue::Dictionary& values)
{
    QJsonObject object;
    for (auto it = values.cbegin(); it != values.cend(); ++it) object.insert(it.key(), it.value().toJson());
    return object;
}

void clearFolder(const QString& folder)
{
    QDir dir(folder);
    for (const QString& name : dir.entryList(QDir::Files | QDir::Hidden)) dir.remove(name);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const QString folder = [] {
        const QString path = fuzz::scratchFolder() + QStringLiteral("/defaults");
        QDir().mkpath(path);
        return path;
    }();
    const QString path = folder + QStringLiteral("/defaults.json");
    clearFolder(folder);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly)) std::abort();
        file.write(reinterpret_cast<const char*>(data), static_cast<qint64>(size));
    }

    DefaultsValue::Dictionary loaded;
    {
        UserDefaults defaults(path);
        loaded = defaults.dictionaryRepresentation();
        // Forces a write of everything loaded.
        defaults.setBool(QStringLiteral("fuzz.marker"), true);
        FUZZ_CHECK(defaults.synchronize());
    }
    UserDefaults reread(path);
    DefaultsValue::Dictionary again = reread.dictionaryRepresentation();
    FUZZ_CHECK(again.take(QStringLiteral("fuzz.marker")) == DefaultsValue(true));
    loaded.remove(QStringLiteral("fuzz.marker"));
    FUZZ_CHECK(asJson(again) == asJson(loaded));
    return 0;
}
