#pragma once

#include "platform/text/EditHistory.h"
#include "platform/text/LineStarts.h"
#include "platform/text/TextChanges.h"
#include "platform/text/TextRange.h"

#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace korimado {

class TextStorage;

// What one outermost editing transaction changed.
struct TextStorageEdit {
    enum Mask : unsigned { Characters = 1u << 0, Attributes = 1u << 1 };

    unsigned mask = 0;
    // In the new text: the union of every range touched in the transaction.
    TextRange editedRange;
    qsizetype changeInLength = 0;
    // The pieces replaced, when there were several apart; else the edited range is the one piece.
    std::shared_ptr<const TextChanges> changes = nullptr;

    bool editedCharacters() const { return (mask & Characters) != 0; }
    bool editedAttributesOnly() const { return mask == Attributes; }

    // The one mapping of a position in the old text to the new text, for everything that points
    // into the text: positions before a replaced piece stay, those after it shift by its change
    // in length, those inside it go to the end of its new text.
    qsizetype mapPosition(qsizetype position, InsertionBias bias = InsertionBias::Before) const
    {
        if (changes) return changes->mapPosition(position, bias);
        return TextChanges::mapPosition(onePiece(), position, bias);
    }
    // Whether position (in the old text) lay inside replaced text, not at either end of it.
    bool replaces(qsizetype position) const
    {
        if (changes) return changes->replaces(position);
        return TextChanges::replaces(onePiece(), position);
    }

private:
    TextChange onePiece() const
    {
        return TextChange{editedRange.location, editedRange.length - changeInLength, editedRange.length};
    }
};

// The document's hook. "Will" comes before any observer hears of an edit; "did" after all of
// them, so that the document sees every view, selection and layout already in step with the text.
class TextStorageDelegate {
public:
    virtual ~TextStorageDelegate() = default;
    virtual void textStorageWillProcessEditing(TextStorage&, const TextStorageEdit&) {}
    virtual void textStorageDidProcessEditing(TextStorage&, const TextStorageEdit&) {}
    // Asked by the edit door when nobody (no view) initiates an edit.
    virtual bool textStorageAcceptsEdits(const TextStorage&) const { return true; }
};

// An immutable copy of the text that shares the storage's chunks. Safe to move to and read on
// another thread; later edits of the storage do not reach it.
class TextSnapshot {
public:
    TextSnapshot() = default;

    qsizetype length() const { return length_; }
    bool isEmpty() const { return length_ == 0; }
    QChar characterAt(qsizetype index) const;
    QString substring(TextRange range) const;
    QString string() const;
    // Calls fn(piece, locationOfPiece) for the pieces covering range, in order, until fn returns false.
    void forEachChunk(TextRange range, const std::function<bool(QStringView, qsizetype)>& fn) const;

private:
    friend class TextStorage;
    std::vector<QString> chunks_;
    std::vector<qsizetype> starts_;  // chunks_.size() + 1 entries
    qsizetype length_ = 0;
    std::vector<std::shared_ptr<const QString>> backings_;  // what the storage's view chunks point into
};

// The document's one UTF-16 text: a rope of implicitly shared chunks with cumulative lengths, so
// that a keystroke copies at most one chunk and locating an offset is logarithmic.
class TextStorage {
public:
    using ObserverToken = std::uint64_t;
    using Observer = std::function<void(TextStorage&, const TextStorageEdit&)>;

    TextStorage();
    explicit TextStorage(const QString& text);
    ~TextStorage();
    TextStorage(const TextStorage&) = delete;
    TextStorage& operator=(const TextStorage&) = delete;

    qsizetype length() const { return length_; }
    bool isEmpty() const { return length_ == 0; }
    // The unit at index, or a null QChar outside the text.
    QChar characterAt(qsizetype index) const;
    // Ranges reaching outside the text are clamped to it.
    QString substring(TextRange range) const;
    QString string() const;
    TextSnapshot snapshot() const;
    // Calls fn(piece, locationOfPiece) for the pieces covering range, in order, until fn returns false.
    // A piece may end between the two halves of a surrogate pair or of a CR LF.
    void forEachChunk(TextRange range, const std::function<bool(QStringView, qsizetype)>& fn) const;

    // The text's line starts, and a count of the transactions that changed characters: both up to
    // date before anyone hears of an edit. The revision never repeats for the life of the storage.
    const LineStarts& lines() const { return lines_; }
    std::uint64_t revision() const { return revision_; }

    // Replaces the units in range (clamped to the text) by string: a character edit, recorded in
    // the history.
    void replaceCharacters(TextRange range, const QString& string);
    // Replaces the whole text, as a read does: not recorded, and the history's typing run ends.
    void setString(const QString& string);
    EditHistory& history() { return *history_; }
    const EditHistory& history() const { return *history_; }
    // Marks range as having new attributes without touching the characters: an attributes-only edit.
    void editedAttributes(TextRange range);

    // Whether the delegate (the document) takes edits now; true without one.
    bool acceptsEdits() const;
    // Whole-text flattenings so far (string() over more than one chunk): a seam for tests.
    std::uint64_t flattenings() const { return flattenings_; }

    // Nested transactions; the outermost end delivers one notification for all edits inside.
    void beginEditing();
    void endEditing();
    bool isEditing() const { return editingDepth_ > 0; }
    // Whether the observers and the delegate are being told of an edit right now.
    bool isProcessingEditing() const { return processing_; }

    // The delegate (the document) hears of an edit after the observers; not owned.
    void setDelegate(TextStorageDelegate* delegate) { delegate_ = delegate; }
    TextStorageDelegate* delegate() const { return delegate_; }
    // Observers are called in the order they were added, before the delegate's "did".
    ObserverToken addObserver(Observer observer);
    void removeObserver(ObserverToken token);
    // Runs job once the current round of notifications (the delegate's included) is over, or now
    // when there is none: what an edit causes (a selection notice) is told after the edit itself.
    void afterProcessing(std::function<void()> job);

    // Introspection for tests and diagnostics.
    qsizetype chunkCount() const { return static_cast<qsizetype>(chunks_.size()); }
    // Chunks that are still views into a large text as it was read or inserted.
    qsizetype viewChunkCount() const;
    static constexpr qsizetype TargetChunkSize = 4096;
    static constexpr qsizetype MaxChunkSize = 8192;
    static constexpr qsizetype MinChunkSize = 1024;

private:
    struct Location {
        qsizetype chunk;
        qsizetype offset;
    };
    Location locate(qsizetype position) const;
    qsizetype chunkStart(qsizetype chunk) const;
    void rebuildTree();
    void addToTree(qsizetype chunk, qsizetype delta);
    // Chunks first…last become head + string + tail, where head is the first headLength units of
    // chunk first and tail what follows tailFrom in chunk last.
    void spliceChunks(qsizetype first, qsizetype headLength, qsizetype last, qsizetype tailFrom, const QString& string);
    void mergeSmallChunk(qsizetype chunk);
    void noteEdit(unsigned mask, TextRange oldRange, qsizetype newLength);
    void processEditing();

    // A large text as it was read, or as a large edit (a command over every line, its undo)
    // inserted it: its chunks are views into it rather than copies, so that the text is neither
    // copied nor its memory touched again, and the edit history shares it. Chunks an edit replaces
    // are owned strings; a text goes when no chunk (nor snapshot) points into it any more.
    void adopt(const QString& text);
    // Appends views of text[from, to) to pieces, cut where neither a surrogate pair nor a CR LF
    // is split; false (and nothing appended) when text cannot be viewed.
    bool appendViews(const QString& text, qsizetype from, qsizetype to, std::vector<QString>& pieces);
    qsizetype backingOf(const QString& chunk) const;
    void forgetChunk(const QString& chunk);
    // The one text every chunk views, whole and in order, when there is one.
    const QString* wholeBacking() const;

    struct Backing {
        std::shared_ptr<const QString> text;
        qsizetype chunks = 0;  // views into it
    };
    std::vector<QString> chunks_;
    std::vector<Backing> backings_;
    std::vector<qsizetype> tree_;  // Fenwick tree over chunk lengths, 1-based
    qsizetype length_ = 0;
    LineStarts lines_;
    std::uint64_t revision_ = 0;
    std::unique_ptr<EditHistory> history_ = std::make_unique<EditHistory>(*this);

    int editingDepth_ = 0;
    bool processing_ = false;
    bool hasPendingEdit_ = false;
    TextStorageEdit pending_;
    TextChanges::Builder pendingChanges_;
    mutable std::uint64_t flattenings_ = 0;

    TextStorageDelegate* delegate_ = nullptr;
    struct ObserverEntry {
        ObserverToken token;
        Observer fn;
    };
    std::vector<ObserverEntry> observers_;
    ObserverToken nextToken_ = 1;
    std::vector<std::function<void()>> afterProcessing_;
};

}  // namespace korimado
