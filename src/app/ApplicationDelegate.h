#pragma once

#include "platform/ui/Responder.h"

#include <QPointer>
#include <QStringList>

#include <memory>

class QWidget;

namespace korimado {

class DocumentControllerActions;
class EditorWindowController;
class KoriDocumentController;
class MenuItem;
class MenuModel;
class QuickActions;
class UndoManager;

// The one application delegate: owns the shared document controller, builds the main menu,
// finishes launching and carries the application-wide menu actions.
class ApplicationDelegate : public Responder {
public:
    // arguments: the whole command line, the program path first.
    explicit ApplicationDelegate(QStringList arguments);
    ~ApplicationDelegate() override;

    // The delegate of the process, or nullptr.
    static ApplicationDelegate* shared();

    // --- launching
    // Builds the main menu and shows it in every window.
    void applicationWillFinishLaunching();
    // Opens each file named on the command line, the first at once and the others one per turn
    // of the event loop, so that the first window paints while the rest open; errors are presented.
    void openFiles(const QStringList& paths);
    // Files named to openFiles that have not been opened yet.
    qsizetype pendingFileCount() const { return pendingFiles_.size(); }
    // Icon, appearance, autosave delay, then a self-test suite or the untitled document, activation.
    void applicationDidFinishLaunching();
    bool applicationShouldOpenUntitledFile() const;
    static bool applicationSupportsSecureRestorableState() { return true; }
    bool hasFlag(const QString& flag) const { return arguments_.contains(flag); }
    // The command line's file arguments: everything that is not a flag, and all after "--".
    static QStringList fileArguments(const QStringList& arguments);

    // --- actions
    void newTab(MenuItem* sender);
    void newWindow(MenuItem* sender);
    void searchAction(MenuItem* sender);
    void showHelp(MenuItem* sender);
    void showQuickActions(MenuItem* sender);
    void showConsole(MenuItem* sender);
    void openRecent(MenuItem* sender);
    void undo(MenuItem* sender);
    void redo(MenuItem* sender);
    void showSettings(MenuItem* sender);

    // Rebuilds the window-dependent parts of the main menu for one document window.
    void refreshCommandMenus(EditorWindowController& window);

    // --- state, public for the program's other parts and tests
    KoriDocumentController& documents() const { return *documents_; }
    Responder& documentControllerResponder() const;
    QuickActions* quickActions() const { return quickActions_.get(); }
    const std::shared_ptr<MenuModel>& mainMenu() const { return mainMenu_; }
    MenuItem* textRoot() const { return textRoot_.get(); }
    MenuItem* formatRoot() const { return formatRoot_.get(); }
    MenuItem* recentRoot() const { return recentRoot_.get(); }
    MenuModel* fileMenu() const { return fileMenu_.get(); }
    MenuModel* viewMenu() const { return viewMenu_.get(); }
    MenuModel* windowMenu() const { return windowMenu_.get(); }
    int fileBaseCount() const { return fileBaseCount_; }
    int viewBaseCount() const { return viewBaseCount_; }
    int windowBaseCount() const { return windowBaseCount_; }

    // The key window's editor window controller, else the main window's; nullptr otherwise.
    static EditorWindowController* active();
    // The undo manager the Edit menu's undo and redo act on, or nullptr.
    static UndoManager* activeUndoManager();

    static constexpr double autosavingDelay = 45;
    static constexpr int recentMenuLimit = 20;

private:
    void registerActions();
    void registerApplicationActions();
    void quitIfNoWindowRemains();
    void openNextFile();
    void runSelfTest();
    void rebuildRecentMenu();
    void showAboutPanel();
    void showFontPanel();

    QStringList arguments_;
    std::unique_ptr<KoriDocumentController> documents_;  // first, so that it becomes the shared one
    std::unique_ptr<DocumentControllerActions> documentActions_;
    std::unique_ptr<QuickActions> quickActions_;
    std::shared_ptr<MenuItem> textRoot_;
    std::shared_ptr<MenuItem> formatRoot_;
    std::shared_ptr<MenuItem> recentRoot_;
    std::shared_ptr<MenuModel> mainMenu_;
    std::shared_ptr<MenuModel> fileMenu_;
    std::shared_ptr<MenuModel> viewMenu_;
    std::shared_ptr<MenuModel> windowMenu_;
    int fileBaseCount_ = 0;
    int viewBaseCount_ = 0;
    int windowBaseCount_ = 0;
    QPointer<QWidget> aboutPanel_;
    QStringList pendingFiles_;
    bool openingFiles_ = false;
    bool quitCheckAfterFiles_ = false;  // launching found files still to open: check once they are
};

}  // namespace korimado
