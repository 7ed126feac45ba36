#include "platform/ui/AttachedSheet.h"

#include <QApplication>
#include <QDialog>

namespace korimado {

QDialog* AttachedSheet::of(const QWidget* window)
{
    if (!window) return nullptr;
    // A question over a sheet (replace the file?) belongs to the sheet, not to the window.
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(candidate);
        if (!dialog || !dialog->isVisible() || dialog->windowModality() == Qt::NonModal) continue;
        const QWidget* owner = dialog->parentWidget() ? dialog->parentWidget()->window() : nullptr;
        if (owner == window) return dialog;
    }
    return nullptr;
}

}  // namespace korimado
