// Autosave keeps every key typed.
#include "document/KoriDocument.h"
#include "platform/foundation/UndoManager.h"
#include "platform/text/TextView.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFileInfo>

using namespace korimado;
using korimado::test::TempDir;
using korimado::test::readFile;
using korimado::test::spinUntil;

TEST(KoriDocumentAutosave, KeysTypedDuringABackgroundWriteReachTheNextTick)
{
    TempDir dir;
    KoriDocument document;
    const QString path = dir.write("notes.txt", "hello\n");
    ASSERT_TRUE(document.readFromURL(path, KoriDocument::plainTextType, nullptr));
    document.setFileURL(path);
    TextView view;
    view.setTextStorage(document.sharedStorage());
    view.setUndoManager(document.undoManager());
    view.setSelectedRange({5, 0});
    view.insertText("a");
    ASSERT_TRUE(document.hasUnautosavedChanges());

    document.autosaveInBackground();
    // The same typing run goes on while the copy taken above is written.
    view.insertText("b");
    view.insertText("c");
    ASSERT_TRUE(spinUntil([&] { return !document.isAutosavingInBackground(); }));
    EXPECT_EQ(readFile(document.autosavedContentsFileURL()), "helloa\n");
    EXPECT_TRUE(document.hasUnautosavedChanges());

    document.autosaveInBackground();
    ASSERT_TRUE(spinUntil([&] { return !document.isAutosavingInBackground(); }));
    EXPECT_EQ(readFile(document.autosavedContentsFileURL()), "helloabc\n");
    EXPECT_FALSE(document.hasUnautosavedChanges());
    // Still one undo step: counting keys for autosaving leaves the edited state alone.
    document.undoManager()->undo();
    EXPECT_EQ(document.string(), "hello\n");
    EXPECT_FALSE(document.isDocumentEdited());
    const QString autosaved = document.autosavedContentsFileURL();
    ASSERT_TRUE(document.saveDocument());
    EXPECT_FALSE(QFileInfo::exists(autosaved));
}
