#include "commands/TextCommandRunner.h"
#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/MenuModel.h"
#include "support/WindowFixture.h"
#include "syntax/SyntaxLanguage.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

struct Case {
    const char* action;
    QString text;
    std::vector<TextRange> selections;
    QVariant argument = {};
};

// The same command on the same text, from an editor's menu and from a document with no window.
struct BothWays {
    KoriDocument withEditor;
    EditorTextView editor{withEditor.sharedStorage()};
    TextCommands commands{&editor, withEditor};
    KoriDocument alone;

    BothWays()
    {
        editor.setUndoManager(withEditor.undoManager());
        MenuItem c;
        c.setRepresentedObject(QStringLiteral("c"));
        commands.perform(QStringLiteral("changeSyntax:"), &c);
    }
    void run(const Case& c)
    {
        for (KoriDocument* document : {&withEditor, &alone}) {
            document->storage().setString(c.text);
            document->undoManager()->removeAllActions();
        }
        editor.setEditingSelections(c.selections, false);
        MenuItem item;
        item.setRepresentedObject(c.argument);
        commands.perform(QString::fromLatin1(c.action), &item);
        withEditor.undoManager()->closeAutomaticGroup();

        TextCommandRunner runner(alone, c.selections);
        runner.setIndentation({4, false});
        runner.setLanguage(SyntaxLanguage::named(QStringLiteral("c")));
        EXPECT_EQ(runner.run(QString::fromLatin1(c.action), c.argument), TextCommandRunner::Outcome::changed);
        alone.undoManager()->closeAutomaticGroup();

        EXPECT_EQ(alone.storage().string(), withEditor.storage().string());
        EXPECT_EQ(alone.undoManager()->undoActionName(), withEditor.undoManager()->undoActionName());
        EXPECT_EQ(alone.undoManager()->undoActionName(), TextCommandRunner::undoName(QString::fromLatin1(c.action)));
        EXPECT_EQ(runner.selections(), editor.normalizedSelectedRanges());
        alone.undoManager()->undo();
        withEditor.undoManager()->undo();
        EXPECT_EQ(alone.storage().string(), c.text);
        EXPECT_EQ(withEditor.storage().string(), c.text);
        EXPECT_FALSE(alone.undoManager()->canUndo()) << "one step";
    }
};

}  // namespace

TEST(TextCommandRunnerTest, CommandsGiveTheSameTextAndUndoFromTheMenuAndWithNoWindow)
{
    BothWays both;
    const QString lines = QStringLiteral("delta\n  bravo  \nalpha\nbravo\n");
    const Case cases[] = {
        {"shiftRight:", lines, {{0, 9}}},
        {"shiftLeft:", QStringLiteral("\tone\n    two\n"), {{0, 12}}},
        {"convertIndentationToSpaces:", QStringLiteral("\tone\n\t\ttwo\n"), {{0, 0}, {6, 0}}},
        {"toggleComment:", lines, {{2, 0}, {18, 3}}},
        {"blockComment:", lines, {{0, 5}}},
        {"surroundSelection:", lines, {{0, 5}, {18, 5}}, QStringList{QStringLiteral("("), QStringLiteral(")")}},
        {"trimTrailingWhitespace:", lines, {{0, lines.size()}}},
        {"moveLineUp:", lines, {{18, 2}}},
        {"moveLineDown:", lines, {{0, 0}}},
        {"duplicateLine:", lines, {{0, 0}, {18, 1}}},
        {"deleteLine:", lines, {{7, 0}}},
        {"sortLinesAscending:", lines, {{0, lines.size()}}},
        {"reverseLines:", lines, {{0, lines.size()}}},
        {"deleteDuplicateLines:", QStringLiteral("a\nb\na\nb\n"), {{0, 8}}},
        {"joinLines:", lines, {{0, 0}}},
        {"uppercase:", lines, {{0, 0}, {18, 0}}},
        {"capitalize:", QStringLiteral("hello big world"), {{0, 15}}},
        {"fullWidthRoman:", QStringLiteral("ABC 123"), {{0, 7}}},
        {"urlEncode:", QStringLiteral("a b/c"), {{0, 5}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.action);
        both.run(c);
    }
}

TEST(TextCommandRunnerTest, WithNoViewTheFirstWindowDecidesWhetherTheDocumentTakesEdits)
{
    test::TempDir dir;
    auto document = test::readFileDocument(dir, QStringLiteral("a.txt"), "b\na\n");
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.textView()->setEditable(false);
    TextCommandRunner runner(*document, {{0, 4}});
    EXPECT_EQ(runner.run(QStringLiteral("sortLinesAscending:")), TextCommandRunner::Outcome::notEditable);
    EXPECT_EQ(document->storage().string(), QStringLiteral("b\na\n"));
    window.textView()->setEditable(true);
    EXPECT_EQ(runner.run(QStringLiteral("sortLinesAscending:")), TextCommandRunner::Outcome::changed);
    EXPECT_EQ(document->storage().string(), QStringLiteral("a\nb\n"));
    EXPECT_EQ(runner.run(QStringLiteral("noSuchCommand:")), TextCommandRunner::Outcome::unknown);
    // The open window's editor follows the edit it did not make, and undo takes it back.
    EXPECT_TRUE(document->isDocumentEdited());
    document->undoManager()->undo();
    EXPECT_EQ(window.textView()->string(), QStringLiteral("b\na\n"));
}

TEST(TextCommandRunnerTest, ACommandReadsTheLinesItChangesNotTheWholeText)
{
    KoriDocument document;
    QString text;
    for (int i = 0; i < 50'000; ++i) text += QStringLiteral("line %1\n").arg(i);
    document.storage().setString(text);
    ASSERT_GT(document.storage().chunkCount(), 1);
    const std::uint64_t flattenings = document.storage().flattenings();
    TextCommandRunner runner(document, {{TextRange(text.size() / 2, 20)}});
    for (const char* action : {"duplicateLine:", "uppercase:", "moveLineUp:", "shiftRight:", "joinLines:"})
        EXPECT_EQ(runner.run(QString::fromLatin1(action)), TextCommandRunner::Outcome::changed) << action;
    EXPECT_EQ(document.storage().flattenings(), flattenings);
    EXPECT_EQ(document.undoManager()->undoActionName(), QStringLiteral("行を連結"));
}
