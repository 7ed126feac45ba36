#pragma once

#include "platform/foundation/DefaultsValue.h"
#include "platform/text/TextRange.h"

#include <QString>

#include <optional>

namespace korimado {

class UserDefaults;

// What a document window keeps of itself across launches, as read from or written to its keyed
// values ("kori.mode" …). Values are as stored; the window clamps them to what it holds.
struct RestorableWindowState {
    qint64 version = 0;
    qint64 mode = 1;  // raw value of the window mode
    int detail = 0;   // detail-pane segment, 0…4
    TextRange selection;
    bool navigationHidden = false;
    bool treeHidden = false;
    bool split = false;
    bool vertical = false;
    std::optional<QString> rootURL;  // as written, a file URL
};

// The keys and value types of a window's state, and the rules for state written by an older
// layout (no version: the split mode and the first detail, the bars as a first launch shows them).
class RestorableStateCodec {
public:
    using Coder = DefaultsValue::Dictionary;

    static constexpr qint64 currentVersion = 1;

    static Coder encode(const RestorableWindowState& state);
    // None when the coder holds no mode: nothing was saved for that window.
    static std::optional<RestorableWindowState> decode(const Coder& coder);

    // The states of every file and folder, kept in a JSON file under XDG_STATE_HOME.
    static UserDefaults& store();
    static void save(const QString& key, const Coder& coder);
    static std::optional<Coder> saved(const QString& key);
};

}  // namespace korimado
