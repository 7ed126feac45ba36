#include "editor/DocumentEditor.h"
#include "editor/EditorHost.h"

#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "support/TestSupport.h"
#include "support/WindowFixture.h"

#include <QMainWindow>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

class DocumentEditorTest : public ::testing::Test {
protected:
    std::unique_ptr<KoriDocument> textDocument(const QString& text)
    {
        return test::readFileDocument(dir, QStringLiteral("a.txt"), text.toUtf8());
    }

    test::TempDir dir;
};

TEST_F(DocumentEditorTest, TheWindowHandsOutItsEditorsAndTheOneWithTheFocus)
{
    auto document = textDocument(QStringLiteral("one\ntwo\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    EditorHost* host = EditorHost::of(*document);
    ASSERT_EQ(host, static_cast<EditorHost*>(&window));
    EXPECT_EQ(host->primaryEditor(), static_cast<DocumentEditor*>(window.textView()));
    EXPECT_EQ(host->secondaryDocumentEditor(), nullptr);
    EXPECT_EQ(host->documentEditors(), std::vector<DocumentEditor*>{host->primaryEditor()});
    EXPECT_EQ(host->focusedEditor(), host->primaryEditor());

    window.openSplitTextView();
    DocumentEditor* second = host->secondaryDocumentEditor();
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(host->documentEditors(), (std::vector<DocumentEditor*>{host->primaryEditor(), second}));
    window.makeFirstResponder(window.secondaryEditor());
    EXPECT_EQ(host->focusedEditor(), second);
    window.makeFirstResponder(window.textView());
    EXPECT_EQ(host->focusedEditor(), host->primaryEditor());

    window.closeSplitTextView();
    EXPECT_EQ(host->secondaryDocumentEditor(), nullptr);
    EXPECT_EQ(host->documentEditors().size(), 1u);

    KoriDocument windowless;
    EXPECT_EQ(EditorHost::of(windowless), nullptr);
}

TEST_F(DocumentEditorTest, EachEditorKeepsItsSelectionsOptionsAndEditableFlag)
{
    auto document = textDocument(QStringLiteral("alpha\nbeta\ngamma\n"));
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    window.openSplitTextView();
    DocumentEditor* primary = window.primaryEditor();
    DocumentEditor* second = window.secondaryDocumentEditor();
    ASSERT_NE(second, nullptr);

    // Several carets stay several; a single range replaces them, except the first caret alone.
    second->select({TextRange{6, 0}, TextRange{0, 0}, TextRange{11, 0}});
    EXPECT_EQ(second->selections(), (QVector<TextRange>{{0, 0}, {6, 0}, {11, 0}}));
    second->select({TextRange{0, 0}});
    EXPECT_EQ(second->selections().size(), 3) << "the first of several carets leaves the others";
    second->select({TextRange{2, 3}});
    EXPECT_EQ(second->selections(), QVector<TextRange>{TextRange(2, 3)});
    EXPECT_EQ(second->selectedRange(), TextRange(2, 3));
    EXPECT_EQ(primary->selectedRange(), TextRange(0, 0)) << "the other editor keeps its own";
    second->select({TextRange{40, 9}});
    EXPECT_EQ(second->selectedRange(), TextRange(document->string().size(), 0)) << "clamped to the text";

    EditorOptions options = second->options();
    options.tabWidth = 7;
    options.usesSpacesForIndentation = !options.usesSpacesForIndentation;
    second->apply(options);
    EXPECT_EQ(second->options().tabWidth, 7);
    EXPECT_NE(primary->options().tabWidth, 7);

    second->setEditable(false);
    EXPECT_FALSE(second->isEditable());
    EXPECT_FALSE(second->options().editable);
    EXPECT_TRUE(primary->isEditable());
    EXPECT_EQ(primary->wrapsLines(), second->wrapsLines());
    window.toggleWrap(!primary->wrapsLines());
    EXPECT_EQ(primary->wrapsLines(), second->wrapsLines()) << "the window wraps both or neither";
}

TEST_F(DocumentEditorTest, TheVisibleRangeFollowsScrollingAndACommandRunsWithoutTheFocus)
{
    QString text;
    for (int line = 0; line < 400; ++line) text += QStringLiteral("line %1\n").arg(line);
    auto document = textDocument(text);
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    window.window()->resize(800, 500);
    DocumentEditor* editor = window.primaryEditor();
    const TextRange top = editor->visibleRange();
    EXPECT_EQ(top.location, 0);
    EXPECT_GT(top.length, 0);
    EXPECT_LT(top.end(), text.size()) << "400 lines do not fit";

    const qsizetype last = text.lastIndexOf(QStringLiteral("line 399"));
    editor->scrollRangeToVisible(TextRange{last, 0});
    const TextRange bottom = editor->visibleRange();
    EXPECT_LE(bottom.location, last);
    EXPECT_GE(bottom.end(), last);
    EXPECT_GT(bottom.location, 0);

    // The command runs on the second editor's selection while the first has the focus, as one step.
    window.openSplitTextView();
    window.makeFirstResponder(window.textView());
    DocumentEditor* second = window.secondaryDocumentEditor();
    ASSERT_NE(second, nullptr);
    second->select({TextRange{0, 0}});
    UndoManager* undo = document->undoManager();
    ASSERT_NE(undo, nullptr);
    EXPECT_TRUE(second->runCommand(QStringLiteral("moveLineDown:")));
    EXPECT_TRUE(document->string().startsWith(QStringLiteral("line 1\nline 0\n")));
    EXPECT_EQ(second->selectedRange(), TextRange(14, 0)) << "the command's caret, after the lines it replaced";
    EXPECT_EQ(editor->selectedRange().location, 0);
    undo->undo();
    EXPECT_EQ(document->string(), text) << "one undo step";
    EXPECT_FALSE(second->runCommand(QStringLiteral("noSuchCommand:")));
}

}  // namespace
