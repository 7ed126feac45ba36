#pragma once

#include "document/KoriDocument.h"
#include "support/TestSupport.h"
#include "window/EditorWindowController.h"

#include <gtest/gtest.h>

#include <memory>

namespace korimado::test {

// Writes bytes to name in dir and reads that file as a file document, as opening it would.
inline std::unique_ptr<KoriDocument> readFileDocument(const TempDir& dir, const QString& name, const QByteArray& bytes)
{
    const QString path = dir.write(name, bytes);
    auto document = std::make_unique<KoriDocument>();
    ErrorInfo error;
    EXPECT_TRUE(document->readFromURL(path, KoriDocument::plainTextType, &error)) << error.description.toStdString();
    document->setFileURL(path);
    return document;
}

// A window held by its document, as the application makes one: the document's edits, reloads
// and format changes reach it. Not yet shown.
inline EditorWindowController& openDocumentWindow(KoriDocument& document)
{
    WindowController* added = document.addWindowController(std::make_unique<EditorWindowController>(document));
    return static_cast<EditorWindowController&>(*added);
}

// Lets go of the window (as a document does when one of its windows closes).
inline void closeDocumentWindow(KoriDocument& document, EditorWindowController& window)
{
    document.removeWindowController(&window);
}

}  // namespace korimado::test
