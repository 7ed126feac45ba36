#pragma once

#include "platform/ui/Responder.h"

#include <QDialog>
#include <QPointer>
#include <QString>

#include <memory>
#include <optional>
#include <vector>

class QPrinter;

namespace korimado {

class EditorWindowController;
class KoriDocument;
class MenuItem;
class WorkspaceScriptConsoleController;

// The window-level commands at the ends of the File, View and Window menus, one object per
// document window. Every command does nothing once its window is gone, or shows the unsaved-file
// message where it needs a file on disk.
class WorkspaceCommands : public Responder {
public:
    explicit WorkspaceCommands(EditorWindowController& controller);
    ~WorkspaceCommands() override;

    EditorWindowController* controller() const;
    WorkspaceScriptConsoleController* scriptConsole() const { return scriptConsole_.get(); }

    // Fresh items on every call, all targeted at this object.
    std::vector<std::shared_ptr<MenuItem>> fileMenuItems();
    // The five setting toggles carry check marks read from the settings now.
    std::vector<std::shared_ptr<MenuItem>> viewMenuItems();
    std::vector<std::shared_ptr<MenuItem>> windowMenuItems();

    void newWindow(MenuItem* sender);
    void newTab(MenuItem* sender);
    void showInFinder(MenuItem* sender);
    void copyPath(MenuItem* sender);
    void shareDocument(MenuItem* sender);
    void reloadFromDisk(MenuItem* sender);
    void exportSettings(MenuItem* sender);
    void importSettings(MenuItem* sender);
    void pageSetup(MenuItem* sender);
    void printDocument(MenuItem* sender);
    void showDocumentInfo(MenuItem* sender);
    void showWarnings(MenuItem* sender);
    void showHelp(MenuItem* sender);
    void toggleLineNumbers(MenuItem* sender);
    void toggleStatusBar(MenuItem* sender);
    void toggleInvisibles(MenuItem* sender);
    void togglePageGuide(MenuItem* sender);
    void toggleSpelling(MenuItem* sender);
    void toggleTabBar(MenuItem* sender);
    void selectPreviousTab(MenuItem* sender);
    void selectNextTab(MenuItem* sender);
    void moveTabToNewWindow(MenuItem* sender);
    void mergeAllWindows(MenuItem* sender);
    void toggleKeepOnTop(MenuItem* sender);
    void showScriptConsole(MenuItem* sender);
    std::optional<bool> validate(MenuItem& item) override;

    // The help alert last shown, while it is open.
    QDialog* helpDialog() const { return helpDialog_; }

    static const QString helpText;
    static inline const QString unsavedFileMessage = QStringLiteral("先にファイルを保存してください。");
    static inline const QString unsavedFileInformation = QStringLiteral("この操作にはディスク上のファイルが必要です。");
    static inline const QString shareUnavailableMessage = QStringLiteral("このシステムでは共有を利用できません。");

private:
    KoriDocument* document() const;
    // The document's file, or nothing for an unsaved document or a gone window.
    std::optional<QString> fileURL() const;
    void presentUnsavedFileMessage();
    void setPreference(bool value, const QString& key);
    void sendWindowAction(const QString& action, MenuItem* sender);
    void refreshMenus();
    QPrinter& printer();

    QPointer<EditorWindowController> controller_;
    std::unique_ptr<WorkspaceScriptConsoleController> scriptConsole_;
    std::unique_ptr<QPrinter> printer_;
    QPointer<QDialog> helpDialog_;
};

}  // namespace korimado
