// The program speaks Japanese: its localisation, the settings window's pages and the question
// asked before an edited drawing's window closes, which a cancel answers without losing the edit.
#include "selftest/SVGTreeRun.h"

#include "document/KoriDocument.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/WindowActions.h"
#include "platform/ui/WindowSheet.h"
#include "platform/ui/WindowTracker.h"
#include "preferences/SettingsWindowController.h"
#include "selftest/SelfTestFormat.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAlertWatch.h"
#include "selftest/SuiteAwait.h"

#include <QAbstractButton>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QMetaObject>
#include <QTabWidget>

namespace korimado {

namespace {

QTabWidget* firstTabView(QWidget* window)
{
    for (QWidget* view : SelfTestFrame::allViews(window))
        if (auto* tabs = qobject_cast<QTabWidget*>(view)) return tabs;
    return nullptr;
}

// The button a user cancels the sheet with: its キャンセル button, else the one Escape presses.
QAbstractButton* cancelButton(QDialog* sheet, const QList<QAbstractButton*>& buttons)
{
    auto* box = qobject_cast<QMessageBox*>(sheet);
    for (QAbstractButton* button : buttons)
        if (button->text() == QStringLiteral("キャンセル") || (box && box->escapeButton() == button)
            || button->shortcut() == QKeySequence(Qt::Key_Escape))
            return button;
    return nullptr;
}

}  // namespace

SuiteTask<> SVGTreeRun::checkSettingsWindow()
{
    const QStringList languages = Bundle::preferredLocalizations();
    checks_.check(QStringLiteral("Japanese is the app localization"),
                  !languages.isEmpty() && languages.front() == QStringLiteral("ja"));

    SettingsWindowController& settings = SettingsWindowController::shared();
    settings.sync();
    settings.showWindow();
    QPointer<QWidget> window = settings.window();
    if (window) WindowTracker::shared().makeKeyAndOrderFront(window);
    co_await sleepFor(150);
    checks_.check(QStringLiteral("Japanese settings window"), window && window->windowTitle() == QStringLiteral("設定"));
    SelfTestFrame::capture(window, QStringLiteral("settings-japanese.png"));
    if (QTabWidget* tabs = firstTabView(window)) {
        tabs->setCurrentIndex(1);
        co_await sleepFor(100);
        SelfTestFrame::capture(window, QStringLiteral("settings-editor-japanese.png"));
        tabs->setCurrentIndex(3);
        co_await sleepFor(100);
        SelfTestFrame::capture(window, QStringLiteral("settings-preview-japanese.png"));
        QStringList labels;
        for (int i = 0; i < tabs->count(); ++i) labels.append(tabs->tabText(i));
        checks_.check(QStringLiteral("all settings pages Japanese"),
                      labels == QStringList{QStringLiteral("一般"), QStringLiteral("エディタ"), QStringLiteral("ファイル"),
                                            QStringLiteral("プレビュー")});
    }
    if (window) window->close();
}

SuiteTask<> SVGTreeRun::checkCloseQuestion()
{
    typeAtEnd(QStringLiteral("\n<!-- 保存確認 -->"));
    QPointer<QWidget> documentWindow = window();
    const SuiteAlertWatch::Expected question;
    // Posted: the question waits for an answer only this suite gives.
    if (documentWindow)
        QMetaObject::invokeMethod(
            documentWindow.data(),
            [documentWindow] {
                if (WindowActions* actions = WindowActions::forWindow(documentWindow))
                    actions->perform(QStringLiteral("performClose:"), nullptr);
            },
            Qt::QueuedConnection);
    co_await sleepFor(300);
    QDialog* sheet = WindowSheet::attached(documentWindow);
    if (!sheet) {
        checks_.check(QStringLiteral("save confirmation appears"), false);
        co_await sleepFor(100);
        co_return;
    }
    const QList<QAbstractButton*> buttons = SelfTestFrame::buttons(sheet);
    QStringList titles;
    for (const QAbstractButton* button : buttons) titles.append(button->text());
    SelfTestFrame::printLine(QStringLiteral("Japanese close sheet buttons: ") + SelfTestFormat::quotedList(titles));
    checks_.check(QStringLiteral("save confirmation has Japanese cancel"), titles.contains(QStringLiteral("キャンセル")));
    SelfTestFrame::capture(documentWindow, QStringLiteral("save-confirmation-japanese.png"));
    if (auto* panel = qobject_cast<QFileDialog*>(sheet))
        QMetaObject::invokeMethod(panel, &QDialog::reject, Qt::QueuedConnection);
    else if (QAbstractButton* cancel = cancelButton(sheet, buttons))
        QMetaObject::invokeMethod(cancel, &QAbstractButton::click, Qt::QueuedConnection);
    co_await sleepFor(100);
    checks_.check(QStringLiteral("cancel preserves unsaved SVG"),
                  drawing_ && drawing_->isDocumentEdited() && drawing_->string().contains(QStringLiteral("保存確認")));
    co_await sleepFor(100);
}

}  // namespace korimado
