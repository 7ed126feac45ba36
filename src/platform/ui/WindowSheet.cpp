#include "platform/ui/WindowSheet.h"

#include "platform/foundation/MainQueue.h"

#include <QApplication>
#include <QDialog>

namespace korimado {

namespace {

constexpr int closedCheckIntervalMs = 100;

void runOnceAllClosed(std::function<void()> work)
{
    if (WindowSheet::isAnyOpen()) {
        MainQueue::after(closedCheckIntervalMs, [work = std::move(work)]() mutable { runOnceAllClosed(std::move(work)); });
        return;
    }
    work();
}

}  // namespace

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

bool WindowSheet::isAnyOpen()
{
    return QApplication::activeModalWidget() != nullptr || QApplication::activePopupWidget() != nullptr;
}

void WindowSheet::afterAllClosed(std::function<void()> work)
{
    MainQueue::async([work = std::move(work)]() mutable { runOnceAllClosed(std::move(work)); });
}

}  // namespace korimado
