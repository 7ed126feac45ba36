#include "platform/ui/QtAlertPresenter.h"

#include <QApplication>
#include <QMessageBox>
#include <QPushButton>

namespace korimado {

int QtAlertPresenter::runModal(const Alert& alert)
{
    QMessageBox box(QApplication::activeWindow());
    box.setText(alert.messageText);
    box.setInformativeText(alert.informativeText);
    switch (alert.style) {
    case Alert::Style::informational: box.setIcon(QMessageBox::Information); break;
    case Alert::Style::warning: box.setIcon(QMessageBox::Warning); break;
    case Alert::Style::critical: box.setIcon(QMessageBox::Critical); break;
    }
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    QList<QPushButton*> buttons;
    for (const QString& title : titles) buttons.append(box.addButton(title, QMessageBox::ActionRole));
    box.setDefaultButton(buttons.first());
    box.setEscapeButton(buttons.size() > 1 ? buttons[1] : buttons.first());
    box.exec();
    const int chosen = static_cast<int>(buttons.indexOf(qobject_cast<QPushButton*>(box.clickedButton())));
    return chosen < 0 ? 0 : chosen;
}

}  // namespace korimado
