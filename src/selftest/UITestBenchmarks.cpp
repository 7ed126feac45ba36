// Opening, typing in and jumping through generated source files of three sizes in a full window,
// with what the preview does meanwhile: nothing while it is hidden, one render of the latest text
// after a burst of edits, and none at all above its size limit.
#include "selftest/UITestRun.h"

#include "document/KoriDocument.h"
#include "platform/documents/DocumentController.h"
#include "platform/text/TextView.h"
#include "platform/ui/WindowDisplay.h"
#include "preview/PreviewWebView.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAwait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonObject>
#include <QLabel>
#include <QMainWindow>
#include <QWindow>

#include <algorithm>
#include <vector>

namespace korimado {

namespace {

QByteArray generatedSource(int lines)
{
    QByteArray text;
    text.reserve(qsizetype(lines) * 48);
    const QByteArray tail = QStringLiteral(" = \"日本語 🌸\" // code\n").toUtf8();
    for (int i = 0; i < lines; ++i) text += "let value" + QByteArray::number(i) + tail;
    return text;
}

double millisecondsSince(const QElapsedTimer& clock, qint64 startNs)
{
    return double(clock.nsecsElapsed() - startNs) / 1e6;
}

}  // namespace

SuiteTask<bool> UITestRun::runBenchmarks()
{
    for (const int lines : {10000, 50000, 100000}) {
        const bool measured = co_await runBenchmark(lines);
        if (!measured) co_return false;
    }
    if (QMainWindow* window = sampleWindow()) {
        window->raise();
        window->activateWindow();
    }
    if (sample_) sample_->updateChangeCount(Document::ChangeType::cleared);
    co_return true;
}

SuiteTask<bool> UITestRun::runBenchmark(int lines)
{
    const QString path = SelfTestFrame::path(QStringLiteral("tests/fixtures/perf-code-") + QString::number(lines)
                                             + QStringLiteral(".swift"));
    {
        QFile fixture(path);
        const QByteArray bytes = generatedSource(lines);
        if (!fixture.open(QIODevice::WriteOnly | QIODevice::Truncate) || fixture.write(bytes) != bytes.size()) {
            harnessError(path + QStringLiteral(": ") + fixture.errorString());
            co_return false;
        }
    }

    QElapsedTimer clock;
    clock.start();
    auto owned = std::make_unique<KoriDocument>();
    const qint64 openStart = clock.nsecsElapsed();
    ErrorInfo error;
    if (!owned->readFromURL(path, KoriDocument::plainTextType, &error)) {
        harnessError(error.description);
        co_return false;
    }
    QPointer<KoriDocument> document = owned.get();
    DocumentController::shared()->addDocument(std::move(owned));
    const SelfTestWindow controller = SelfTestWindow::open(*document);
    const auto gone = [&] { return !document || !controller; };
    document->showWindows();
    controller.setMode(SelfTestWindow::Mode::edit);
    // The platform exposes a shown window on a later pass of the event loop, and paints it whole then.
    const auto exposed = [&] {
        const QWindow* shown = controller.window()->windowHandle();
        return !shown || shown->isExposed();
    };
    for (int pass = 0; pass < 1000 && !gone() && !exposed(); ++pass) co_await sleepFor(0);
    if (gone()) {
        harnessError(measuredClosedMessage);
        co_return false;
    }
    WindowDisplay::displayIfNeeded(controller.window());
    const double openMs = millisecondsSince(clock, openStart);
    co_await sleepFor(200);

    std::vector<double> samples;
    for (int i = 0; i < 30 && !gone(); ++i) {
        TextView* view = controller.textView();
        const qint64 start = clock.nsecsElapsed();
        view->insertText(QStringLiteral("x"), TextRange{0, 0});
        WindowDisplay::displayIfNeeded(view);
        samples.push_back(millisecondsSince(clock, start));
        co_await sleepFor(10);
    }
    if (gone()) {
        harnessError(measuredClosedMessage);
        co_return false;
    }
    TextView* view = controller.textView();
    const qint64 jumpStart = clock.nsecsElapsed();
    view->scrollRangeToVisible(TextRange{view->textLength() - 1, 0});
    WindowDisplay::displayIfNeeded(view);
    const double jumpMs = millisecondsSince(clock, jumpStart);
    std::sort(samples.begin(), samples.end());

    const QString name = QString::number(lines) + QStringLiteral(" lines: ");
    checks_.check(name + QStringLiteral("no Markdown work while editing"), controller.renderCount() == 0);
    checks_.check(name + QStringLiteral("line index remains correct"), document->lines()->lineCount() == lines + 1);

    double previewMs = -1;
    if (lines == 50000) {
        controller.setMode(SelfTestWindow::Mode::split);
        const qint64 start = clock.nsecsElapsed();
        const qint64 rendersBefore = controller.renderCount();
        for (int i = 0; i < 20; ++i) view->insertText(QStringLiteral("y"), TextRange{0, 0});
        const bool noneDuringBurst = controller.renderCount() == rendersBefore;
        // Named before it is awaited (see SuiteTask.h).
        const std::function<bool()> previewCurrent = [&] {
            if (gone()) return true;
            const std::optional<std::uint64_t> shown = controller.previewRevision();
            return shown && *shown == document->revision() && !controller.web()->isLoading();
        };
        co_await poll(150, 100, previewCurrent);
        previewMs = millisecondsSince(clock, start);
        const bool caughtUp = !gone() && controller.previewRevision() == std::optional(document->revision());
        // Coalesced: nothing rendered while the keys came, and one render for the whole burst.
        checks_.check(QStringLiteral("50000 lines: rapid edits coalesce before render"),
                      noneDuringBurst && caughtUp && controller.renderCount() == rendersBefore + 1);
        checks_.check(QStringLiteral("50000 lines: preview catches latest revision"), caughtUp);
    } else if (lines == 100000) {
        controller.setMode(SelfTestWindow::Mode::split);
        co_await sleepFor(50);
        checks_.check(QStringLiteral("100000 lines: bounded preview does not parse oversized text"),
                      !gone() && controller.renderCount() == 0
                          && controller.previewStatus().contains(QStringLiteral("停止")));
    }
    if (gone()) {
        harnessError(measuredClosedMessage);
        co_return false;
    }

    benchmarks_.append(QJsonObject{
        {QStringLiteral("lines"), lines},
        {QStringLiteral("utf16_units"), static_cast<qint64>(document->storage().length())},
        {QStringLiteral("input_path"), path},
        {QStringLiteral("input_cache"), QStringLiteral("warm: fixture written immediately before read")},
        {QStringLiteral("open_and_first_display_ms"), openMs},
        {QStringLiteral("insert_and_display_p50_ms"), samples[15]},
        {QStringLiteral("insert_and_display_p95_ms"), samples[28]},
        {QStringLiteral("jump_to_end_and_display_ms"), jumpMs},
        {QStringLiteral("preview_delay_and_load_ms"), previewMs},
        {QStringLiteral("last_markdown_render_ms"), controller.lastRenderMilliseconds()},
    });
    document->updateChangeCount(Document::ChangeType::cleared);
    document->close();
    co_return true;
}

}  // namespace korimado
