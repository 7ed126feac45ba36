#pragma once

#include <QObject>
#include <QString>

#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <utility>
#include <vector>

namespace korimado {

// Undo and redo stacks of groups of actions, on the main thread only.
//
// Grouping: registrations go into the open group; nested begin/end pairs form one step at the
// outermost level. With groupsByEvent on (the default), a registration made while no group is open
// opens an automatic group that closes at the end of the current event-loop turn. Code without an
// event loop (tests) closes it with closeAutomaticGroup(); undo(), redo(), canUndo() and canRedo()
// treat an open automatic group as closed, as the event loop would have done.
//
// Typing runs: consecutive typed characters become one step. The text view registers the first
// character of a run with registerCoalescableUndo() and extends the same step while canCoalesce()
// says the run is unbroken:
//
//     if (undo.canCoalesce(this)) {
//         run->extend(range, replaced);                    // state shared with the registered action
//         undo.replaceCoalescedAction(run->inverse());     // or keep the action, if it reads `run`
//     } else {
//         run = std::make_shared<TypingRun>(range, replaced);
//         undo.registerCoalescableUndo(run->inverse(), this);
//         undo.setActionName(QStringLiteral("入力"));
//     }
//
// A run breaks at any other registration, at the begin or end of an explicit group, at undo and
// redo, at removeAllActions, while registration is disabled, and when breakCoalescing() is called
// (the text view calls it when the user moves the selection). A registration made inside an
// explicit group never starts a run: the group is its own step.
class UndoManager {
public:
    using Action = std::function<void()>;

    // How a closed group came about, for the document's change count.
    enum class Change { Done, Undone, Redone };

    UndoManager();
    ~UndoManager();
    UndoManager(const UndoManager&) = delete;
    UndoManager& operator=(const UndoManager&) = delete;

    // Registration. `target` only serves removeAllActions(target). Ignored while registration is
    // disabled. A registration outside undo and redo clears the redo stack.
    void registerUndo(Action action, const void* target = nullptr);
    // Registers the first action of a typing run owned by `token` (also the action's target).
    void registerCoalescableUndo(Action action, const void* token);
    // True when the last step is the unbroken typing run of `token`.
    bool canCoalesce(const void* token) const;
    // Replaces the run's action; false (and nothing changes) when there is no run.
    bool replaceCoalescedAction(Action action);
    void breakCoalescing();

    // Grouping.
    void beginUndoGrouping();
    void endUndoGrouping();  // unmatched calls are ignored
    int groupingLevel() const { return level_; }
    bool groupsByEvent() const { return groupsByEvent_; }
    void setGroupsByEvent(bool on) { groupsByEvent_ = on; }
    void closeAutomaticGroup();

    // Action names: set on the outermost open group, or the last closed step when none is open.
    void setActionName(const QString& name);
    QString undoActionName() const;
    QString redoActionName() const;
    // "取り消す（置換）", or "取り消す" when the step has no name; the same for redo.
    QString undoMenuItemTitle() const;
    QString redoMenuItemTitle() const;

    // Undo and redo. An action that throws stops the step; the manager is left consistent (flags
    // reset, groups closed, what was registered so far kept for the opposite direction) and the
    // exception propagates. Calls made while an explicit group is open, or from inside an action,
    // do nothing; canUndo()/canRedo() answer exactly whether undo()/redo() would act.
    bool canUndo() const;
    bool canRedo() const;
    void undo();
    void redo();
    bool isUndoing() const { return mode_ == Mode::Undoing; }
    bool isRedoing() const { return mode_ == Mode::Redoing; }

    // Where the history stands: every step recorded moves on to a state never seen before; undo
    // goes back to the state before its step and redo forward again. A typing run that grows
    // keeps its state. Compared with a state kept earlier, it tells whether anything undoable
    // happened since that was not undone again.
    std::uint64_t stateId() const { return state_; }

    void removeAllActions();
    void removeAllActions(const void* target);

    // Steps kept per stack; 0 = unlimited. The oldest steps go first.
    int levelsOfUndo() const { return levelsOfUndo_; }
    void setLevelsOfUndo(int levels);

    // Nestable; an unmatched enable is ignored.
    void disableUndoRegistration();
    void enableUndoRegistration();
    bool isUndoRegistrationEnabled() const { return disabled_ == 0; }

    // Notifications, called once the manager is consistent again. didCloseGroup is called for every
    // step recorded (a group closed with at least one action): Done for ordinary work, Undone for
    // the redo step that an undo records, Redone for the undo step that a redo records.
    std::function<void(Change)> didCloseGroup;
    std::function<void()> didUndo;
    std::function<void()> didRedo;

private:
    enum class Mode { Normal, Undoing, Redoing };
    struct Entry {
        Action action;
        const void* target = nullptr;
    };
    struct Group {
        std::vector<Entry> entries;
        QString name;
        std::uint64_t id = 0;
        // Performing the group's actions takes the history from one state to the other.
        std::uint64_t from = 0;
        std::uint64_t to = 0;
    };

    Group newGroup(const QString& name = {});
    // The first entry of a group made outside undo and redo: a step to a new state.
    void enterNewState(Group& group);
    void record(Group&& group);
    void push(std::deque<Group>& stack, Group&& group);
    void closeOutermost();
    void scheduleAutomaticClose();
    bool automaticOpenOnly() const { return level_ == 1 && automatic_; }
    bool explicitGroupOpen() const { return level_ > (automatic_ ? 1 : 0); }
    const Group* pendingUndoGroup() const;
    Group* coalescingGroup();
    const Group* coalescingGroup() const;
    void perform(Mode mode, std::deque<Group>& from);

    std::deque<Group> undoStack_;
    std::deque<Group> redoStack_;
    std::optional<Group> open_;  // the outermost open group; nested groups flatten into it
    int level_ = 0;
    int floor_ = 0;              // while undoing or redoing, actions cannot end the recording group
    bool automatic_ = false;     // the outermost open group was opened by a registration
    bool closeScheduled_ = false;
    bool groupsByEvent_ = true;
    int disabled_ = 0;
    int levelsOfUndo_ = 0;
    Mode mode_ = Mode::Normal;
    std::uint64_t nextId_ = 1;
    std::uint64_t state_ = 0;

    struct Run {
        const void* token = nullptr;
        std::uint64_t groupId = 0;
    };
    std::optional<Run> run_;

    QObject eventContext_;  // pending end-of-turn closes die with the manager
};

}  // namespace korimado
