// The edited state follows undo steps, not the notifications inside one step.
#include "document/KoriDocument.h"
#include "document/LineEnding.h"
#include "platform/text/TextView.h"
#include "platform/foundation/UndoManager.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace korimado;
using korimado::test::TempDir;

namespace {

struct EditedDocument {
    TempDir dir;
    KoriDocument document;
    TextView view;

    EditedDocument()
    {
        const QString path = dir.write("notes.txt", "hello\n");
        EXPECT_TRUE(document.readFromURL(path, KoriDocument::plainTextType, nullptr));
        document.setFileURL(path);
        view.setTextStorage(document.sharedStorage());
        view.setUndoManager(document.undoManager());
    }

    void type(const QString& text)
    {
        for (const QChar c : text) view.insertText(QString(c));
        document.undoManager()->closeAutomaticGroup();
    }
};

}  // namespace

TEST(KoriDocumentEditedState, UndoingATypingRunLeavesTheDocumentClean)
{
    EditedDocument d;
    d.view.setSelectedRange({5, 0});
    d.type("abc");
    EXPECT_TRUE(d.document.isDocumentEdited());
    d.document.undoManager()->undo();
    EXPECT_EQ(d.document.storage().string(), "hello\n");
    EXPECT_FALSE(d.document.isDocumentEdited());
    d.document.undoManager()->redo();
    EXPECT_TRUE(d.document.isDocumentEdited());
}

TEST(KoriDocumentEditedState, TypingOnAfterSavingIsAChangeOfItsOwn)
{
    EditedDocument d;
    d.view.setSelectedRange({5, 0});
    d.type("ab");
    ASSERT_TRUE(d.document.saveDocument());
    EXPECT_FALSE(d.document.isDocumentEdited());

    // Typing on must mark the document again, and undoing it must stop at what was saved.
    d.type("c");
    EXPECT_TRUE(d.document.isDocumentEdited());
    d.document.undoManager()->undo();
    EXPECT_EQ(d.document.storage().string(), "helloab\n");
    EXPECT_FALSE(d.document.isDocumentEdited());

    // Undoing past the save leaves text that differs from the file: edited.
    d.document.undoManager()->undo();
    EXPECT_EQ(d.document.storage().string(), "hello\n");
    EXPECT_TRUE(d.document.isDocumentEdited());
}

TEST(KoriDocumentEditedState, TheSavePointIsReachedByUndoAndRedoButNeverAfterANewEdit)
{
    EditedDocument d;
    UndoManager& undo = *d.document.undoManager();
    d.view.setSelectedRange({5, 0});
    d.type("a");
    d.view.breakUndoCoalescing();
    d.type("b");
    ASSERT_TRUE(d.document.saveDocument());
    EXPECT_FALSE(d.document.isDocumentEdited());

    // Away from the save point and back, in both directions.
    undo.undo();
    EXPECT_TRUE(d.document.isDocumentEdited());
    undo.redo();
    EXPECT_FALSE(d.document.isDocumentEdited()) << "redo back to what was saved";
    undo.undo();
    undo.undo();
    EXPECT_EQ(d.document.storage().string(), "hello\n");
    EXPECT_TRUE(d.document.isDocumentEdited()) << "the file holds \"ab\"";

    // A new edit after undoing past the save point: no step leads back to it any more, though
    // counting done and undone would call it clean.
    d.type("x");
    EXPECT_TRUE(d.document.isDocumentEdited());
    undo.undo();
    EXPECT_EQ(d.document.storage().string(), "hello\n");
    EXPECT_TRUE(d.document.isDocumentEdited());

    // A format change is a step like any other: undoing it comes back.
    ASSERT_TRUE(d.document.saveDocument());
    TextFormat format = d.document.format();
    format.lineEnding = LineEnding::crlf;
    d.document.changeFormat(format);
    EXPECT_TRUE(d.document.isDocumentEdited());
    undo.undo();
    EXPECT_FALSE(d.document.isDocumentEdited());
}
