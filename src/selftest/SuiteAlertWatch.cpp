#include "selftest/SuiteAlertWatch.h"

#include "selftest/SelfTestFrame.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QMessageBox>
#include <QTimer>

namespace korimado {

SuiteAlertWatch& SuiteAlertWatch::shared()
{
    static SuiteAlertWatch* watch = new SuiteAlertWatch;  // lives as long as the process
    return *watch;
}

void SuiteAlertWatch::start(End end)
{
    end_ = std::move(end);
    running_ = true;
    if (!installed_ && qApp) {
        qApp->installEventFilter(this);
        installed_ = true;
    }
}

bool SuiteAlertWatch::abandoned()
{
    return shared().abandoned_;
}

SuiteAlertWatch::Expected::Expected()
{
    ++shared().expected_;
}

SuiteAlertWatch::Expected::~Expected()
{
    SuiteAlertWatch& watch = shared();
    if (--watch.expected_ == 0) QTimer::singleShot(0, &watch, [&watch] { watch.inspectOpenDialogs(); });
}

QString SuiteAlertWatch::describe(const QDialog* dialog)
{
    if (!dialog) return {};
    if (const auto* box = qobject_cast<const QMessageBox*>(dialog); box && !box->text().isEmpty()) return box->text();
    if (!dialog->windowTitle().isEmpty()) return dialog->windowTitle();
    return QString::fromLatin1(dialog->metaObject()->className());
}

bool SuiteAlertWatch::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() == QEvent::Show)
        if (auto* dialog = qobject_cast<QDialog*>(watched); dialog && dialog->isWindow()) {
            // Looked at once its own event loop runs: answering it from inside show() would leave
            // that loop waiting with nothing on screen.
            QPointer<QDialog> shown(dialog);
            QTimer::singleShot(0, this, [this, shown] { inspect(shown); });
        }
    return QObject::eventFilter(watched, event);
}

void SuiteAlertWatch::inspectOpenDialogs()
{
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (auto* dialog = qobject_cast<QDialog*>(widget)) inspect(dialog);
}

void SuiteAlertWatch::inspect(QPointer<QDialog> dialog)
{
    if (!dialog || !dialog->isVisible() || (!dialog->isModal() && dialog->windowModality() == Qt::NonModal)) return;
    if (abandoned_) {
        answer(dialog);
        return;
    }
    if (running_ && expected_ > 0) return;
    // After its end a suite that stays open leaves the program to the user.
    if (!running_ && !terminating_) return;
    const QString name = describe(dialog);
    if (running_ && end_) {
        end_(QStringLiteral("unexpected alert: ") + name);
    } else {
        SelfTestFrame::printLine(QStringLiteral("FAIL unexpected alert: ") + name);
        if (running_) SelfTestFrame::terminate();
    }
    abandoned_ = true;
    answer(dialog);
    // A question answered during the quit cancels it: the quit the suite asked for is made here.
    if (!running_) QTimer::singleShot(0, qApp, [] { QCoreApplication::exit(0); });
}

void SuiteAlertWatch::answer(QDialog* dialog)
{
    if (auto* box = qobject_cast<QMessageBox*>(dialog); box && box->escapeButton()) {
        box->escapeButton()->click();
        return;
    }
    dialog->reject();
}

}  // namespace korimado
