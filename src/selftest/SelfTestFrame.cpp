#include "selftest/SelfTestFrame.h"

#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ActionDispatcher.h"
#include "platform/ui/WindowSheet.h"
#include "selftest/SelfTestFormat.h"
#include "selftest/SuiteAlertWatch.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QDialog>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QJsonDocument>
#include <QKeyEvent>
#include <QMetaObject>
#include <QPainter>
#include <QPointer>
#include <QWidget>

#include <cstdio>

namespace korimado {

namespace {

bool suiteRunning = false;
QString startFolder;

SuiteTask<> runWhole(SuiteTask<> suite)
{
    suiteRunning = true;
    co_await suite;
    suiteRunning = false;
    SuiteAlertWatch::shared().suiteEnded();
}

struct KeyOfCode {
    quint16 code;
    Qt::Key key;
    char text;
};

// The virtual key codes the suites type, by their position on the keyboard.
constexpr KeyOfCode keyCodes[] = {
    {45, Qt::Key_N, 'n'}, {34, Qt::Key_I, 'i'},     {4, Qt::Key_H, 'h'},       {31, Qt::Key_O, 'o'},
    {5, Qt::Key_G, 'g'},  {49, Qt::Key_Space, ' '}, {36, Qt::Key_Return, '\r'}, {6, Qt::Key_Z, 'z'},
};

Qt::KeyboardModifiers qtModifiers(KeyModifiers flags)
{
    Qt::KeyboardModifiers modifiers;
    if (flags & KeyModifier::Command) modifiers |= Qt::ControlModifier;
    if (flags & KeyModifier::Option) modifiers |= Qt::AltModifier;
    if (flags & KeyModifier::Control) modifiers |= Qt::MetaModifier;
    if (flags & KeyModifier::Shift) modifiers |= Qt::ShiftModifier;
    return modifiers;
}

}  // namespace

bool SelfTestFrame::argumentsContain(const QString& flag)
{
    return QCoreApplication::arguments().contains(flag);
}

void SelfTestFrame::printLine(const QString& line)
{
    if (SuiteAlertWatch::abandoned()) return;
    std::fputs(line.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void SelfTestFrame::run(SuiteTask<> suite)
{
    startFolder = QDir::currentPath();
    // Until the suite names its own way to end on an alert.
    SuiteAlertWatch::shared().start([](const QString& alert) {
        printLine(QStringLiteral("FAIL ") + alert);
        terminate();
    });
    start(runWhole(std::move(suite)));
}

bool SelfTestFrame::isSuiteRunning()
{
    return suiteRunning;
}

void SelfTestFrame::terminate()
{
    // The application's own terminate path: documents close first, so that no window still open
    // holds back the quit (a bare quit ends at the first window that has to ask its document).
    // A suite ended by an alert quits at once: its documents would only ask again.
    SuiteAlertWatch::shared().terminationRequested();
    if (QCoreApplication* app = QCoreApplication::instance())
        QMetaObject::invokeMethod(
            app,
            [] {
                if (SuiteAlertWatch::abandoned()) {
                    QCoreApplication::exit(0);
                    return;
                }
                if (!ActionDispatcher::shared().sendAction(QStringLiteral("terminate:"), nullptr, nullptr))
                    QCoreApplication::quit();
            },
            Qt::QueuedConnection);
}

void SelfTestFrame::terminateIfAsked()
{
    if (argumentsContain(QStringLiteral("--exit-after-tests"))) terminate();
}

void SelfTestFrame::reportNotBuilt(const QString& suite, bool terminates)
{
    printLine(suite + QStringLiteral(": not built yet, no checks run"));
    if (terminates) terminate();
}

QString SelfTestFrame::workingDirectory()
{
    return startFolder.isEmpty() ? QDir::currentPath() : startFolder;
}

QString SelfTestFrame::path(const QString& relative)
{
    return workingDirectory() + QLatin1Char('/') + relative;
}

void SelfTestFrame::writeReport(const QString& relativePath, QJsonObject report)
{
    report.insert(QStringLiteral("at"), SelfTestFormat::timestamp());
    writeJson(relativePath, report);
}

bool SelfTestFrame::writeJson(const QString& relativePath, const QJsonObject& object)
{
    // QJsonObject keeps its keys sorted, at every level.
    if (SuiteAlertWatch::abandoned()) return false;
    QFile file(path(relativePath));
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) return false;
    const QByteArray bytes = QJsonDocument(object).toJson(QJsonDocument::Indented);
    return file.write(bytes) == bytes.size();
}

void SelfTestFrame::key(quint16 virtualKeyCode, KeyModifiers flags)
{
    const KeyOfCode* known = nullptr;
    for (const KeyOfCode& entry : keyCodes)
        if (entry.code == virtualKeyCode) known = &entry;
    QWidget* target = QApplication::focusWidget();
    if (!known || !target) return;
    const Qt::KeyboardModifiers modifiers = qtModifiers(flags);
    // With Ctrl a key carries no text, as from the keyboard.
    const QString text = modifiers & (Qt::ControlModifier | Qt::MetaModifier) ? QString() : QString(QLatin1Char(known->text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, known->key, modifiers, text));
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyRelease, known->key, modifiers, text));
}

QList<QWidget*> SelfTestFrame::allViews(QWidget* view)
{
    QList<QWidget*> views;
    if (!view) return views;
    views.append(view);
    for (QObject* child : view->children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow()) views.append(allViews(widget));
    return views;
}

QList<QAbstractButton*> SelfTestFrame::buttons(QWidget* view)
{
    QList<QAbstractButton*> found;
    if (!view) return found;
    if (auto* button = qobject_cast<QAbstractButton*>(view)) {
        found.append(button);
        return found;
    }
    for (QObject* child : view->children())
        if (auto* widget = qobject_cast<QWidget*>(child); widget && !widget->isWindow()) found.append(buttons(widget));
    return found;
}

void SelfTestFrame::capture(QWidget* window, const QString& fileName)
{
    if (window) captureTo(window, path(QStringLiteral("docs/evidence/") + fileName));
}

bool SelfTestFrame::captureTo(QWidget* window, const QString& path)
{
    if (!window) return false;
    QImage image = window->grab().toImage();
    // A sheet is part of its window's picture, where the user sees it over the window.
    if (QDialog* sheet = WindowSheet::attached(window); sheet && !image.isNull()) {
        QPainter painter(&image);
        painter.drawPixmap(sheet->geometry().topLeft() - window->geometry().topLeft(), sheet->grab());
    }
    return !image.isNull() && image.save(path, "PNG");
}

DefaultsValue::Dictionary SelfTestFrame::setArgument(const QString& key, const DefaultsValue& value)
{
    UserDefaults& defaults = UserDefaults::standard();
    const DefaultsValue::Dictionary before = defaults.argumentDomain();
    DefaultsValue::Dictionary changed = before;
    changed.insert(key, value);
    defaults.setArgumentDomain(changed);
    return before;
}

void SelfTestFrame::restoreArguments(const DefaultsValue::Dictionary& domain)
{
    UserDefaults::standard().setArgumentDomain(domain);
}

qint64 SelfTestFrame::windowNumber(QWidget* window)
{
    return window ? static_cast<qint64>(window->winId()) : 0;
}

}  // namespace korimado
