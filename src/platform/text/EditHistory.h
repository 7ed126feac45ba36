#pragma once

#include "platform/text/TextRange.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace korimado {

class EditInitiator;
class TextStorage;
class UndoManager;

// The record of a storage's character edits, kept beside it: every replacement, whoever makes
// it, becomes part of the step of its outermost transaction, and each step is registered with an
// undo manager, whose undo and redo replay it through the storage like any other edit.
//
// The edit door (TextEditing) announces each edit beforehand: which manager takes the step, its
// name, the initiator's selection before it, whether it is typing (consecutive typing joins one
// step) and the selection after it. Edits nobody announced go to the default manager unnamed.
class EditHistory {
public:
    struct Piece {
        qsizetype location;  // in the text as it stood when the piece was applied
        QString oldText;
        QString newText;
    };

    struct Announcement {
        UndoManager* undoManager = nullptr;  // nullptr: the step is recorded but not undoable
        std::weak_ptr<EditInitiator> initiator;
        const void* owner = nullptr;  // the undo target and the typing run's owner
        QVector<TextRange> selectionBefore;
        std::optional<QVector<TextRange>> selectionAfter;
        bool typing = false;
        QString actionName;
    };

    explicit EditHistory(TextStorage& storage) : storage_(storage) {}
    EditHistory(const EditHistory&) = delete;
    EditHistory& operator=(const EditHistory&) = delete;

    // Where unannounced steps go (the document's manager); not owned.
    void setDefaultUndoManager(UndoManager* manager) { defaultManager_ = manager; }
    UndoManager* defaultUndoManager() const { return defaultManager_; }

    // The door's part, between the approval and the end of its transaction.
    void announce(Announcement announcement);
    void setSelectionAfter(const QVector<TextRange>& selection);
    // Forgets an announcement no edit followed.
    void withdraw(const void* owner);
    // The next typed edit starts a new step.
    void breakCoalescing() { typingRun_.reset(); }

    // Called once per completed step with characters, after its registration.
    std::function<void()> didRecordStep;
    // Steps recorded so far (coalesced typing counts once).
    std::uint64_t stepCount() const { return stepCount_; }
    // What the last step recorded holds: its pieces and the units of their old and new texts.
    qsizetype lastStepPieces() const;
    qsizetype lastStepUnits() const;

private:
    friend class TextStorage;
    struct Step {
        std::vector<Piece> pieces;
        QVector<TextRange> selectionBefore;
        QVector<TextRange> selectionAfter;
        std::weak_ptr<EditInitiator> initiator;
        const void* owner = nullptr;
    };
    void record(qsizetype location, const QString& oldText, const QString& newText);
    // The storage's outermost transaction ended: the recorded pieces make one step.
    void closeStep();
    void registerStep(std::shared_ptr<Step> step, UndoManager* manager, bool typing, const QString& name);
    static bool extendRun(Step& run, const Piece& piece);
    // Whether each piece begins at or after the end of the one before it, in the text then.
    static bool isAscending(const std::vector<Piece>& pieces);
    void replay(const Step& step, UndoManager* manager);
    void discardPending();

    TextStorage& storage_;
    // Undo actions hold this, not the history: a storage gone leaves them doing nothing.
    std::shared_ptr<EditHistory*> self_ = std::make_shared<EditHistory*>(this);
    UndoManager* defaultManager_ = nullptr;
    std::vector<Piece> pending_;
    std::optional<Announcement> announced_;
    std::weak_ptr<Step> typingRun_;
    std::weak_ptr<Step> lastStep_;
    std::uint64_t stepCount_ = 0;
};

// Whoever starts an edit through the door and keeps a selection over the text (a text view).
// The door asks it before the edit and tells it around the edit; undo and redo tell it when they
// replay one of its steps, so that its selection follows.
class EditInitiator : public std::enable_shared_from_this<EditInitiator> {
public:
    virtual ~EditInitiator() = default;
    virtual const TextStorage* editedStorage() const = 0;

    // Whether it takes edits now, and whether it (or its owner) agrees to this one.
    virtual bool isEditable() const { return true; }
    virtual bool approvesEdit(const QVector<TextRange>& ranges, const QStringList& strings)
    {
        (void)ranges, (void)strings;
        return true;
    }
    // Its part of the announcement: the manager, itself, the owner, the selection before, typing.
    virtual void prepareAnnouncement(EditHistory::Announcement& announcement) = 0;
    // Before the edit: the selection it will end with. After it: the selection to show.
    virtual void editWillApply(const QVector<TextRange>& selectionAfter) = 0;
    virtual void editDidApply(const QVector<TextRange>& selection) = 0;

    // The same around undo or redo of one of its steps.
    virtual void historyWillReplay(const QVector<TextRange>& selectionAfter) = 0;
    virtual void historyDidReplay(const QVector<TextRange>& selection) = 0;
};

}  // namespace korimado
