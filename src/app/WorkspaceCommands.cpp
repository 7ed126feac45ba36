#include "app/WorkspaceCommands.h"

#include "app/ApplicationDelegate.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FileManagerReveal.h"
#include "platform/ui/MenuModel.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowActions.h"
#include "platform/ui/WindowTabGroup.h"
#include "platform/ui/WindowTracker.h"
#include "scripting/console/WorkspaceScriptConsoleController.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsKeys.h"
#include "settings/EditorSettingsSnapshot.h"
#include "preferences/SettingsWindowController.h"
#include "window/EditorWindowController.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMainWindow>
#include <QPageSetupDialog>
#include <QPlainTextEdit>
#include <QPrintDialog>
#include <QPrinter>
#include <QTextDocument>
#include <QUrl>
#include <QVBoxLayout>

namespace korimado {

const QString WorkspaceCommands::helpText = QStringLiteral(
    "ファイル\n"
    "サイドバーで新規ファイルとフォルダの作成、名前変更、移動、ファイルマネージャでの表示、パスのコピーができます。"
    "移動は既存項目を上書きしません。ゴミ箱への移動は確認後だけ実行します。\n"
    "\n"
    "編集と表示\n"
    "Ctrl+1で編集、Ctrl+2で左右表示、Ctrl+3でプレビューへ切り替えます。行番号、不可視文字、ページガイド、スペル確認は"
    "「表示」メニューまたは設定で変更できます。\n"
    "\n"
    "文書\n"
    "文書情報は文字数、行数、文字コード、改行コード、保存サイズを表示します。"
    "文書の警告は混在改行、保存できない文字、制御文字、行末空白を確認します。\n"
    "\n"
    "スクリプト\n"
    "コンソールは、利用者が選び「実行」を押したローカルスクリプトだけを実行します。自動実行はしません。");

namespace {

using Action = void (WorkspaceCommands::*)(MenuItem*);

struct ActionEntry {
    const char* name;
    Action action;
};

constexpr ActionEntry kActions[] = {
    {"newWindow:", &WorkspaceCommands::newWindow},
    {"newTab:", &WorkspaceCommands::newTab},
    {"showInFinder:", &WorkspaceCommands::showInFinder},
    {"copyPath:", &WorkspaceCommands::copyPath},
    {"shareDocument:", &WorkspaceCommands::shareDocument},
    {"reloadFromDisk:", &WorkspaceCommands::reloadFromDisk},
    {"exportSettings:", &WorkspaceCommands::exportSettings},
    {"importSettings:", &WorkspaceCommands::importSettings},
    {"pageSetup:", &WorkspaceCommands::pageSetup},
    {"printDocument:", &WorkspaceCommands::printDocument},
    {"showDocumentInfo:", &WorkspaceCommands::showDocumentInfo},
    {"showWarnings:", &WorkspaceCommands::showWarnings},
    {"showHelp:", &WorkspaceCommands::showHelp},
    {"toggleLineNumbers:", &WorkspaceCommands::toggleLineNumbers},
    {"toggleStatusBar:", &WorkspaceCommands::toggleStatusBar},
    {"toggleInvisibles:", &WorkspaceCommands::toggleInvisibles},
    {"togglePageGuide:", &WorkspaceCommands::togglePageGuide},
    {"toggleSpelling:", &WorkspaceCommands::toggleSpelling},
    {"toggleTabBar:", &WorkspaceCommands::toggleTabBar},
    {"selectPreviousTab:", &WorkspaceCommands::selectPreviousTab},
    {"selectNextTab:", &WorkspaceCommands::selectNextTab},
    {"moveTabToNewWindow:", &WorkspaceCommands::moveTabToNewWindow},
    {"mergeAllWindows:", &WorkspaceCommands::mergeAllWindows},
    {"toggleKeepOnTop:", &WorkspaceCommands::toggleKeepOnTop},
    {"showScriptConsole:", &WorkspaceCommands::showScriptConsole},
};

std::shared_ptr<MenuItem> makeItem(Responder* target, const QString& title, const QString& action,
                                   const QString& key = {})
{
    auto item = std::make_shared<MenuItem>(title, action, key);
    item->setTarget(target);
    return item;
}

std::shared_ptr<MenuItem> makeToggle(Responder* target, const QString& title, const QString& action, bool on)
{
    auto item = makeItem(target, title, action);
    item->setState(on ? MenuItem::State::on : MenuItem::State::off);
    return item;
}

// Sheets are window-modal dialogs; without a window the dialog blocks the whole application.
void openAsSheet(QDialog& dialog, QWidget* window)
{
    dialog.setWindowModality(window ? Qt::WindowModal : Qt::ApplicationModal);
    dialog.open();
}

}  // namespace

WorkspaceCommands::WorkspaceCommands(EditorWindowController& controller) : controller_(&controller)
{
    for (const ActionEntry& entry : kActions) {
        const Action action = entry.action;
        registerAction(QString::fromLatin1(entry.name), [this, action](MenuItem* sender) { (this->*action)(sender); });
    }
}

WorkspaceCommands::~WorkspaceCommands()
{
    delete helpDialog_;
}

EditorWindowController* WorkspaceCommands::controller() const
{
    return controller_;
}

KoriDocument* WorkspaceCommands::document() const
{
    return controller_ ? controller_->document() : nullptr;
}

std::optional<QString> WorkspaceCommands::fileURL() const
{
    KoriDocument* doc = document();
    if (!doc || doc->fileURL().isEmpty())
        return std::nullopt;
    return doc->fileURL();
}

// MARK: menu items

std::vector<std::shared_ptr<MenuItem>> WorkspaceCommands::fileMenuItems()
{
    auto pageSetupItem = makeItem(this, QStringLiteral("ページ設定…"), QStringLiteral("pageSetup:"), QStringLiteral("P"));
    return {
        makeItem(this, QStringLiteral("ファイルマネージャで表示"), QStringLiteral("showInFinder:")),
        makeItem(this, QStringLiteral("ファイルパスをコピー"), QStringLiteral("copyPath:")),
        makeItem(this, QStringLiteral("共有…"), QStringLiteral("shareDocument:")),
        MenuItem::separator(),
        makeItem(this, QStringLiteral("ディスクから再読み込み…"), QStringLiteral("reloadFromDisk:")),
        MenuItem::separator(),
        makeItem(this, QStringLiteral("設定を書き出す…"), QStringLiteral("exportSettings:")),
        makeItem(this, QStringLiteral("設定を読み込む…"), QStringLiteral("importSettings:")),
        MenuItem::separator(),
        pageSetupItem,
        makeItem(this, QStringLiteral("プリント…"), QStringLiteral("printDocument:"), QStringLiteral("p")),
    };
}

std::vector<std::shared_ptr<MenuItem>> WorkspaceCommands::viewMenuItems()
{
    const EditorSettingsSnapshot settings(UserDefaults::standard());
    return {
        makeItem(this, QStringLiteral("文書情報…"), QStringLiteral("showDocumentInfo:")),
        makeItem(this, QStringLiteral("文書の警告…"), QStringLiteral("showWarnings:")),
        MenuItem::separator(),
        makeToggle(this, QStringLiteral("行番号を表示"), QStringLiteral("toggleLineNumbers:"), settings.lineNumbers),
        makeToggle(this, QStringLiteral("ステータスを表示"), QStringLiteral("toggleStatusBar:"), settings.statusBar),
        makeToggle(this, QStringLiteral("不可視文字を表示"), QStringLiteral("toggleInvisibles:"), settings.invisibles),
        makeToggle(this, QStringLiteral("ページガイドを表示"), QStringLiteral("togglePageGuide:"), settings.showPageGuide),
        makeToggle(this, QStringLiteral("入力中にスペルを確認"), QStringLiteral("toggleSpelling:"), settings.spelling),
    };
}

std::vector<std::shared_ptr<MenuItem>> WorkspaceCommands::windowMenuItems()
{
    QWidget* window = controller_ ? controller_->window() : nullptr;
    const bool tabbed = window && WindowTabGroup::tabbedWindows(window).has_value();
    const bool onTop = window && WindowActions::level(window) == WindowActions::floatingLevel;
    const KeyModifiers commandShift = KeyModifier::Command | KeyModifier::Shift;
    auto previous = makeItem(this, QStringLiteral("前のタブを選択"), QStringLiteral("selectPreviousTab:"), QStringLiteral("{"));
    previous->setKeyEquivalentModifierMask(commandShift);
    auto next = makeItem(this, QStringLiteral("次のタブを選択"), QStringLiteral("selectNextTab:"), QStringLiteral("}"));
    next->setKeyEquivalentModifierMask(commandShift);
    // The keys Linux programs move between tabs with. X sends Ctrl+Shift+Tab as Backtab.
    previous->addAlternateKeyEquivalent(QStringLiteral("\t"), commandShift);
    previous->addAlternateKeyEquivalent(QString(QChar(0x19)), commandShift);
    previous->addAlternateKeyEquivalent(QString(QChar(0xF72C)), KeyModifier::Command);
    next->addAlternateKeyEquivalent(QStringLiteral("\t"), KeyModifier::Command);
    next->addAlternateKeyEquivalent(QString(QChar(0xF72D)), KeyModifier::Command);
    return {
        makeToggle(this, QStringLiteral("タブバーを表示"), QStringLiteral("toggleTabBar:"), tabbed),
        previous,
        next,
        makeItem(this, QStringLiteral("タブを新しいウインドウへ移動"), QStringLiteral("moveTabToNewWindow:")),
        makeItem(this, QStringLiteral("すべてのウインドウを結合"), QStringLiteral("mergeAllWindows:")),
        MenuItem::separator(),
        makeToggle(this, QStringLiteral("常に手前に表示"), QStringLiteral("toggleKeepOnTop:"), onTop),
        makeItem(this, QStringLiteral("スクリプト実行コンソール…"), QStringLiteral("showScriptConsole:")),
    };
}

// MARK: actions

void WorkspaceCommands::newWindow(MenuItem* sender)
{
    if (ApplicationDelegate* delegate = ApplicationDelegate::shared())
        delegate->newWindow(sender);
}

void WorkspaceCommands::newTab(MenuItem* sender)
{
    if (ApplicationDelegate* delegate = ApplicationDelegate::shared())
        delegate->newTab(sender);
}

void WorkspaceCommands::showInFinder(MenuItem*)
{
    const auto file = fileURL();
    if (!file) {
        presentUnsavedFileMessage();
        return;
    }
    FileManagerReveal::reveal(*file);
}

void WorkspaceCommands::copyPath(MenuItem*)
{
    const auto file = fileURL();
    if (!file) {
        presentUnsavedFileMessage();
        return;
    }
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->clear();
    clipboard->setText(*file);
}

void WorkspaceCommands::shareDocument(MenuItem*)
{
    if (!fileURL() || !controller_ || !controller_->window()) {
        presentUnsavedFileMessage();
        return;
    }
    if (AlertPresenter* alerts = AlertPresenter::shared())
        alerts->runModal(Alert{shareUnavailableMessage, {}, {QStringLiteral("OK")}, Alert::Style::informational});
}

void WorkspaceCommands::reloadFromDisk(MenuItem*)
{
    if (!fileURL()) {
        presentUnsavedFileMessage();
        return;
    }
    document()->revertDocumentToSaved();
}

void WorkspaceCommands::exportSettings(MenuItem* sender)
{
    if (controller_)
        SettingsWindowController::shared().exportSettings(sender);
}

void WorkspaceCommands::importSettings(MenuItem* sender)
{
    if (controller_)
        SettingsWindowController::shared().importSettings(sender);
}

QPrinter& WorkspaceCommands::printer()
{
    if (!printer_)
        printer_ = std::make_unique<QPrinter>();
    return *printer_;
}

void WorkspaceCommands::pageSetup(MenuItem*)
{
    if (!controller_ || !controller_->window())
        return;
    auto* dialog = new QPageSetupDialog(&printer(), controller_->window());
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    openAsSheet(*dialog, controller_->window());
}

void WorkspaceCommands::printDocument(MenuItem*)
{
    if (!controller_)
        return;
    EditorTextView* editor = controller_->activeEditor();
    if (!editor)
        return;
    QPrintDialog dialog(&printer(), controller_->window());
    dialog.setWindowModality(Qt::ApplicationModal);
    if (dialog.exec() != QDialog::Accepted)
        return;
    QTextDocument text;
    text.setDefaultFont(editor->font());
    text.setPlainText(editor->string());
    text.print(&printer());
}

void WorkspaceCommands::showDocumentInfo(MenuItem*)
{
    if (controller_)
        controller_->showDocumentInspector();
}

void WorkspaceCommands::showWarnings(MenuItem*)
{
    if (controller_)
        controller_->showWarningsInspector();
}

void WorkspaceCommands::showHelp(MenuItem*)
{
    QWidget* window = controller_ ? controller_->window() : nullptr;
    delete helpDialog_;
    auto* dialog = new QDialog(window);
    dialog->setWindowTitle(QStringLiteral("Korimadoヘルプ"));
    auto* layout = new QVBoxLayout(dialog);
    auto* message = new QLabel(QStringLiteral("Korimadoヘルプ"), dialog);
    QFont bold = message->font();
    bold.setBold(true);
    message->setFont(bold);
    layout->addWidget(message);
    layout->addWidget(new QLabel(QStringLiteral("主な操作"), dialog));
    auto* text = new QPlainTextEdit(helpText, dialog);
    text->setReadOnly(true);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    QFont font = QGuiApplication::font();
    font.setPointSize(12);
    text->setFont(font);
    text->setFixedSize(560, 340);
    text->document()->setDocumentMargin(8);
    layout->addWidget(text);
    auto* buttons = new QDialogButtonBox(dialog);
    buttons->addButton(QStringLiteral("閉じる"), QDialogButtonBox::AcceptRole);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    layout->addWidget(buttons);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    helpDialog_ = dialog;
    openAsSheet(*dialog, window);
}

void WorkspaceCommands::toggleLineNumbers(MenuItem*)
{
    setPreference(!EditorSettingsSnapshot(UserDefaults::standard()).lineNumbers, EditorSettingsKey::lineNumbers);
}

void WorkspaceCommands::toggleStatusBar(MenuItem*)
{
    setPreference(!EditorSettingsSnapshot(UserDefaults::standard()).statusBar, EditorSettingsKey::statusBar);
}

void WorkspaceCommands::toggleInvisibles(MenuItem*)
{
    setPreference(!EditorSettingsSnapshot(UserDefaults::standard()).invisibles, EditorSettingsKey::invisibles);
}

void WorkspaceCommands::togglePageGuide(MenuItem*)
{
    setPreference(!EditorSettingsSnapshot(UserDefaults::standard()).showPageGuide, EditorSettingsKey::showPageGuide);
}

void WorkspaceCommands::toggleSpelling(MenuItem*)
{
    setPreference(!EditorSettingsSnapshot(UserDefaults::standard()).spelling, EditorSettingsKey::spelling);
}

void WorkspaceCommands::setPreference(bool value, const QString& key)
{
    // A toggle left over from a closed window must not change every other window's settings.
    if (!controller_)
        return;
    UserDefaults::standard().setBool(key, value);
    EditorPreferences::applyAppearance();
    NotificationCenter::defaultCenter().post(editorPreferencesChanged);
    controller_->applyEditorPreferences();
    refreshMenus();
}

void WorkspaceCommands::sendWindowAction(const QString& action, MenuItem* sender)
{
    if (controller_ && controller_->window())
        WindowActions::forWindow(controller_->window())->perform(action, sender);
}

void WorkspaceCommands::toggleTabBar(MenuItem* sender)
{
    sendWindowAction(QStringLiteral("toggleTabBar:"), sender);
    refreshMenus();
}

void WorkspaceCommands::selectPreviousTab(MenuItem* sender)
{
    sendWindowAction(QStringLiteral("selectPreviousTab:"), sender);
}

void WorkspaceCommands::selectNextTab(MenuItem* sender)
{
    sendWindowAction(QStringLiteral("selectNextTab:"), sender);
}

void WorkspaceCommands::moveTabToNewWindow(MenuItem* sender)
{
    sendWindowAction(QStringLiteral("moveTabToNewWindow:"), sender);
}

void WorkspaceCommands::mergeAllWindows(MenuItem* sender)
{
    sendWindowAction(QStringLiteral("mergeAllWindows:"), sender);
}

void WorkspaceCommands::toggleKeepOnTop(MenuItem*)
{
    if (!controller_ || !controller_->window())
        return;
    QWidget* window = controller_->window();
    const bool floating = WindowActions::level(window) == WindowActions::floatingLevel;
    WindowActions::setLevel(window, floating ? WindowActions::normalLevel : WindowActions::floatingLevel);
    refreshMenus();
}

void WorkspaceCommands::showScriptConsole(MenuItem* sender)
{
    if (!controller_)
        return;
    if (!scriptConsole_) {
        std::optional<QString> folder;
        if (const auto file = fileURL())
            folder = QFileInfo(*file).absolutePath();
        scriptConsole_ = std::make_unique<WorkspaceScriptConsoleController>(folder);
    }
    scriptConsole_->showWindow(sender);
    WindowTracker::shared().makeKeyAndOrderFront(scriptConsole_->window());
}

void WorkspaceCommands::refreshMenus()
{
    if (ApplicationDelegate* delegate = ApplicationDelegate::shared(); delegate && controller_)
        delegate->refreshCommandMenus(*controller_);
}

void WorkspaceCommands::presentUnsavedFileMessage()
{
    KoriDocument* doc = document();
    AlertPresenter* alerts = doc && doc->alertPresenter() ? doc->alertPresenter() : AlertPresenter::shared();
    if (alerts)
        alerts->runModal(Alert{unsavedFileMessage, unsavedFileInformation, {QStringLiteral("OK")},
                               Alert::Style::warning});
}

// MARK: validation

std::optional<bool> WorkspaceCommands::validate(MenuItem& item)
{
    if (!controller_)
        return false;
    const QString action = item.action();
    if (action == QLatin1String("showInFinder:") || action == QLatin1String("copyPath:")
        || action == QLatin1String("shareDocument:") || action == QLatin1String("reloadFromDisk:"))
        return fileURL().has_value();
    if (action == QLatin1String("selectPreviousTab:") || action == QLatin1String("selectNextTab:")
        || action == QLatin1String("moveTabToNewWindow:")) {
        QWidget* window = controller_->window();
        const auto tabs = window ? WindowTabGroup::tabbedWindows(window) : std::nullopt;
        return tabs && tabs->size() > 1;
    }
    if (action == QLatin1String("mergeAllWindows:")) {
        int windows = 0;
        for (EditorWindowController* other : EditorWindowController::allControllers())
            if (other->window())
                ++windows;
        return windows > 1;
    }
    return true;
}

}  // namespace korimado
