#pragma once

#include "scripting/StandInWindow.h"

namespace korimado {

// The command palette over the main menu. Stand-in: a panel that says the palette is not
// available yet.
class QuickActions {
public:
    QuickActions();

    void show();
    QWidget* window() { return panel_.window(); }

    static inline const QString unavailableMessage = QStringLiteral("クイックアクションはまだ利用できません。");

private:
    StandInWindow panel_;
};

}  // namespace korimado
