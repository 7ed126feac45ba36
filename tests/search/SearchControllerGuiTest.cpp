#include "search/SearchController.h"
#include "editor/EditorView.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/ui/ScriptedAlertPresenter.h"

#include <gtest/gtest.h>

using namespace korimado;

TEST(SearchController, AnswersEveryFindMenuActionByName)
{
    EditorTextView editor;
    QString root = QStringLiteral("/tmp/root");
    SearchController controller(&editor, nullptr, [&root] { return std::optional<QString>(root); });
    EXPECT_EQ(controller.queue().label(), DispatchQueue::applicationLabel(QStringLiteral("search")));
    EXPECT_EQ(controller.rootURL(), std::optional<QString>(root));

    ScriptedAlertPresenter alerts;
    AlertPresenter::setShared(&alerts);
    ASSERT_EQ(SearchController::actionNames().size(), 15);
    for (const QString& action : SearchController::actionNames()) {
        ASSERT_TRUE(controller.respondsTo(action)) << action.toStdString();
        controller.perform(action, nullptr);
    }
    AlertPresenter::setShared(nullptr);
    // The four actions that would open a window tell the user it is not there yet.
    EXPECT_EQ(alerts.shown().size(), 4);
    EXPECT_EQ(controller.status(), SearchController::unavailableMessage);
    EXPECT_FALSE(controller.respondsTo(QStringLiteral("findNext")));
}
