#pragma once

#include "editor/EditorOptions.h"
#include "platform/text/TextRange.h"

#include <QString>
#include <QVariant>
#include <QVector>

namespace korimado {

class EditInitiator;

// What a caller outside the window may ask of one editor of a document: scripts, the command
// runner's callers and the self-tests reach an editor only through this, never through its widget
// or the keyboard focus. The text itself is the document's, edited through its door.
class DocumentEditor {
public:
    virtual ~DocumentEditor() = default;

    // Every selection, sorted and never overlapping; several may be carets. Never empty.
    virtual QVector<TextRange> selections() const = 0;
    // The first selection: what a script calls the selection.
    virtual TextRange selectedRange() const = 0;
    // Installs the selections, clamped and sorted. One range replaces every selection, except that
    // the first of several carets, given alone, leaves the others standing.
    virtual void select(const QVector<TextRange>& ranges) = 0;

    virtual EditorOptions options() const = 0;
    // Replaces this editor's options only (the other editor of the window keeps its own).
    virtual void apply(const EditorOptions& options) = 0;
    virtual bool isEditable() const = 0;
    virtual void setEditable(bool editable) = 0;
    // Lines wrap in every editor of a window or in none: the window sets it (EditorHost).
    virtual bool wrapsLines() const = 0;

    // The characters the editor shows now, in text positions.
    virtual TextRange visibleRange() const = 0;
    virtual void scrollRangeToVisible(TextRange range) = 0;

    // The editor as the initiator of an edit made through the door (its undo manager, its
    // selections before and after); and the end of its typing run, so that such an edit is a step
    // of its own.
    virtual EditInitiator* editInitiator() const = 0;
    virtual void breakUndoCoalescing() = 0;

    // Runs a text command ("sortLinesAscending:") on this editor's selections whether or not it has
    // the focus, as the menu does: one undo step, the selections where the command leaves them.
    // False when the command changed nothing or the editor has no commands.
    virtual bool runCommand(const QString& action, const QVariant& argument = {}) = 0;
};

}  // namespace korimado
