#include "platform/foundation/UndoManager.h"

#include <QCoreApplication>
#include <QMetaObject>

#include <algorithm>
#include <exception>

namespace korimado {

UndoManager::UndoManager() = default;
UndoManager::~UndoManager() = default;

UndoManager::Group UndoManager::newGroup(const QString& name)
{
    Group group;
    group.name = name;
    group.id = nextId_++;
    return group;
}

void UndoManager::enterNewState(Group& group)
{
    if (mode_ != Mode::Normal || !group.entries.empty()) return;
    group.from = group.id;
    group.to = state_;
    state_ = group.id;
}

void UndoManager::registerUndo(Action action, const void* target)
{
    if (!action || disabled_ > 0) {
        return;
    }
    run_.reset();
    if (mode_ == Mode::Normal && !redoStack_.empty()) {
        auto dropped = std::move(redoStack_);
        redoStack_.clear();
    }
    if (level_ == 0) {
        if (!groupsByEvent_) {
            // Nothing will close a group for us: the action is a step of its own.
            Group group = newGroup();
            enterNewState(group);
            group.entries.push_back({std::move(action), target});
            record(std::move(group));
            return;
        }
        open_ = newGroup();
        level_ = 1;
        automatic_ = true;
        scheduleAutomaticClose();
    }
    enterNewState(*open_);
    open_->entries.push_back({std::move(action), target});
}

void UndoManager::registerCoalescableUndo(Action action, const void* token)
{
    if (!action || disabled_ > 0) {
        return;
    }
    registerUndo(std::move(action), token);
    if (mode_ != Mode::Normal || explicitGroupOpen() || token == nullptr) {
        return;
    }
    const Group* group = open_ ? &*open_ : (undoStack_.empty() ? nullptr : &undoStack_.back());
    if (group) {
        run_ = Run{token, group->id};
    }
}

const UndoManager::Group* UndoManager::coalescingGroup() const
{
    if (!run_) {
        return nullptr;
    }
    if (open_) {
        return open_->id == run_->groupId ? &*open_ : nullptr;
    }
    if (!undoStack_.empty() && undoStack_.back().id == run_->groupId) {
        return &undoStack_.back();
    }
    return nullptr;
}

UndoManager::Group* UndoManager::coalescingGroup()
{
    return const_cast<Group*>(std::as_const(*this).coalescingGroup());
}

bool UndoManager::canCoalesce(const void* token) const
{
    if (!run_ || token == nullptr || run_->token != token || mode_ != Mode::Normal || disabled_ > 0) {
        return false;
    }
    const Group* group = coalescingGroup();
    return group && !group->entries.empty();
}

bool UndoManager::replaceCoalescedAction(Action action)
{
    if (!action || !run_ || !canCoalesce(run_->token)) {
        return false;
    }
    coalescingGroup()->entries.back().action = std::move(action);
    return true;
}

void UndoManager::breakCoalescing()
{
    run_.reset();
}

void UndoManager::beginUndoGrouping()
{
    run_.reset();
    if (level_ == 0) {
        open_ = newGroup();
        automatic_ = false;
    }
    ++level_;
}

void UndoManager::endUndoGrouping()
{
    if (level_ <= floor_) {
        return;
    }
    if (!(level_ == 1 && automatic_)) {
        run_.reset();
    }
    --level_;
    if (level_ == 0) {
        closeOutermost();
    }
}

void UndoManager::closeAutomaticGroup()
{
    if (automaticOpenOnly()) {
        level_ = 0;
        closeOutermost();
    }
}

void UndoManager::closeOutermost()
{
    Group group = std::move(*open_);
    open_.reset();
    automatic_ = false;
    if (!group.entries.empty()) {
        record(std::move(group));
    }
}

void UndoManager::record(Group&& group)
{
    push(undoStack_, std::move(group));
    if (didCloseGroup) {
        didCloseGroup(Change::Done);
    }
}

void UndoManager::push(std::deque<Group>& stack, Group&& group)
{
    stack.push_back(std::move(group));
    if (levelsOfUndo_ > 0) {
        while (stack.size() > static_cast<size_t>(levelsOfUndo_)) {
            stack.pop_front();
        }
    }
}

void UndoManager::scheduleAutomaticClose()
{
    if (closeScheduled_ || QCoreApplication::instance() == nullptr) {
        return;
    }
    closeScheduled_ = true;
    QMetaObject::invokeMethod(
        &eventContext_,
        [this] {
            closeScheduled_ = false;
            closeAutomaticGroup();
        },
        Qt::QueuedConnection);
}

void UndoManager::setActionName(const QString& name)
{
    if (open_) {
        open_->name = name;
    } else if (mode_ == Mode::Normal && !undoStack_.empty()) {
        undoStack_.back().name = name;
    }
}

const UndoManager::Group* UndoManager::pendingUndoGroup() const
{
    if (mode_ != Mode::Normal || explicitGroupOpen()) {
        return nullptr;
    }
    if (open_ && !open_->entries.empty()) {
        return &*open_;  // the automatic group, about to close
    }
    return undoStack_.empty() ? nullptr : &undoStack_.back();
}

QString UndoManager::undoActionName() const
{
    const Group* group = pendingUndoGroup();
    return group ? group->name : QString();
}

QString UndoManager::redoActionName() const
{
    return canRedo() ? redoStack_.back().name : QString();
}

namespace {

// "取り消す（置換）": the verb, then the step's name in full-width parentheses.
QString menuTitle(const QString& verb, const QString& name)
{
    return name.isEmpty() ? verb : verb + u'（' + name + u'）';
}

}  // namespace

QString UndoManager::undoMenuItemTitle() const
{
    return menuTitle(QStringLiteral("取り消す"), undoActionName());
}

QString UndoManager::redoMenuItemTitle() const
{
    return menuTitle(QStringLiteral("やり直す"), redoActionName());
}

bool UndoManager::canUndo() const
{
    return pendingUndoGroup() != nullptr;
}

bool UndoManager::canRedo() const
{
    return mode_ == Mode::Normal && !explicitGroupOpen() && !redoStack_.empty();
}

void UndoManager::undo()
{
    if (!canUndo()) {
        return;
    }
    closeAutomaticGroup();
    if (!canUndo()) {  // a close handler may have emptied the stack
        return;
    }
    perform(Mode::Undoing, undoStack_);
}

void UndoManager::redo()
{
    if (!canRedo()) {
        return;
    }
    closeAutomaticGroup();
    if (!canRedo()) {
        return;
    }
    perform(Mode::Redoing, redoStack_);
}

void UndoManager::perform(Mode mode, std::deque<Group>& from)
{
    run_.reset();
    Group step = std::move(from.back());
    from.pop_back();

    // What the actions register is the step in the other direction, under the same name.
    state_ = step.to;
    mode_ = mode;
    open_ = newGroup(step.name);
    open_->from = step.to;
    open_->to = step.from;
    level_ = 1;
    automatic_ = false;
    floor_ = 1;

    std::exception_ptr error;
    for (auto it = step.entries.rbegin(); it != step.entries.rend(); ++it) {
        try {
            it->action();
        } catch (...) {
            error = std::current_exception();
            break;
        }
    }

    // Groups an action left open end here with the step.
    level_ = 0;
    floor_ = 0;
    Group recorded = std::move(*open_);
    open_.reset();
    const bool recordedAny = !recorded.entries.empty();
    if (recordedAny) {
        push(mode == Mode::Undoing ? redoStack_ : undoStack_, std::move(recorded));
    }
    mode_ = Mode::Normal;
    run_.reset();

    if (recordedAny && didCloseGroup) {
        didCloseGroup(mode == Mode::Undoing ? Change::Undone : Change::Redone);
    }
    if (mode == Mode::Undoing) {
        if (didUndo) {
            didUndo();
        }
    } else if (didRedo) {
        didRedo();
    }
    if (error) {
        std::rethrow_exception(error);
    }
}

void UndoManager::removeAllActions()
{
    run_.reset();
    // Destroyed after the manager is consistent, in case an action's captures call back.
    auto undone = std::move(undoStack_);
    auto redone = std::move(redoStack_);
    undoStack_.clear();
    redoStack_.clear();
    std::vector<Entry> open;
    if (open_) {
        open = std::move(open_->entries);
        open_->entries.clear();
    }
}

void UndoManager::removeAllActions(const void* target)
{
    run_.reset();
    if (target == nullptr) {
        return;
    }
    std::vector<Entry> removed;
    auto strip = [&](Group& group) {
        auto keep = std::stable_partition(group.entries.begin(), group.entries.end(),
                                          [&](const Entry& e) { return e.target != target; });
        std::move(keep, group.entries.end(), std::back_inserter(removed));
        group.entries.erase(keep, group.entries.end());
    };
    for (auto* stack : {&undoStack_, &redoStack_}) {
        for (Group& group : *stack) {
            strip(group);
        }
        stack->erase(std::remove_if(stack->begin(), stack->end(),
                                    [](const Group& g) { return g.entries.empty(); }),
                     stack->end());
    }
    if (open_) {
        strip(*open_);
    }
}

void UndoManager::setLevelsOfUndo(int levels)
{
    levelsOfUndo_ = std::max(0, levels);
    if (levelsOfUndo_ > 0) {
        for (auto* stack : {&undoStack_, &redoStack_}) {
            while (stack->size() > static_cast<size_t>(levelsOfUndo_)) {
                stack->pop_front();
            }
        }
    }
}

void UndoManager::disableUndoRegistration()
{
    ++disabled_;
    run_.reset();
}

void UndoManager::enableUndoRegistration()
{
    if (disabled_ > 0) {
        --disabled_;
    }
}

}  // namespace korimado
