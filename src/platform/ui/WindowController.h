#pragma once

#include <QString>

class QWidget;

namespace korimado {

class Document;

// The document's side of one of its windows. Windows derive from it; the document owns them.
class WindowController {
public:
    virtual ~WindowController() = default;

    Document* document() const { return document_; }

    virtual void showWindow() {}
    // Closes the window without asking; the document destroys the controller afterwards.
    virtual void closeWindow() {}
    // Called when the document's name changes (untitled, saved as, opened).
    virtual void synchronizeWindowTitleWithDocumentName() {}
    virtual void setWindowTitle(const QString& title) { title_ = title; }
    // The document's edited state changed (and once when the window joins it).
    virtual void setDocumentEdited(bool edited) { (void)edited; }
    QString windowTitle() const { return title_; }
    // The window a question about closing it is attached to, as a sheet.
    virtual QWidget* sheetWindow() const { return nullptr; }

private:
    friend class Document;
    Document* document_ = nullptr;
    QString title_;
};

}  // namespace korimado
