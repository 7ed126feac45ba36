// The whole program's window on three large files, offscreen, as a user meets it: the application
// delegate opens the file, so the highlighter, the outline menu, the inspection pane and the
// status-line statistics all run. Figures per file:
//   open_to_first_paint_ms      from opening until the editor has painted once
//   first_keystroke_visible_ms  a key sent 1 s after that first paint, until a paint shows it
//   main_thread_max_block_ms    the longest the main thread kept a posted event waiting, over the
//                               10 s after the first paint
//   keystroke_p50/p95/max_ms    200 keys, one every 100 ms, each until painted; every key starts
//                               a new parse, inspection and count in the background
//   keystroke_cpu_ms            the processor time of the whole process (every thread) over those
//                               keys, per key: what the background work of one key costs
// The case json_middle types into the middle of the 5 MB line instead of at its start.
// and, on a small Markdown file with the inspection pane and the preview shown:
//   keystroke_notifications_*   the schedules one typed character makes the window do, per kind
//                               (statistics, inspection, highlighting, preview), and their sum
//   split_parses_per_edit       full syntax parses one typed character starts with the second
//                               editor open (keys 400 ms apart: the full parse waits for a longer pause)
//   split_edit_parses_per_edit  parses around the edit it starts for the document
// Each file runs in a child process with a time cap; a figure not reached within the cap is
// printed as ">N": at least N ms. The load average is printed beside each file's figures, since
// the machine may be shared.
//   window_bench [--cap SECONDS] [c|japanese|json|json_middle ...]
#include "BenchSupport.h"

#include "app/ApplicationDelegate.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/text/TextStorage.h"
#include "platform/ui/AlertPresenter.h"
#include "platform/ui/FilePanels.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "syntax/SyntaxModel.h"
#include "window/EditorWindowController.h"
#include "window/SegmentedControl.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QInputDevice>
#include <QKeyEvent>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <atomic>
#include <condition_variable>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <thread>

#include <time.h>
#include <unistd.h>

using namespace korimado;
using namespace korimado::bench;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int Keystrokes = 200;
constexpr int KeyIntervalMs = 100;
constexpr int FirstKeyDelayMs = 1000;
constexpr int BlockWindowMs = 10000;
constexpr int PingIntervalMs = 5;

// MARK: The three files

QByteArray cSource()
{
    // About 20 MB in 66,000 small functions, each an outline entry.
    QByteArray out = "#include <stdio.h>\n#include <stdlib.h>\n\n";
    out.reserve(20'100'000);
    for (int n = 0; n < 66'000; ++n) {
        const QByteArray id = QByteArray::number(n);
        out += "/* Table " + id + ". */\n"
               "static int function_" + id + "(const int *items, int count)\n"
               "{\n"
               "    int total = 0;\n"
               "    for (int i = 0; i < count; ++i) {\n"
               "        total += items[i] * " + id + "; // weighted\n"
               "    }\n"
               "    if (total > 1000) {\n"
               "        printf(\"table " + id + ": %d\\n\", total);\n"
               "        return total - 1000;\n"
               "    }\n"
               "    return total;\n"
               "}\n\n";
    }
    return out;
}

QByteArray japaneseText()
{
    // The editor benchmark's 64 MiB of UTF-16, kept under the 64 MiB a document may read.
    QByteArray bytes = generateMixedText(32 * 1024 * 1024).toUtf8();
    constexpr qsizetype limit = KoriDocument::maximumFileSize;
    if (bytes.size() > limit) {
        qsizetype cut = bytes.lastIndexOf('\n', limit - 1);
        bytes.truncate(cut + 1);
    }
    return bytes;
}

QByteArray jsonLine()
{
    // About 5 MB without a line break.
    QByteArray out = "[";
    out.reserve(5'000'100);
    for (int n = 0; out.size() < 5'000'000; ++n) {
        if (n > 0) out += ',';
        const QByteArray id = QByteArray::number(n);
        out += "{\"id\":" + id + ",\"name\":\"" + QStringLiteral("項目").toUtf8() + id
               + "\",\"tags\":[\"alpha\",\"beta\"],\"value\":" + id + ".5,\"active\":"
               + (n % 2 ? "true" : "false") + ",\"parent\":null}";
    }
    out += "]";
    return out;
}

// MARK: What the main thread does, seen from outside it

struct Probe {
    std::mutex mutex;
    std::condition_variable changed;
    Clock::time_point start;

    QPointer<QWidget> editor;   // set on the main thread once its window has painted
    QWidget* viewport = nullptr;
    std::optional<Clock::time_point> firstPaint;

    // The key being measured: handled by the editor, then painted.
    bool keyHandled = false;
    std::optional<Clock::time_point> keyVisible;

    // The ping being waited for.
    std::optional<Clock::time_point> pingSent;
    std::vector<std::pair<Clock::time_point, double>> pings;  // sent, waited ms
    bool stopping = false;
};

Probe probe;

double processCpuMs()
{
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

double msBetween(Clock::time_point a, Clock::time_point b)
{
    return std::chrono::duration<double, std::milli>(b - a).count();
}

class PingEvent : public QEvent {
public:
    static QEvent::Type kind()
    {
        static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
        return type;
    }
    PingEvent() : QEvent(kind()) {}
};

class PingTarget : public QObject {
public:
    bool event(QEvent* event) override
    {
        if (event->type() != PingEvent::kind()) return QObject::event(event);
        const auto now = Clock::now();
        std::lock_guard lock(probe.mutex);
        if (probe.pingSent) {
            probe.pings.emplace_back(*probe.pingSent, msBetween(*probe.pingSent, now));
            probe.pingSent.reset();
        }
        probe.changed.notify_all();
        return true;
    }
};

// Sees every event the main thread handles: paints of the editor and the keys sent to it.
class BenchApplication : public QApplication {
public:
    using QApplication::QApplication;

    bool notify(QObject* receiver, QEvent* event) override
    {
        const QEvent::Type type = event->type();
        const bool result = QApplication::notify(receiver, event);
        if (type == QEvent::Paint) {
            std::lock_guard lock(probe.mutex);
            if (!probe.viewport) findEditor();
            if (probe.viewport && receiver == probe.viewport) {
                const auto now = Clock::now();
                if (!probe.firstPaint) probe.firstPaint = now;
                if (probe.keyHandled && !probe.keyVisible) probe.keyVisible = now;
                probe.changed.notify_all();
            }
        } else if (type == QEvent::KeyPress && !probe.editor.isNull() && receiver == probe.editor.data()) {
            std::lock_guard lock(probe.mutex);
            probe.keyHandled = true;
        }
        return result;
    }

private:
    void findEditor()
    {
        const std::vector<EditorWindowController*> controllers = EditorWindowController::allControllers();
        if (controllers.empty() || !controllers.back()->textView()) return;
        probe.editor = controllers.back()->textView();
        probe.viewport = controllers.back()->textView()->viewport();
    }
};

// MARK: The child: one file

struct Child {
    QString prefix;
    Clock::time_point deadline;
    std::vector<QString> pending{"open_to_first_paint_ms", "first_keystroke_visible_ms", "main_thread_max_block_ms",
                                 "keystroke_p50_ms", "keystroke_p95_ms", "keystroke_max_ms", "keystroke_cpu_ms"};

    void figure(const QString& name, double value)
    {
        report((prefix + name).toUtf8().constData(), value);
        std::erase(pending, name);
    }

    // Whatever was not reached is at least as long as it has waited so far.
    [[noreturn]] void overCap(std::unique_lock<std::mutex>& lock, std::optional<Clock::time_point> waitingSince)
    {
        const auto now = Clock::now();
        double blocked = 0;
        for (const auto& [sent, waited] : probe.pings) blocked = std::max(blocked, waited);
        if (probe.pingSent) blocked = std::max(blocked, msBetween(*probe.pingSent, now));
        lock.unlock();
        for (const QString& name : std::vector<QString>(pending)) {
            double atLeast = msBetween(probe.start, now);
            if (name == "main_thread_max_block_ms") atLeast = blocked;
            else if (name != "open_to_first_paint_ms" && waitingSince) atLeast = msBetween(*waitingSince, now);
            std::printf("%s: >%.0f\n", (prefix + name).toUtf8().constData(), atLeast);
        }
        std::printf("%sover_cap: 1\n", prefix.toUtf8().constData());
        std::fflush(stdout);
        std::_Exit(0);
    }

    // Waits until done() under the lock, or gives up at the cap.
    template <typename Done>
    void waitFor(std::unique_lock<std::mutex>& lock, Done done, std::optional<Clock::time_point> since)
    {
        if (!probe.changed.wait_until(lock, deadline, done)) overCap(lock, since);
    }

    static void sleepUntil(std::unique_lock<std::mutex>& lock, Clock::time_point when)
    {
        probe.changed.wait_until(lock, when, [] { return false; });
    }

    // Sends one key to the editor as the window system would post it; returns when it was sent.
    Clock::time_point sendKey()
    {
        probe.keyHandled = false;
        probe.keyVisible.reset();
        QWidget* editor = probe.editor;
        const auto sent = Clock::now();
        QCoreApplication::postEvent(editor, new QKeyEvent(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
        QCoreApplication::postEvent(editor, new QKeyEvent(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x")));
        return sent;
    }

    double keyLatency(std::unique_lock<std::mutex>& lock)
    {
        const auto sent = sendKey();
        waitFor(lock, [] { return probe.keyVisible.has_value(); }, sent);
        return msBetween(sent, *probe.keyVisible);
    }

    void drive()
    {
        std::unique_lock lock(probe.mutex);
        waitFor(lock, [] { return probe.firstPaint.has_value(); }, probe.start);
        const auto painted = *probe.firstPaint;
        figure("open_to_first_paint_ms", msBetween(probe.start, painted));

        sleepUntil(lock, painted + std::chrono::milliseconds(FirstKeyDelayMs));
        figure("first_keystroke_visible_ms", keyLatency(lock));

        const auto windowEnd = painted + std::chrono::milliseconds(BlockWindowMs);
        sleepUntil(lock, windowEnd);
        // A ping sent inside the window may still be waiting.
        waitFor(lock, [] { return !probe.pingSent; }, std::nullopt);
        double blocked = 0;
        for (const auto& [sent, waited] : probe.pings)
            if (sent >= painted && sent < windowEnd) blocked = std::max(blocked, waited);
        figure("main_thread_max_block_ms", blocked);

        std::vector<double> keys;
        const double cpuBefore = processCpuMs();
        for (int i = 0; i < Keystrokes; ++i) {
            const auto next = Clock::now() + std::chrono::milliseconds(KeyIntervalMs);
            keys.push_back(keyLatency(lock));
            sleepUntil(lock, next);
        }
        figure("keystroke_cpu_ms", (processCpuMs() - cpuBefore) / Keystrokes);
        figure("keystroke_p50_ms", percentile(keys, 50));
        figure("keystroke_p95_ms", percentile(keys, 95));
        figure("keystroke_max_ms", percentile(keys, 100));
    }
};

int runChild(int argc, char** argv, const QString& which, const QString& path, int capSeconds)
{
    Child child;
    child.prefix = which + QLatin1Char('_');
    report((child.prefix + "load_average").toUtf8().constData(), loadAverage());

    BenchApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korimado"));
    QApplication::setApplicationName(QStringLiteral("Korimado"));
    ScriptedAlertPresenter alerts;
    ScriptedFilePanels panels;
    AlertPresenter::setShared(&alerts);
    FilePanels::setShared(&panels);

    // A key event asks for the keyboard device, which is made on first use as a child of the
    // application: make it here, not in the driver thread that builds the keys.
    QInputDevice::primaryKeyboard();

    PingTarget pingTarget;
    probe.start = Clock::now();
    child.deadline = probe.start + std::chrono::seconds(capSeconds);
    std::thread pinger([&pingTarget] {
        std::unique_lock lock(probe.mutex);
        while (!probe.stopping) {
            probe.pingSent = Clock::now();
            QCoreApplication::postEvent(&pingTarget, new PingEvent);
            probe.changed.wait(lock, [] { return !probe.pingSent || probe.stopping; });
            probe.changed.wait_for(lock, std::chrono::milliseconds(PingIntervalMs), [] { return probe.stopping; });
        }
    });
    std::thread driver([&child] {
        child.drive();
        std::fflush(stdout);
        std::_Exit(0);
    });
    pinger.detach();
    driver.detach();

    const QStringList arguments{QCoreApplication::applicationFilePath()};
    ApplicationDelegate delegate(arguments);
    delegate.applicationWillFinishLaunching();
    delegate.openFiles({path});
    delegate.applicationDidFinishLaunching();
    // The document-information pane, so that inspection runs after every edit.
    if (!EditorWindowController::allControllers().empty()) EditorWindowController::allControllers().back()->showDocumentInspector();
    // The caret in the middle of the text, as soon as the window has painted.
    if (which.endsWith(QLatin1String("_middle"))) {
        auto* poll = new QTimer(&app);
        QObject::connect(poll, &QTimer::timeout, poll, [poll] {
            const std::vector<EditorWindowController*> controllers = EditorWindowController::allControllers();
            if (controllers.empty() || !controllers.back()->hasPainted()) return;
            EditorTextView* view = controllers.back()->textView();
            const TextRange middle(view->textLength() / 2, 0);
            view->setSelectedRange(middle);
            view->scrollRangeToVisible(middle);
            poll->stop();
        });
        poll->start(5);
    }
    return app.exec();
}

// MARK: The schedules of one keystroke

int runNotifications(int argc, char** argv, const QString& path)
{
    QApplication app(argc, argv);
    QApplication::setOrganizationName(QStringLiteral("Korimado"));
    QApplication::setApplicationName(QStringLiteral("Korimado"));
    ScriptedAlertPresenter alerts;
    ScriptedFilePanels panels;
    AlertPresenter::setShared(&alerts);
    FilePanels::setShared(&panels);
    const QStringList arguments{QCoreApplication::applicationFilePath()};
    ApplicationDelegate delegate(arguments);
    delegate.applicationWillFinishLaunching();
    delegate.openFiles({path});
    delegate.applicationDidFinishLaunching();
    if (EditorWindowController::allControllers().empty()) return 1;
    EditorWindowController* window = EditorWindowController::allControllers().back();
    window->showDocumentInspector();
    const auto until = Clock::now() + std::chrono::seconds(30);
    while (!window->hasPainted() && Clock::now() < until) QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    if (!window->hasPainted()) return 1;
    QWidget* editor = window->textView();
    editor->setFocus();
    QCoreApplication::processEvents();

    constexpr int keys = 5;
    std::vector<double> statistics, inspection, highlighting, preview;
    // The preview and the inspection share the detail pane: half the keys with each shown.
    for (int i = 0; i < 2 * keys; ++i) {
        if (i == keys) {
            window->detailPicker()->setSelectedSegment(0);
            window->showSplit();
            editor->setFocus();
            const auto shown = Clock::now() + std::chrono::milliseconds(1000);
            while (Clock::now() < shown) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        const auto before = window->scheduleCounts();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QCoreApplication::sendEvent(editor, &press);
        QCoreApplication::sendEvent(editor, &release);
        QCoreApplication::processEvents();
        const auto after = window->scheduleCounts();
        statistics.push_back(static_cast<double>(after.statistics - before.statistics));
        highlighting.push_back(static_cast<double>(after.highlighting - before.highlighting));
        if (i < keys) inspection.push_back(static_cast<double>(after.inspection - before.inspection));
        else preview.push_back(static_cast<double>(after.preview - before.preview));
        // Let the background work of this key finish before the next one.
        const auto settle = Clock::now() + std::chrono::milliseconds(300);
        while (Clock::now() < settle) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    const double s = percentile(statistics, 50), n = percentile(inspection, 50), h = percentile(highlighting, 50),
                 p = percentile(preview, 50);
    report("keystroke_notifications_statistics", s);
    report("keystroke_notifications_inspection", n);
    report("keystroke_notifications_highlighting", h);
    report("keystroke_notifications_preview", p);
    report("keystroke_notifications", s + n + h + p);

    // With the second editor open, each key should cost the text one parse, not one per editor.
    window->openSplitTextView();
    editor->setFocus();
    const auto opened = Clock::now() + std::chrono::milliseconds(500);
    while (Clock::now() < opened) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    std::vector<double> parses, editParses;
    for (int i = 0; i < keys; ++i) {
        const std::uint64_t before = SyntaxModel::fullParsesStarted();
        const std::uint64_t editsBefore = SyntaxModel::editParsesStartedInProcess();
        QKeyEvent press(QEvent::KeyPress, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_X, Qt::NoModifier, QStringLiteral("x"));
        QCoreApplication::sendEvent(editor, &press);
        QCoreApplication::sendEvent(editor, &release);
        const auto settle = Clock::now() + std::chrono::milliseconds(400);
        while (Clock::now() < settle) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        parses.push_back(static_cast<double>(SyntaxModel::fullParsesStarted() - before));
        editParses.push_back(static_cast<double>(SyntaxModel::editParsesStartedInProcess() - editsBefore));
    }
    report("split_parses_per_edit", percentile(parses, 50));
    report("split_edit_parses_per_edit", percentile(editParses, 50));
    std::fflush(stdout);
    std::_Exit(0);
}

// MARK: The parent: files and children

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile out(path);
    return out.open(QIODevice::WriteOnly) && out.write(bytes) == bytes.size();
}

// Runs this program on one case and passes its lines through; false when it failed or was stuck.
bool runCase(const QProcessEnvironment& environment, const QStringList& arguments, int timeoutMs)
{
    QProcess child;
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(QCoreApplication::applicationFilePath(), arguments);
    const bool finished = child.waitForFinished(timeoutMs);
    if (!finished) {
        child.kill();
        child.waitForFinished();
    }
    std::fputs(child.readAllStandardOutput().constData(), stdout);
    std::fflush(stdout);
    return finished && child.exitStatus() == QProcess::NormalExit && child.exitCode() == 0;
}

int runAll(int capSeconds, QStringList which)
{
    QTemporaryDir root(QDir::tempPath() + QStringLiteral("/korimado-window-bench-XXXXXX"));
    if (!root.isValid()) return 1;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_STATE_HOME", "XDG_RUNTIME_DIR", "HOME"}) {
        const QString folder = root.filePath(QString::fromLatin1(name).toLower());
        QDir().mkpath(folder);
        QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
        environment.insert(QString::fromLatin1(name), folder);
    }
    environment.insert("QT_QPA_PLATFORM", "offscreen");
    environment.insert("QT_QUICK_BACKEND", "software");
    environment.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
    environment.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");

    int status = 0;
    const bool all = which.isEmpty();
    if (which.removeAll(QStringLiteral("notifications")) > 0 || all) {
        const QString path = root.filePath(QStringLiteral("notes.md"));
        if (!writeFile(path, "# Notes\n\nSome *text* to type into.\n\n- one\n- two\n")) return 1;
        if (!runCase(environment, {"--notifications", path}, 120'000)) status = 1;
        QFile::remove(path);
        if (all) which = {"c", "japanese", "json", "json_middle"};
    }
    for (const QString& name : which) {
        QString file;
        QByteArray bytes;
        if (name == "c") file = "functions.c", bytes = cSource();
        else if (name == "japanese") file = "japanese.txt", bytes = japaneseText();
        else if (name == "json" || name == "json_middle") file = "records.json", bytes = jsonLine();
        else continue;
        const QString path = root.filePath(file);
        if (!writeFile(path, bytes)) return 1;
        report((name + "_file_mb").toUtf8().constData(), static_cast<double>(bytes.size()) / 1e6);
        bytes.clear();
        // The child stops itself at the cap; past that and a grace period it is stuck.
        if (!runCase(environment, {"--case", name, path, "--cap", QString::number(capSeconds)}, (capSeconds + 60) * 1000))
            status = 1;
        QFile::remove(path);
    }
    return status;
}

}  // namespace

int main(int argc, char** argv)
{
    int capSeconds = 120;
    QString caseName;
    QString casePath;
    QStringList which;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--cap") == 0 && i + 1 < argc) {
            capSeconds = std::max(15, std::atoi(argv[++i]));
        } else if (std::strcmp(argv[i], "--notifications") == 0 && i + 1 < argc) {
            return runNotifications(argc, argv, QString::fromLocal8Bit(argv[i + 1]));
        } else if (std::strcmp(argv[i], "--case") == 0 && i + 2 < argc) {
            caseName = QString::fromLocal8Bit(argv[++i]);
            casePath = QString::fromLocal8Bit(argv[++i]);
        } else {
            which.append(QString::fromLocal8Bit(argv[i]));
        }
    }
    if (!caseName.isEmpty()) return runChild(argc, argv, caseName, casePath, capSeconds);
    QCoreApplication app(argc, argv);
    return runAll(capSeconds, which);
}
