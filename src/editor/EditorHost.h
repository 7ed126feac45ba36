#pragma once

#include <QString>

#include <vector>

namespace korimado {

class DocumentEditor;
class KoriDocument;

// A window that holds the editors of one document, as callers outside the window see it: it hands
// out its editors through DocumentEditor and nothing of its widgets.
class EditorHost {
public:
    virtual ~EditorHost() = default;

    // The document's first window, when it holds editors; nullptr otherwise.
    static EditorHost* of(const KoriDocument& document);

    virtual DocumentEditor* primaryEditor() const = 0;
    // nullptr while the window shows one editor.
    virtual DocumentEditor* secondaryDocumentEditor() const = 0;
    // The second editor when it has the keyboard focus, else the primary one.
    virtual DocumentEditor* focusedEditor() const = 0;
    // The primary editor, then the second one when it is open.
    virtual std::vector<DocumentEditor*> documentEditors() const = 0;

    // Wraps the lines of every editor of the window, or of none.
    virtual void toggleWrap(bool on) = 0;
    // Gives the document the language of that id ("plain" for none), as its syntax menu does.
    virtual void changeDocumentSyntax(const QString& languageId) = 0;
};

}  // namespace korimado
