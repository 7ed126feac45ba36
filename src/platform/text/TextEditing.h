#pragma once

#include "platform/text/TextRange.h"

#include <QString>
#include <QStringList>
#include <QVector>

#include <optional>

namespace korimado {

class EditInitiator;
class TextStorage;

// The one door for character edits, whoever makes them: typing, a command, a replacement, a
// script, a self-test, an import. Works with no window: a document's storage is enough.
class TextEditing {
public:
    TextEditing() = delete;

    enum class Outcome {
        replaced,
        // The initiator (a view) does not accept edits, or, without one, the document does not.
        notEditable,
        // Ranges outside the text or overlapping, strings not one per range, or the owner said no.
        refused,
    };

    // Replaces each range (in the text as it stands) by its string, as one undo step named
    // actionName and one transaction: the views and the document hear of it once, and every
    // position pointing into the text follows each piece. selectionsAfter, when given, is the
    // selection the step ends with (and the one redo shows); by default an initiator's caret goes
    // after the last replacement. The initiator, when there is one, approves the edit, chooses
    // the undo manager, gives the selection before and shows the one after; without one the step
    // goes to the document's undo manager.
    static Outcome replace(TextStorage& text, const QVector<TextRange>& ranges, const QStringList& strings,
                           const QString& actionName,
                           const std::optional<QVector<TextRange>>& selectionsAfter = std::nullopt,
                           EditInitiator* initiator = nullptr);

    // Whether ranges and strings describe a replacement of a text of that length.
    static bool isValid(qsizetype length, const QVector<TextRange>& ranges, const QStringList& strings);

    // The range of current that differs from text, with the common head and tail left out and no
    // surrogate pair split; replacing it by the same span of text gives text. Replacing only that
    // keeps an undo step to what changed.
    static TextRange changedRange(QStringView current, QStringView text);
};

}  // namespace korimado
