// The file-tree sidebar on large folders: showing a root of 10,000 entries, opening a folder of
// 1,000, and following a file another process adds; with the longest stall of the main thread.
#include "BenchSupport.h"

#include "filetree/FileTreeModel.h"
#include "filetree/FileTreeView.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QImage>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <cstdlib>
#include <thread>

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
        timer_.start();
    }
    void stop() { timer_.stop(); }
    double worst() const { return worst_; }

private:
    QTimer timer_;
    Stopwatch clock_;
    double last_ = -1;
    double worst_ = 0;
};

void paintNow(QWidget* widget)
{
    static QImage image;
    if (image.size() != widget->size()) image = QImage(widget->size(), QImage::Format_ARGB32_Premultiplied);
    widget->render(&image);
}

template <typename Done>
void spinUntil(Done done)
{
    QElapsedTimer limit;
    limit.start();
    while (!done() && limit.elapsed() < 20000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
    }
}

void makeFiles(const QString& folder, int count, const char* stem)
{
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(folder + QStringLiteral("/%1-%2.txt").arg(QLatin1String(stem)).arg(i));
        file.open(QIODevice::WriteOnly);
    }
}

}  // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTemporaryDir temporary;
    const QString big = temporary.filePath(QStringLiteral("big"));
    makeFiles(big, 10000, "ファイル");
    const QString nested = temporary.filePath(QStringLiteral("nested"));
    makeFiles(nested + QStringLiteral("/sub"), 1000, "file");
    // Somewhere small to go between rounds: /tmp is shared and can be large.
    const QString away = temporary.filePath(QStringLiteral("away"));
    makeFiles(away, 3, "other");

    FileTreeView tree;
    tree.canOpenFile = [](const QString& url) { return url.endsWith(QStringLiteral(".txt")); };
    tree.resize(300, 900);
    tree.show();
    StallMeter stalls;
    stalls.start();

    std::vector<double> opens;
    for (int round = 0; round < 5; ++round) {
        tree.setRoot(away);  // away and back, so every round starts cold in the tree
        spinUntil([&] { return tree.rootNode()->children.has_value(); });

        const Stopwatch clock;
        tree.setRoot(big);

        spinUntil([&] { return tree.model()->rowCount() > 0; });
        paintNow(tree.outline()->viewport());
        opens.push_back(clock.ms());

    }
    report("open_root_10k_entries_ms", percentile(opens, 50));

    std::vector<double> expands;
    for (int round = 0; round < 5; ++round) {
        tree.setRoot(nested);
        spinUntil([&] { return tree.model()->rowCount() > 0; });
        const QModelIndex sub = tree.model()->index(0, 0);
        const Stopwatch clock;
        tree.outline()->expand(sub);
        spinUntil([&] { return tree.model()->rowCount(sub) > 0; });
        paintNow(tree.outline()->viewport());
        expands.push_back(clock.ms());
    }
    report("expand_1k_ms", percentile(expands, 50));

    std::vector<double> refreshes;
    tree.setRoot(nested);
    spinUntil([&] { return tree.model()->rowCount() > 0; });
    for (int round = 0; round < 5; ++round) {
        const QString name = QStringLiteral("added-%1.txt").arg(round);
        const QString path = nested + u'/' + name;
        std::atomic<bool> written{false};
        Stopwatch clock;
        // Another process writes the file; the clock starts when it has.
        std::thread writer([&] {
            const QByteArray command = "touch '" + QFile::encodeName(path) + "'";
            if (std::system(command.constData()) == 0) {
                clock = Stopwatch();
                written = true;
            }
        });
        auto shown = [&] {
            if (!written) return false;
            for (int row = 0; row < tree.model()->rowCount(); ++row) {
                if (tree.model()->index(row, 0).data().toString() == name) return true;
            }
            return false;
        };
        spinUntil(shown);
        paintNow(tree.outline()->viewport());
        refreshes.push_back(clock.ms());
        writer.join();
        // Let the refresh that showed the row finish before the next file comes.
        QElapsedTimer quiet;
        quiet.start();
        spinUntil([&] { return quiet.elapsed() > 400; });
    }
    report("refresh_after_external_change_ms", percentile(refreshes, 50));
    stalls.stop();
    report("main_thread_max_block_ms", stalls.worst());
    return 0;
}
