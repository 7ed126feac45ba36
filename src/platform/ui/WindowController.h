#pragma once

#include <QString>

#include <memory>
#include <vector>

class QWidget;

namespace korimado {

class Document;

// The document's side of one of its windows. Windows derive from it; the document owns them.
class WindowController {
public:
    virtual ~WindowController() = default;

    Document* document() const { return document_; }

    // The window a document's panels and questions attach to: that of its first window; nullptr
    // for none.
    static QWidget* sheetWindowOf(const std::vector<std::unique_ptr<WindowController>>& controllers)
    {
        return controllers.empty() ? nullptr : controllers.front()->windowForSheet();
    }

    // The window on screen, which the document's panels and questions attach to; nullptr for none.
    virtual QWidget* windowForSheet() const { return nullptr; }
    virtual void showWindow() {}
    // Closes the window without asking; the document destroys the controller afterwards.
    virtual void closeWindow() {}
    // Called when the document's name changes (untitled, saved as, opened).
    virtual void synchronizeWindowTitleWithDocumentName() {}
    virtual void setWindowTitle(const QString& title) { title_ = title; }
    // The document's edited state changed (and once when the window joins it).
    virtual void setDocumentEdited(bool edited) { (void)edited; }
    QString windowTitle() const { return title_; }

private:
    friend class Document;
    Document* document_ = nullptr;
    QString title_;
};

}  // namespace korimado
