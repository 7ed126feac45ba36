#pragma once

#include "app/ApplicationDelegate.h"
#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/documents/DocumentController.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowTracker.h"
#include "window/EditorWindowController.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMainWindow>
#include <QTest>

#include <memory>

namespace korimado::test {

// A launched application delegate with its menu, and helpers to open document windows.
class AppFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        AlertPresenter::setShared(&alerts);
        UserDefaults::standard().removeObject(DocumentController::recentDocumentsKey);
    }

    void TearDown() override
    {
        delegate.reset();
        QApplication::processEvents();
        AlertPresenter::setShared(nullptr);
    }

    void launch(const QStringList& arguments = {QStringLiteral("korimado")})
    {
        delegate = std::make_unique<ApplicationDelegate>(arguments);
        delegate->applicationWillFinishLaunching();
    }

    // A new untitled document whose window is key.
    EditorWindowController* openWindow()
    {
        delegate->documentControllerResponder().perform(QStringLiteral("newDocument:"), nullptr);
        EditorWindowController* controller = lastController();
        if (controller)
            WindowTracker::shared().makeKeyAndOrderFront(controller->window());
        return controller;
    }

    // A key document window with its menus, active, so that menu keys reach it; launches first
    // when nothing has been launched.
    EditorWindowController* activeWindow()
    {
        if (!delegate)
            launch();
        EditorWindowController* window = openWindow();
        if (!window)
            return nullptr;
        delegate->refreshCommandMenus(*window);
        window->window()->activateWindow();
        return QTest::qWaitForWindowActive(window->window()) ? window : nullptr;
    }

    EditorWindowController* lastController() const
    {
        const auto& documents = delegate->documents().documents();
        if (documents.empty() || documents.back()->windowControllers().empty())
            return nullptr;
        return dynamic_cast<EditorWindowController*>(documents.back()->windowControllers().front().get());
    }

    MenuModel* topMenu(const QString& title) const
    {
        MenuItem* item = delegate->mainMenu()->itemWithTitle(title);
        return item ? item->submenu() : nullptr;
    }

    MenuItem* item(const QString& menu, const QString& title) const
    {
        MenuModel* model = topMenu(menu);
        return model ? model->itemWithTitle(title) : nullptr;
    }

    bool enabled(MenuItem* menuItem) const { return ActionDispatcher::shared().validateItem(*menuItem); }

    ScriptedAlertPresenter alerts;
    std::unique_ptr<ApplicationDelegate> delegate;
};

}  // namespace korimado::test
