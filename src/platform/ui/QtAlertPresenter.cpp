#include "platform/ui/QtAlertPresenter.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>
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

int QtAlertPresenter::runModal(const Alert& alert, const QList<AlertField>& fields, QStringList& texts)
{
    if (fields.isEmpty()) {
        texts.clear();
        return runModal(alert);
    }
    QDialog dialog(QApplication::activeWindow());
    dialog.setWindowTitle(alert.messageText);
    auto* layout = new QVBoxLayout(&dialog);
    auto* message = new QLabel(alert.messageText, &dialog);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    layout->addWidget(message);
    if (!alert.informativeText.isEmpty()) {
        auto* informative = new QLabel(alert.informativeText, &dialog);
        informative->setWordWrap(true);
        layout->addWidget(informative);
    }
    QList<QLineEdit*> edits;
    for (const AlertField& field : fields) {
        auto* edit = new QLineEdit(field.text, &dialog);
        edit->setPlaceholderText(field.placeholder);
        edit->setAccessibleName(field.accessibilityName);
        if (field.width > 0) edit->setMinimumWidth(field.width);
        layout->addWidget(edit);
        edits.append(edit);
    }
    auto* box = new QDialogButtonBox(&dialog);
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    int chosen = titles.size() > 1 ? 1 : 0;  // closing the dialog answers like its second button
    for (int i = static_cast<int>(titles.size()) - 1; i >= 0; --i) {
        QPushButton* button = box->addButton(titles[i], QDialogButtonBox::ActionRole);
        if (i == 0) {
            button->setDefault(true);
            button->setAutoDefault(true);
        }
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &chosen, i] {
            chosen = i;
            dialog.accept();
        });
    }
    layout->addWidget(box);
    edits.first()->selectAll();
    edits.first()->setFocus();
    dialog.exec();
    texts.clear();
    for (QLineEdit* edit : edits) texts.append(edit->text());
    return chosen;
}

}  // namespace korimado
