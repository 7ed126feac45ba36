// The settings window's archive import and export of 10,000 files of 1 KiB, through its own
// commands, beside cp -r of the same folder followed by sync; each with the longest stall of the
// main thread and the longest single event it handled meanwhile. Median of 5.
#include "BenchSupport.h"

#include "platform/foundation/UserDefaults.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "preferences/SettingsWindowController.h"
#include "preferences/archive/SettingsArchiveStore.h"
#include "theme/EditorThemeStore.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <utility>

using namespace korimado;
using namespace korimado::bench;

namespace {

// Longest gap between ticks of a 1 ms timer: how long the event loop was kept from running.
class StallMeter {
public:
    StallMeter()
    {
        timer_.setInterval(1);
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            const double now = clock_.ms();
            if (last_ >= 0) worst_ = std::max(worst_, now - last_);
            last_ = now;
        });
    }
    void start()
    {
        last_ = -1;
        worst_ = 0;
        timer_.start();
    }
    double stop()
    {
        timer_.stop();
        return worst_;
    }

private:
    QTimer timer_;
    Stopwatch clock_;
    double last_ = -1;
    double worst_ = 0;
};

// The longest single event the main thread handled: the timer's gaps also count time the thread
// was not scheduled on a loaded machine, this only the work done.
class MeteredApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (depth_ > 0) return QApplication::notify(receiver, event);
        ++depth_;
        const Stopwatch clock;
        const bool handled = QApplication::notify(receiver, event);
        longest_ = std::max(longest_, clock.ms());
        --depth_;
        return handled;
    }
    double takeLongest() { return std::exchange(longest_, 0.0); }

private:
    int depth_ = 0;
    double longest_ = 0;
};

void waitFor(const SettingsWindowController& controller)
{
    QElapsedTimer limit;
    limit.start();
    while (controller.isArchiveJobRunning() && limit.elapsed() < 300'000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
}

QByteArray plist(const QByteArray& body)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\">\n<dict>\n" + body + "</dict>\n</plist>\n";
}

// 10,000 files of 1 KiB in 100 folders beside the two lists.
void makeArchive(const QString& path)
{
    QDir().mkpath(path);
    QFile info(path + QStringLiteral("/Info.plist"));
    info.open(QIODevice::WriteOnly);
    info.write(plist("\t<key>date</key>\n\t<date>2024-05-06T07:08:09Z</date>\n\t<key>version</key>\n\t<string>7.1.2</string>\n"));
    QFile defaults(path + QStringLiteral("/Defaults.plist"));
    defaults.open(QIODevice::WriteOnly);
    defaults.write(plist("\t<key>tabWidth</key>\n\t<integer>4</integer>\n"));
    const QByteArray bytes(1024, 'x');
    for (int folder = 0; folder < 100; ++folder) {
        const QString dir = path + QStringLiteral("/Notes/%1").arg(folder);
        QDir().mkpath(dir);
        for (int i = 0; i < 100; ++i) {
            QFile file(dir + QStringLiteral("/%1.txt").arg(i));
            file.open(QIODevice::WriteOnly);
            file.write(bytes);
        }
    }
}

struct Figures {
    std::vector<double> ms;
    std::vector<double> stalls;
    std::vector<double> events;
};

void print(const char* name, const Figures& ours, const std::vector<double>& peer)
{
    const double median = percentile(ours.ms, 50);
    const double peerMedian = percentile(peer, 50);
    report(QStringLiteral("%1_10000_files_ms").arg(QLatin1String(name)).toUtf8().constData(), median);
    report(QStringLiteral("%1_10000_files_min_ms").arg(QLatin1String(name)).toUtf8().constData(),
           *std::min_element(ours.ms.begin(), ours.ms.end()));
    report(QStringLiteral("%1_10000_files_max_ms").arg(QLatin1String(name)).toUtf8().constData(),
           *std::max_element(ours.ms.begin(), ours.ms.end()));
    report(QStringLiteral("%1_peer_cp_r_sync_ms").arg(QLatin1String(name)).toUtf8().constData(), peerMedian);
    report(QStringLiteral("%1_ratio_to_peer").arg(QLatin1String(name)).toUtf8().constData(),
           peerMedian > 0 ? median / peerMedian : 0);
    report(QStringLiteral("%1_main_thread_max_block_ms").arg(QLatin1String(name)).toUtf8().constData(),
           *std::max_element(ours.stalls.begin(), ours.stalls.end()));
    report(QStringLiteral("%1_longest_event_ms").arg(QLatin1String(name)).toUtf8().constData(),
           *std::max_element(ours.events.begin(), ours.events.end()));
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir temporary;
    // The user's own folders stay untouched.
    qputenv("XDG_DATA_HOME", QFile::encodeName(temporary.filePath(QStringLiteral("data"))));
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(temporary.filePath(QStringLiteral("config"))));
    MeteredApplication app(argc, argv);
    const QString source = temporary.filePath(QStringLiteral("In.cotsettings"));
    makeArchive(source);

    ScriptedFilePanels panels;
    ScriptedAlertPresenter alerts;
    FilePanels::setShared(&panels);
    AlertPresenter::setShared(&alerts);
    UserDefaults defaults;
    EditorThemeStore themes(std::nullopt, temporary.filePath(QStringLiteral("Themes")));
    SettingsWindowController controller(defaults, themes,
                                        SettingsArchiveStore(temporary.filePath(QStringLiteral("Base/ImportedBase.cotsettings"))));
    QDir().mkpath(temporary.filePath(QStringLiteral("Base")));
    StallMeter stalls;

    Figures imports;
    Figures exports;
    std::vector<double> peer;
    const QString exported = temporary.filePath(QStringLiteral("Out.cotsettings"));
    const QString copy = temporary.filePath(QStringLiteral("copy"));
    for (int round = 0; round < 5; ++round) {
        panels.enqueueOpen({true, {source}, -1});
        app.takeLongest();
        stalls.start();
        Stopwatch importClock;
        controller.importSettings(nullptr);
        waitFor(controller);
        imports.ms.push_back(importClock.ms());
        imports.stalls.push_back(stalls.stop());
        imports.events.push_back(app.takeLongest());

        panels.enqueueSave({true, exported, 0});
        stalls.start();
        Stopwatch exportClock;
        controller.exportSettings(nullptr);
        waitFor(controller);
        exports.ms.push_back(exportClock.ms());
        exports.stalls.push_back(stalls.stop());
        exports.events.push_back(app.takeLongest());

        QDir(copy).removeRecursively();
        Stopwatch peerClock;
        QProcess::execute(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("cp -r \"$0\" \"$1\" && sync"), source, copy});
        peer.push_back(peerClock.ms());
    }
    if (!alerts.shown().isEmpty() && alerts.shown().last().messageText != QStringLiteral("設定アーカイブを読み込みました")) {
        std::fprintf(stderr, "archive_transfer_bench: %s\n", qPrintable(alerts.shown().last().messageText));
        return 1;
    }
    print("import", imports, peer);
    print("export", exports, peer);
    report("load_average_1m", loadAverage());
    FilePanels::setShared(nullptr);
    AlertPresenter::setShared(nullptr);
    return 0;
}
