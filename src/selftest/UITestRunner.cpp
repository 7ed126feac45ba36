// The UI suite: the program's own document, window, editor, Edit menu, panels and preview driven
// as a user's input reaches them, with timings of opening and typing in large files.
#include "selftest/UITestRunner.h"

#include "document/KoriDocument.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAlertWatch.h"
#include "selftest/UITestRun.h"

#include <QJsonObject>
#include <QMainWindow>

namespace korimado {

namespace {

const QString scope = QStringLiteral(
    "AppKit input protocol, actual file IO and programmatic UI. Global menu routing is separately checked and "
    "remains failed if no key window exists; explicit-target Undo/Redo are then tested independently. Real IME "
    "candidate selection and physical display latency are not measured. Save-panel cancellation is tested.");

}  // namespace

SuiteTask<> UITestRunner::run()
{
    // The run lives as long as the suite; the sample window it leaves open belongs to its document.
    auto suite = std::make_unique<UITestRun>();
    co_await suite->run();
}

SuiteTask<> UITestRun::run()
{
    SuiteAlertWatch::shared().start([this](const QString& alert) { harnessError(alert); });
    if (!keepNormalizationEdit()) co_return;
    const bool opened = co_await openSampleWindow();
    if (!opened) co_return;
    co_await typeUndoAndCompose();
    const bool saved = co_await saveSample();
    if (!saved) co_return;
    const bool previewed = co_await checkPreview();
    if (!previewed) co_return;
    const bool captured = co_await captureWindow();
    if (!captured) co_return;
    co_await cancelPanelsOfUntitled();
    co_await saveNewDocumentAs();
    const bool measured = co_await runBenchmarks();
    if (!measured) co_return;
    finish();
}

QString UITestRun::sampleText() const
{
    return sample_ ? sample_->string() : QString();
}

QMainWindow* UITestRun::sampleWindow() const
{
    return sampleController_.window();
}

void UITestRun::harnessError(const QString& description)
{
    checks_.append(QJsonObject{{QStringLiteral("test"), QStringLiteral("UI harness")},
                               {QStringLiteral("passed"), false},
                               {QStringLiteral("error"), description}});
    SelfTestFrame::printLine(description);
    finish();
}

void UITestRun::finish()
{
    SelfTestFrame::writeReport(reportPath, QJsonObject{{QStringLiteral("scope"), scope},
                                                       {QStringLiteral("checks"), checks_.records()},
                                                       {QStringLiteral("benchmarks"), benchmarks_}});
    SelfTestFrame::printLine(QStringLiteral("UI self-test complete"));
    SelfTestFrame::terminateIfAsked();
}

}  // namespace korimado
