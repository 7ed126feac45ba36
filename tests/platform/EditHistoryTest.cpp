// The history beside the storage: edits made without any view are undoable, steps follow the
// storage's transactions, typing announced by one owner coalesces, and replays alternate.
#include "platform/foundation/UndoManager.h"
#include "platform/text/EditHistory.h"
#include "platform/text/TextStorage.h"

#include <gtest/gtest.h>

#include <memory>

using namespace korimado;

namespace {

struct Recorded {
    std::shared_ptr<TextStorage> storage = std::make_shared<TextStorage>(QStringLiteral("hello world"));
    UndoManager undo;
    int steps = 0;

    Recorded()
    {
        storage->history().setDefaultUndoManager(&undo);
        storage->history().didRecordStep = [this] { ++steps; };
    }

    void typeAt(const void* owner, TextRange range, const QString& text)
    {
        EditHistory::Announcement a;
        a.undoManager = &undo;
        a.owner = owner;
        a.typing = true;
        a.actionName = QStringLiteral("入力");
        storage->history().announce(std::move(a));
        storage->replaceCharacters(range, text);
        undo.closeAutomaticGroup();  // one key per event-loop turn
    }
};

}  // namespace

TEST(EditHistory, EditsWithoutAViewAreStepsOfTheirTransactionAndReplayBothWays)
{
    Recorded r;
    // Two replacements in one transaction, applied front to back: one step.
    r.storage->beginEditing();
    r.storage->replaceCharacters({0, 5}, QStringLiteral("HELLO there"));
    r.storage->replaceCharacters({12, 5}, QStringLiteral("W"));
    r.storage->endEditing();
    r.undo.setActionName(QStringLiteral("置換"));
    r.undo.closeAutomaticGroup();
    r.storage->replaceCharacters({r.storage->length(), 0}, QStringLiteral("!"));
    r.undo.closeAutomaticGroup();
    EXPECT_EQ(r.storage->string(), QStringLiteral("HELLO there W!"));
    EXPECT_EQ(r.steps, 2);

    r.undo.undo();
    EXPECT_EQ(r.storage->string(), QStringLiteral("HELLO there W"));
    EXPECT_EQ(r.undo.undoActionName(), QStringLiteral("置換"));
    r.undo.undo();
    EXPECT_EQ(r.storage->string(), QStringLiteral("hello world"));
    EXPECT_EQ(r.steps, 4) << "each replay is recorded like any edit";
    r.undo.redo();
    r.undo.redo();
    EXPECT_EQ(r.storage->string(), QStringLiteral("HELLO there W!"));
    r.undo.undo();
    r.undo.undo();
    EXPECT_EQ(r.storage->string(), QStringLiteral("hello world")) << "undo and redo keep alternating";
    EXPECT_FALSE(r.undo.canUndo());

    // A text set as a whole (a read) is no step.
    r.storage->setString(QStringLiteral("read"));
    EXPECT_EQ(r.steps, 8);
}

TEST(EditHistory, TypingOfOneOwnerCoalescesUntilBrokenOrAnotherOwnerTypes)
{
    Recorded r;
    const int view = 0, other = 0;
    r.typeAt(&view, {5, 0}, QStringLiteral(","));
    r.typeAt(&view, {6, 0}, QStringLiteral("x"));
    r.typeAt(&view, {6, 1}, QString());  // backspace inside the run
    r.typeAt(&view, {4, 2}, QString());  // backspace past the run's start
    r.typeAt(&view, {4, 0}, QStringLiteral("p"));
    EXPECT_EQ(r.storage->string(), QStringLiteral("hellp world"));
    r.typeAt(&other, {0, 0}, QStringLiteral(">"));  // another owner: a step of its own
    r.undo.closeAutomaticGroup();
    r.undo.undo();
    EXPECT_EQ(r.storage->string(), QStringLiteral("hellp world"));
    r.undo.undo();
    EXPECT_EQ(r.storage->string(), QStringLiteral("hello world")) << "the whole run was one step";
    EXPECT_EQ(r.undo.undoActionName(), QString());

    r.undo.redo();
    r.typeAt(&view, {5, 0}, QStringLiteral("1"));
    r.storage->history().breakCoalescing();
    r.typeAt(&view, {6, 0}, QStringLiteral("2"));
    r.undo.closeAutomaticGroup();
    r.undo.undo();
    EXPECT_EQ(r.storage->string(), QStringLiteral("hellp1 world")) << "a broken run starts a new step";
}

TEST(EditHistory, AnUndoOutlivingItsStorageDoesNothing)
{
    Recorded r;
    r.storage->replaceCharacters({0, 0}, QStringLiteral("x"));
    r.undo.closeAutomaticGroup();
    r.storage->history().didRecordStep = nullptr;
    r.storage.reset();
    ASSERT_TRUE(r.undo.canUndo());
    r.undo.undo();
    SUCCEED();
}
