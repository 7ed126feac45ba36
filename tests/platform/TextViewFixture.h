#pragma once

#include "platform/foundation/UndoManager.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"

#include <gtest/gtest.h>

#include <QFontDatabase>

#include <memory>

namespace korimado::test {

// A shown text view on its own storage and undo manager, for tests that drive the view itself.
class TextViewFixture : public ::testing::Test {
protected:
    void SetUp() override
    {
        storage = std::make_shared<TextStorage>();
        view = std::make_unique<TextView>(storage);
        view->setUndoManager(&undo);
        view->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
        view->resize(400, 300);
        view->show();
    }

    // The text with a selection, and nothing to undo.
    void setText(const QString& text, TextRange selection = {0, 0})
    {
        storage->setString(text);
        view->setSelectedRange(selection);
        undo.removeAllActions();
    }

    UndoManager undo;
    std::shared_ptr<TextStorage> storage;
    std::unique_ptr<TextView> view;
};

}  // namespace korimado::test
