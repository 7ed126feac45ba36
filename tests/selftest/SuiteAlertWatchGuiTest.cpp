// A dialog a suite did not ask for ends the suite instead of waiting forever; every wait of a
// suite has a limit. Each test runs in a process of its own: an ended suite stays ended.
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/QtAlertPresenter.h"
#include "selftest/SelfTestChecks.h"
#include "selftest/SuiteAlertWatch.h"
#include "selftest/SuiteAwait.h"
#include "selftest/SuiteTask.h"

#include "support/TestSupport.h"

#include <QDialog>
#include <QMessageBox>
#include <QWidget>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

SuiteTask<> sleepThenMark(bool* resumed)
{
    co_await sleepFor(10);
    *resumed = true;
}

SuiteTask<> awaitNeverDone(int* result)
{
    SuiteCompletion<int> never([](SuiteCompletion<int>::Done) {}, 50, -1);
    *result = co_await never;
}

}  // namespace

TEST(SuiteAlertWatch, AQuestionNobodyAskedForEndsTheSuiteAndIsAnsweredWithCancel)
{
    QStringList ended;
    SuiteAlertWatch::shared().start([&ended](const QString& alert) { ended.append(alert); });
    QtAlertPresenter presenter;
    const Alert question{QStringLiteral("“見本.md”の先頭は、BOMとして読まれます。"), QString(),
                         {QStringLiteral("保存"), QStringLiteral("キャンセル")}, Alert::Style::warning};
    EXPECT_EQ(presenter.runModal(question), 1) << "answered with its cancel button, not its default";
    EXPECT_EQ(ended, QStringList{QStringLiteral("unexpected alert: “見本.md”の先頭は、BOMとして読まれます。")});
    EXPECT_TRUE(SuiteAlertWatch::abandoned());

    // The suite is never resumed again and records nothing more.
    bool resumed = false;
    start(sleepThenMark(&resumed));
    test::spinFor(100);
    EXPECT_FALSE(resumed);
    SelfTestChecks checks;
    checks.check(QStringLiteral("after the end"), true);
    EXPECT_EQ(checks.total(), 0);

    // A further dialog is answered too, and reported no more.
    QMessageBox late(QMessageBox::Warning, QStringLiteral("もう一つ"), QStringLiteral("もう一つ"), QMessageBox::Ok);
    late.exec();
    EXPECT_EQ(ended.size(), 1);
}

TEST(SuiteAlertWatch, ADialogTheSuiteWaitsForIsLeftToItUntilItStopsWaiting)
{
    QStringList ended;
    SuiteAlertWatch::shared().start([&ended](const QString& alert) { ended.append(alert); });
    QWidget window;
    window.show();
    QDialog sheet(&window);
    sheet.setWindowTitle(QStringLiteral("保存の確認"));
    {
        const SuiteAlertWatch::Expected waiting;
        sheet.open();
        test::spinFor(100);
        EXPECT_TRUE(ended.isEmpty());
        EXPECT_TRUE(sheet.isVisible());
    }
    // Still open once the suite no longer waits for it: nobody will answer it.
    EXPECT_TRUE(test::spinUntil([&] { return !ended.isEmpty(); }, 2000));
    EXPECT_EQ(ended, QStringList{QStringLiteral("unexpected alert: 保存の確認")});
    EXPECT_FALSE(sheet.isVisible());
}

TEST(SuiteAlertWatch, ASuiteThatEndedAndStaysOpenLeavesDialogsToTheUser)
{
    QStringList ended;
    SuiteAlertWatch::shared().start([&ended](const QString& alert) { ended.append(alert); });
    SuiteAlertWatch::shared().suiteEnded();
    QDialog dialog;
    dialog.setWindowTitle(QStringLiteral("利用者の質問"));
    dialog.open();
    test::spinFor(100);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_TRUE(ended.isEmpty());
    EXPECT_FALSE(SuiteAlertWatch::abandoned());
}

TEST(SuiteAlertWatch, AWaitThatIsNeverAnsweredEndsAtItsLimit)
{
    int result = 0;
    start(awaitNeverDone(&result));
    EXPECT_TRUE(test::spinUntil([&] { return result != 0; }, 2000));
    EXPECT_EQ(result, -1);
}
