#pragma once

#include "document/KoriDocument.h"
#include "window/EditorWindowController.h"

#include <memory>

namespace korimado::test {

// A window held by its document, as the application makes one: the document's edits, reloads
// and format changes reach it.
inline EditorWindowController& openDocumentWindow(KoriDocument& document)
{
    auto controller = std::make_unique<EditorWindowController>(document);
    EditorWindowController& window = *controller;
    document.addWindowController(std::move(controller));
    return window;
}

// Lets go of the window (as a document does when one of its windows closes).
inline void closeDocumentWindow(KoriDocument& document, EditorWindowController& window)
{
    document.removeWindowController(&window);
}

}  // namespace korimado::test
