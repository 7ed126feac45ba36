#include "platform/ui/QtAlertPresenter.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>
#include <QVBoxLayout>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QTextDocument>
#include <QPushButton>

namespace korimado {

namespace {

// The window an alert is modal to: the one asked for while it is on screen; without one the
// alert blocks the whole application, over the active window.
QWidget* alertParent(const Alert& alert)
{
    return alert.parent && alert.parent->isVisible() ? alert.parent : nullptr;
}

void setModality(QDialog& dialog, const Alert& alert)
{
    dialog.setWindowModality(alertParent(alert) ? Qt::WindowModal : Qt::ApplicationModal);
}

QWidget* owner(const Alert& alert)
{
    QWidget* parent = alertParent(alert);
    return parent ? parent : QApplication::activeWindow();
}

// The modality, the title, the message in bold and the informative text under it, of an alert
// built by hand because it holds more than buttons. A positive width caps the informative text's.
QVBoxLayout* addMessages(QDialog& dialog, const Alert& alert, int informativeWidth = 0)
{
    setModality(dialog, alert);
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
        if (informativeWidth > 0) informative->setMaximumWidth(informativeWidth);
        layout->addWidget(informative);
    }
    return layout;
}

// An alert with a long text under its messages, in a read-only view that scrolls.
int runWithAccessory(const Alert& alert)
{
    QDialog dialog(owner(alert));
    QVBoxLayout* layout = addMessages(dialog, alert, alert.accessorySize.width());
    auto* text = new QPlainTextEdit(alert.accessoryText, &dialog);
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFixedSize(alert.accessorySize);
    QFont small = text->font();
    small.setPointSizeF(small.pointSizeF() * 12.0 / 13.0);  // a little smaller than the messages
    text->setFont(small);
    text->document()->setDocumentMargin(8);
    text->setObjectName(QStringLiteral("alertAccessoryText"));
    layout->addWidget(text);
    auto* box = new QDialogButtonBox(&dialog);
    const QStringList titles = alert.buttons.isEmpty() ? QStringList{QStringLiteral("OK")} : alert.buttons;
    int chosen = 0;
    for (int i = static_cast<int>(titles.size()) - 1; i >= 0; --i) {
        QPushButton* button = box->addButton(titles[i], QDialogButtonBox::ActionRole);
        if (i == 0) button->setDefault(true);
        QObject::connect(button, &QPushButton::clicked, &dialog, [&dialog, &chosen, i] {
            chosen = i;
            dialog.accept();
        });
    }
    layout->addWidget(box);
    dialog.exec();
    return chosen;
}

}  // namespace

int QtAlertPresenter::runModal(const Alert& alert)
{
    if (!alert.accessoryText.isEmpty()) return runWithAccessory(alert);
    QMessageBox box(owner(alert));
    setModality(box, alert);
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
    QDialog dialog(owner(alert));
    QVBoxLayout* layout = addMessages(dialog, alert);
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
