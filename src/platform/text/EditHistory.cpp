#include "platform/text/EditHistory.h"

#include "platform/foundation/UndoManager.h"
#include "platform/text/TextStorage.h"

#include <algorithm>

namespace korimado {

void EditHistory::announce(Announcement announcement)
{
    announced_ = std::move(announcement);
}

void EditHistory::setSelectionAfter(const QVector<TextRange>& selection)
{
    if (announced_) announced_->selectionAfter = selection;
}

void EditHistory::withdraw(const void* owner)
{
    if (announced_ && announced_->owner == owner) announced_.reset();
}

void EditHistory::record(qsizetype location, const QString& oldText, const QString& newText)
{
    pending_.push_back({location, oldText, newText});
}

void EditHistory::discardPending()
{
    pending_.clear();
    typingRun_.reset();
}

void EditHistory::closeStep()
{
    if (pending_.empty()) return;
    auto step = std::make_shared<Step>();
    step->pieces = std::move(pending_);
    pending_.clear();
    Announcement announced;
    if (announced_) announced = std::move(*announced_);
    else announced.undoManager = defaultManager_;
    announced_.reset();
    step->selectionBefore = std::move(announced.selectionBefore);
    step->selectionAfter = announced.selectionAfter.value_or(QVector<TextRange>{});
    step->initiator = std::move(announced.initiator);
    step->owner = announced.owner;
    lastStep_ = step;
    registerStep(std::move(step), announced.undoManager, announced.typing, announced.actionName);
    if (didRecordStep) didRecordStep();
}

void EditHistory::registerStep(std::shared_ptr<Step> step, UndoManager* manager, bool typing, const QString& name)
{
    if (!manager || !manager->isUndoRegistrationEnabled()) {
        ++stepCount_;
        return;
    }
    UndoManager::Action action = [self = std::weak_ptr<EditHistory*>(self_), step, manager] {
        if (auto history = self.lock()) (*history)->replay(*step, manager);
    };
    const bool replaying = manager->isUndoing() || manager->isRedoing();
    if (typing && step->pieces.size() == 1 && !replaying) {
        auto run = typingRun_.lock();
        if (run && run->owner == step->owner && run->pieces.size() == 1 && manager->canCoalesce(step->owner)
            && extendRun(*run, step->pieces.front())) {
            run->selectionAfter = step->selectionAfter;
            return;
        }
        manager->registerCoalescableUndo(std::move(action), step->owner);
        manager->setActionName(name);
        typingRun_ = step;
    } else {
        manager->registerUndo(std::move(action), step->owner);
        if (!name.isEmpty() && !replaying) manager->setActionName(name);
    }
    ++stepCount_;
}

qsizetype EditHistory::lastStepPieces() const
{
    const std::shared_ptr<Step> step = lastStep_.lock();
    return step ? static_cast<qsizetype>(step->pieces.size()) : 0;
}

qsizetype EditHistory::lastStepUnits() const
{
    const std::shared_ptr<Step> step = lastStep_.lock();
    qsizetype units = 0;
    if (step)
        for (const Piece& piece : step->pieces) units += piece.oldText.size() + piece.newText.size();
    return units;
}

// Continues a typing run with one more edit when it touches the run's end: typing after it,
// deleting backwards into it (or past its start), or deleting forwards from its end.
bool EditHistory::extendRun(Step& run, const Piece& piece)
{
    Piece& r = run.pieces.front();
    const qsizetype runEnd = r.location + r.newText.size();
    if (piece.location == runEnd) {
        r.oldText += piece.oldText;
        r.newText += piece.newText;
        return true;
    }
    if (piece.location + piece.oldText.size() != runEnd || piece.oldText.isEmpty()) return false;
    if (piece.location >= r.location) {
        r.newText = r.newText.left(piece.location - r.location) + piece.newText;
        return true;
    }
    r.oldText = piece.oldText.left(r.location - piece.location) + r.oldText;
    r.newText = piece.newText;
    r.location = piece.location;
    return true;
}

bool EditHistory::isAscending(const std::vector<Piece>& pieces)
{
    for (size_t i = 1; i < pieces.size(); ++i)
        if (pieces[i].location < pieces[i - 1].location + pieces[i - 1].newText.size()) return false;
    return true;
}

// Puts the old texts back, last piece first. The replay is recorded like any edit, so its inverse
// lands on the opposite stack and undo and redo alternate for ever. When the initiator is gone
// the text is restored all the same, without a selection.
void EditHistory::replay(const Step& step, UndoManager* manager)
{
    qsizetype newLength = storage_.length();
    qsizetype lowest = storage_.length();
    for (const Piece& piece : step.pieces) {
        newLength += piece.oldText.size() - piece.newText.size();
        lowest = std::min(lowest, piece.location);
    }
    QVector<TextRange> selection;
    for (TextRange r : step.selectionBefore) selection.append(r.clamped(newLength));
    if (selection.isEmpty()) selection.append({step.pieces.empty() ? 0 : lowest, 0});

    std::shared_ptr<EditInitiator> initiator = step.initiator.lock();
    if (initiator && initiator->editedStorage() != &storage_) initiator.reset();
    Announcement inverse;
    inverse.undoManager = manager;
    if (initiator) {
        inverse.initiator = step.initiator;
        inverse.owner = step.owner;
    }
    inverse.selectionBefore = step.selectionAfter;
    inverse.selectionAfter = selection;
    announced_ = std::move(inverse);
    if (initiator) initiator->historyWillReplay(selection);
    storage_.beginEditing();
    if (isAscending(step.pieces)) {
        // Each piece lies after the ones before it: put them back front to back, each moved by
        // what the ones before it gave back. Line starts then settle in one pass.
        qsizetype shift = 0;
        for (const Piece& piece : step.pieces) {
            storage_.replaceCharacters({piece.location + shift, piece.newText.size()}, piece.oldText);
            shift += piece.oldText.size() - piece.newText.size();
        }
    } else {
        for (auto it = step.pieces.rbegin(); it != step.pieces.rend(); ++it)
            storage_.replaceCharacters({it->location, it->newText.size()}, it->oldText);
    }
    storage_.endEditing();
    announced_.reset();  // when nothing was left to change
    if (initiator) initiator->historyDidReplay(selection);
}

}  // namespace korimado
