#pragma once

#include "document/KoriDocumentWindow.h"
#include "platform/WindowController.h"


#include <memory>

class QMainWindow;

namespace korimado {

class EditorTextView;
class KoriDocument;
class LineNumberRuler;

// A plain window with one editor and its line numbers, showing a document until the full editor
// window takes its place.
class DocumentWindow : public WindowController, public KoriDocumentWindow {
public:
    explicit DocumentWindow(KoriDocument& document);
    ~DocumentWindow() override;

    void showWindow() override;
    void closeWindow() override;
    void synchronizeWindowTitleWithDocumentName() override;

    void reloadDocument() override;
    void documentTextDidChange(const TextStorageEdit& edit) override;
    void documentFormatDidChange() override {}
    void setPreviewStatus(const QString& message) override;
    EditorSelection activeEditorSelection() const override;
    void restoreEditorSelection(const EditorSelection& selection) override;

    EditorTextView* editor() const { return editor_; }
    QMainWindow* window() const { return window_.get(); }

private:
    KoriDocument& document_;
    std::unique_ptr<QMainWindow> window_;
    EditorTextView* editor_ = nullptr;  // owned by window_
    LineNumberRuler* ruler_ = nullptr;  // owned by the editor
};

}  // namespace korimado
