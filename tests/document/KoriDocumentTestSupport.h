#pragma once

// What the document tests do to a document as a user would: open a file, type, save.

#include "document/KoriDocument.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

namespace korimado::test {

// Read from path (with the encoding the user chose, if any) and bound to it; none, with a test
// failure, when the read fails.
inline std::unique_ptr<KoriDocument> openDocument(const QString& path, std::optional<TextEncoding> encoding = std::nullopt)
{
    auto document = std::make_unique<KoriDocument>();
    document->setForcedEncoding(encoding);
    ErrorInfo error;
    if (!document->readFromURL(path, KoriDocument::plainTextType, &error)) {
        ADD_FAILURE() << error.description.toStdString();
        return nullptr;
    }
    document->setFileURL(path);
    return document;
}

inline bool saveDocument(KoriDocument& document, ErrorInfo* error = nullptr)
{
    return document.saveToURL(document.fileURL(), KoriDocument::plainTextType, Document::SaveOperation::save, error);
}

inline void typeText(KoriDocument& document, qsizetype at, const QString& text)
{
    document.storage().replaceCharacters(TextRange{at, 0}, text);
}

}  // namespace korimado::test
