#include "platform/foundation/UndoManager.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <memory>
#include <stdexcept>
#include <vector>

using korimado::UndoManager;

namespace {

// A text that records its edits the way the text view does: each replacement registers its inverse.
struct Text {
    UndoManager& undo;
    QString string;

    void replace(int at, int length, const QString& with)
    {
        const QString old = string.mid(at, length);
        string.replace(at, length, with);
        const int newLength = static_cast<int>(with.size());
        undo.registerUndo([this, at, newLength, old] { replace(at, newLength, old); }, this);
    }
};

// Typing at the end of a text, coalescing into one step while the run lasts.
struct Typist {
    UndoManager& undo;
    QString string;
    struct Run {
        int start = 0;
        int length = 0;
    };
    std::shared_ptr<Run> run;

    void type(const QString& s)
    {
        const int at = static_cast<int>(string.size());
        string += s;
        if (undo.canCoalesce(this)) {
            run->length += static_cast<int>(s.size());
            return;
        }
        run = std::make_shared<Run>(Run{at, static_cast<int>(s.size())});
        undo.registerCoalescableUndo([this, r = run] { erase(r->start, r->length); }, this);
        undo.setActionName(QStringLiteral("入力"));
    }

    void erase(int at, int length)
    {
        const QString old = string.mid(at, length);
        string.remove(at, length);
        undo.registerUndo([this, at, old] { insert(at, old); }, this);
    }

    void insert(int at, const QString& s)
    {
        string.insert(at, s);
        undo.registerUndo([this, at, n = static_cast<int>(s.size())] { erase(at, n); }, this);
    }
};

}  // namespace

TEST(UndoManager, NestedGroupsAreOneStepWithTheOuterName)
{
    UndoManager undo;
    Text text{undo, "abc"};
    undo.beginUndoGrouping();
    text.replace(0, 1, "X");
    undo.beginUndoGrouping();
    EXPECT_EQ(undo.groupingLevel(), 2);
    text.replace(1, 1, "Y");
    undo.setActionName("内側");
    undo.endUndoGrouping();
    EXPECT_FALSE(undo.canUndo());  // an explicit group is still open
    text.replace(2, 1, "Z");
    undo.setActionName("置換");
    undo.endUndoGrouping();
    EXPECT_EQ(undo.groupingLevel(), 0);
    EXPECT_EQ(text.string, "XYZ");

    EXPECT_EQ(undo.undoActionName(), "置換");
    EXPECT_EQ(undo.undoMenuItemTitle(), "取り消す（置換）");
    undo.undo();
    EXPECT_EQ(text.string, "abc");
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(undo.redoActionName(), "置換");
    EXPECT_EQ(undo.redoMenuItemTitle(), "やり直す（置換）");
    undo.redo();
    EXPECT_EQ(text.string, "XYZ");
    EXPECT_EQ(undo.undoActionName(), "置換");
}

TEST(UndoManager, MenuTitlesWithoutNameAndEmptyGroups)
{
    UndoManager undo;
    EXPECT_EQ(undo.undoMenuItemTitle(), "取り消す");
    EXPECT_EQ(undo.redoMenuItemTitle(), "やり直す");
    undo.beginUndoGrouping();
    undo.setActionName("何もしない");
    undo.endUndoGrouping();
    EXPECT_FALSE(undo.canUndo()) << "an empty group is not a step";
    undo.endUndoGrouping();  // unmatched: ignored
    EXPECT_EQ(undo.groupingLevel(), 0);
}

TEST(UndoManager, AutomaticGroupCollectsOneEventTurn)
{
    UndoManager undo;
    Text text{undo, "ab"};
    text.replace(0, 1, "1");
    text.replace(1, 1, "2");
    EXPECT_EQ(undo.groupingLevel(), 1);
    undo.setActionName("編集");
    EXPECT_TRUE(undo.canUndo()) << "the open automatic group counts as closed";
    EXPECT_EQ(undo.undoActionName(), "編集");
    undo.undo();  // closes the automatic group first
    EXPECT_EQ(text.string, "ab");
    EXPECT_EQ(undo.groupingLevel(), 0);

    // The event loop closes it at the end of the turn.
    text.replace(0, 1, "x");
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();
    EXPECT_EQ(undo.groupingLevel(), 0);
    text.replace(1, 1, "y");
    undo.closeAutomaticGroup();
    undo.undo();
    EXPECT_EQ(text.string, "xb") << "two event turns are two steps";
}

TEST(UndoManager, PendingCloseDiesWithTheManager)
{
    {
        UndoManager undo;
        undo.registerUndo([] {});
    }
    QEventLoop loop;
    QTimer::singleShot(0, &loop, &QEventLoop::quit);
    loop.exec();  // must not touch the destroyed manager (ASan)
    SUCCEED();
}

TEST(UndoManager, WithoutEventGroupingEachRegistrationIsAStep)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Text text{undo, "ab"};
    text.replace(0, 1, "1");
    text.replace(1, 1, "2");
    EXPECT_EQ(undo.groupingLevel(), 0);
    undo.undo();
    EXPECT_EQ(text.string, "1b");
}

TEST(UndoManager, UndoAndRedoAlternateIndefinitely)
{
    // An action that re-registers itself with the state it replaces, like the line-ending change.
    UndoManager undo;
    QString format = "LF";
    std::function<void(QString)> restore = [&](QString to) {
        const QString current = format;
        undo.registerUndo([&restore, current] { restore(current); });
        format = to;
    };
    undo.beginUndoGrouping();
    undo.registerUndo([&restore] { restore("LF"); });
    format = "CRLF";
    undo.endUndoGrouping();
    undo.setActionName("改行コードを変更");

    for (int i = 0; i < 5; ++i) {
        undo.undo();
        EXPECT_EQ(format, "LF");
        EXPECT_FALSE(undo.canUndo());
        EXPECT_EQ(undo.redoActionName(), "改行コードを変更");
        undo.redo();
        EXPECT_EQ(format, "CRLF");
        EXPECT_FALSE(undo.canRedo());
        EXPECT_EQ(undo.undoActionName(), "改行コードを変更");
    }
}

TEST(UndoManager, ActionsRunInReverseAndSetNamesWhileUndoing)
{
    UndoManager undo;
    std::vector<int> order;
    undo.beginUndoGrouping();
    for (int i = 0; i < 3; ++i) {
        undo.registerUndo([&, i] {
            order.push_back(i);
            undo.registerUndo([] {});
            undo.setActionName("別名");
        });
    }
    undo.setActionName("元");
    undo.endUndoGrouping();
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    bool sawUndoing = false;
    undo.didCloseGroup = [&](UndoManager::Change c) { sawUndoing = c == UndoManager::Change::Undone; };
    undo.undo();
    EXPECT_EQ(order, (std::vector<int>{2, 1, 0}));
    EXPECT_EQ(undo.redoActionName(), "別名");
    EXPECT_TRUE(sawUndoing);
}

TEST(UndoManager, NewWorkClearsRedoButUndoAndRedoDoNot)
{
    UndoManager undo;
    Text text{undo, "a"};
    text.replace(0, 1, "b");
    undo.closeAutomaticGroup();
    text.replace(0, 1, "c");
    undo.closeAutomaticGroup();
    undo.undo();
    undo.undo();
    EXPECT_EQ(text.string, "a");
    EXPECT_TRUE(undo.canRedo());
    undo.redo();
    EXPECT_TRUE(undo.canRedo()) << "redo keeps the rest of the redo stack";
    text.replace(0, 1, "z");
    EXPECT_FALSE(undo.canRedo());
    undo.closeAutomaticGroup();
    undo.undo();
    undo.undo();
    EXPECT_EQ(text.string, "a");
}

TEST(UndoManager, TypingCoalescesUntilTheRunBreaks)
{
    UndoManager undo;
    Typist t{undo, {}, {}};
    t.type("a");
    undo.closeAutomaticGroup();  // each keystroke is its own event turn
    t.type("b");
    undo.closeAutomaticGroup();
    t.type("c");
    undo.closeAutomaticGroup();
    EXPECT_EQ(undo.undoActionName(), "入力");
    undo.undo();
    EXPECT_EQ(t.string, "");
    EXPECT_FALSE(undo.canUndo());
    undo.redo();
    EXPECT_EQ(t.string, "abc");

    // Undo and redo break the run: the next character is a new step.
    t.type("d");
    undo.closeAutomaticGroup();
    undo.undo();
    EXPECT_EQ(t.string, "abc");

    struct Case {
        const char* what;
        std::function<void()> breakRun;
    };
    int other = 0;
    const std::vector<Case> breaks = {
        {"breakCoalescing", [&] { undo.breakCoalescing(); }},
        {"explicit group", [&] { undo.beginUndoGrouping(); undo.endUndoGrouping(); }},
        {"another registration", [&] { undo.registerUndo([&] { ++other; }); undo.closeAutomaticGroup(); }},
        {"disabled registration", [&] { undo.disableUndoRegistration(); undo.enableUndoRegistration(); }},
    };
    for (const Case& c : breaks) {
        undo.removeAllActions();
        t.string = "x";
        t.type("1");
        undo.closeAutomaticGroup();
        c.breakRun();
        EXPECT_FALSE(undo.canCoalesce(&t)) << c.what;
        t.type("2");
        undo.closeAutomaticGroup();
        undo.undo();
        EXPECT_EQ(t.string, "x1") << c.what;
    }
}

TEST(UndoManager, CoalescingBelongsToOneTokenAndNotToExplicitGroups)
{
    UndoManager undo;
    Typist first{undo, {}, {}};
    Typist second{undo, {}, {}};
    first.type("a");
    undo.closeAutomaticGroup();
    EXPECT_FALSE(undo.canCoalesce(&second));
    EXPECT_FALSE(undo.canCoalesce(nullptr));

    // Typing inside an explicit group is that group's own step, never the start of a run.
    undo.beginUndoGrouping();
    second.type("b");
    undo.endUndoGrouping();
    EXPECT_FALSE(undo.canCoalesce(&second));
    second.type("c");
    undo.closeAutomaticGroup();
    undo.undo();
    EXPECT_EQ(second.string, "b");

    EXPECT_FALSE(undo.replaceCoalescedAction([] {})) << "no run after undo";
    first.type("z");
    EXPECT_TRUE(undo.replaceCoalescedAction([&] { first.string = "replaced"; }));
    undo.undo();
    EXPECT_EQ(first.string, "replaced");
}

TEST(UndoManager, RemoveAllActions)
{
    UndoManager undo;
    Text a{undo, "a"};
    Text b{undo, "b"};
    a.replace(0, 1, "A");
    b.replace(0, 1, "B");
    undo.closeAutomaticGroup();
    b.replace(0, 1, "C");
    undo.closeAutomaticGroup();

    undo.removeAllActions(&b);
    EXPECT_TRUE(undo.canUndo());
    undo.undo();  // the step left with only b's action is gone; the first keeps a's
    EXPECT_EQ(a.string, "a");
    EXPECT_EQ(b.string, "C");
    EXPECT_FALSE(undo.canUndo());
    EXPECT_TRUE(undo.canRedo());

    a.replace(0, 1, "Q");  // inside an open automatic group
    undo.removeAllActions();
    EXPECT_FALSE(undo.canUndo());
    EXPECT_FALSE(undo.canRedo());
    EXPECT_EQ(undo.groupingLevel(), 1) << "open groups stay balanced";
    undo.closeAutomaticGroup();
    EXPECT_FALSE(undo.canUndo());
}

TEST(UndoManager, DisabledRegistrationNestsAndLevelsLimitTheStack)
{
    UndoManager undo;
    Text text{undo, "a"};
    undo.disableUndoRegistration();
    undo.disableUndoRegistration();
    undo.enableUndoRegistration();
    EXPECT_FALSE(undo.isUndoRegistrationEnabled());
    text.replace(0, 1, "b");
    undo.enableUndoRegistration();
    undo.enableUndoRegistration();  // unmatched: ignored
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    EXPECT_FALSE(undo.canUndo());

    undo.setLevelsOfUndo(2);
    for (const char* s : {"1", "2", "3"}) {
        text.replace(0, 1, s);
        undo.closeAutomaticGroup();
    }
    undo.undo();
    undo.undo();
    EXPECT_FALSE(undo.canUndo());
    EXPECT_EQ(text.string, "1");
}

TEST(UndoManager, NotificationsCountChanges)
{
    UndoManager undo;
    Text text{undo, "a"};
    int done = 0, undone = 0, redone = 0, didUndo = 0, didRedo = 0;
    undo.didCloseGroup = [&](UndoManager::Change c) {
        (c == UndoManager::Change::Done ? done : c == UndoManager::Change::Undone ? undone : redone)++;
    };
    undo.didUndo = [&] {
        ++didUndo;
        EXPECT_FALSE(undo.isUndoing());
    };
    undo.didRedo = [&] { ++didRedo; };
    text.replace(0, 1, "b");
    EXPECT_EQ(done, 0) << "not before the group closes";
    undo.closeAutomaticGroup();
    undo.undo();
    undo.redo();
    EXPECT_EQ(std::vector<int>({done, undone, redone, didUndo, didRedo}), std::vector<int>({1, 1, 1, 1, 1}));
}

TEST(UndoManager, ThrowingActionLeavesAConsistentManager)
{
    UndoManager undo;
    Text text{undo, "abc"};
    bool throwNow = true;
    undo.beginUndoGrouping();
    text.replace(0, 1, "X");
    undo.registerUndo([&] {
        if (throwNow) {
            throw std::runtime_error("boom");
        }
    });
    text.replace(2, 1, "Z");
    undo.endUndoGrouping();

    // Undo runs "Z" back, then throws; "X" is not reached.
    EXPECT_THROW(undo.undo(), std::runtime_error);
    EXPECT_FALSE(undo.isUndoing());
    EXPECT_EQ(undo.groupingLevel(), 0);
    EXPECT_TRUE(undo.isUndoRegistrationEnabled());
    EXPECT_EQ(text.string, "Xbc");
    EXPECT_TRUE(undo.canRedo()) << "what was undone can be redone";
    undo.redo();
    EXPECT_EQ(text.string, "XbZ");

    // An action that leaves a group open, or tries to end the recording group, cannot unbalance it.
    undo.removeAllActions();
    undo.registerUndo([&] {
        undo.beginUndoGrouping();
        undo.endUndoGrouping();
        undo.endUndoGrouping();
        undo.beginUndoGrouping();
        text.replace(0, 1, "Q");
    });
    undo.closeAutomaticGroup();
    undo.undo();
    EXPECT_EQ(undo.groupingLevel(), 0);
    EXPECT_TRUE(undo.canRedo());
    EXPECT_FALSE(undo.canUndo());
}

TEST(UndoManager, ReentrantUndoIsIgnored)
{
    UndoManager undo;
    int runs = 0;
    undo.registerUndo([&] {
        ++runs;
        EXPECT_FALSE(undo.canUndo());
        undo.undo();
        undo.redo();
    });
    undo.registerUndo([&] { ++runs; });
    undo.undo();
    EXPECT_EQ(runs, 2);
}

TEST(UndoManager, TheStateMovesWithEveryStepAndComesBackWithUndoAndRedo)
{
    UndoManager undo;
    undo.setGroupsByEvent(false);
    Text text{undo, "abc"};
    Typist typist{undo, "", nullptr};
    const auto start = undo.stateId();
    text.replace(0, 1, "A");
    const auto first = undo.stateId();
    EXPECT_NE(first, start);
    typist.type("x");
    const auto typed = undo.stateId();
    typist.type("y");
    EXPECT_EQ(undo.stateId(), typed) << "a run that grows keeps its state";

    undo.undo();
    EXPECT_EQ(undo.stateId(), first);
    undo.undo();
    EXPECT_EQ(undo.stateId(), start);
    undo.redo();
    EXPECT_EQ(undo.stateId(), first);
    undo.redo();
    EXPECT_EQ(undo.stateId(), typed);

    // Undone, then new work: a state never seen before, from which nothing leads back.
    undo.undo();
    text.replace(0, 1, "B");
    EXPECT_NE(undo.stateId(), typed);
    EXPECT_NE(undo.stateId(), first);
    EXPECT_FALSE(undo.canRedo());
    // An empty group, or registration while disabled, is no step.
    const auto now = undo.stateId();
    undo.beginUndoGrouping();
    undo.endUndoGrouping();
    undo.disableUndoRegistration();
    text.replace(0, 1, "C");
    undo.enableUndoRegistration();
    EXPECT_EQ(undo.stateId(), now);
}
