// The language, tokens and outline belong to the document: with two editors open, one edit costs
// one parse, whose result both editors paint.
#include "commands/TextCommands.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/text/LayoutManager.h"
#include "support/WindowFixture.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"
#include "window/EditorWindowController.h"

#include <QMainWindow>
#include <QTest>

#include <gtest/gtest.h>

using namespace korimado;

TEST(EditorWindowSyntax, WithTheSplitOpenOneEditStartsOneParseAndBothEditorsPaintItsTokens)
{
    test::TempDir dir;
    auto document = test::readFileDocument(dir, QStringLiteral("notes.md"), "# Title\n\ntext\n\n## Part\n");
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.window()->show();
    ASSERT_TRUE(QTest::qWaitFor([&] { return window.hasPainted(); }, 3000));
    window.openSplitTextView();
    SyntaxModel& model = SyntaxModel::of(*document);
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.hasCurrentTokens() && !model.parseInFlight(); }, 5000));
    EXPECT_EQ(model.language().id, QStringLiteral("markdown"));
    EXPECT_EQ(model.outline().size(), 2u);

    const std::uint64_t before = model.parseCount();
    const std::uint64_t editParsesBefore = model.editParseCount();
    window.textView()->setSelectedRange({7, 0});
    window.textView()->insertText(QStringLiteral("s"));
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.hasCurrentTokens(); }, 5000));
    QTest::qWait(SyntaxModel::parseDelayMs * 2);
    EXPECT_EQ(model.editParseCount() - editParsesBefore, 1u) << "one parse around the edit for the document, not one per editor";
    // Once the keys pause, one full parse.
    ASSERT_TRUE(QTest::qWaitFor([&] { return model.parseCount() > before && !model.parseInFlight() && model.hasCurrentTokens(); },
                                SyntaxModel::settleDelayMs + 5000));
    EXPECT_EQ(model.parseCount() - before, 1u) << "one full parse for the document, not one per editor";
    window.makeFirstResponder(window.textView());
    ASSERT_TRUE(window.secondaryCommands());
    for (TextCommands* commands : {&window.commands(), window.secondaryCommands()}) {
        int runs = 0;
        commands->editor()->layoutManager()->enumerateTemporaryAttributes(
            &commands->syntaxHighlighter(), TextRange(0, document->storage().length()),
            [&](TextRange, const TemporaryAttributes&) { ++runs; });
        EXPECT_GT(runs, 0) << "each editor paints the one result";
    }
}
