#pragma once

#include "document/KoriDocument.h"
#include "support/TestSupport.h"
#include "window/EditorWindowController.h"

#include <gtest/gtest.h>

#include <QMainWindow>

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

// Gives the document a window that it knows, as showing it would, shown; the document owns it.
inline EditorWindowController& addDocumentWindow(KoriDocument& document)
{
    WindowController* added = document.addWindowController(std::make_unique<EditorWindowController>(document));
    auto& window = static_cast<EditorWindowController&>(*added);
    window.window()->show();
    return window;
}

}  // namespace korimado::test
