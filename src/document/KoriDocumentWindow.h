#pragma once

#include "platform/text/TextRange.h"
#include "platform/text/TextStorage.h"

#include <QString>

namespace korimado {

// What the text document asks of each of its windows. Editor windows implement it beside
// WindowController; the document finds them among its window controllers.
class KoriDocumentWindow {
public:
    // The window's active editor and its selection, remembered across a silent reload.
    struct EditorSelection {
        bool secondaryEditor = false;  // the second editor had the keyboard focus
        TextRange range;
    };

    virtual ~KoriDocumentWindow() = default;

    // The text was read again or the file changed: refresh everything shown from it.
    virtual void reloadDocument() = 0;
    // A character edit: layout policy, redisplay, highlighting, inspection, format pop-ups,
    // statistics and preview. The line index and revision are already up to date.
    virtual void documentTextDidChange(const TextStorageEdit& edit) = 0;
    // The format changed without the text: select the matching pop-up items, recount.
    virtual void documentFormatDidChange() = 0;
    virtual void setPreviewStatus(const QString& message) = 0;

    // Whether its first editor takes edits: an edit made with no view asks the first window.
    virtual bool isEditable() const { return true; }

    virtual EditorSelection activeEditorSelection() const = 0;
    virtual void restoreEditorSelection(const EditorSelection& selection) = 0;
};

}  // namespace korimado
