#include "preview/PreviewWebView.h"

#include "preview/HTMLPreviewResources.h"
#include "preview/PreviewEngineLoader.h"

#include <QChildEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPointer>
#include <QResizeEvent>
#include <QTextDocumentFragment>

#include <algorithm>
#include <cmath>

namespace korimado {

PreviewWebView::PreviewWebView(QWidget* parent) : QWidget(parent), resources_(std::make_unique<HTMLPreviewResources>())
{
    dark_ = isDark();
}

// A Markdown page in the dark appearance is dark from the engine's first paint on; an author's
// page keeps the white a browser gives it.
quint32 PreviewWebView::background(Kind kind) const
{
    return kind == Kind::markdown && isDark() ? 0x202124 : 0xffffff;
}

bool PreviewWebView::isDark() const
{
    return palette().color(QPalette::Base).lightness() < 128;
}

// The engine's view (a child) goes first, while the resources it answers from still exist.
PreviewWebView::~PreviewWebView()
{
    browser_.reset();
}

bool PreviewWebView::startEngine()
{
    if (browser_) return true;
    const PreviewBrowser::Factory make = PreviewEngineLoader::factory();
    if (!make) return false;
    QPointer<PreviewWebView> self(this);
    PreviewBrowser::Host host;
    host.loadFinished = [self](bool ok) {
        if (!self) return;
        if (self->pendingLoads_ > 0) --self->pendingLoads_;
        Q_EMIT self->loadFinished(ok);
    };
    host.linkActivated = [self](const QUrl& url) {
        if (self) Q_EMIT self->linkActivated(url);
    };
    host.request = [self](const QUrl& url, std::function<void(const PreviewBrowser::Answer&)> answer) {
        if (self) self->resources_->request(url, std::move(answer));
    };
    browser_.reset(make(this, std::move(host)));
    QWidget* view = browser_->widget();
    view->setAccessibleName(accessibleName());
    view->setAccessibleDescription(accessibleDescription());
    view->setGeometry(rect());
    view->installEventFilter(this);
    for (QWidget* child : view->findChildren<QWidget*>()) child->installEventFilter(this);
    browser_->setZoom(zoom_);
    browser_->setBackground(background(kind_));
    view->show();
    return true;
}

QLabel* PreviewWebView::notice()
{
    if (!notice_) {
        notice_ = new QLabel(this);
        notice_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        notice_->setWordWrap(true);
        notice_->setMargin(16);
        notice_->setGeometry(rect());
    }
    return notice_;
}

void PreviewWebView::showPage(const QString& html, Kind kind, const std::optional<QString>& root)
{
    if (!startEngine()) {
        notice()->setText(QStringLiteral("プレビューを表示する部品を読み込めませんでした。"));
        notice_->show();
        return;
    }
    if (notice_) notice_->hide();
    // A new page of the same kind is the same document rendered again: the reader keeps the place.
    const bool keepPosition = hasPage_ && kind == kind_;
    kind_ = kind;
    hasPage_ = true;
    resources_->setRoot(kind == Kind::html ? root : std::nullopt);
    ++pendingLoads_;
    browser_->setBackground(background(kind));
    browser_->load(resources_->setPage(html), kind, keepPosition);
}

void PreviewWebView::showNotice(const QString& html)
{
    if (browser_) {
        showPage(html, Kind::markdown);
        return;
    }
    notice()->setText(QTextDocumentFragment::fromHtml(html).toPlainText());
    notice_->show();
}

QString PreviewWebView::noticeText() const
{
    return notice_ && !notice_->isHidden() ? notice_->text() : QString();
}

void PreviewWebView::setZoom(double factor)
{
    if (!std::isfinite(factor)) return;
    zoom_ = std::clamp(factor, 0.25, 4.0);
    if (browser_) browser_->setZoom(zoom_);
}

void PreviewWebView::magnify(double magnification)
{
    const double factor = 1.0 + magnification;
    if (std::isfinite(factor) && factor > 0) setZoom(zoom_ * factor);
}

void PreviewWebView::runScript(const QString& script, std::function<void(bool)> done)
{
    // Errors inside the script are not reported back: it answers true only when it ran through.
    const QString wrapped =
        QStringLiteral("(() => { try { ") + script + QStringLiteral("; return true; } catch (e) { return false; } })()");
    evaluate(wrapped, [done](const QVariant& value) {
        if (done) done(value.toBool());
    });
}

void PreviewWebView::evaluate(const QString& script, std::function<void(const QVariant&)> done)
{
    if (!browser_) {
        if (done) done(QVariant());
        return;
    }
    browser_->evaluate(script, std::move(done));
}

int PreviewWebView::blockedRequests() const
{
    return browser_ ? browser_->blockedRequests() : 0;
}

void PreviewWebView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    if (browser_) browser_->widget()->setGeometry(rect());
    if (notice_) notice_->setGeometry(rect());
}

void PreviewWebView::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() != QEvent::PaletteChange && event->type() != QEvent::ApplicationPaletteChange) return;
    const bool dark = isDark();
    if (dark == dark_) return;
    dark_ = dark;
    Q_EMIT appearanceChanged();
}

// The engine's view and the widget it draws in get the mouse before we do.
bool PreviewWebView::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::ChildPolished) {
        if (auto* child = qobject_cast<QWidget*>(static_cast<QChildEvent*>(event)->child())) child->installEventFilter(this);
    } else if (event->type() == QEvent::MouseButtonPress || event->type() == QEvent::MouseButtonRelease
               || event->type() == QEvent::MouseButtonDblClick) {
        // The mouse's back and forward buttons would walk a history the preview does not keep.
        const Qt::MouseButton button = static_cast<QMouseEvent*>(event)->button();
        if (button == Qt::BackButton || button == Qt::ForwardButton) return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace korimado
