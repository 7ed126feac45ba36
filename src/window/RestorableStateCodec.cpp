#include "window/RestorableStateCodec.h"

#include "platform/foundation/Bundle.h"
#include "platform/foundation/UserDefaults.h"

#include <QDir>

namespace korimado {

namespace {

const QString versionKey = QStringLiteral("kori.startupLayoutVersion");
const QString modeKey = QStringLiteral("kori.mode");
const QString detailKey = QStringLiteral("kori.detail");
const QString locationKey = QStringLiteral("kori.selection.location");
const QString lengthKey = QStringLiteral("kori.selection.length");
const QString navigationKey = QStringLiteral("kori.navigation.hidden");
const QString treeHiddenKey = QStringLiteral("kori.tree.hidden");
const QString splitKey = QStringLiteral("kori.editor.split");
const QString verticalKey = QStringLiteral("kori.editor.vertical");
const QString rootKey = QStringLiteral("kori.tree.root");

qint64 integer(const RestorableStateCodec::Coder& coder, const QString& key)
{
    const auto found = coder.find(key);
    if (found == coder.end()) return 0;
    return found->convertedInteger().value_or(0);
}

bool boolean(const RestorableStateCodec::Coder& coder, const QString& key)
{
    const auto found = coder.find(key);
    if (found == coder.end()) return false;
    return found->convertedBool().value_or(false);
}

}  // namespace

RestorableStateCodec::Coder RestorableStateCodec::encode(const RestorableWindowState& state)
{
    Coder coder;
    coder.insert(versionKey, state.version);
    coder.insert(modeKey, state.mode);
    coder.insert(detailKey, static_cast<qint64>(state.detail));
    coder.insert(locationKey, static_cast<qint64>(state.selection.location));
    coder.insert(lengthKey, static_cast<qint64>(state.selection.length));
    coder.insert(navigationKey, state.navigationHidden);
    coder.insert(treeHiddenKey, state.treeHidden);
    coder.insert(splitKey, state.split);
    coder.insert(verticalKey, state.vertical);
    if (state.rootURL) coder.insert(rootKey, *state.rootURL);
    return coder;
}

std::optional<RestorableWindowState> RestorableStateCodec::decode(const Coder& coder)
{
    if (!coder.contains(modeKey)) return std::nullopt;
    RestorableWindowState state;
    state.version = integer(coder, versionKey);
    const bool current = state.version >= 1;
    if (state.version > 0) {
        state.mode = integer(coder, modeKey);
        const qint64 detail = integer(coder, detailKey);
        state.detail = detail >= 0 && detail < 5 ? static_cast<int>(detail) : 0;
    }
    state.selection = {integer(coder, locationKey), integer(coder, lengthKey)};
    state.navigationHidden = current && boolean(coder, navigationKey);
    state.treeHidden = !current || boolean(coder, treeHiddenKey);
    state.split = current && boolean(coder, splitKey);
    state.vertical = boolean(coder, verticalKey);
    if (const auto root = coder.find(rootKey); root != coder.end()) state.rootURL = root->stringValue();
    return state;
}

UserDefaults& RestorableStateCodec::store()
{
    static UserDefaults store([] {
        QString base = qEnvironmentVariable("XDG_STATE_HOME");
        if (base.isEmpty()) base = QDir::homePath() + QStringLiteral("/.local/state");
        return base + QLatin1Char('/') + Bundle::configuration().dataFolderName + QStringLiteral("/window-state.json");
    }());
    return store;
}

void RestorableStateCodec::save(const QString& key, const Coder& coder)
{
    if (key.isEmpty()) return;
    store().set(key, DefaultsValue(coder));
}

std::optional<RestorableStateCodec::Coder> RestorableStateCodec::saved(const QString& key)
{
    return store().dictionary(key);
}

}  // namespace korimado
