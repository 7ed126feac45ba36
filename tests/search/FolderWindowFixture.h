#pragma once

#include "search/ui/FolderFindWindowController.h"

#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "search/ui/FolderFindResultsModel.h"
#include "search/ui/SearchController.h"
#include "support/TestSupport.h"
#include "window/EditorWindowController.h"

#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>
#include <utility>

namespace korimado::test {

// Document windows opened through a document controller, and the folder window of one of them.

// Answers like the scripted presenter, after running a hook while "the dialog is up".
class HookedAlertPresenter : public ScriptedAlertPresenter {
public:
    std::function<void()> whileShown;
    using ScriptedAlertPresenter::runModal;
    int runModal(const Alert& alert) override
    {
        if (whileShown) std::exchange(whileShown, nullptr)();
        return ScriptedAlertPresenter::runModal(alert);
    }
};

class FolderWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AlertPresenter::setShared(&alerts);
        FilePanels::setShared(&panels);
        controller.setAlertPresenter(&alerts);
        KoriDocument::setWindowControllerFactory(
            [](KoriDocument& document) { return std::make_unique<EditorWindowController>(document); });
        QDir().mkpath(root);
    }
    void TearDown() override
    {
        for (Document* document : std::vector<Document*>(controller.documents())) document->close();
        QApplication::processEvents();
        KoriDocument::setWindowControllerFactory({});
        AlertPresenter::setShared(nullptr);
        FilePanels::setShared(nullptr);
    }

    QString write(const QString& relative, const QByteArray& bytes) const { return dir.write("project/" + relative, bytes); }
    QString at(const QString& relative) const { return root + "/" + relative; }

    EditorWindowController* open(const QString& path)
    {
        Document* opened = nullptr;
        controller.openDocument(path, true, [&](Document* document, bool, auto) { opened = document; });
        if (!opened || opened->windowControllers().empty()) return nullptr;
        return dynamic_cast<EditorWindowController*>(opened->windowControllers().front().get());
    }

    // Opens the folder window from the find panel of window.
    FolderFindWindowController* show(EditorWindowController* window)
    {
        window->search().perform(QStringLiteral("showFolderFind:"), nullptr);
        FolderFindWindowController* folder = window->search().folderController();
        if (folder) folder->beep = [this] { ++beeps; };
        return folder;
    }

    // A document window on project/doc.txt and its folder window, searching the project folder.
    FolderFindWindowController* folderWindow()
    {
        window = open(write("doc.txt", "nothing to see\n"));
        if (!window) return nullptr;
        FolderFindWindowController* folder = show(window);
        if (folder) folder->rootField()->setText(root);
        return folder;
    }

    static bool settle(FolderFindWindowController* folder)
    {
        const bool done = QTest::qWaitFor([folder] { return !folder->isRunning(); }, 10000);
        QTest::qWait(1);
        return done;
    }
    static bool search(FolderFindWindowController* folder, const QString& pattern, const QString& replacement = QString())
    {
        folder->findField()->setText(pattern);
        folder->replaceField()->setText(replacement);
        folder->searchFolder();
        return settle(folder);
    }
    // Previews the searched replacement and applies it to every ticked file.
    static bool previewAndApply(FolderFindWindowController* folder)
    {
        folder->makePreview();
        if (!settle(folder)) return false;
        folder->applyPreview();
        return settle(folder);
    }
    static QString cell(FolderFindWindowController* folder, int row, int column, int role = Qt::DisplayRole)
    {
        return folder->tableModel()->data(folder->tableModel()->index(row, column), role).toString();
    }
    static bool ticked(FolderFindWindowController* folder, int row)
    {
        return folder->tableModel()->data(folder->tableModel()->index(row, 0), Qt::CheckStateRole).toInt() == Qt::Checked;
    }
    static bool tickable(FolderFindWindowController* folder, int row)
    {
        return folder->tableModel()->flags(folder->tableModel()->index(row, 0)).testFlag(Qt::ItemIsEnabled);
    }
    static void tick(FolderFindWindowController* folder, int row, bool on)
    {
        folder->tableModel()->setData(folder->tableModel()->index(row, 0), on ? Qt::Checked : Qt::Unchecked,
                                      Qt::CheckStateRole);
    }

    test::TempDir dir;
    QString root = dir.file("project");
    HookedAlertPresenter alerts;
    ScriptedFilePanels panels;
    UserDefaults defaults;
    KoriDocumentController controller{&defaults};
    EditorWindowController* window = nullptr;
    int beeps = 0;
};

}  // namespace korimado::test
