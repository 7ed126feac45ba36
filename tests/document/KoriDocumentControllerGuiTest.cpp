#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowController.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>

using namespace korimado;
using korimado::test::TempDir;

namespace {

class CountingWindow : public WindowController {
public:
    int shown = 0;
    void showWindow() override { ++shown; }
};

struct Fixture {
    UserDefaults defaults;
    ScriptedAlertPresenter alerts;
    ScriptedFilePanels panels;
    KoriDocumentController controller{&defaults};
    Fixture()
    {
        controller.setAlertPresenter(&alerts);
        controller.setFilePanels(&panels);
        KoriDocument::setWindowControllerFactory([](KoriDocument&) { return std::make_unique<CountingWindow>(); });
    }
    ~Fixture() { KoriDocument::setWindowControllerFactory({}); }
};

CountingWindow* window(Document* document)
{
    return static_cast<CountingWindow*>(document->windowControllers().at(0).get());
}

}  // namespace

TEST(KoriDocumentControllerGuiTest, OpensFoldersAsFolderDocumentsOnce)
{
    Fixture f;
    TempDir dir;
    QDir().mkpath(dir.file("project"));
    Document* first = nullptr;
    f.controller.openDocument(dir.file("project"), true, [&](Document* d, bool alreadyOpen, auto error) {
        first = d;
        EXPECT_FALSE(alreadyOpen);
        EXPECT_FALSE(error);
    });
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(static_cast<KoriDocument*>(first)->rootDirectory(), dir.file("project"));
    EXPECT_TRUE(first->fileURL().isEmpty());
    EXPECT_EQ(window(first)->windowTitle(), "project");
    EXPECT_EQ(window(first)->shown, 1);
    EXPECT_EQ(f.controller.recentDocumentURLs(), QStringList{dir.file("project")});

    // Another spelling of the same folder finds the same document and shows it again.
    f.controller.openDocument(dir.path() + "/./project/", true, [&](Document* d, bool alreadyOpen, auto) {
        EXPECT_EQ(d, first);
        EXPECT_TRUE(alreadyOpen);
    });
    EXPECT_EQ(window(first)->shown, 2);
    EXPECT_EQ(f.controller.documents().size(), 1u);
}

TEST(KoriDocumentControllerGuiTest, OpenPanelTakesFilesAndFoldersAndPresentsErrors)
{
    Fixture f;
    TempDir dir;
    const QString text = dir.write("a.txt", "hello\n");
    const QString binary = dir.write("b.txt", QByteArray("\0\0", 2));
    f.panels.enqueueOpen({true, {text, binary}, -1});
    f.controller.openDocument();

    ASSERT_EQ(f.panels.openPanels().size(), 1);
    const OpenPanelOptions& options = f.panels.openPanels()[0];
    EXPECT_TRUE(options.canChooseFiles && options.canChooseDirectories && options.allowsMultipleSelection);
    EXPECT_EQ(options.prompt, "開く");
    ASSERT_EQ(f.controller.documents().size(), 1u);
    auto* document = static_cast<KoriDocument*>(f.controller.documents()[0]);
    EXPECT_EQ(document->storage().string(), "hello\n");
    EXPECT_EQ(document->fileType(), "public.plain-text");
    ASSERT_EQ(f.alerts.shown().size(), 1);
    EXPECT_EQ(f.alerts.shown()[0].messageText, "文字コードを判定できません。「文字コードを指定して開く」を使ってください。");
}

TEST(KoriDocumentControllerGuiTest, OpensWithAChosenEncoding)
{
    Fixture f;
    TempDir dir;
    const QString path = dir.write("sjis.txt", "\x93\xfa\x96\x7b\n");  // 日本 in Shift JIS

    f.panels.enqueueOpen({true, {path}, 3});  // "Shift JIS"
    f.controller.openWithEncoding();
    const OpenPanelOptions& options = f.panels.openPanels().at(0);
    EXPECT_FALSE(options.canChooseDirectories);
    EXPECT_FALSE(options.allowsMultipleSelection);
    EXPECT_EQ(options.message, "ファイルの文字コードを指定してください。");
    ASSERT_TRUE(options.accessory);
    EXPECT_EQ(options.accessory->items.size(), 20);
    EXPECT_EQ(options.accessory->items.first(), "UTF-8");
    EXPECT_EQ(options.accessory->selectedIndex, 0);
    EXPECT_EQ(options.accessory->accessibilityLabel, "開く文字コード");
    EXPECT_EQ(options.accessory->size, QSize(220, 28));

    ASSERT_EQ(f.controller.documents().size(), 1u);
    auto* document = static_cast<KoriDocument*>(f.controller.documents()[0]);
    EXPECT_EQ(document->storage().string(), "日本\n");
    EXPECT_EQ(document->forcedEncoding(), TextEncoding(TextEncoding::shiftJIS));
    EXPECT_EQ(document->fileURL(), path);
    EXPECT_EQ(window(document)->shown, 1);

    // Already open: only shown again, the new choice is not applied.
    f.panels.enqueueOpen({true, {path}, 4});
    f.controller.openWithEncoding();
    EXPECT_EQ(f.controller.documents().size(), 1u);
    EXPECT_EQ(document->forcedEncoding(), TextEncoding(TextEncoding::shiftJIS));
    EXPECT_EQ(window(document)->shown, 2);

    // A failed read is presented and leaves no document.
    const QString bad = dir.write("bad.txt", "\xEF\xBB\xBFmarked");
    f.panels.enqueueOpen({true, {bad}, 1});  // UTF-16 LE against a UTF-8 mark
    f.controller.openWithEncoding();
    EXPECT_EQ(f.controller.documents().size(), 1u);
    ASSERT_EQ(f.alerts.shown().size(), 1);
}

