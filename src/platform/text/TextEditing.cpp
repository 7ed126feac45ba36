#include "platform/text/TextEditing.h"

#include "platform/foundation/UndoManager.h"
#include "platform/text/EditHistory.h"
#include "platform/text/TextStorage.h"

#include <algorithm>
#include <numeric>
#include <vector>

namespace korimado {

TextRange TextEditing::changedRange(QStringView current, QStringView text)
{
    const qsizetype shorter = std::min(text.size(), current.size());
    qsizetype head = 0;
    while (head < shorter && text[head] == current[head]) ++head;
    qsizetype tail = 0;
    while (tail < shorter - head && text[text.size() - 1 - tail] == current[current.size() - 1 - tail]) ++tail;
    if (head > 0 && current[head - 1].isHighSurrogate()) --head;
    if (tail > 0 && current[current.size() - tail].isLowSurrogate()) --tail;
    return TextRange{head, current.size() - head - tail};
}

bool TextEditing::isValid(qsizetype length, const QVector<TextRange>& ranges, const QStringList& strings)
{
    if (ranges.isEmpty() || ranges.size() != strings.size()) return false;
    QVector<TextRange> sorted = ranges;
    std::stable_sort(sorted.begin(), sorted.end(), [](TextRange a, TextRange b) {
        return a.location != b.location ? a.location < b.location : a.length < b.length;
    });
    // Ranges outside the text or overlapping one another would make the recorded undo lie.
    for (qsizetype i = 0; i < sorted.size(); ++i) {
        const TextRange r = sorted[i];
        if (r.isNotFound() || r.location < 0 || r.length < 0 || r.end() > length) return false;
        if (i > 0 && r.location < sorted[i - 1].end()) return false;
    }
    return true;
}

TextEditing::Outcome TextEditing::replace(TextStorage& text, const QVector<TextRange>& ranges, const QStringList& strings,
                                          const QString& actionName,
                                          const std::optional<QVector<TextRange>>& selectionsAfter,
                                          EditInitiator* initiator)
{
    if (!isValid(text.length(), ranges, strings)) return Outcome::refused;
    if (initiator && initiator->editedStorage() != &text) return Outcome::refused;
    if (initiator ? !initiator->isEditable() : !text.acceptsEdits()) return Outcome::notEditable;
    if (initiator && !initiator->approvesEdit(ranges, strings)) return Outcome::refused;

    std::vector<qsizetype> order(static_cast<size_t>(ranges.size()));
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(),
                     [&](qsizetype a, qsizetype b) { return ranges[a].location < ranges[b].location; });

    QVector<TextRange> after;
    if (selectionsAfter) {
        after = *selectionsAfter;
    } else if (initiator) {
        qsizetype shift = 0;
        for (size_t k = 0; k + 1 < order.size(); ++k) shift += strings[order[k]].size() - ranges[order[k]].length;
        const qsizetype last = order.back();
        after = {TextRange(ranges[last].location + shift + strings[last].size(), 0)};
    }

    EditHistory::Announcement announcement;
    announcement.undoManager = text.history().defaultUndoManager();
    announcement.actionName = actionName;
    if (initiator) initiator->prepareAnnouncement(announcement);
    if (selectionsAfter || initiator) announcement.selectionAfter = after;
    // A step of its own, even when other registrations share the event; typing joins its run.
    UndoManager* undo = announcement.undoManager;
    const bool grouped = undo && !announcement.typing;
    const void* owner = announcement.owner;
    if (grouped) undo->beginUndoGrouping();
    text.history().announce(std::move(announcement));
    if (initiator) initiator->editWillApply(after);

    // In ascending order, each moved by what the ones before it changed: the line starts then
    // settle in one pass over the text, and the pieces of the transaction line up.
    text.beginEditing();
    qsizetype shift = 0;
    for (qsizetype k : order) {
        const TextRange r = ranges[k];
        text.replaceCharacters(TextRange(r.location + shift, r.length), strings[k]);
        shift += strings[k].size() - r.length;
    }
    text.endEditing();
    text.history().withdraw(owner);  // nothing changed, so nobody took it
    if (grouped) undo->endUndoGrouping();
    if (initiator) initiator->editDidApply(after);
    return Outcome::replaced;
}

}  // namespace korimado
