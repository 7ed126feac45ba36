#include "app/QuickActions.h"

namespace korimado {

QuickActions::QuickActions() : panel_(QStringLiteral("クイックアクション"), unavailableMessage) {}

void QuickActions::show()
{
    panel_.showWindow();
}

}  // namespace korimado
