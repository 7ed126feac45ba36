// Pictures of the sample window in two columns: the preview as the web view draws it, the editor's
// visible area as it draws itself, and a composite of the window's content; then facts about the
// window; with "--capture-window" on an X display, the window as the screen shows it.
#include "selftest/UITestRun.h"

#include "platform/text/TextView.h"
#include "preview/PreviewWebView.h"
#include "selftest/SelfTestFormat.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAwait.h"

#include <QAbstractButton>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QFile>
#include <QJsonDocument>
#include <QJsonValue>
#include <QLineEdit>
#include <QMainWindow>
#include <QGuiApplication>
#include <QPainter>
#include <QScreen>

namespace korimado {

namespace {

const QString previewFile = QStringLiteral("docs/evidence/korimado-preview.png");
const QString editorFile = QStringLiteral("docs/evidence/korimado-editor-view.png");
const QString compositeFile = QStringLiteral("docs/evidence/korimado-split.png");
const QString windowFactsFile = QStringLiteral("docs/evidence/korimado-window.json");
const QString screenshotFile = QStringLiteral("docs/evidence/korimado-window-screenshot.png");

// An X server lets any client of the session read its windows; other platforms show none here.
bool screenGrabAllowed()
{
    return QGuiApplication::platformName() == QLatin1String("xcb");
}

// What a user would call a control: something to press, pick, slide or type a value into.
bool isControl(const QWidget* view)
{
    return qobject_cast<const QAbstractButton*>(view) || qobject_cast<const QComboBox*>(view)
           || qobject_cast<const QAbstractSlider*>(view) || qobject_cast<const QAbstractSpinBox*>(view)
           || qobject_cast<const QLineEdit*>(view);
}

// Controls and the editor drawn by themselves over the content's picture, at their places in it.
void drawControlSnapshots(QPainter& painter, QWidget* view, const QWidget* web, QWidget* textView, QWidget* content)
{
    if (view->isHidden() || view == web) return;
    if (view == textView || isControl(view)) {
        const QPixmap own = view->grab();
        painter.drawPixmap(QRect(view->mapTo(content, QPoint(0, 0)), view->size()), own);
        return;
    }
    for (QObject* child : view->children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow())
            drawControlSnapshots(painter, widget, web, textView, content);
}

bool writePng(const QImage& image, const QString& relative, QString* error)
{
    const QString path = SelfTestFrame::path(relative);
    if (image.save(path, "PNG")) return true;
    *error = path + QStringLiteral(": PNG を書き込めませんでした。");
    return false;
}

// Pretty-printed, in the order the facts are listed (not sorted).
QByteArray windowFacts(QWidget* window)
{
    const QList<QPair<QString, QJsonValue>> facts = {
        {QStringLiteral("pid"), static_cast<qint64>(QCoreApplication::applicationPid())},
        {QStringLiteral("window_id"), SelfTestFrame::windowNumber(window)},
        {QStringLiteral("is_visible"), window->isVisible()},
        {QStringLiteral("frame"), SelfTestFormat::rect(window->frameGeometry())},
        {QStringLiteral("screen_capture_access"), screenGrabAllowed()},
    };
    QByteArray out = "{\n";
    for (qsizetype i = 0; i < facts.size(); ++i) {
        // A one-element array serialises any value; its brackets are cut off.
        const QByteArray value = QJsonDocument(QJsonArray{facts[i].second}).toJson(QJsonDocument::Compact);
        out += "    " + QJsonDocument(QJsonArray{facts[i].first}).toJson(QJsonDocument::Compact).mid(1).chopped(1) + ": "
               + value.mid(1).chopped(1) + (i + 1 < facts.size() ? ",\n" : "\n");
    }
    return out + "}\n";
}

}  // namespace

SuiteTask<bool> UITestRun::captureWindow()
{
    QMainWindow* window = sampleWindow();
    QWidget* content = window ? window->centralWidget() : nullptr;
    if (!window || !content) co_return true;
    const SelfTestWindow controller = sampleController_;
    QString error;

    if (SelfTestFrame::argumentsContain(QStringLiteral("--capture-window")) && screenGrabAllowed()) {
        // What the display server shows of the window, in front of the user.
        QScreen* screen = window->screen();
        const QPixmap shot = screen ? screen->grabWindow(window->winId()) : QPixmap();
        if (shot.isNull())
            SelfTestFrame::printLine(QStringLiteral("Selected-window capture: 画面を取り込めませんでした。"));
        else if (writePng(shot.toImage(), screenshotFile, &error))
            checks_.check(QStringLiteral("ScreenCaptureKit selected app window"), true);
        else
            SelfTestFrame::printLine(QStringLiteral("Selected-window capture: ") + error);
    }

    auto grabbing = snapshot(controller.web());
    previewSnapshot_ = co_await grabbing;
    if (!sampleController_ || !window->centralWidget()) co_return true;
    if (!previewSnapshot_.isNull() && !writePng(previewSnapshot_, previewFile, &error)) {
        harnessError(error);
        co_return false;
    }

    TextView* textView = controller.textView();
    // The text area itself, as the text view draws it: without the line numbers and scroll bars.
    if (!writePng(textView->viewport()->grab().toImage(), editorFile, &error)) {
        harnessError(error);
        co_return false;
    }

    const QPixmap cached = content->grab();
    QImage composite(cached.size(), QImage::Format_ARGB32_Premultiplied);
    composite.setDevicePixelRatio(cached.devicePixelRatio());
    {
        QPainter painter(&composite);
        painter.fillRect(content->rect(), window->palette().window());
        painter.drawPixmap(content->rect(), cached);
        for (QObject* child : content->children())
            if (auto* view = qobject_cast<QWidget*>(child); view && !view->isWindow())
                drawControlSnapshots(painter, view, controller.web(), textView, content);
        QWidget* web = controller.web();
        if (!previewSnapshot_.isNull() && web && !web->isHidden())
            painter.drawImage(QRect(web->mapTo(content, QPoint(0, 0)), web->size()), previewSnapshot_);
    }
    if (!writePng(composite, compositeFile, &error)) {
        harnessError(error);
        co_return false;
    }
    SelfTestFrame::printLine(QStringLiteral("Own-view composite saved; must visually inspect for missing layer-backed controls."));

    QFile facts(SelfTestFrame::path(windowFactsFile));
    const QByteArray bytes = windowFacts(window);
    if (!facts.open(QIODevice::WriteOnly | QIODevice::Truncate) || facts.write(bytes) != bytes.size()) {
        harnessError(facts.fileName() + QStringLiteral(": ") + facts.errorString());
        co_return false;
    }
    co_return true;
}

}  // namespace korimado
