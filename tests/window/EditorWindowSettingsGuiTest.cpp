#include "window/EditorWindowController.h"

#include "support/WindowFixture.h"
#include "support/TestSupport.h"
#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "filetree/DocumentRelocation.h"
#include "filetree/FileTreeView.h"
#include "editor/EditorTextView.h"
#include "commands/TextCommands.h"
#include "platform/text/LayoutManager.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowTabGroup.h"
#include "platform/ui/WindowTracker.h"
#include "settings/EditorPreferences.h"
#include "theme/ThemeQColor.h"
#include "theme/EditorTheme.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMainWindow>
#include <QFontDatabase>
#include <QFontMetricsF>
#include <QSplitter>
#include "preview/PreviewWebView.h"

#include <gtest/gtest.h>

#include <tuple>

using namespace korimado;

namespace {

class EditorWindowSettingsTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* key : {"editor.fontName", "editor.fontSize", "editor.tabWidth", "editor.invisibles",
                                "editor.showPageGuide", "editor.pageGuideColumn"}) {
            UserDefaults::standard().removeObject(QString::fromLatin1(key));
        }
    }

    std::unique_ptr<KoriDocument> textDocument(const QString& name, const QString& text)
    {
        return test::readFileDocument(dir, name, text.toUtf8());
    }

    static void postPreferencesChanged()
    {
        NotificationCenter::defaultCenter().post(EditorWindowController::preferencesChangedNotification);
    }

    // An installed family other than the system's fixed-pitch one, so that a chosen font shows.
    static QString otherFamily()
    {
        const QString fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont).family();
        for (const QString& family : QFontDatabase::families()) {
            if (family != fixed && !QFontDatabase::isPrivateFamily(family)) return family;
        }
        return {};
    }

    // What the settings decide in an editor's options: the same in both editors after a change.
    static auto settingsPart(const EditorOptions& o)
    {
        return std::make_tuple(o.font, o.tabWidth, o.usesSpacesForIndentation, o.showsInvisibleCharacters,
                               o.showsControlCharacters, o.pageGuideColumn, o.rulersVisible, o.backgroundColor,
                               o.textColor, o.insertionPointColor, o.selectedTextBackgroundColor);
    }

    test::TempDir dir;
};

}  // namespace

TEST_F(EditorWindowSettingsTest, SecondEditorStartsWithThePrimaryEditorsCurrentSettingsAndFollowsChanges)
{
    const QString family = otherFamily();
    ASSERT_FALSE(family.isEmpty());
    UserDefaults& defaults = UserDefaults::standard();
    defaults.setString("editor.fontName", family);
    defaults.setDouble("editor.fontSize", 18);
    defaults.setInteger("editor.tabWidth", 8);
    defaults.setBool("editor.invisibles", true);
    defaults.setBool("editor.showPageGuide", true);
    defaults.setInteger("editor.pageGuideColumn", 100);

    auto document = textDocument(QStringLiteral("a.txt"), QStringLiteral("\tone\ntwo\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    EditorTextView* primary = window.textView();
    ASSERT_EQ(primary->font().family(), family);
    EXPECT_DOUBLE_EQ(primary->tabWidth(),
                     std::max<qreal>(QFontMetricsF(primary->font()).horizontalAdvance(QLatin1Char('0')), 1) * 8);

    window.openSplitTextView();
    EditorTextView* second = window.secondaryEditor();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->font().family(), family);
    EXPECT_DOUBLE_EQ(second->font().pointSizeF(), 18);
    EXPECT_DOUBLE_EQ(second->tabWidth(), primary->tabWidth());
    EXPECT_EQ(second->options().tabWidth, 8);
    EXPECT_TRUE(second->showsInvisibleCharacters());
    EXPECT_TRUE(window.secondaryLayout()->showsControlCharacters());
    EXPECT_EQ(second->options().pageGuideColumn, std::optional<int>(100));
    EXPECT_EQ(second->backgroundColor(), primary->backgroundColor()) << "the primary's theme colours at once";
    EXPECT_EQ(second->options(), primary->options());

    // A later settings change reaches the second editor too, font included.
    defaults.setDouble("editor.fontSize", 20);
    defaults.setBool("editor.showPageGuide", false);
    postPreferencesChanged();
    EXPECT_DOUBLE_EQ(primary->font().pointSizeF(), 20);
    EXPECT_EQ(second->font(), primary->font());
    EXPECT_DOUBLE_EQ(second->tabWidth(), primary->tabWidth());
    EXPECT_EQ(primary->options().pageGuideColumn, std::nullopt) << "no guide while it is off, whatever the column";
    EXPECT_EQ(second->options().pageGuideColumn, std::nullopt);
    const EditorTheme theme = EditorTheme::current();
    for (EditorTextView* editor : {primary, second}) {
        EXPECT_EQ(editor->backgroundColor(), toQColor(theme.resolvedColor(QStringLiteral("background"))));
        EXPECT_EQ(editor->textColor(), toQColor(theme.resolvedColor(QStringLiteral("text"))));
        EXPECT_EQ(editor->insertionPointColor(), toQColor(theme.resolvedColor(QStringLiteral("insertionPoint"))));
        EXPECT_EQ(editor->selectedTextBackgroundColor(), toQColor(theme.resolvedColor(QStringLiteral("selection"))));
    }
    EXPECT_EQ(settingsPart(second->options()), settingsPart(primary->options()));
}

TEST_F(EditorWindowSettingsTest, ASettingsChangeKeepsEachEditorsOwnFormatChoices)
{
    auto document = textDocument(QStringLiteral("a.txt"), QStringLiteral("\tone\ntwo\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.openSplitTextView();
    EditorTextView* primary = window.textView();
    EditorTextView* second = window.secondaryEditor();
    ASSERT_NE(second, nullptr);
    ASSERT_NE(window.secondaryCommands(), nullptr);

    // Each editor's own choices from its Format menu, different in the two.
    for (const char* action : {"toggleEditable:", "toggleIndentGuides:", "toggleAutomaticIndentation:", "makeRightToLeft:"})
        window.secondaryCommands()->perform(QString::fromLatin1(action), nullptr);
    window.primaryCommands().perform(QStringLiteral("toggleAntialias:"), nullptr);
    ASSERT_FALSE(second->isEditable());
    const EditorOptions secondBefore = second->options();
    const EditorOptions primaryBefore = primary->options();

    UserDefaults::standard().setInteger("editor.tabWidth", 8);
    UserDefaults::standard().setBool("editor.invisibles", true);
    postPreferencesChanged();

    for (EditorTextView* editor : {primary, second}) {
        EXPECT_EQ(editor->options().tabWidth, 8);
        EXPECT_TRUE(editor->showsInvisibleCharacters());
    }
    const auto ownPart = [](const EditorOptions& o) {
        return std::make_tuple(o.editable, o.showsIndentGuides, o.automaticallyIndents, o.rightToLeft,
                               o.usesFontAntialiasing, o.usesLigatures, o.vertical);
    };
    EXPECT_EQ(ownPart(second->options()), ownPart(secondBefore));
    EXPECT_EQ(ownPart(primary->options()), ownPart(primaryBefore));
    EXPECT_FALSE(second->isEditable()) << "the read-only editor stays read-only";
    EXPECT_TRUE(primary->isEditable());
    EXPECT_EQ(second->layoutDirection(), Qt::RightToLeft);
    EXPECT_EQ(primary->layoutDirection(), Qt::LeftToRight);

    // Typing in the read-only editor still changes nothing.
    const QString text = document->string();
    second->insertText(QStringLiteral("x"), second->selectedRange());
    EXPECT_EQ(document->string(), text);
}

TEST_F(EditorWindowSettingsTest, SvgDetailLayoutAndSidebarActionsThatLeaveTheDivider)
{
    auto svg = textDocument(QStringLiteral("p.svg"), QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\"/>"));
    EditorWindowController& svgWindow = test::openDocumentWindow(*svg);
    svgWindow.showWindow();
    EXPECT_EQ(svgWindow.previewTop(), 74);
    EXPECT_FALSE(svgWindow.playerBar()->isHidden());
    EXPECT_EQ(svgWindow.web()->geometry().top(), 74);
    EXPECT_EQ(svgWindow.web()->accessibleName(), QStringLiteral("SVG再生プレイヤー"));

    auto text = textDocument(QStringLiteral("p.md"), QStringLiteral("# p\n"));
    EditorWindowController& window = test::openDocumentWindow(*text);
    window.showWindow();
    EXPECT_EQ(window.previewTop(), 34);
    EXPECT_TRUE(window.playerBar()->isHidden());
    EXPECT_EQ(window.web()->geometry().top(), 34);

    // Showing the file browser when it is already shown leaves the divider where the user put it.
    window.showFileBrowser();
    EXPECT_EQ(window.sidebarWidth(), 270);
    const int total = window.workspaceSplit()->sizes().value(0) + window.workspaceSplit()->sizes().value(1);
    window.workspaceSplit()->setSizes({320, total - 320});
    window.showFileBrowser();
    EXPECT_EQ(window.sidebarWidth(), 320);
}

TEST_F(EditorWindowSettingsTest, SidebarOpensFilesAsTabsOfItsWindowAndFollowsARenamedFolder)
{
    UserDefaults defaults;
    KoriDocumentController controller(&defaults);
    ASSERT_EQ(DocumentController::shared(), &controller);
    EditorWindowController::install();
    const QString project = FileTreeView::standardized(dir.file("project"));
    QDir().mkpath(project);
    const QString a = dir.write(QStringLiteral("project/a.txt"), "a\n");
    const QString b = dir.write(QStringLiteral("project/b.txt"), "b\n");

    Document* first = nullptr;
    controller.openDocument(a, true, [&](Document* d, bool, auto) { first = d; });
    ASSERT_NE(first, nullptr);
    auto* own = dynamic_cast<EditorWindowController*>(first->windowControllers().front().get());
    ASSERT_NE(own, nullptr);
    ASSERT_NE(own->fileTree()->rootNode(), nullptr);
    EXPECT_EQ(own->fileTree()->rootNode()->url, project);

    own->openTreeFile(a);  // its own file: nothing opens
    EXPECT_EQ(controller.documents().size(), 1u);

    own->openTreeFile(b);
    ASSERT_EQ(controller.documents().size(), 2u);
    auto* second = qobject_cast<KoriDocument*>(controller.documentForURL(b));
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(second->rootDirectory(), project) << "the sidebar's root travels with the file";
    auto* other = dynamic_cast<EditorWindowController*>(second->windowControllers().front().get());
    ASSERT_NE(other, nullptr);
    EXPECT_FALSE(other->isFileTreeHidden());
    EXPECT_EQ(other->sidebarWidth(), 270);
    const auto tabs = WindowTabGroup::tabbedWindows(own->window());
    ASSERT_TRUE(tabs.has_value());
    EXPECT_TRUE(tabs->contains(other->window()));
    EXPECT_EQ(WindowTracker::shared().keyWindow(), static_cast<QWidget*>(other->window()));

    // The file one window shows is renamed from another window's sidebar: the first window's
    // path field follows it.
    EXPECT_EQ(FileTreeView::standardized(own->fileTree()->pathFieldText()), FileTreeView::standardized(a));
    const QString c = project + QStringLiteral("/c.txt");
    ASSERT_TRUE(QFile::rename(a, c));
    DocumentRelocation::relocate(a, c, &controller);
    EditorWindowController::relocate(a, c);
    EXPECT_EQ(FileTreeView::standardized(first->fileURL()), c);
    EXPECT_EQ(own->fileTree()->pathFieldText(), c);
    EXPECT_EQ(FileTreeView::standardized(other->fileTree()->pathFieldText()), FileTreeView::standardized(b))
        << "a window showing another file keeps it";

    // Renaming the folder rebases every root under it and leaves a look-alike sibling alone.
    const QString renamed = FileTreeView::standardized(dir.file("renamed"));
    EditorWindowController::relocate(project + QStringLiteral("x"), renamed);
    EXPECT_EQ(second->rootDirectory(), project);
    EditorWindowController::relocate(project, renamed);
    EXPECT_EQ(second->rootDirectory(), renamed);
    EXPECT_EQ(own->fileTree()->rootNode()->url, renamed);
    EXPECT_EQ(other->fileTree()->rootNode()->url, renamed);
    EXPECT_TRUE(qobject_cast<KoriDocument*>(first)->rootDirectory().isEmpty());
}
