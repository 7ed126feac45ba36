// The features suite: the file browser's typed paths and listing, the SVG preview's sanitiser and
// player, the sidebar of a real window, the Japanese settings window and the question asked
// before an edited drawing's window closes.
#include "selftest/SVGTreeTests.h"

#include "document/KoriDocument.h"
#include "filetree/FileTreeView.h"
#include "platform/documents/Document.h"
#include "platform/text/TextStorage.h"
#include "platform/text/TextView.h"
#include "platform/ui/WindowTracker.h"
#include "preview/PreviewWebView.h"
#include "selftest/SVGTreeRun.h"
#include "selftest/SelfTestFormat.h"
#include "selftest/SelfTestDocuments.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAlertWatch.h"
#include "selftest/SuiteAwait.h"

#include <QCoreApplication>
#include <QDir>
#include <QImage>
#include <QJsonArray>
#include <QJsonObject>
#include <QMainWindow>

namespace korimado {

namespace {

const QString reportPath = QStringLiteral("docs/evidence/svg-tree-tests.json");

using SelfTestDocuments::writeWhole;

}  // namespace

SuiteTask<> SVGTreeTests::run()
{
    SVGTreeRun suite;
    co_await suite.run();
}

const QString& SVGTreeRun::sampleSVG()
{
    static const QString sample = QStringLiteral(
        "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"640\" height=\"400\" viewBox=\"0 0 640 400\">\n"
        "  <style>@keyframes fade {from{opacity:1}to{opacity:0.25}} .pulse{animation:fade 2s infinite alternate}</style>\n"
        "  <rect width=\"640\" height=\"400\" rx=\"24\" fill=\"#eff5ff\"/>\n"
        "  <text x=\"40\" y=\"62\" font-size=\"27\" fill=\"#163355\">Korimado SVGプレイヤー</text>\n"
        "  <path d=\"M60 200 H580\" stroke=\"#b7cce5\" stroke-width=\"4\"/>\n"
        "  <circle id=\"moving\" cx=\"80\" cy=\"200\" r=\"26\" fill=\"#2563eb\"><animate attributeName=\"cx\" "
        "values=\"80;560;80\" dur=\"4s\" repeatCount=\"indefinite\"/></circle>\n"
        "  <rect class=\"pulse\" x=\"260\" y=\"280\" width=\"120\" height=\"45\" rx=\"12\" fill=\"#dc3b42\"/>\n"
        "  <text x=\"40\" y=\"365\" font-size=\"18\" fill=\"#48627d\">左で編集 · 右で再生</text>\n"
        "</svg>");
    return sample;
}

QString SVGTreeRun::unsafeSVG()
{
    return QStringLiteral("<svg xmlns='http://www.w3.org/2000/svg' onload='bad()'><script>bad()</script>"
                          "<foreignObject><iframe src='")
           + externalAddress + QStringLiteral("'/></foreignObject><use href='") + externalAddress
           + QStringLiteral("/x.svg#x'/><circle><set attributeName='onload' to='bad()'/></circle></svg>");
}

SuiteTask<> SVGTreeRun::run()
{
    SuiteAlertWatch::shared().start([this](const QString& alert) {
        harnessError(alert);
        finish();
    });
    // This compiler loses a co_await written inside a condition: every phase awaits into a local.
    bool going = writeFixture() && checkPathParser() && checkListing();
    if (going) {
        checkSanitiser();
        going = co_await openDrawingWindow();
    }
    if (going) going = co_await checkPlayer();
    if (going) {
        co_await checkLiveEdit();
        going = !windowClosed();
    }
    if (going) {
        co_await checkPathField();
        going = !windowClosed();
    }
    if (going) going = co_await restoreDrawing();
    if (going) {
        co_await checkSettingsWindow();
        going = !windowClosed();
    }
    if (going) {
        co_await checkCloseQuestion();
        going = co_await writePreviewAndWindowReport();
    }
    if (going && drawing_) drawing_->updateChangeCount(Document::ChangeType::cleared);
    finish();
}

bool SVGTreeRun::writeFixture()
{
    root_ = SelfTestFrame::path(QStringLiteral("tests/fixtures/tree-preview"));
    folder_ = root_ + QStringLiteral("/日本語 フォルダ");
    sample_ = root_ + QStringLiteral("/sample.svg");
    note_ = folder_ + QStringLiteral("/説明.md");
    if (!QDir().mkpath(folder_)) return harnessError(QStringLiteral("フォルダを作れません: ") + folder_);
    QString error;
    if (!writeWhole(sample_, sampleSVG(), &error)
        || !writeWhole(note_, QStringLiteral("# パスから開く\n\n未保存の編集は別のタブに残ります。\n"), &error)
        || !writeWhole(root_ + QStringLiteral("/.hidden-test"), QStringLiteral("hidden"), &error))
        return harnessError(error);
    return true;
}

bool SVGTreeRun::harnessError(const QString& description)
{
    checks_.check(QStringLiteral("feature harness: ") + description, false);
    return false;
}

void SVGTreeRun::typeAtEnd(const QString& text)
{
    TextView* editor = drawingWindow_.textView();
    if (!editor || !drawing_) return;
    editor->insertText(text, TextRange{drawing_->storage().length(), 0});
}

bool SVGTreeRun::previewCurrent() const
{
    if (!drawingWindow_ || !drawing_) return false;
    const std::optional<std::uint64_t> shown = drawingWindow_.previewRevision();
    return shown && *shown == drawing_->revision() && !drawingWindow_.web()->isLoading();
}

QWidget* SVGTreeRun::window() const
{
    return drawingWindow_.window();
}

bool SVGTreeRun::windowClosed()
{
    if (drawingWindow_ && drawing_) return false;
    harnessError(QStringLiteral("SVG書類のウインドウが閉じられました。"));
    return true;
}

SuiteTask<bool> SVGTreeRun::restoreDrawing()
{
    if (windowClosed()) co_return false;
    WindowTracker::shared().makeKeyAndOrderFront(window());
    drawingWindow_.fileTree()->setRoot(root_, sample_);
    ErrorInfo error;
    if (!drawing_ || !drawing_->readFromData(sampleSVG().toUtf8(), KoriDocument::plainTextType, &error))
        co_return harnessError(drawing_ ? error.description : QStringLiteral("SVG書類が閉じられました。"));
    drawing_->updateChangeCount(Document::ChangeType::cleared);
    const auto current = [this] { return previewCurrent(); };
    co_await poll(40, 100, current);
    if (windowClosed()) co_return false;
    if (!drawingWindow_.isSVGPaused()) drawingWindow_.toggleSVGPlayback();
    co_await sleepFor(100);
    SelfTestFrame::capture(window(), QStringLiteral("svg-tree-three-columns.png"));
    co_return true;
}

SuiteTask<bool> SVGTreeRun::writePreviewAndWindowReport()
{
    QWidget* web = drawingWindow_.web();
    const QImage preview = co_await snapshot(web);
    if (windowClosed()) co_return false;
    if (!preview.isNull() && !preview.save(SelfTestFrame::path(QStringLiteral("docs/evidence/svg-player-preview.png")), "PNG"))
        co_return harnessError(QStringLiteral("プレビュー画像を書き出せません。"));
    QWidget* shown = window();
    if (!shown) co_return true;
    const auto frame = [shown](const QWidget* view) {
        return SelfTestFormat::rect(view ? QRectF(view->mapTo(shown, QPoint(0, 0)), QSizeF(view->size())) : QRectF());
    };
    const QJsonObject report{
        {QStringLiteral("pid"), static_cast<qint64>(QCoreApplication::applicationPid())},
        {QStringLiteral("window_id"), SelfTestFrame::windowNumber(shown)},
        {QStringLiteral("fixture"), sample_},
        {QStringLiteral("columns"),
         QJsonArray{frame(drawingWindow_.fileTree()), frame(drawingWindow_.scroll()), frame(drawingWindow_.previewPane())}},
    };
    if (!SelfTestFrame::writeJson(QStringLiteral("docs/evidence/svg-tree-window.json"), report))
        co_return harnessError(QStringLiteral("ウインドウの報告を書き出せません。"));
    co_return true;
}

void SVGTreeRun::finish()
{
    // A run ended early can leave the drawing edited: quitting would ask about it, and nobody answers.
    if (drawing_ && SelfTestFrame::argumentsContain(QStringLiteral("--exit-after-tests")))
        drawing_->updateChangeCount(Document::ChangeType::cleared);
    SelfTestFrame::writeReport(reportPath, QJsonObject{{QStringLiteral("checks"), checks_.records()}});
    SelfTestFrame::printLine(checks_.summary(QStringLiteral("SVG/tree tests: ")));
    SelfTestFrame::terminateIfAsked();
}

}  // namespace korimado
