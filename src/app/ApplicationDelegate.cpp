#include "app/ApplicationDelegate.h"

#include "app/DocumentActions.h"
#include "app/DocumentControllerActions.h"
#include "app/MainMenu.h"
#include "app/QuickActions.h"
#include "app/WorkspaceCommands.h"
#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "platform/foundation/FilePath.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/MenuBinder.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/UndoMenuValidation.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/text/TextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowTabGroup.h"
#include "platform/ui/WindowTracker.h"
#include "scripting/console/ScriptConsole.h"
#include "scripting/guide/ScriptingGuide.h"
#include "search/ui/SearchController.h"
#include "selftest/IntegrationTests.h"
#include "selftest/SVGTreeTests.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SelfTestSelection.h"
#include "selftest/UITestRunner.h"
#include "settings/EditorPreferences.h"
#include "settings/EditorSettingsKeys.h"
#include "preferences/SettingsWindowController.h"
#include "window/EditorWindowController.h"

#include <QApplication>
#include <QFileInfo>
#include <QFontDialog>
#include <QIcon>
#include <QImage>
#include <QMainWindow>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

#include <utility>
#include <QToolBar>
#include <QUrl>

namespace korimado {

namespace {

ApplicationDelegate* sharedDelegate = nullptr;

const QString selfTestFlag = QStringLiteral("--ui-self-test");

QWidget* windowOf(Document* document)
{
    if (!document || document->windowControllers().empty())
        return nullptr;
    auto* controller = dynamic_cast<EditorWindowController*>(document->windowControllers().front().get());
    return controller ? controller->window() : nullptr;
}

// Our shown top-level windows, the key one last, so that raising them in order leaves it in front.
QList<QWidget*> applicationWindows()
{
    QList<QWidget*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->isWindow() && widget->windowType() != Qt::Popup && widget->windowType() != Qt::ToolTip
            && widget->windowType() != Qt::Desktop)
            windows.append(widget);
    return windows;
}

// The text view with the key window's keyboard focus; the focus may rest on its viewport.
TextView* focusedTextView()
{
    QWidget* key = WindowTracker::shared().keyWindow();
    QWidget* focus = key ? key->focusWidget() : nullptr;
    if (focus && !dynamic_cast<TextView*>(focus))
        focus = focus->parentWidget();
    return dynamic_cast<TextView*>(focus);
}

// The toolbar of the key window, if it has one.
QToolBar* keyWindowToolbar()
{
    QWidget* key = WindowTracker::shared().keyWindow();
    return key ? key->findChild<QToolBar*>(QString(), Qt::FindDirectChildrenOnly) : nullptr;
}

}  // namespace

ApplicationDelegate::ApplicationDelegate(QStringList arguments)
    : arguments_(std::move(arguments)),
      documents_(std::make_unique<KoriDocumentController>()),
      documentActions_(std::make_unique<DocumentControllerActions>(*documents_)),
      textRoot_(std::make_shared<MenuItem>(QStringLiteral("テキスト"))),
      formatRoot_(std::make_shared<MenuItem>(QStringLiteral("書式"))),
      recentRoot_(std::make_shared<MenuItem>(QStringLiteral("最近使った項目")))
{
    if (!sharedDelegate)
        sharedDelegate = this;
    KoriDocument::setDefaultFormatProvider(
        [this] { return EditorPreferences::defaultTextFormat(documents_->defaults()); });
    registerActions();
    registerApplicationActions();
    documentActions_->recentDocumentsChanged = [this] { rebuildRecentMenu(); };
    // Looked at once the closing is over: a command may close one document and open another.
    QObject::connect(documents_.get(), &DocumentController::documentRemoved, documents_.get(), [this] {
        QTimer::singleShot(0, documents_.get(), [this] { quitIfNoWindowRemains(); });
    });

    ActionDispatcher::shared().setApplicationDelegate(this);
    ActionDispatcher::shared().setDocumentController(documentActions_.get());
    EditorWindowController::install();
    EditorWindowController::setCommandMenuRefresher([](EditorWindowController& window) {
        if (sharedDelegate)
            sharedDelegate->refreshCommandMenus(window);
    });
    EditorWindowController::setWorkspaceCommandsFactory(
        [](EditorWindowController& window) { return std::make_shared<WorkspaceCommands>(window); });
}

ApplicationDelegate::~ApplicationDelegate()
{
    if (sharedDelegate == this)
        sharedDelegate = nullptr;
    // Windows close with their documents; the menu goes once nothing shows it.
    KoriDocument::setDefaultFormatProvider({});
    documents_.reset();
    if (mainMenu_ && MenuBinder::shared().mainMenu() == mainMenu_.get()) {
        MenuBinder::shared().setMainMenu(nullptr);
        MenuBinder::shared().setWindowsMenu(nullptr);
        MenuBinder::shared().setServicesMenu(nullptr);
    }
}

ApplicationDelegate* ApplicationDelegate::shared()
{
    return sharedDelegate;
}

Responder& ApplicationDelegate::documentControllerResponder() const
{
    return *documentActions_;
}

QStringList ApplicationDelegate::fileArguments(const QStringList& arguments)
{
    QStringList files;
    bool optionsEnded = false;
    for (const QString& argument : arguments.mid(1)) {
        if (!optionsEnded && argument == QLatin1String("--"))
            optionsEnded = true;
        else if (optionsEnded || !argument.startsWith(QLatin1String("--")))
            files.append(argument);
    }
    return files;
}

// MARK: launching

void ApplicationDelegate::applicationWillFinishLaunching()
{
    const MainMenu::Built built = MainMenu::build({textRoot_, formatRoot_, recentRoot_},
                                                  {this, documentActions_.get(), &ScriptingGuide::shared()});
    mainMenu_ = built.mainMenu;
    fileMenu_ = built.fileMenu;
    viewMenu_ = built.viewMenu;
    windowMenu_ = built.windowMenu;
    fileBaseCount_ = fileMenu_->numberOfItems();
    viewBaseCount_ = viewMenu_->numberOfItems();
    windowBaseCount_ = windowMenu_->numberOfItems();

    MenuBinder& binder = MenuBinder::shared();
    binder.setServicesMenu(built.servicesMenu);
    binder.setWindowsMenu(windowMenu_);
    binder.setMainMenu(mainMenu_);
}

void ApplicationDelegate::openFiles(const QStringList& paths)
{
    pendingFiles_ += paths;
    if (!openingFiles_)
        openNextFile();
}

void ApplicationDelegate::openNextFile()
{
    if (pendingFiles_.isEmpty()) {
        openingFiles_ = false;
        if (std::exchange(quitCheckAfterFiles_, false))
            quitIfNoWindowRemains();
        return;
    }
    openingFiles_ = true;
    const QString path = pendingFiles_.takeFirst();
    documents_->openDocument(standardizedPath(path), true,
                             [this](Document*, bool, std::optional<ErrorInfo> error) {
                                 if (error)
                                     documents_->presentError(*error);
                             });
    // Two hundred windows made in one go keep the screen black until the last is done.
    QTimer::singleShot(0, documents_.get(), [this] { openNextFile(); });
}

void ApplicationDelegate::applicationDidFinishLaunching()
{
    // Qt reads no .icns: the icon is bundled as a PNG (the desktop takes the installed theme icon).
    const QString icon = Bundle::main().path(QStringLiteral("AppIcon"), QStringLiteral("png"));
    if (!icon.isEmpty()) {
        const QImage image(icon);
        if (!image.isNull())
            QApplication::setWindowIcon(QIcon(QPixmap::fromImage(image)));
    }
    EditorPreferences::applyAppearance();
    documents_->setAutosavingDelay(autosavingDelay);

    if (hasFlag(selfTestFlag)) {
        // The suite starts once the event loop runs; a delegate gone by then starts nothing.
        QTimer::singleShot(0, qApp, [self = ResponderRef(this)] {
            if (auto* delegate = static_cast<ApplicationDelegate*>(self.get()))
                delegate->runSelfTest();
        });
    } else if (!documents_->offerAutosavedDocuments(true).empty()) {
        // What was lost is back: no untitled document beside it.
    } else if (documents_->documents().empty() && arguments_.size() == 1) {
        documentActions_->newDocument();
    } else if (!fileArguments(arguments_).isEmpty()) {
        // Files named on the command line that all failed leave nothing to show once their alerts
        // are answered: the process goes, as after closing its last window.
        if (openingFiles_)
            quitCheckAfterFiles_ = true;
        else
            QTimer::singleShot(0, documents_.get(), [this] { quitIfNoWindowRemains(); });
    }

    if (!SelfTestSelection::keepsWindowsInBackground(arguments_)) {
        QWidget* front = WindowTracker::shared().keyWindow();
        if (!front && !documents_->documents().empty())
            front = windowOf(documents_->documents().back());
        if (front) {
            front->raise();
            front->activateWindow();
        }
    }
}

void ApplicationDelegate::runSelfTest()
{
    IntegrationTests::fileMenuItemCount = [](QWidget* window) -> std::size_t {
        EditorWindowController* controller = EditorWindowController::controllerForWindow(window);
        WorkspaceCommands* workspace = controller ? controller->workspaceCommands() : nullptr;
        return workspace ? workspace->fileMenuItems().size() : 0;
    };
    switch (SelfTestSelection::suiteFor(arguments_)) {
    case SelfTestSuite::none: break;
    case SelfTestSuite::startupLayout: SelfTestFrame::run(IntegrationTests::runStartupLayout()); break;
    case SelfTestSuite::featurePerformance: SelfTestFrame::run(IntegrationTests::runFeaturePerformance()); break;
    case SelfTestSuite::integration: SelfTestFrame::run(IntegrationTests::run()); break;
    case SelfTestSuite::features: SelfTestFrame::run(SVGTreeTests::run()); break;
    case SelfTestSuite::ui: SelfTestFrame::run(UITestRunner::run()); break;
    }
}

bool ApplicationDelegate::applicationShouldOpenUntitledFile() const
{
    return !hasFlag(selfTestFlag);
}

// MARK: actions

void ApplicationDelegate::registerActions()
{
    const auto whenActive = [](MenuItem&) -> std::optional<bool> { return active() != nullptr; };
    registerAction(QStringLiteral("newTab:"), [this](MenuItem* sender) { newTab(sender); });
    registerAction(QStringLiteral("newWindow:"), [this](MenuItem* sender) { newWindow(sender); });
    registerAction(MainMenu::searchRelayAction, [this](MenuItem* sender) { searchAction(sender); }, whenActive);
    registerAction(QStringLiteral("showHelp:"), [this](MenuItem* sender) { showHelp(sender); }, whenActive);
    registerAction(QStringLiteral("showQuickActions:"), [this](MenuItem* sender) { showQuickActions(sender); });
    registerAction(QStringLiteral("showConsole:"), [this](MenuItem* sender) { showConsole(sender); });
    registerAction(QStringLiteral("openRecent:"), [this](MenuItem* sender) { openRecent(sender); });
    registerAction(QStringLiteral("undo:"), [this](MenuItem* sender) { undo(sender); },
                   [](MenuItem& item) -> std::optional<bool> {
                       return UndoMenuValidation::validate(item, activeUndoManager());
                   });
    registerAction(QStringLiteral("redo:"), [this](MenuItem* sender) { redo(sender); },
                   [](MenuItem& item) -> std::optional<bool> {
                       return UndoMenuValidation::validate(item, activeUndoManager());
                   });
    registerAction(QStringLiteral("showSettings:"), [this](MenuItem* sender) { showSettings(sender); });
}

// What the application object does on the platform the program was designed for; the delegate
// is the last responder here, so it stands in.
void ApplicationDelegate::registerApplicationActions()
{
    registerAction(QStringLiteral("orderFrontStandardAboutPanel:"), [this](MenuItem*) { showAboutPanel(); });
    registerAction(QStringLiteral("orderFrontFontPanel:"), [this](MenuItem*) { showFontPanel(); });
    registerAction(QStringLiteral("hide:"), [](MenuItem*) {
        for (QWidget* window : applicationWindows())
            if (window->isVisible())
                window->showMinimized();
    });
    // Other programs' windows are not ours to hide here.
    registerAction(QStringLiteral("hideOtherApplications:"), [](MenuItem*) {},
                   [](MenuItem&) -> std::optional<bool> { return false; });
    registerAction(QStringLiteral("unhideAllApplications:"), [](MenuItem*) {
        for (QWidget* window : applicationWindows())
            if (window->isMinimized())
                window->showNormal();
    });
    registerAction(QStringLiteral("arrangeInFront:"), [](MenuItem*) {
        QWidget* key = WindowTracker::shared().keyWindow();
        for (EditorWindowController* controller : EditorWindowController::allControllers())
            if (QWidget* window = controller->window(); window && window->isVisible() && window != key)
                window->raise();
        if (key)
            key->raise();
    });
    registerAction(
        QStringLiteral("toggleToolbarShown:"),
        [](MenuItem*) {
            if (QToolBar* bar = keyWindowToolbar())
                bar->setVisible(bar->isHidden());
        },
        [](MenuItem&) -> std::optional<bool> { return keyWindowToolbar() != nullptr; });
    registerAction(QStringLiteral("terminate:"), [this](MenuItem*) {
        if (documents_->closeAllDocuments())
            QApplication::quit();
    });
}

void ApplicationDelegate::quitIfNoWindowRemains()
{
    // A closing document hides its windows rather than closing them, so Qt never sees its last
    // window go: without a menu bar of its own a process with no window could not be reached.
    if (!QApplication::quitOnLastWindowClosed() || !documents_->documents().empty())
        return;
    // A self-test closes and opens documents on its way; its own rule ends the process.
    if (SelfTestFrame::isSuiteRunning())
        return;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        const Qt::WindowType type = widget->windowType();
        if (widget->isVisible() && widget->testAttribute(Qt::WA_QuitOnClose) && !widget->parentWidget()
            && type != Qt::Popup && type != Qt::ToolTip && type != Qt::SplashScreen)
            return;
    }
    QApplication::quit();
}

void ApplicationDelegate::newTab(MenuItem*)
{
    QWidget* remembered = nullptr;
    if (EditorWindowController* current = active())
        remembered = current->window();
    // The window of the document just made, not the last one listed: the list's order is not
    // the order of creation once documents close, and a failed creation must merge nothing.
    Document* created = documentActions_->newDocument();
    if (!remembered || !created)
        return;
    QWidget* window = windowOf(created);
    if (!window || window == remembered)
        return;
    WindowTabGroup::addTabbedWindow(remembered, window, WindowTabGroup::Ordering::above);
    WindowTracker::shared().makeKeyAndOrderFront(window);
    // The window became key before it joined the group: its menus show the group now.
    if (EditorWindowController* controller = EditorWindowController::controllerForWindow(window))
        refreshCommandMenus(*controller);
}

void ApplicationDelegate::newWindow(MenuItem*)
{
    Document* created = documentActions_->newDocument();
    if (QWidget* window = windowOf(created))
        WindowTabGroup::setTabbingMode(window, WindowTabGroup::TabbingMode::disallowed);
}

void ApplicationDelegate::searchAction(MenuItem* sender)
{
    if (!sender)
        return;
    const QVariant object = sender->representedObject();
    if (object.typeId() != QMetaType::QString)
        return;
    EditorWindowController* window = active();
    if (!window)
        return;
    window->search().perform(object.toString(), sender);
}

void ApplicationDelegate::showHelp(MenuItem* sender)
{
    if (EditorWindowController* window = active())
        if (WorkspaceCommands* commands = window->workspaceCommands())
            commands->showHelp(sender);
}

void ApplicationDelegate::showQuickActions(MenuItem*)
{
    if (!quickActions_)
        quickActions_ = std::make_unique<QuickActions>();
    quickActions_->show();
}

void ApplicationDelegate::showConsole(MenuItem* sender)
{
    ScriptConsole::shared().showWindow(sender);
}

void ApplicationDelegate::openRecent(MenuItem* sender)
{
    if (!sender)
        return;
    const QVariant object = sender->representedObject();
    if (object.typeId() != QMetaType::QUrl || !object.toUrl().isLocalFile())
        return;
    documents_->openDocument(object.toUrl().toLocalFile(), true,
                             [this](Document*, bool, std::optional<ErrorInfo> error) {
                                 if (error)
                                     documents_->presentError(*error);
                             });
}

void ApplicationDelegate::undo(MenuItem*)
{
    if (UndoManager* manager = activeUndoManager())
        manager->undo();
}

void ApplicationDelegate::redo(MenuItem*)
{
    if (UndoManager* manager = activeUndoManager())
        manager->redo();
}

void ApplicationDelegate::showSettings(MenuItem* sender)
{
    SettingsWindowController& settings = SettingsWindowController::shared();
    settings.sync();
    settings.showWindow(sender);
    WindowTracker::shared().makeKeyAndOrderFront(settings.window());
}

void ApplicationDelegate::showAboutPanel()
{
    if (!aboutPanel_) {
        auto* box = new QMessageBox(QMessageBox::Information, QStringLiteral("Korimadoについて"),
                                    QStringLiteral("Korimado %1").arg(QStringLiteral(KORIMADO_VERSION)),
                                    QMessageBox::Ok);
        box->setInformativeText(QStringLiteral("テキストとソースコードのためのエディタ"));
        box->setAttribute(Qt::WA_DeleteOnClose);
        box->setModal(false);
        aboutPanel_ = box;
    }
    aboutPanel_->show();
    aboutPanel_->raise();
    aboutPanel_->activateWindow();
}

// The nearest thing to the shared font panel: choosing the editor font, which every window follows.
void ApplicationDelegate::showFontPanel()
{
    bool chosen = false;
    const QFont font = QFontDialog::getFont(&chosen, EditorPreferences::editorFont(), nullptr,
                                            QStringLiteral("フォント"), QFontDialog::MonospacedFonts);
    if (!chosen)
        return;
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString(EditorSettingsKey::fontName, font.family());
    defaults.setDouble(EditorSettingsKey::fontSize, font.pointSizeF());
    NotificationCenter::defaultCenter().post(editorPreferencesChanged);
}

// MARK: the window-dependent menus

EditorWindowController* ApplicationDelegate::active()
{
    WindowTracker& tracker = WindowTracker::shared();
    if (EditorWindowController* key = EditorWindowController::controllerForWindow(tracker.keyWindow()))
        return key;
    return EditorWindowController::controllerForWindow(tracker.mainWindow());
}

UndoManager* ApplicationDelegate::activeUndoManager()
{
    QWidget* key = WindowTracker::shared().keyWindow();
    if (!key)
        return nullptr;
    if (TextView* view = focusedTextView())
        if (UndoManager* manager = view->undoManager())
            return manager;
    if (EditorWindowController* controller = EditorWindowController::controllerForWindow(key))
        if (KoriDocument* document = controller->document())
            return document->undoManager();
    return nullptr;
}

void ApplicationDelegate::rebuildRecentMenu()
{
    auto menu = std::make_shared<MenuModel>(QStringLiteral("最近使った項目"));
    const QStringList recent = documents_->recentDocumentURLs().mid(0, recentMenuLimit);
    for (const QString& path : recent) {
        MenuItem* item = menu->addItem(QFileInfo(path).fileName(), QStringLiteral("openRecent:"));
        item->setTarget(this);
        item->setRepresentedObject(QUrl::fromLocalFile(path));
    }
    if (menu->numberOfItems() > 0)
        menu->addSeparator();
    menu->addItem(QStringLiteral("履歴を消去"), QStringLiteral("clearRecentDocuments:"))
        ->setTarget(documentActions_.get());
    recentRoot_->setSubmenu(menu);
}

void ApplicationDelegate::refreshCommandMenus(EditorWindowController& window)
{
    // Every document window shows the main menu, and its document answers save and revert.
    if (QWidget* shown = window.window()) {
        MenuBinder::shared().attach(shown);
        DocumentActions::install(shown, window.document());
    }
    rebuildRecentMenu();

    TextCommands& commands = window.commands();
    auto textMenu = commands.menu();
    textMenu->addItem(QStringLiteral("詳細文字数…"), QStringLiteral("showAdvancedCounter:"))->setTarget(&window);
    textRoot_->setSubmenu(textMenu);

    auto formatMenu = std::make_shared<MenuModel>(QStringLiteral("書式"));
    formatMenu->addItem(QStringLiteral("フォントパネルを表示"), QStringLiteral("orderFrontFontPanel:"))->setTarget(this);
    formatMenu->addItem(QStringLiteral("構文"), {})->setSubmenu(commands.syntaxMenu());
    auto outline = std::make_shared<MenuModel>(QStringLiteral("アウトライン"));
    formatMenu->addItem(QStringLiteral("アウトライン"), {})->setSubmenu(outline);
    commands.publishOutlineMenu(*outline);
    formatRoot_->setSubmenu(formatMenu);

    if (mainMenu_)
        if (MenuItem* edit = mainMenu_->itemWithTitle(QStringLiteral("編集")); edit && edit->submenu())
            if (MenuItem* select = edit->submenu()->itemWithTag(MainMenu::selectMenuTag))
                select->setSubmenu(commands.selectMenu());

    WorkspaceCommands* workspace = window.workspaceCommands();
    if (!workspace)
        return;
    const std::pair<MenuModel*, int> menus[] = {
        {fileMenu_.get(), fileBaseCount_}, {viewMenu_.get(), viewBaseCount_}, {windowMenu_.get(), windowBaseCount_}};
    const std::vector<std::shared_ptr<MenuItem>> tails[] = {
        workspace->fileMenuItems(), workspace->viewMenuItems(), workspace->windowMenuItems()};
    for (int i = 0; i < 3; ++i) {
        MenuModel* menu = menus[i].first;
        if (!menu)
            continue;
        while (menu->numberOfItems() > menus[i].second)
            menu->removeItemAt(menu->numberOfItems() - 1);
        if (tails[i].empty())
            continue;
        menu->addSeparator();
        for (const auto& item : tails[i])
            menu->addItem(item);
    }
}

}  // namespace korimado
