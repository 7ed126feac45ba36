#pragma once

#include <QString>
#include <QStringList>

namespace korimado {

// The system input method's choice of input method, through its controller on the session bus
// (fcitx5). Everything answers "nothing" when no input method is on the bus.
class InputMethodSwitch {
public:
    // The input method on the session bus, or an empty name when there is none.
    static QString present();
    static QString current();
    // The input methods of the current group, in the order the user arranged them.
    static QStringList sources();
    // Makes the input method current for the focused text, turning input on; true when it took.
    static bool select(const QString& name);

    // The input method that types Japanese from romaji.
    static inline const QString japaneseRomaji = QStringLiteral("mozc");
};

}  // namespace korimado
