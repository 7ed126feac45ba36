#include "platform/ui/WindowSheet.h"

#include <QApplication>
#include <QDialog>

namespace korimado {

QDialog* WindowSheet::attached(const QWidget* window)
{
    if (!window) return nullptr;
    for (QWidget* candidate : QApplication::topLevelWidgets()) {
        auto* dialog = qobject_cast<QDialog*>(candidate);
        if (!dialog || !dialog->isVisible() || dialog->windowModality() == Qt::NonModal) continue;
        const QWidget* owner = dialog->parentWidget();
        if (owner && owner->window() == window) return dialog;
    }
    return nullptr;
}

}  // namespace korimado
