#include "search/ui/SearchController.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/DispatchQueue.h"

#include <gtest/gtest.h>

using namespace korimado;

TEST(SearchController, AnswersEveryFindMenuActionByName)
{
    EditorTextView editor;
    QString root = QStringLiteral("/tmp/root");
    SearchController controller(&editor, nullptr, [&root] { return std::optional<QString>(root); });
    EXPECT_EQ(controller.queue().label(), DispatchQueue::applicationLabel(QStringLiteral("search")));
    EXPECT_EQ(controller.rootURL(), std::optional<QString>(root));
    ASSERT_EQ(SearchController::actionNames().size(), 15);
    for (const QString& action : SearchController::actionNames()) {
        EXPECT_TRUE(controller.respondsTo(action)) << action.toStdString();
    }
    EXPECT_FALSE(controller.respondsTo(QStringLiteral("findNext")));
}
