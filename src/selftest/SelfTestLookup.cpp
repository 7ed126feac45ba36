#include "selftest/SelfTestLookup.h"

#include "platform/ui/WindowTracker.h"
#include "selftest/SelfTestFrame.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTableWidget>

namespace korimado {

QList<QWidget*> SelfTestLookup::windows()
{
    QList<QWidget*> found;
    for (QWidget* window : WindowTracker::shared().orderedWindows())
        if (window && window->isVisible() && !found.contains(window)) found.append(window);
    for (QWidget* window : QApplication::topLevelWidgets())
        if (window->isVisible() && !found.contains(window)) found.append(window);
    return found;
}

QWidget* SelfTestLookup::windowTitled(const QString& title)
{
    for (QWidget* window : windows())
        if (SelfTestLookup::title(window) == title) return window;
    return nullptr;
}

QString SelfTestLookup::title(const QWidget* window)
{
    QString shown = window ? window->windowTitle() : QString();
    return shown.replace(QStringLiteral("[*]"), window && window->isWindowModified() ? QStringLiteral("*") : QString());
}

QAbstractButton* SelfTestLookup::buttonTitled(QWidget* root, const QString& title)
{
    for (QWidget* view : SelfTestFrame::allViews(root))
        if (auto* button = qobject_cast<QAbstractButton*>(view); button && button->text() == title) return button;
    return nullptr;
}

QLineEdit* SelfTestLookup::fieldWithPlaceholder(QWidget* root, const QString& placeholder)
{
    for (QWidget* view : SelfTestFrame::allViews(root))
        if (auto* field = qobject_cast<QLineEdit*>(view); field && field->placeholderText() == placeholder) return field;
    return nullptr;
}

QComboBox* SelfTestLookup::popUpWithItem(QWidget* root, const QString& item)
{
    for (QWidget* view : SelfTestFrame::allViews(root))
        if (auto* popUp = qobject_cast<QComboBox*>(view); popUp && popUp->findText(item) >= 0) return popUp;
    return nullptr;
}

QTableWidget* SelfTestLookup::firstTable(QWidget* root)
{
    for (QWidget* view : SelfTestFrame::allViews(root))
        if (auto* table = qobject_cast<QTableWidget*>(view)) return table;
    return nullptr;
}

void SelfTestLookup::setRule(QTableWidget* table, int row, int column, const QString& text)
{
    auto* field = table ? qobject_cast<QLineEdit*>(table->cellWidget(row, column)) : nullptr;
    if (!field) return;
    field->setText(text);
    Q_EMIT field->editingFinished();
}

}  // namespace korimado
