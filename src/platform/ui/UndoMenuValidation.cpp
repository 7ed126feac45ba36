#include "platform/ui/UndoMenuValidation.h"

#include "platform/foundation/UndoManager.h"
#include "platform/ui/MenuModel.h"

namespace korimado {

bool UndoMenuValidation::validate(MenuItem& item, const UndoManager* manager)
{
    if (item.action() == QLatin1String("undo:")) {
        item.setTitle(manager ? manager->undoMenuItemTitle() : QStringLiteral("取り消す"));
        return manager && manager->canUndo();
    }
    if (item.action() == QLatin1String("redo:")) {
        item.setTitle(manager ? manager->redoMenuItemTitle() : QStringLiteral("やり直す"));
        return manager && manager->canRedo();
    }
    return false;
}

}  // namespace korimado
