#pragma once

#include "platform/foundation/DefaultsValue.h"
#include "platform/ui/MenuModel.h"
#include "selftest/SuiteTask.h"

#include <QJsonObject>
#include <QList>
#include <QString>

class QAbstractButton;
class QWidget;

namespace korimado {

// What every self-test suite shares: the flags, console lines, paths under the working folder,
// reports, synthetic keys, walking a window's views, window captures, test-only settings and
// the end of a run.
class SelfTestFrame {
public:
    SelfTestFrame() = delete;

    static bool argumentsContain(const QString& flag);
    // One line on standard output (unbuffered in self-test mode).
    static void printLine(const QString& line);

    // Runs the suite as the one task of the process; while it runs, closing the last window
    // does not quit the application (the suite's own rule decides).
    static void run(SuiteTask<> suite);
    static bool isSuiteRunning();

    // Quits as the Quit command does, once the current event has been handled. The exit status is 0
    // whatever the checks found.
    static void terminate();
    // terminate() when the arguments contain "--exit-after-tests".
    static void terminateIfAsked();
    // The end of a suite that is not built yet: says so, and terminates when the suite would.
    static void reportNotBuilt(const QString& suite, bool terminates);

    // The process's current folder, taken when the suite starts, and a path under it.
    static QString workingDirectory();
    static QString path(const QString& relative);

    // Writes {"at": now, ...report} under the working folder, pretty-printed with sorted keys.
    // Folders are never created; failures are silent.
    static void writeReport(const QString& relativePath, QJsonObject report);
    // Writes a JSON object as it stands; false when it could not be written.
    static bool writeJson(const QString& relativePath, const QJsonObject& object);

    // A key press and release, with the flags, delivered to the focused widget as typed input.
    // Codes: 45 N, 34 I, 4 H, 31 O, 5 G, 49 space, 36 return, 6 Z; others are skipped.
    static void key(quint16 virtualKeyCode, KeyModifiers flags = {});

    // The view and all views under it, parents before children.
    static QList<QWidget*> allViews(QWidget* view);
    // The buttons under the view; a button's own subviews are not searched.
    static QList<QAbstractButton*> buttons(QWidget* view);

    // Draws the window, with its sheet, into "docs/evidence/<fileName>"; nothing without a window, and a failed
    // write is silent.
    static void capture(QWidget* window, const QString& fileName);
    // The same, to any path; false when nothing was written.
    static bool captureTo(QWidget* window, const QString& path);

    // Test-only settings live in the argument domain of the standard defaults: install returns
    // the domain it found, to be put back with restore.
    static DefaultsValue::Dictionary setArgument(const QString& key, const DefaultsValue& value);
    static void restoreArguments(const DefaultsValue::Dictionary& domain);

    // The native window number of a window, as reports give it.
    static qint64 windowNumber(QWidget* window);
};

}  // namespace korimado
