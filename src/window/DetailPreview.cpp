#include "window/DetailPreview.h"

#include "document/KoriDocument.h"
#include "platform/foundation/DispatchQueue.h"
#include "platform/foundation/MainQueue.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/AlertPresenter.h"
#include "preview/HTMLPreview.h"
#include "preview/Markdown.h"
#include "preview/PreviewWebView.h"
#include "preview/SVGPreview.h"

#include <QDesktopServices>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QPointer>
#include <QPushButton>

namespace korimado {

namespace {

const QString stoppedStatus =
    QStringLiteral("大きな文書のプレビューは停止中（上限200万UTF-16文字）。全文の編集と保存は使えます。");
const QString stoppedPage = QStringLiteral("<meta charset='utf-8'><p>文書が大きいためプレビューを停止しました。</p>");
// The same notice in the dark appearance, in the Markdown page's colours.
const QString stoppedPageDark = QStringLiteral(
    "<meta charset='utf-8'><meta name='color-scheme' content='dark'><style>html{background:#202124;color:#e8eaed}</style>"
    "<p>文書が大きいためプレビューを停止しました。</p>");

std::function<void(const QUrl&)>& linkOpener()
{
    static std::function<void(const QUrl&)> opener = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    return opener;
}

}  // namespace

DetailPreview::DetailPreview(KoriDocument& document, PreviewWebView& web, QPushButton& playButton, Hooks hooks,
                             QObject* parent)
    : QObject(parent),
      document_(&document),
      web_(&web),
      playButton_(&playButton),
      hooks_(std::move(hooks)),
      renderQueue_(std::make_unique<DispatchQueue>(DispatchQueue::applicationLabel(QStringLiteral(".markdown"))))
{
    connect(web_, &PreviewWebView::loadFinished, this, &DetailPreview::didFinishLoading);
    connect(web_, &PreviewWebView::linkActivated, this, &DetailPreview::openLink);
    // A Markdown page carries the appearance's colours: build it again in the new ones.
    connect(web_, &PreviewWebView::appearanceChanged, this, [this] {
        showingStopped_ = false;
        if (!isSVG() && !isHTML()) schedule(true);
    });
    playButton_->setEnabled(false);
}

DetailPreview::~DetailPreview()
{
    close();
}

void DetailPreview::setLinkOpener(std::function<void(const QUrl&)> opener)
{
    linkOpener() = std::move(opener);
}

int DetailPreview::delay(qsizetype length, bool immediate)
{
    return immediate ? 0 : length > slowLength ? 800 : 300;
}

bool DetailPreview::isSVG() const
{
    return QFileInfo(document_->fileURL()).suffix().compare(QLatin1String("svg"), Qt::CaseInsensitive) == 0;
}

bool DetailPreview::isHTML() const
{
    const QString suffix = QFileInfo(document_->fileURL()).suffix().toLower();
    return suffix == QLatin1String("html") || suffix == QLatin1String("htm") || suffix == QLatin1String("xhtml");
}

void DetailPreview::want()
{
    if (wanted_) return;
    wanted_ = true;
    schedule(true);
}

void DetailPreview::setPainted()
{
    if (painted_) return;
    painted_ = true;
    if (wanted_) schedule(true);
}

void DetailPreview::cancel()
{
    if (work_) work_->cancel();
    ++renderToken_;
}

void DetailPreview::close()
{
    closed_ = true;
    cancel();
}

void DetailPreview::schedule(bool immediate)
{
    if (closed_ || !web_ || !hooks_.isOnScreen()) return;
    cancel();
    if (!wanted_ || !painted_) return;
    if (hooks_.isComposing && hooks_.isComposing()) return;
    const qsizetype length = document_->storage().length();
    if (length > maximumLength) {
        hooks_.setStatus(stoppedStatus);
        // Each keystroke in a large text comes here: the notice on show stays as it is.
        if (!showingStopped_) web_->showNotice(web_->isDark() ? stoppedPageDark : stoppedPage);
        showingStopped_ = true;
        return;
    }
    ++schedules_;
    hooks_.setStatus(QStringLiteral("プレビュー更新待ち"));
    QPointer<DetailPreview> weak(this);
    work_ = WorkItem::make([weak] {
        if (weak) weak->render();
    });
    MainQueue::after(delay(length, immediate), work_);
}

void DetailPreview::render()
{
    if (closed_ || !hooks_.isOnScreen() || (hooks_.isComposing && hooks_.isComposing())) return;
    if (rendering_) {
        renderPending_ = true;
        return;
    }
    if (document_->storage().length() > maximumLength) return;
    rendering_ = true;
    renderPending_ = false;
    // Shared chunks here; the one string is made on the render queue.
    const TextSnapshot snapshot = document_->storage().snapshot();
    const std::uint64_t token = renderToken_;
    const std::uint64_t revision = document_->revision();
    const bool svg = isSVG();
    const bool html = isHTML();
    const auto appearance = web_->isDark() ? Markdown::Appearance::dark : Markdown::Appearance::light;
    std::optional<QString> root;
    if (html && !document_->fileURL().isEmpty()) root = QFileInfo(document_->fileURL()).absolutePath();

    QPointer<DetailPreview> weak(this);
    renderQueue_->async([weak, snapshot, token, revision, svg, html, root, appearance] {
        const QString text = snapshot.string();
        QElapsedTimer timer;
        timer.start();
        std::optional<SVGPreview::Output> drawing;
        QString page;
        if (svg) {
            drawing = SVGPreview::page(text);
            page = drawing->html;
        } else {
            page = html ? HTMLPreview::page(text) : Markdown::page(text, appearance);
        }
        const double ms = static_cast<double>(timer.nsecsElapsed()) / 1e6;
        MainQueue::async([weak, token, revision, svg, html, root, drawing, page, ms] {
            if (!weak) return;
            DetailPreview& p = *weak;
            p.rendering_ = false;
            const bool onScreen = !p.closed_ && p.web_ && p.hooks_.isOnScreen();
            // The text may have changed before the window heard of it: such a page is stale too.
            const bool stale = p.renderToken_ != token || p.document_->revision() != revision;
            if (onScreen && !stale) {
                p.lastRenderMilliseconds_ = ms;
                p.previewRevision_ = revision;
                ++p.renderCount_;
                p.svgPlayable_ = drawing && drawing->valid;
                p.svgReady_ = false;
                p.playButton_->setEnabled(false);
                const auto kind = svg ? PreviewWebView::Kind::svg : html ? PreviewWebView::Kind::html : PreviewWebView::Kind::markdown;
                p.web_->showPage(page, kind, root);
                p.showingStopped_ = false;
                p.hooks_.setStatus(
                    svg    ? drawing->note
                    : html ? QStringLiteral("HTMLプレビュー   ローカルのCSS・画像を表示します。スクリプトと外部通信は無効です。")
                           : QStringLiteral("ローカルプレビュー   HTMLとスクリプトは実行しません"));
            }
            if (p.renderPending_ || (onScreen && stale)) {
                p.renderPending_ = false;
                p.schedule(false);
            }
        });
    });
}

void DetailPreview::didFinishLoading(bool)
{
    if (!isSVG() || !svgPlayable_) return;
    svgReady_ = true;
    playButton_->setEnabled(true);
    applySVGPlayback(false);
}

void DetailPreview::openLink(const QUrl& url)
{
    AlertPresenter* alerts = AlertPresenter::shared();
    if (!alerts) return;
    Alert alert;
    alert.messageText = QStringLiteral("ブラウザでリンクを開きますか？");
    alert.informativeText = url.toString();
    alert.buttons = {QStringLiteral("開く"), QStringLiteral("キャンセル")};
    alert.style = Alert::Style::informational;
    if (alerts->runModal(alert) == 0 && linkOpener()) linkOpener()(url);
}

void DetailPreview::applySVGPlayback(bool restart)
{
    if (!web_) return;
    const QString script = QStringLiteral("const paused = ") + (svgPaused ? QStringLiteral("true") : QStringLiteral("false"))
                           + QStringLiteral(", reset = ") + (restart ? QStringLiteral("true") : QStringLiteral("false"))
                           + QStringLiteral(
                               ";\n  for (const svg of document.querySelectorAll('svg')) {\n    if (reset) svg.setCurrentTime(0);\n"
                               "    if (paused) svg.pauseAnimations(); else svg.unpauseAnimations();\n  }\n"
                               "  for (const animation of document.getAnimations()) {\n    if (reset) animation.currentTime = 0;\n"
                               "    if (paused) animation.pause(); else animation.play();\n  }");
    QPointer<DetailPreview> weak(this);
    web_->runScript(script, [weak](bool ok) {
        if (!weak) return;
        if (!ok) weak->hooks_.setStatus(QStringLiteral("SVG再生操作に失敗しました"));
        weak->playButton_->setText(weak->svgPaused ? QStringLiteral("再生") : QStringLiteral("一時停止"));
    });
}

void DetailPreview::toggleSVGPlayback()
{
    if (!isSVG() || !svgReady_) return;
    svgPaused = !svgPaused;
    applySVGPlayback(false);
}

void DetailPreview::restartSVG()
{
    if (!isSVG() || !svgReady_) return;
    svgPaused = false;
    applySVGPlayback(true);
}

void DetailPreview::zoomIn()
{
    if (web_) web_->setZoom(std::min(web_->zoom() * 1.25, 4.0));
}

void DetailPreview::zoomOut()
{
    if (web_) web_->setZoom(std::max(web_->zoom() / 1.25, 0.25));
}

void DetailPreview::resetZoom()
{
    if (web_) web_->setZoom(1.0);
}

}  // namespace korimado
