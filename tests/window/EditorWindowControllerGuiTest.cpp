#include "theme/ThemeQColor.h"
#include "theme/EditorTheme.h"
#include "window/EditorWindowController.h"

#include "support/WindowFixture.h"
#include "support/TestSupport.h"
#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "document/TextCodec.h"
#include "platform/text/LayoutManager.h"
#include "platform/text/LineStarts.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "editor/EditorTextView.h"
#include "filetree/FileTreeView.h"
#include "platform/ui/MenuModel.h"
#include "platform/foundation/NotificationCenter.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "search/ui/SearchController.h"
#include "settings/EditorPreferences.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"
#include "window/SegmentedControl.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QLayout>
#include <QMainWindow>
#include <QPlainTextEdit>
#include <QPushButton>
#include "preview/PreviewWebView.h"
#include <QSplitter>
#include <QTableWidget>
#include <QTest>
#include <QTextLayout>
#include <QToolBar>

#include <gtest/gtest.h>

using namespace korimado;
using Mode = EditorWindowController::Mode;

namespace {

class EditorWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (const char* key : {"editor.lineNumbers", "editor.statusBar", "editor.wrap", "editor.tabWidth"}) {
            UserDefaults::standard().removeObject(QString::fromLatin1(key));
        }
    }

    std::unique_ptr<KoriDocument> textDocument(const QString& text, const QString& name = QStringLiteral("notes.txt"))
    {
        return test::readFileDocument(dir, name, text.toUtf8());
    }

    static void wait(int ms) { QTest::qWait(ms); }

    test::TempDir dir;
};

}  // namespace

TEST_F(EditorWindowTest, NewWindowLayoutForUntitledFileAndFolderDocuments)
{
    KoriDocument untitled;
    EditorWindowController& window = test::openDocumentWindow(untitled);
    EXPECT_EQ(window.mode(), Mode::split);
    EXPECT_EQ(window.modePicker()->selectedSegment(), 1);
    EXPECT_EQ(window.detailPicker()->selectedSegment(), 0) << "the preview segment";
    EXPECT_FALSE(window.isNavigationBarHidden());
    EXPECT_EQ(window.navigationHeight(), 28);
    EXPECT_TRUE(window.isFileTreeHidden());
    EXPECT_EQ(window.fileTree()->rootNode(), nullptr);
    EXPECT_FALSE(window.isSplitOpen());
    EXPECT_EQ(window.window()->objectName(), "Korimado.document");
    EXPECT_EQ(window.toolbar()->objectName(), "Korimado.main");
    EXPECT_EQ(window.encodingPicker()->currentText(), "Unicode (UTF-8)");
    EXPECT_EQ(window.endingPicker()->currentText(), "LF");
    // Header, 25 choices and two separators, in table order.
    ASSERT_EQ(window.encodingPicker()->count(), 28);
    EXPECT_EQ(window.encodingPicker()->itemData(0, Qt::UserRole).toInt(), -1);
    EXPECT_EQ(window.encodingPicker()->itemText(3), QString()) << "separator before entry 2";
    EXPECT_EQ(window.encodingPicker()->itemText(4), "日本語 (Shift JIS)");
    EXPECT_EQ(window.encodingPicker()->itemText(27), "EUC-KR");
    EXPECT_EQ(window.encodingChoices()[12].title, "UTF-32 BE (BOM付き)");
    EXPECT_EQ(window.syntaxButton()->text(), SyntaxModel::of(untitled).language().displayName);

    auto file = textDocument(QStringLiteral("abc\n"));
    EditorWindowController& fileWindow = test::openDocumentWindow(*file);
    EXPECT_TRUE(fileWindow.isFileTreeHidden()) << "no sidebar for a file document";
    ASSERT_NE(fileWindow.fileTree()->rootNode(), nullptr);
    EXPECT_EQ(fileWindow.fileTree()->rootNode()->url, FileTreeView::standardized(dir.path()));

    KoriDocument folder;
    folder.setRootDirectory(dir.path());
    EditorWindowController& folderWindow = test::openDocumentWindow(folder);
    folderWindow.showWindow();
    EXPECT_FALSE(folderWindow.isFileTreeHidden()) << "a folder document shows its sidebar";
    EXPECT_EQ(folderWindow.sidebarWidth(), 270);
    ASSERT_NE(folderWindow.fileTree()->rootNode(), nullptr);

    // A UTF-16 LE document without a mark selects its own entry, with a mark the other one.
    file->setFormat({TextEncoding::utf16LE, false, LineEnding::crlf, false});
    fileWindow.documentFormatDidChange();
    EXPECT_EQ(fileWindow.encodingPicker()->currentText(), "UTF-16 LE (BOMなし)");
    EXPECT_EQ(fileWindow.endingPicker()->currentText(), "CRLF");
    file->setFormat({TextEncoding::utf16LE, true, LineEnding::lf, false});
    fileWindow.documentFormatDidChange();
    EXPECT_EQ(fileWindow.encodingPicker()->currentText(), "Unicode (UTF-16 LE)");
    // No entry for a mark on Shift JIS: the selection stays.
    file->setFormat({TextEncoding::shiftJIS, true, LineEnding::lf, false});
    fileWindow.documentFormatDidChange();
    EXPECT_EQ(fileWindow.encodingPicker()->currentText(), "Unicode (UTF-16 LE)");
}

TEST_F(EditorWindowTest, ModeChangesShowAndHidePanesAndResetTheDetailSegment)
{
    auto document = textDocument(QStringLiteral("# Title\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();

    window.detailPicker()->setSelectedSegment(3);
    const auto token = window.renderToken();
    window.showEdit();
    EXPECT_TRUE(window.previewPane()->isHidden());
    EXPECT_FALSE(window.codePane()->isHidden());
    EXPECT_EQ(window.previewStatus()->text(), "ローカル編集   Ctrl+1 原案 / Ctrl+2 2カラム / Ctrl+3 プレビュー");
    EXPECT_GT(window.renderToken(), token) << "a preview in flight is dropped";
    EXPECT_EQ(window.detailPicker()->selectedSegment(), 0);
    EXPECT_EQ(window.modePicker()->selectedSegment(), 0);

    window.showPreview();
    EXPECT_TRUE(window.codePane()->isHidden());
    EXPECT_FALSE(window.previewPane()->isHidden());

    window.showSplit();
    EXPECT_FALSE(window.codePane()->isHidden());
    EXPECT_FALSE(window.previewPane()->isHidden());
    const QList<int> sizes = window.split()->sizes();
    ASSERT_EQ(sizes.size(), 2);
    EXPECT_LE(std::abs(sizes[0] - sizes[1]), 2) << "divider at half the width";

    window.modeChanged(2);
    EXPECT_EQ(window.mode(), Mode::preview);
    window.modeChanged(9);
    EXPECT_EQ(window.mode(), Mode::edit);

    // The detail actions bring the pane back in split mode.
    window.showWarningsInspector();
    EXPECT_EQ(window.mode(), Mode::split);
    EXPECT_EQ(window.detailPicker()->selectedSegment(), 3);
    EXPECT_FALSE(window.inspectionText()->isHidden());
    EXPECT_TRUE(window.web()->isHidden());
    window.toggleInspector();
    EXPECT_EQ(window.mode(), Mode::edit);

    window.toggleNavigationBar();
    EXPECT_EQ(window.navigationHeight(), 0);
    window.toggleNavigationBar();
    EXPECT_EQ(window.navigationHeight(), 28);
}

TEST_F(EditorWindowTest, SplitEditorsShareOneTextInBothOrientations)
{
    auto document = textDocument(QStringLiteral("one\ntwo\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();

    for (const bool vertical : {false, true}) {
        if (window.isSplitVertical() != vertical) window.toggleSplitOrientation();
        window.openSplitTextView();
        ASSERT_TRUE(window.isSplitOpen());
        EXPECT_EQ(window.isSplitVertical(), vertical);
        EXPECT_EQ(window.codeSplit()->count(), 2);
        EXPECT_EQ(window.activeEditor(), window.secondaryEditor()) << "the new editor takes the focus";
        EXPECT_EQ(&window.search(), window.secondarySearch());
        EXPECT_EQ(&window.commands(), window.secondaryCommands());
        EXPECT_EQ(window.secondaryEditor()->font(), window.textView()->font());

        EditorTextView* second = window.secondaryEditor();
        window.openSplitTextView();
        EXPECT_EQ(window.secondaryEditor(), second) << "opening twice keeps one second editor";

        // Typing in one shows in the other.
        second->setSelectedRange({0, 0});
        second->insertText(QStringLiteral("A"));
        EXPECT_EQ(window.textView()->string(), window.secondaryEditor()->string());
        EXPECT_TRUE(window.textView()->string().startsWith('A'));
        window.textView()->setSelectedRange({window.textView()->textLength(), 0});
        window.makeFirstResponder(window.textView());
        window.textView()->insertText(QStringLiteral("Z"));
        EXPECT_TRUE(second->string().endsWith('Z'));

        window.focusNextEditor();
        EXPECT_EQ(window.activeEditor(), second);
        window.focusNextEditor();
        EXPECT_EQ(window.activeEditor(), window.textView());

        // Closing keeps the text and its undo history.
        const QString text = window.textView()->string();
        window.closeSplitTextView();
        EXPECT_FALSE(window.isSplitOpen());
        EXPECT_EQ(window.secondaryCommands(), nullptr);
        EXPECT_EQ(window.codeSplit()->count(), 1);
        EXPECT_EQ(window.textView()->string(), text);
        UndoManager* undo = document->undoManager();
        undo->closeAutomaticGroup();
        ASSERT_TRUE(undo->canUndo());
        window.undo();
        window.undo();
        EXPECT_EQ(window.textView()->string(), QStringLiteral("one\ntwo\n"));
        window.redo();
        window.redo();
        EXPECT_EQ(window.textView()->string(), text);
        window.undo();
        window.undo();
    }
    window.focusNextEditor();
    EXPECT_EQ(window.activeEditor(), window.textView()) << "without a second editor the primary keeps the focus";
    window.closeSplitTextView();  // nothing open: only refocuses
    EXPECT_EQ(&window.search(), &window.search());
}

TEST_F(EditorWindowTest, RestorableStateRoundTripsAndHonoursTheLayoutVersion)
{
    auto document = textDocument(QStringLiteral("0123456789abcdefghij"));
    EditorWindowController::RestorableState saved;
    {
        EditorWindowController& window = test::openDocumentWindow(*document);
        window.showWindow();
        window.setMode(Mode::preview);
        window.detailPicker()->setSelectedSegment(4);
        window.toggleNavigationBar();
        window.toggleFileTree();
        window.toggleSplitOrientation();
        window.openSplitTextView();
        window.secondaryEditor()->setSelectedRange({3, 4});
        window.encodeRestorableState(saved);
        test::closeDocumentWindow(*document, window);
    }
    EXPECT_EQ(saved.value("kori.startupLayoutVersion").integerValue(), 1);
    EXPECT_EQ(saved.value("kori.mode").integerValue(), 2);
    EXPECT_EQ(saved.value("kori.detail").integerValue(), 4);
    EXPECT_EQ(saved.value("kori.selection.location").integerValue(), 3) << "from the focused second editor";
    EXPECT_TRUE(saved.contains("kori.tree.root"));

    {
        EditorWindowController& window = test::openDocumentWindow(*document);
        window.restoreState(saved);
        EXPECT_EQ(window.mode(), Mode::preview);
        EXPECT_EQ(window.detailPicker()->selectedSegment(), 4);
        EXPECT_EQ(window.textView()->selectedRange(), (TextRange{3, 4})) << "restored in the primary editor";
        EXPECT_TRUE(window.isNavigationBarHidden());
        EXPECT_EQ(window.navigationHeight(), 0);
        EXPECT_FALSE(window.isFileTreeHidden());
        EXPECT_TRUE(window.isSplitOpen());
        EXPECT_EQ(window.activeEditor(), window.secondaryEditor());
        EXPECT_TRUE(window.isSplitVertical());
        test::closeDocumentWindow(*document, window);
    }

    // Written before the layout version: only selection, root and orientation are taken.
    auto old = saved;
    old.remove("kori.startupLayoutVersion");
    old.insert("kori.mode", 0);
    old.insert("kori.selection.location", 10);
    old.insert("kori.selection.length", 30);
    {
        EditorWindowController& window = test::openDocumentWindow(*document);
        window.restoreState(old);
        EXPECT_EQ(window.mode(), Mode::split);
        EXPECT_EQ(window.detailPicker()->selectedSegment(), 0);
        EXPECT_FALSE(window.isNavigationBarHidden());
        EXPECT_TRUE(window.isFileTreeHidden());
        EXPECT_FALSE(window.isSplitOpen());
        EXPECT_TRUE(window.isSplitVertical());
        EXPECT_EQ(window.textView()->selectedRange(), (TextRange{10, 10})) << "clamped to the text";
        test::closeDocumentWindow(*document, window);
    }

    // Out-of-range values; a root that vanished; no "kori.mode" at all.
    auto odd = saved;
    odd.insert("kori.mode", 7);
    odd.insert("kori.detail", -1);
    odd.insert("kori.selection.location", 99);
    odd.insert("kori.tree.root", QStringLiteral("file:///no/such/folder"));
    {
        document->setRootDirectory(QString());
        EditorWindowController& window = test::openDocumentWindow(*document);
        window.restoreState(odd);
        EXPECT_EQ(window.mode(), Mode::split);
        EXPECT_EQ(window.detailPicker()->selectedSegment(), 0);
        EXPECT_EQ(window.textView()->selectedRange(), (TextRange{20, 0}));
        EXPECT_TRUE(document->rootDirectory().isEmpty());
        ASSERT_NE(window.fileTree()->rootNode(), nullptr);
        EXPECT_EQ(window.fileTree()->rootNode()->url, FileTreeView::standardized(dir.path()));

        odd.insert("kori.detail", 5);
        window.restoreState(odd);
        EXPECT_EQ(window.detailPicker()->selectedSegment(), 0);

        window.setMode(Mode::edit);
        window.restoreState({{"kori.startupLayoutVersion", DefaultsValue(1)}});
        EXPECT_EQ(window.mode(), Mode::edit) << "without kori.mode nothing changes";
        test::closeDocumentWindow(*document, window);
    }

    // Saved under the file's path and given back when the document's window is made again.
    EditorWindowController::install();
    {
        EditorWindowController& window = test::openDocumentWindow(*document);
        window.setMode(Mode::edit);
        window.textView()->setSelectedRange({5, 2});
        window.saveRestorableState();
        test::closeDocumentWindow(*document, window);
    }
    document->makeWindowControllers();
    ASSERT_EQ(document->windowControllers().size(), 1u);
    auto* made = dynamic_cast<EditorWindowController*>(document->windowControllers().front().get());
    ASSERT_NE(made, nullptr);
    EXPECT_EQ(made->mode(), Mode::edit);
    EXPECT_EQ(made->textView()->selectedRange(), (TextRange{5, 2}));
    document->removeWindowController(made);
}

TEST_F(EditorWindowTest, SettingsChangesReachEveryEditorAndTheStatusLine)
{
    auto document = textDocument(QStringLiteral("some text that is long enough to wrap\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    EditorWindowController& other = test::openDocumentWindow(*document);
    window.openSplitTextView();
    EXPECT_TRUE(window.textView()->rulersVisible());

    auto post = [] {
        NotificationCenter::defaultCenter().post(EditorWindowController::preferencesChangedNotification);
    };
    UserDefaults::standard().setBool("editor.lineNumbers", false);
    UserDefaults::standard().setBool("editor.statusBar", false);
    UserDefaults::standard().setBool("editor.wrap", false);
    UserDefaults::standard().setInteger("editor.tabWidth", 8);
    post();
    for (EditorWindowController* each : {&window, &other}) {
        EXPECT_FALSE(each->textView()->rulersVisible());
        for (QWidget* control : std::initializer_list<QWidget*>{each->status(), each->byteStatus(), each->tokenStatus(),
                                                                each->tokenPicker(), each->previewStatus(),
                                                                each->encodingPicker(), each->endingPicker()}) {
            EXPECT_TRUE(control->isHidden());
        }
        EXPECT_FALSE(each->textView()->wrapsLines());
        EXPECT_FALSE(each->toolbarWrap()->isChecked());
        EXPECT_EQ(each->textView()->options().tabWidth, 8);
    }
    EXPECT_FALSE(window.secondaryEditor()->rulersVisible());
    EXPECT_EQ(window.secondaryEditor()->options().tabWidth, 8);

    UserDefaults::standard().setBool("editor.lineNumbers", true);
    UserDefaults::standard().setBool("editor.statusBar", true);
    UserDefaults::standard().setBool("editor.wrap", true);
    post();
    EXPECT_TRUE(window.textView()->rulersVisible());
    EXPECT_TRUE(window.secondaryEditor()->rulersVisible());
    EXPECT_FALSE(window.status()->isHidden());
    EXPECT_TRUE(window.textView()->wrapsLines());
    EXPECT_TRUE(window.toolbarWrap()->isChecked());
    EXPECT_EQ(window.textView()->backgroundColor(),
              toQColor(EditorTheme::current().resolvedColor(QStringLiteral("background"))));
}

TEST_F(EditorWindowTest, StatusLineCountsAndClosingDropsPendingWork)
{
    auto document = textDocument(QStringLiteral("ab\ncd\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.textView()->setSelectedRange({1, 3});
    window.scheduleStatistics();
    EXPECT_TRUE(window.status()->text().startsWith(QStringLiteral("行: 2 (2)   文字: 計数中…   行: 1")));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !window.status()->text().contains(QStringLiteral("計数中")); }, 3000));
    EXPECT_TRUE(window.status()->text().contains(QStringLiteral("文字: 6 (3)")));
    EXPECT_EQ(window.byteStatus()->text(), QStringLiteral("6 バイト"));

    window.textView()->setSelectedRange({0, 0});
    window.scheduleStatistics();
    const QString pending = window.status()->text();
    window.windowWillClose();
    wait(300);
    EXPECT_EQ(window.status()->text(), pending) << "no result reaches a closed window";
}

TEST_F(EditorWindowTest, ToolbarItemsAndRelocatedFolders)
{
    EXPECT_EQ(EditorWindowController::toolbarDefaultItemIdentifiers(),
              (QStringList{"tree", "folder", "flexibleSpace", "mode", "wrap", "settings"}));
    EXPECT_EQ(EditorWindowController::toolbarAllowedItemIdentifiers().last(), "space");
    KoriDocument untitled;
    EditorWindowController& window = test::openDocumentWindow(untitled);
    EXPECT_EQ(window.toolbarItem("bogus"), nullptr);
    EXPECT_EQ(window.toolbarItem("mode"), window.modePicker());

    window.showWindow();
    window.toggleFileTree();
    EXPECT_FALSE(window.isFileTreeHidden());
    EXPECT_EQ(window.sidebarWidth(), 270);
    window.toggleFileTree();
    EXPECT_TRUE(window.isFileTreeHidden());

    EXPECT_EQ(EditorWindowController::rebased("/a/b/d", "/a/b", "/a/c"), std::optional<QString>("/a/c/d"));
    EXPECT_EQ(EditorWindowController::rebased("/a/b", "/a/b", "/a/c"), std::optional<QString>("/a/c"));
    EXPECT_EQ(EditorWindowController::rebased("/a/bc", "/a/b", "/a/c"), std::nullopt);
}

TEST_F(EditorWindowTest, EndingChangeIsOneUndoStepRestoringTheMixedFlag)
{
    auto document = textDocument(QStringLiteral("a\r\nb\nc"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    ASSERT_TRUE(document->format().mixedLineEndings);
    const TextFormat before = document->format();
    window.endingChanged(0);
    EXPECT_EQ(window.textView()->string(), QStringLiteral("a\nb\nc"));
    EXPECT_EQ(document->format().lineEnding, LineEnding::lf);
    EXPECT_FALSE(document->format().mixedLineEndings);
    UndoManager* undo = document->undoManager();
    EXPECT_EQ(undo->undoActionName(), "改行コードを変更");
    window.undo();
    EXPECT_EQ(window.textView()->string(), QStringLiteral("a\r\nb\nc"));
    EXPECT_EQ(document->format(), before);
    window.redo();
    EXPECT_EQ(window.textView()->string(), QStringLiteral("a\nb\nc"));
    EXPECT_FALSE(document->format().mixedLineEndings);

    // A text the encoding cannot hold: the pop-up snaps back to the unchanged format.
    auto japanese = textDocument(QStringLiteral("漢字"), QStringLiteral("kanji.txt"));
    EditorWindowController& other = test::openDocumentWindow(*japanese);
    const int ascii = static_cast<int>(std::find_if(other.encodingChoices().begin(), other.encodingChoices().end(),
                                                    [](const auto& c) { return c.title == "US-ASCII"; })
                                       - other.encodingChoices().begin());
    other.encodingChanged(ascii);
    EXPECT_EQ(japanese->format().encoding, TextEncoding::utf8);
    EXPECT_EQ(other.encodingPicker()->currentText(), "Unicode (UTF-8)");
}

// Each break is converted where it stands: both editors' carets stay on their lines and columns,
// a colour run stays on its word, and one undo gives back the text unit for unit.
TEST_F(EditorWindowTest, EndingChangeKeepsCaretsAndColoursOnTheirLines)
{
    const QString text = QStringLiteral("one\ntwo\r\nthree\nfour\n");
    auto document = textDocument(text);
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.openSplitTextView();
    EditorTextView* primary = window.textView();
    EditorTextView* second = window.secondaryEditor();
    ASSERT_NE(second, nullptr);
    const LineStarts& lines = document->storage().lines();
    const auto place = [&](EditorTextView* editor) {
        const qsizetype at = editor->selectedRange().location;
        const qsizetype line = lines.lineAt(at);
        return std::make_pair(line, at - lines.start(line));
    };
    primary->setSelectedRange({3, 0});                  // the end of line 0
    second->setSelectedRange({lines.start(2) + 2, 0});  // line 2, column 2
    const int owner = 0;
    const TemporaryAttributes red{QColor(Qt::red), std::nullopt, std::nullopt};
    primary->layoutManager()->addTemporaryAttributes(&owner, red, TextRange(lines.start(3), 4));  // "four"
    const auto colouredWord = [&] {
        QString word;
        primary->layoutManager()->enumerateTemporaryAttributes(&owner, TextRange(0, document->storage().length()),
                                                               [&](TextRange range, const TemporaryAttributes& a) {
                                                                   if (a == red) word += document->storage().substring(range);
                                                               });
        return word;
    };

    window.endingChanged(1);  // CRLF
    EXPECT_EQ(document->string(), QStringLiteral("one\r\ntwo\r\nthree\r\nfour\r\n"));
    EXPECT_EQ(document->storage().history().lastStepPieces(), 3) << "one piece per break that changes";
    EXPECT_EQ(place(primary), std::make_pair(qsizetype(0), qsizetype(3))) << "not between CR and LF";
    EXPECT_EQ(place(second), std::make_pair(qsizetype(2), qsizetype(2)));
    EXPECT_EQ(colouredWord(), QStringLiteral("four"));
    EXPECT_EQ(window.endingPicker()->currentText(), "CRLF");

    window.undo();
    EXPECT_EQ(document->string(), text);
    EXPECT_TRUE(document->format().mixedLineEndings);
    EXPECT_EQ(place(primary), std::make_pair(qsizetype(0), qsizetype(3)));
    EXPECT_EQ(place(second), std::make_pair(qsizetype(2), qsizetype(2)));
    EXPECT_EQ(colouredWord(), QStringLiteral("four"));
    EXPECT_FALSE(document->undoManager()->canUndo()) << "one step";
}

// Shift JIS holds no NEL: the pop-up shows the codec's error and the document stays saveable.
TEST_F(EditorWindowTest, EndingTheEncodingCannotHoldIsRefusedWithTheCodecsError)
{
    ScriptedAlertPresenter alerts;
    AlertPresenter::setShared(&alerts);
    struct Unset {
        ~Unset() { AlertPresenter::setShared(nullptr); }
    } unset;
    const QString text = QStringLiteral("日本語\nかな\n");
    auto document = test::readFileDocument(
        dir, QStringLiteral("sjis.txt"), TextCodec::encode(text, TextFormat{TextEncoding::shiftJIS, false, LineEnding::lf, false}));
    EditorWindowController& window = test::openDocumentWindow(*document);
    ASSERT_EQ(document->format().encoding, TextEncoding::shiftJIS);
    window.showWindow();

    window.endingChanged(3);  // NEL
    EXPECT_EQ(document->string(), text);
    EXPECT_EQ(document->format().lineEnding, LineEnding::lf);
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(window.endingPicker()->currentText(), "LF") << "the pop-up snaps back";
    ASSERT_EQ(alerts.shown().size(), 1);
    EXPECT_EQ(alerts.shown()[0].messageText, CodecError::makeUnrepresentable(TextEncoding::shiftJIS).errorDescription());

    window.endingChanged(1);  // CRLF, which it holds
    EXPECT_EQ(document->string(), QStringLiteral("日本語\r\nかな\r\n"));
    EXPECT_EQ(alerts.shown().size(), 1);
}

TEST_F(EditorWindowTest, GrabsAWindowWithJapaneseText)
{
    const QString line = QStringLiteral("吾輩は猫である。名前はまだ無い。");
    auto document = textDocument(line + QStringLiteral("\nどこで生れたかとんと見当がつかぬ。\n"), QStringLiteral("猫.txt"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !window.status()->text().contains(QStringLiteral("計数中")); }, 2000));
    wait(50);  // let the status row take the new texts' widths
    const QList<int> halves = window.split()->sizes();
    EXPECT_LE(std::abs(halves.value(0) - halves.value(1)), 2);

    QTextLayout layout(line, window.textView()->font());
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    for (const QGlyphRun& run : layout.glyphRuns()) {
        for (const quint32 glyph : run.glyphIndexes()) EXPECT_NE(glyph, 0u) << "a Japanese glyph is missing";
    }

    const QPixmap image = window.window()->grab();
    EXPECT_FALSE(image.isNull());
    const QString path = QDir::cleanPath(QStringLiteral(QT_TESTCASE_BUILDDIR "/../window-japanese.png"));
    EXPECT_TRUE(image.save(path, "PNG")) << path.toStdString();
}

TEST_F(EditorWindowTest, OutlineButtonsFollowTheCaretAndMoveBetweenEntries)
{
    auto document = textDocument(QStringLiteral("intro\n# One\ntext\n# Two\nend\n"), QStringLiteral("notes.md"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    SyntaxModel& syntax = SyntaxModel::of(*document);
    ASSERT_TRUE(QTest::qWaitFor([&] { return syntax.outline().size() == 2; }, 5000));

    window.textView()->setSelectedRange({0, 0});
    window.refreshNavigation();
    EXPECT_FALSE(window.previousOutlineButton()->isEnabled());
    EXPECT_TRUE(window.nextOutlineButton()->isEnabled());

    window.textView()->setSelectedRange({6, 0});
    window.refreshNavigation();
    EXPECT_FALSE(window.previousOutlineButton()->isEnabled()) << "an entry at the caret enables neither side";
    EXPECT_TRUE(window.nextOutlineButton()->isEnabled());

    window.navigateOutline(true);
    EXPECT_EQ(window.textView()->selectedRange(), (TextRange{17, 5}));
    window.navigateOutline(false);
    EXPECT_EQ(window.textView()->selectedRange(), (TextRange{6, 5}));

    window.textView()->setSelectedRange({25, 0});
    window.refreshNavigation();
    EXPECT_TRUE(window.previousOutlineButton()->isEnabled());
    EXPECT_FALSE(window.nextOutlineButton()->isEnabled());
    window.navigateOutline(true);  // nothing after the last entry: the caret stays
    EXPECT_EQ(window.textView()->selectedRange(), (TextRange{25, 0}));

    window.reloadOutlineTable();
    ASSERT_EQ(window.outlineTable()->rowCount(), 2);
    EXPECT_EQ(window.outlineTable()->item(1, 0)->text(), QStringLiteral("4行  Two"));
    window.selectOutlineRow(5);  // outside the list: ignored
    EXPECT_EQ(window.textView()->selectedRange(), (TextRange{25, 0}));
    window.selectOutlineRow(0);
    EXPECT_EQ(window.textView()->selectedRange(), (TextRange{6, 5}));

    window.changeDocumentSyntax(QStringLiteral("plain"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return syntax.hasCurrentTokens() && syntax.outline().empty(); }, 5000));
    window.refreshNavigation();
    EXPECT_FALSE(window.previousOutlineButton()->isEnabled());
    EXPECT_FALSE(window.nextOutlineButton()->isEnabled());
}

TEST_F(EditorWindowTest, InspectorShowsCurrentResultsOnlyAndCountsFollowTheOptions)
{
    auto document = textDocument(QStringLiteral("a b\nc\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showAdvancedCounter();
    EXPECT_EQ(window.inspectionText()->toPlainText(), QStringLiteral("集計中…"));
    EXPECT_FALSE(window.countOptions()->isHidden());
    EXPECT_EQ(window.inspectionTop(), 72);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.inspectionText()->toPlainText().startsWith(QStringLiteral("全文")); }, 3000));
    EXPECT_TRUE(window.inspectionText()->toPlainText().startsWith(QStringLiteral("全文：6文字")));
    EXPECT_TRUE(window.inspectionText()->toPlainText().contains(QStringLiteral("保存サイズ：6バイト")));

    window.countSpaces()->setChecked(false);
    window.countNewlines()->setChecked(false);
    window.refreshInspection();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.inspectionText()->toPlainText().startsWith(QStringLiteral("全文")); }, 3000));
    EXPECT_TRUE(window.inspectionText()->toPlainText().startsWith(QStringLiteral("全文：3文字")));

    // A refresh superseded before it ran never shows.
    window.showDocumentInspector();
    window.showWarningsInspector();
    EXPECT_EQ(window.inspectionTop(), 34);
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.inspectionText()->toPlainText() != QStringLiteral("集計中…"); }, 3000));
    wait(100);
    EXPECT_EQ(window.detailPicker()->selectedSegment(), 3);
    EXPECT_FALSE(window.inspectionText()->toPlainText().contains(QStringLiteral("全文")));
}

TEST_F(EditorWindowTest, PreviewRendersForTheCurrentRevisionAndNotInEditMode)
{
    auto document = textDocument(QStringLiteral("# Title\n"), QStringLiteral("notes.md"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.renderCount() > 0; }, 3000));
    EXPECT_EQ(window.previewRevision(), document->revision());

    const qint64 shown = window.renderCount();
    window.schedulePreview(true);
    window.setMode(Mode::edit);  // the render asked for is dropped
    wait(300);
    EXPECT_EQ(window.renderCount(), shown);
}

TEST_F(EditorWindowTest, ClosingOneOfTwoWindowsLeavesTheOtherAndKeepsItsState)
{
    EditorWindowController::install();
    auto document = textDocument(QStringLiteral("hello"), QStringLiteral("two.txt"));
    document->makeWindowControllers();
    document->makeWindowControllers();
    ASSERT_EQ(document->windowControllers().size(), 2u);
    auto* first = dynamic_cast<EditorWindowController*>(document->windowControllers().front().get());
    ASSERT_NE(first, nullptr);
    first->showWindow();
    first->setMode(Mode::preview);
    first->window()->close();
    ASSERT_TRUE(QTest::qWaitFor([&] { return document->windowControllers().size() == 1; }, 2000));
    const auto state = EditorWindowController::savedRestorableState(document->fileURL());
    ASSERT_TRUE(state.has_value());
    EXPECT_EQ(state->value("kori.mode").integerValue(), 2);
    document->removeWindowController(document->windowControllers().front().get());
}

TEST_F(EditorWindowTest, ActionsByNameAndUndoValidation)
{
    auto document = textDocument(QStringLiteral("x"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    MenuItem undoItem(QStringLiteral("取り消す"), QStringLiteral("undo:"));
    MenuItem other(QStringLiteral("原案"), QStringLiteral("showEdit:"));
    EXPECT_EQ(window.validate(undoItem), std::optional<bool>(false)) << "nothing to undo yet";
    EXPECT_NE(window.validate(other), std::optional<bool>(false));

    window.perform(QStringLiteral("showEdit:"), &other);
    EXPECT_EQ(window.mode(), Mode::edit);
    window.textView()->setSelectedRange({1, 0});
    window.perform(QStringLiteral("inputYenMark:"), nullptr);
    window.perform(QStringLiteral("inputBackSlash:"), nullptr);
    EXPECT_EQ(window.textView()->string(), QStringLiteral("x\u00A5\\"));
    document->undoManager()->closeAutomaticGroup();
    EXPECT_EQ(window.validate(undoItem), std::optional<bool>(true));
    // The View menu's outline item reaches the window's outline pop-up.
    EXPECT_TRUE(window.respondsTo(QStringLiteral("openOutlineMenu:")));

    EXPECT_TRUE(EditorWindowController::canOpenFile(document->fileURL()));
    const QString before = window.textView()->string();
    window.openTreeFile(document->fileURL());  // the window's own file: nothing happens
    EXPECT_EQ(window.textView()->string(), before);
}

// One typed character, in a window its document knows: the document is told once, after the
// editors followed the edit, and the window schedules each kind of work once.
TEST_F(EditorWindowTest, OneKeystrokeSchedulesEachKindOfWorkOnceWithTheFinalSelection)
{
    auto document = textDocument(QStringLiteral("# Title\n\nSome text.\n"), QStringLiteral("notes.md"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    window.openSplitTextView();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.hasPainted(); }, 3000));
    EditorTextView* editor = window.textView();
    EditorTextView* second = window.secondaryEditor();
    ASSERT_TRUE(second);
    editor->setFocus();
    editor->setSelectedRange({document->storage().length(), 0});
    second->setSelectedRange({document->storage().length(), 0});
    wait(50);

    auto typeOne = [&](Qt::Key key) {
        const auto before = window.scheduleCounts();
        const auto bars = editor->scrollBarUpdates();
        const auto secondBars = second->scrollBarUpdates();
        QTest::keyClick(editor, key, Qt::NoModifier);
        const auto after = window.scheduleCounts();
        EXPECT_EQ(after.statistics - before.statistics, 1u);
        EXPECT_EQ(after.highlighting - before.highlighting, 1u);
        // The menus already serve this editor: typing does not build them again.
        EXPECT_EQ(after.menus, before.menus);
        EXPECT_EQ(editor->scrollBarUpdates() - bars, 1u);
        EXPECT_EQ(second->scrollBarUpdates() - secondBars, 1u);
        return std::pair{before, after};
    };

    // The preview on screen: one render scheduled.
    auto [before, after] = typeOne(Qt::Key_X);
    EXPECT_EQ(after.preview - before.preview, 1u);
    EXPECT_EQ(document->storage().string(), QStringLiteral("# Title\n\nSome text.\nx"));

    // The inspection on screen: one inspection. The counts were made with the caret after the
    // new line, and the other editor's caret stayed before it.
    window.showDocumentInspector();
    wait(50);
    std::tie(before, after) = typeOne(Qt::Key_Return);
    EXPECT_EQ(after.inspection - before.inspection, 1u);
    EXPECT_TRUE(window.status()->text().endsWith(QStringLiteral("行: 5"))) << window.status()->text().toStdString();
    EXPECT_EQ(editor->selectedRange(), (TextRange{document->storage().length(), 0}));
    EXPECT_EQ(second->selectedRange(), (TextRange{document->storage().length() - 2, 0}));
}

// A paste into the second editor and its undo, in a window its document knows: each is one
// change of the document, told to the window once; the first editor's caret keeps its place.
TEST_F(EditorWindowTest, APasteIntoTheSplitEditorAndItsUndoTakeTheDocumentsRoad)
{
    auto document = textDocument(QStringLiteral("one two\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    window.openSplitTextView();
    EditorTextView* first = window.textView();
    EditorTextView* second = window.secondaryEditor();
    ASSERT_TRUE(second);
    first->setSelectedRange({7, 0});
    second->setFocus();
    second->setSelectedRange({3, 1});
    QApplication::clipboard()->setText(QStringLiteral("-and-"));

    auto before = window.scheduleCounts();
    second->paste();
    auto after = window.scheduleCounts();
    EXPECT_EQ(document->storage().string(), QStringLiteral("one-and-two\n"));
    EXPECT_EQ(after.highlighting - before.highlighting, 1u);
    EXPECT_EQ(second->selectedRange(), (TextRange{8, 0}));
    EXPECT_EQ(first->selectedRange(), (TextRange{11, 0})) << "moved with its text";
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(document->undoManager()->undoActionName(), QStringLiteral("ペースト"));

    document->undoManager()->closeAutomaticGroup();
    before = window.scheduleCounts();
    document->undoManager()->undo();
    after = window.scheduleCounts();
    EXPECT_EQ(document->storage().string(), QStringLiteral("one two\n"));
    EXPECT_EQ(after.highlighting - before.highlighting, 1u);
    EXPECT_EQ(second->selectedRange(), (TextRange{3, 1})) << "the pasting editor's selection comes back";
    EXPECT_EQ(first->selectedRange(), (TextRange{7, 0}));
    EXPECT_FALSE(document->isDocumentEdited());

    // The menus follow the editor a selection change comes from, once per change of editor.
    EXPECT_EQ(window.scheduleCounts().menus, before.menus);
    first->setFocus();
    first->setSelectedRange({1, 0});
    EXPECT_EQ(window.scheduleCounts().menus, before.menus + 1);
    EXPECT_NE(&window.commands(), window.secondaryCommands());
    first->setSelectedRange({2, 0});
    EXPECT_EQ(window.scheduleCounts().menus, before.menus + 1);
}

// With the status line hidden the editors reach the window's foot; shown, it takes its rows and
// the room around them again.
TEST_F(EditorWindowTest, HiddenStatusLineLeavesNoEmptyBandAtTheFoot)
{
    auto document = textDocument(QStringLiteral("text\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.window()->resize(800, 600);
    window.window()->show();
    QWidget* content = window.window()->centralWidget();
    auto footGap = [&] {
        QApplication::processEvents();
        content->layout()->activate();
        QWidget* editors = window.textView();
        while (editors->parentWidget() != content) editors = editors->parentWidget();
        return content->height() - (editors->geometry().bottom() + 1);
    };
    const int shownGap = footGap();
    EXPECT_GE(shownGap, 28 + 20 + 8 + 4 + 8);

    UserDefaults::standard().setBool("editor.statusBar", false);
    NotificationCenter::defaultCenter().post(EditorWindowController::preferencesChangedNotification);
    EXPECT_EQ(footGap(), 0);

    UserDefaults::standard().setBool("editor.statusBar", true);
    NotificationCenter::defaultCenter().post(EditorWindowController::preferencesChangedNotification);
    EXPECT_EQ(footGap(), shownGap);
}
