#include "window/EditorWindowController.h"

#include "support/WindowFixture.h"
#include "support/PageAnswers.h"
#include "support/TestSupport.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "preview/PreviewWebView.h"
#include "window/DetailPane.h"
#include "window/DetailPreview.h"
#include "window/SegmentedControl.h"
#include "window/StatusLine.h"
#include "commands/TextCommands.h"
#include "syntax/SyntaxHighlighter.h"
#include "syntax/SyntaxModel.h"

#include <QClipboard>
#include <QEventLoop>
#include <QFile>
#include <QGuiApplication>
#include <QImage>
#include <QLabel>
#include <QMimeData>
#include <QNativeGestureEvent>
#include <QPointingDevice>
#include <QPushButton>
#include <QTimer>

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <limits>
#include <thread>

using namespace korimado;
using Mode = EditorWindowController::Mode;

namespace {

// WebEngine starves under QTest::qWaitFor: test::spinUntil waits in a plain event loop.
using test::spinUntil;
using test::spinFor;


// A server on the loopback address that only counts who connects, on a thread of its own so
// that it answers whatever the main thread does; it stops with the object, or after a minute.
class CountingServer {
public:
    CountingServer()
    {
        fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        ::bind(fd_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        ::listen(fd_, 16);
        socklen_t length = sizeof address;
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        thread_ = std::thread([this] {
            for (int i = 0; i < 600 && !stop_; ++i) {
                pollfd p{fd_, POLLIN, 0};
                if (::poll(&p, 1, 100) > 0) {
                    const int client = ::accept(fd_, nullptr, nullptr);
                    if (client >= 0) {
                        ++connections_;
                        ::close(client);
                    }
                }
            }
        });
    }
    ~CountingServer()
    {
        stop_ = true;
        thread_.join();
        ::close(fd_);
    }
    QString url(const QString& path) const { return QStringLiteral("http://127.0.0.1:%1/%2").arg(port_).arg(path); }
    int connections() const { return connections_; }

private:
    int fd_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::atomic<int> connections_{0};
    std::thread thread_;
};

using test::pageAnswers;

// Whether this process has mapped the web engine's library.
bool engineMapped()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libQt6WebEngineCore");
}

class PreviewWindowTest : public ::testing::Test {
protected:
    std::unique_ptr<KoriDocument> open(const QString& name, const QByteArray& bytes)
    {
        return test::readFileDocument(dir, name, bytes);
    }

    test::TempDir dir;
};

}  // namespace

TEST_F(PreviewWindowTest, NothingOfTheWebEngineBeforeTheFirstPaintThenEveryDocumentIsPreviewed)
{
    // In 原案 no preview is shown, so none is built and no engine starts.
    auto source = open(QStringLiteral("edit.c"), "int f(void);\n");
    EditorWindowController& editing = test::openDocumentWindow(*source);
    editing.setMode(Mode::edit);
    editing.showWindow();
    ASSERT_TRUE(spinUntil([&] { return editing.hasPainted(); }));
    spinFor(300);
    EXPECT_EQ(editing.renderCount(), 0);
    EXPECT_FALSE(editing.web()->hasEngine());

    auto plain = open(QStringLiteral("main.c"), "int main(void) { return 0; }\n");
    EditorWindowController& window = test::openDocumentWindow(*plain);
    spinFor(300);
    EXPECT_FALSE(window.web()->hasEngine()) << "nothing before the window is on screen";
    EXPECT_FALSE(engineMapped()) << "nor the engine's library";
    EXPECT_EQ(window.renderCount(), 0);
    window.showWindow();
    EXPECT_EQ(window.mode(), Mode::split) << "two columns, the preview segment";
    // A plain file previews as Markdown right after its text is on screen, without an edit.
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0; }, 30000));
    EXPECT_TRUE(window.hasPainted());
    EXPECT_TRUE(window.web()->hasEngine());
    EXPECT_TRUE(engineMapped());
    EXPECT_EQ(window.previewRevision(), plain->revision());
    EXPECT_TRUE(pageAnswers(window.web(), QStringLiteral("document.querySelector('main p').textContent"),
                            QStringLiteral("int main(void) { return 0; }")));
    EXPECT_EQ(window.previewStatus()->text(), QStringLiteral("ローカルプレビュー   HTMLとスクリプトは実行しません"));
}

TEST_F(PreviewWindowTest, BackgroundWorkOfANewWindowWaitsForItsFirstPaint)
{
    auto document = open(QStringLiteral("main.c"), "int main(void)\n{\n    return 0;\n}\n");
    EditorWindowController& window = test::openDocumentWindow(*document);
    spinFor(400);
    const SyntaxModel& syntax = SyntaxModel::of(*document);
    EXPECT_EQ(window.statusLine().statisticsSchedules(), 0u);
    EXPECT_TRUE(syntax.tokens().empty()) << "no full parse before the text is on screen";
    EXPECT_FALSE(syntax.parseInFlight());

    window.showWindow();
    ASSERT_TRUE(spinUntil([&] { return window.hasPainted(); }));
    ASSERT_TRUE(spinUntil([&] { return !syntax.tokens().empty(); }));
    EXPECT_GT(window.statusLine().statisticsSchedules(), 0u);
}

TEST_F(PreviewWindowTest, DelaysAndTheStopAboveTwoMillionUnits)
{
    EXPECT_EQ(DetailPreview::delay(200'000, false), 300);
    EXPECT_EQ(DetailPreview::delay(200'001, false), 800);
    EXPECT_EQ(DetailPreview::delay(5'000'000, true), 0);

    auto exact = open(QStringLiteral("exact.txt"), QByteArray(2'000'000, 'a'));
    EditorWindowController& window = test::openDocumentWindow(*exact);
    window.showWindow();
    ASSERT_TRUE(spinUntil([&] { return window.hasPainted(); }));
    window.wantPreview();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0; }, 20000)) << "exactly 2,000,000 units still render";

    auto over = open(QStringLiteral("over.txt"), QByteArray(2'000'001, 'a'));
    EditorWindowController& stopped = test::openDocumentWindow(*over);
    stopped.showWindow();
    ASSERT_TRUE(spinUntil([&] { return stopped.hasPainted(); }));
    stopped.wantPreview();
    EXPECT_EQ(stopped.previewStatus()->text(),
              QStringLiteral("大きな文書のプレビューは停止中（上限200万UTF-16文字）。全文の編集と保存は使えます。"));
    EXPECT_EQ(stopped.web()->noticeText(), QStringLiteral("文書が大きいためプレビューを停止しました。"));
    EXPECT_FALSE(stopped.web()->hasEngine()) << "a notice alone starts no engine";
    spinFor(300);
    EXPECT_EQ(stopped.renderCount(), 0);
}

TEST_F(PreviewWindowTest, APageBuiltForAnOlderTextIsNeverShown)
{
    QByteArray text;
    while (text.size() < 1'500'000) text += "| a | b |\n|---|---|\n| 1 | 2 |\n\n- [ ] item https://example.com\n\n";
    auto document = open(QStringLiteral("big.md"), text);
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0; }, 20000));
    const qint64 before = window.renderCount();
    window.schedulePreview(true);
    ASSERT_TRUE(spinUntil([&] { return window.detailPane().previewer().isRendering(); }, 5000));
    // Typing while the page is built: that page is dropped and the new text rendered.
    window.textView()->setSelectedRange({0, 0});
    window.textView()->insertText(QStringLiteral("x"));
    const std::uint64_t latest = document->revision();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > before; }, 20000));
    EXPECT_EQ(window.previewRevision(), latest) << "the first page shown after the edit is the edited text's";
}

TEST_F(PreviewWindowTest, RemoteResourcesNeverLoadAndLocalOnesDo)
{
    CountingServer server;
    QImage image(3, 2, QImage::Format_RGB32);
    image.fill(Qt::red);
    ASSERT_TRUE(image.save(dir.file(QStringLiteral("local.png"))));
    // A head tag in a comment first: the policy must still reach the real head.
    const QString html = QStringLiteral(
                             "<!-- <head> -->\n<html><head><title>%1</title></head><body>\n"
                             "<img id='local' src='local.png'>\n<img id='remote' src='%2'>\n"
                             "<iframe src='%3'></iframe>\n</body></html>\n")
                             .arg(server.url(QStringLiteral("s.css")), server.url(QStringLiteral("r.png")),
                                  server.url(QStringLiteral("f.html")));
    auto document = open(QStringLiteral("page.html"), html.toUtf8());
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0 && window.web()->hasEngine(); }));
    ASSERT_TRUE(pageAnswers(window.web(), QStringLiteral("document.readyState"), QStringLiteral("complete")));
    ASSERT_TRUE(pageAnswers(window.web(), QStringLiteral("document.getElementById('local').naturalWidth"), 3));
    spinFor(500);
    EXPECT_TRUE(pageAnswers(window.web(), QStringLiteral("document.getElementById('remote').naturalWidth"), 0));
    EXPECT_EQ(server.connections(), 0);
    EXPECT_EQ(window.previewStatus()->text(),
              QStringLiteral("HTMLプレビュー   ローカルのCSS・画像を表示します。スクリプトと外部通信は無効です。"));

    // Below the policy, the network layer: a page with no policy at all still reaches nothing.
    PreviewWebView bare;
    bare.resize(300, 200);
    bare.show();
    bare.showPage(QStringLiteral("<img src='%1'><link rel='stylesheet' href='%2'>")
                      .arg(server.url(QStringLiteral("x.png")), server.url(QStringLiteral("y.css"))),
                  PreviewWebView::Kind::markdown);
    ASSERT_TRUE(pageAnswers(&bare, QStringLiteral("document.readyState"), QStringLiteral("complete")));
    ASSERT_TRUE(spinUntil([&] { return bare.blockedRequests() >= 2; }, 5000));
    EXPECT_EQ(server.connections(), 0);
}

TEST_F(PreviewWindowTest, NavigationPolicyAndLinks)
{
    using Kind = PreviewWebView::Kind;
    const QUrl own(QStringLiteral("kori-preview://local/?page=3"));
    const QUrl other(QStringLiteral("kori-preview://local/other.html"));
    EXPECT_TRUE(PreviewWebView::allowsNavigation(own, false, Kind::markdown));
    EXPECT_FALSE(PreviewWebView::allowsNavigation(other, false, Kind::markdown));
    EXPECT_TRUE(PreviewWebView::allowsNavigation(other, false, Kind::html));
    EXPECT_TRUE(PreviewWebView::allowsNavigation(QUrl(QStringLiteral("about:blank")), false, Kind::svg));
    EXPECT_FALSE(PreviewWebView::allowsNavigation(QUrl(QStringLiteral("https://example.com/")), false, Kind::html));
    EXPECT_FALSE(PreviewWebView::allowsNavigation(QUrl(QStringLiteral("file:///etc/passwd")), false, Kind::html));
    EXPECT_FALSE(PreviewWebView::allowsNavigation(other, true, Kind::html)) << "a link never navigates the preview";

    ScriptedAlertPresenter alerts;
    AlertPresenter::setShared(&alerts);
    std::vector<QUrl> opened;
    DetailPreview::setLinkOpener([&](const QUrl& url) { opened.push_back(url); });
    KoriDocument untitled;
    EditorWindowController& window = test::openDocumentWindow(untitled);
    const QUrl link(QStringLiteral("https://example.com/a?b=1"));
    alerts.enqueueAnswer(1);
    window.detailPane().previewer().openLink(link);
    EXPECT_TRUE(opened.empty()) << "キャンセル";
    alerts.enqueueAnswer(0);
    window.detailPane().previewer().openLink(link);
    ASSERT_EQ(alerts.shown().size(), 2);
    EXPECT_EQ(alerts.shown()[0].messageText, QStringLiteral("ブラウザでリンクを開きますか？"));
    EXPECT_EQ(alerts.shown()[0].informativeText, link.toString());
    EXPECT_EQ(alerts.shown()[0].buttons, (QStringList{QStringLiteral("開く"), QStringLiteral("キャンセル")}));
    ASSERT_EQ(opened.size(), 1u);
    EXPECT_EQ(opened[0], link);
    DetailPreview::setLinkOpener({});
    AlertPresenter::setShared(nullptr);
}

TEST_F(PreviewWindowTest, SVGPlaybackWaitsForThePageAndZoomStaysInBounds)
{
    auto document = open(QStringLiteral("drawing.svg"),
                         "<svg xmlns='http://www.w3.org/2000/svg' viewBox='0 0 10 10'><circle r='4' cx='5' cy='5'>"
                         "<animate attributeName='r' from='1' to='4' dur='1s' repeatCount='indefinite'/></circle>"
                         "<script>alert(1)</script></svg>");
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.detailPane().previewer().svgPaused = false;
    window.showWindow();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0; }));
    window.toggleSVGPlayback();
    EXPECT_FALSE(window.detailPane().previewer().svgPaused) << "nothing happens before the page has loaded";
    ASSERT_TRUE(spinUntil([&] { return window.detailPane().previewer().svgReady(); }, 15000));
    EXPECT_TRUE(window.detailPane().playButton()->isEnabled());
    EXPECT_TRUE(window.previewStatus()->text().contains(QStringLiteral("など1項目を除外")));
    window.toggleSVGPlayback();
    EXPECT_TRUE(window.detailPane().previewer().svgPaused);
    ASSERT_TRUE(spinUntil([&] { return window.detailPane().playButton()->text() == QStringLiteral("再生"); }, 5000));
    EXPECT_TRUE(pageAnswers(window.web(), QStringLiteral("document.querySelector('svg').animationsPaused()"), true));
    window.restartSVG();
    EXPECT_FALSE(window.detailPane().previewer().svgPaused);
    ASSERT_TRUE(spinUntil([&] { return window.detailPane().playButton()->text() == QStringLiteral("一時停止"); }, 5000));

    for (int i = 0; i < 12; ++i) window.zoomInSVG();
    EXPECT_DOUBLE_EQ(window.web()->zoom(), 4.0);
    for (int i = 0; i < 20; ++i) window.zoomOutSVG();
    EXPECT_DOUBLE_EQ(window.web()->zoom(), 0.25);
    window.resetSVGZoom();
    EXPECT_DOUBLE_EQ(window.web()->zoom(), 1.0);
}

TEST_F(PreviewWindowTest, PinchesScaleTheEditorUnderThemAndThePreviewWithinBounds)
{
    auto document = open(QStringLiteral("notes.txt"), "abc\n");
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    window.openSplitTextView();
    const auto pinch = [](QWidget* target, double magnification) {
        QNativeGestureEvent event(Qt::ZoomNativeGesture, QPointingDevice::primaryPointingDevice(), 2, QPointF(5, 5),
                                  QPointF(5, 5), QPointF(5, 5), magnification, QPointF());
        QCoreApplication::sendEvent(target, &event);
    };
    const double primary = window.textView()->font().pointSizeF();
    const double secondary = window.secondaryEditor()->font().pointSizeF();
    pinch(window.secondaryEditor()->viewport(), 0.5);
    EXPECT_DOUBLE_EQ(window.secondaryEditor()->font().pointSizeF(), secondary * 1.5) << "only the editor under the pinch";
    EXPECT_DOUBLE_EQ(window.textView()->font().pointSizeF(), primary);
    pinch(window.textView()->viewport(), -0.2);
    EXPECT_DOUBLE_EQ(window.textView()->font().pointSizeF(), std::max(primary * 0.8, 8.0));

    PreviewWebView* web = window.web();
    web->setZoom(1.0);
    pinch(web, 0.5);
    EXPECT_DOUBLE_EQ(web->zoom(), 1.5);
    pinch(web, -1.0);  // a factor of 0 is no zoom at all
    pinch(web, std::numeric_limits<double>::quiet_NaN());
    EXPECT_DOUBLE_EQ(web->zoom(), 1.5);
    for (int i = 0; i < 10; ++i) pinch(web, 1.0);
    EXPECT_DOUBLE_EQ(web->zoom(), 4.0);
    for (int i = 0; i < 10; ++i) pinch(web, -0.9);
    EXPECT_DOUBLE_EQ(web->zoom(), 0.25);
}

TEST_F(PreviewWindowTest, StyledCopyPutsPlainTextAndRTF)
{
    auto document = open(QStringLiteral("notes.txt"), "日本語\r\nabc\n");
    EditorWindowController& window = test::openDocumentWindow(*document);
    QClipboard* clipboard = QGuiApplication::clipboard();
    clipboard->setText(QStringLiteral("before"));
    window.textView()->setSelectedRange({2, 0});
    window.copyWithStyle();
    EXPECT_EQ(clipboard->text(), QStringLiteral("before")) << "an empty selection copies nothing";

    window.textView()->setSelectedRange({0, 7});
    window.copyWithStyle();
    const QMimeData* data = clipboard->mimeData();
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->text(), QStringLiteral("日本語\r\nab"));
    const QByteArray rtf = data->data(QStringLiteral("text/rtf"));
    EXPECT_TRUE(rtf.startsWith("{\\rtf1"));
    EXPECT_TRUE(rtf.contains("\\u26085?\\u26412?\\u-30050?\\par\nab}")) << "語 is above 32767: a negative number";
}

TEST_F(PreviewWindowTest, ARenderOfTheSameDocumentKeepsTheReadersPlaceAndNoHistory)
{
    QByteArray text;
    for (int i = 0; i < 300; ++i) text += "## 見出し " + QByteArray::number(i) + "\n\n段落の本文です。\n\n";
    auto document = open(QStringLiteral("long.md"), text);
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0; }, 30000));
    PreviewWebView* web = window.web();
    ASSERT_TRUE(pageAnswers(web, QStringLiteral("document.readyState"), QStringLiteral("complete")));
    // The reader scrolls down (asked again until the page has its size and takes it).
    const QString scrolled = QStringLiteral("[Math.round(window.scrollX), Math.round(window.scrollY)].join(' ')");
    ASSERT_TRUE(pageAnswers(web, QStringLiteral("window.scrollTo(0, 3000); ") + scrolled, QStringLiteral("0 3000")));
    spinFor(300);

    // Typing at the top renders the page again; the reader stays where they were.
    const qint64 before = window.renderCount();
    window.textView()->setSelectedRange({3, 0});
    window.textView()->insertText(QStringLiteral("x"));
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > before; }, 30000));
    ASSERT_TRUE(pageAnswers(web, QStringLiteral("document.querySelector('h2').textContent"), QStringLiteral("x見出し 0")));
    EXPECT_TRUE(pageAnswers(web, scrolled, QStringLiteral("0 3000")));
    EXPECT_TRUE(pageAnswers(web, QStringLiteral("[history.length].join(' ')"), QStringLiteral("1"))) << "each page replaces the one before";

    // No menu of the engine's own.
    for (QWidget* child : web->findChildren<QWidget*>()) {
        if (QLatin1String(child->metaObject()->className()) == QLatin1String("QWebEngineView")) {
            EXPECT_EQ(child->contextMenuPolicy(), Qt::NoContextMenu);
        }
    }
}

TEST_F(PreviewWindowTest, ALongParagraphLoadsInBoundedTimeAndTypingKeepsThePlace)
{
    // One paragraph of 50,000 lines with Japanese and emoji: the page finished loading only after
    // minutes, so the preview never reported it loaded.
    QByteArray text;
    const QByteArray tail = QStringLiteral(" = \"日本語 🌸\" // code\n").toUtf8();
    for (int i = 0; i < 50000; ++i) text += "let value" + QByteArray::number(i) + tail;
    auto document = open(QStringLiteral("long.swift"), text);
    EditorWindowController& window = test::openDocumentWindow(*document);
    window.showWindow();
    PreviewWebView* web = window.web();
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > 0; }, 30000));
    ASSERT_TRUE(spinUntil([&] { return !web->isLoading(); }, 60000)) << "the page finishes loading";
    const QString scrolled = QStringLiteral("[Math.round(window.scrollX), Math.round(window.scrollY)].join(' ')");
    ASSERT_TRUE(pageAnswers(web, QStringLiteral("window.scrollTo(0, 20000); ") + scrolled, QStringLiteral("0 20000")));

    const qint64 before = window.renderCount();
    window.textView()->setSelectedRange({0, 0});
    window.textView()->insertText(QStringLiteral("x"));
    ASSERT_TRUE(spinUntil([&] { return window.renderCount() > before; }, 30000));
    EXPECT_TRUE(spinUntil([&] { return !web->isLoading(); }, 60000)) << "and again after an edit";
    EXPECT_EQ(window.previewRevision(), document->revision());
    EXPECT_TRUE(pageAnswers(web, QStringLiteral("document.querySelector('main p').textContent.slice(0, 10)"),
                            QStringLiteral("xlet value")));
    EXPECT_TRUE(pageAnswers(web, scrolled, QStringLiteral("0 20000")));
}
