// The file-tree sidebar on large folders: showing a root of 10,000 entries, opening a folder of
// 1,000, and following a file another process adds; then folders of 20,000 and 100,000 entries asked
// with the window's own openability check, as the root and as a folder opened in its parent, each
// scrolled to its end. Each with the longest stall of the main thread and its longest event.
#include "BenchSupport.h"

#include "filetree/FileTreeModel.h"
#include "filetree/FileTreeView.h"
#include "window/EditorWindowController.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QTemporaryDir>
#include <QScrollBar>
#include <QTimer>
#include <QTreeView>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <thread>
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

// The longest single event the main thread handled: on a loaded machine the timer's gaps also
// count time the thread was not scheduled, this only the work done.
class MeteredApplication : public QApplication {
public:
    using QApplication::QApplication;
    bool notify(QObject* receiver, QEvent* event) override
    {
        if (depth_ > 0) return QApplication::notify(receiver, event);
        ++depth_;
        const Stopwatch clock;
        const int type = event->type();
        const char* name = receiver->metaObject()->className();
        const bool handled = QApplication::notify(receiver, event);
        if (clock.ms() > longest_) {
            longest_ = clock.ms();
            what_ = QStringLiteral("%1 event %2").arg(QLatin1String(name)).arg(type);
        }
        --depth_;
        return handled;
    }
    // Says on stderr which event it was, for a look with perf.
    double takeLongest()
    {
        if (longest_ > 0) std::fprintf(stderr, "  longest: %s\n", qPrintable(what_));
        return std::exchange(longest_, 0.0);
    }

private:
    int depth_ = 0;
    double longest_ = 0;
    QString what_;
};

MeteredApplication* application()
{
    return static_cast<MeteredApplication*>(QCoreApplication::instance());
}

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

// Files of the kinds a source tree holds: some open by extension, some never, and some, without an
// extension, only after a look at their first bytes.
void makeMixedFiles(const QString& folder, int count)
{
    static const char* const kinds[] = {".c", ".txt", ".png", ".md", ""};
    QDir().mkpath(folder);
    for (int i = 0; i < count; ++i) {
        QFile file(folder + QStringLiteral("/entry-%1%2").arg(i).arg(QLatin1String(kinds[i % 5])));
        if (file.open(QIODevice::WriteOnly) && i % 5 == 4) file.write("plain words\n");
    }
}

// Runs one case and prints how long it took, the longest gap of the main thread's events and the
// longest single event meanwhile.
template <typename Case>
void measure(const char* name, const char* label, Case run)
{
    StallMeter stalls;
    stalls.start();
    application()->takeLongest();
    const double took = run();
    stalls.stop();
    auto figure = [&](const char* what) {
        return QStringLiteral("%1_%2_%3").arg(QLatin1String(name), QLatin1String(label), QLatin1String(what)).toUtf8();
    };
    report(figure("entries_ms").constData(), took);
    report(figure("main_thread_max_block_ms").constData(), stalls.worst());
    report(figure("longest_event_ms").constData(), application()->takeLongest());
}

// The user drags the scroll bar to the bottom until every row under parent is there; the events
// run between pages as they would while dragging.
double scrollToEnd(FileTreeView& tree, const QModelIndex& parent)
{
    const Stopwatch scrolled;
    QScrollBar* bar = tree.outline()->verticalScrollBar();
    FileTreeModel* model = tree.model();
    while (model->canFetchMore(parent) && scrolled.ms() < 60000) {
        const int rows = model->rowCount(parent);
        const Stopwatch page;
        bar->setValue(bar->maximum());
        spinUntil([&] { return (model->rowCount(parent) > rows || !model->canFetchMore(parent)) && page.ms() > 5; });
        paintNow(tree.outline()->viewport());
    }
    bar->setValue(bar->maximum());
    paintNow(tree.outline()->viewport());
    return scrolled.ms();
}

// A root of `count` entries opened with the window's check, a file added by another process, the
// scroll to its end, and then the same folder opened as a folder in its parent and scrolled.
void benchLargeRoot(FileTreeView& tree, const QString& folder, const QString& away, int count, const char* label)
{
    makeMixedFiles(folder, count);
    tree.canOpenFile = [](const QString& url) { return EditorWindowController::canOpenFile(url); };
    tree.setRoot(away);
    spinUntil([&] { return tree.rootNode()->children.has_value(); });

    auto listed = [&](int entries) {
        const FileTreeNode* root = tree.rootNode();
        return root && root->children && static_cast<int>(root->children->size()) == entries && tree.model()->rowCount() > 0;
    };
    measure("open_root", label, [&] {
        const Stopwatch clock;
        tree.setRoot(folder);
        spinUntil([&] { return listed(count); });
        paintNow(tree.outline()->viewport());
        const double opened = clock.ms();
        // The rows shown are asked for their look as the outline lays them out.
        spinUntil([&] { return clock.ms() > opened + 300; });
        return opened;
    });

    measure("refresh", label, [&] {
        std::atomic<bool> written{false};
        Stopwatch since;
        std::thread writer([&] {
            QFile added(folder + QStringLiteral("/added.c"));
            if (added.open(QIODevice::WriteOnly)) {
                added.close();
                since = Stopwatch();
                written = true;
            }
        });
        spinUntil([&] { return written && listed(count + 1); });
        paintNow(tree.outline()->viewport());
        const double followed = since.ms();
        writer.join();
        spinUntil([&] { return since.ms() > followed + 300; });
        return followed;
    });

    measure("scroll_to_end", label, [&] { return scrollToEnd(tree, {}); });

    // The folder among a few others in its parent, opened by the user and scrolled to its end.
    tree.setRoot(QFileInfo(folder).path());
    spinUntil([&] { return tree.rootNode()->children.has_value() && tree.model()->rowCount() > 0; });
    QModelIndex row;
    for (int i = 0; i < tree.model()->rowCount(); ++i) {
        const QModelIndex each = tree.model()->index(i, 0);
        if (each.data().toString() == QFileInfo(folder).fileName()) row = each;
    }
    const QPersistentModelIndex expanded(row);
    measure("expand", label, [&] {
        const Stopwatch clock;
        tree.outline()->expand(expanded);
        spinUntil([&] { return tree.model()->rowCount(expanded) > 0; });
        paintNow(tree.outline()->viewport());
        const double opened = clock.ms();
        spinUntil([&] { return clock.ms() > opened + 300; });
        return opened;
    });
    measure("expanded_scroll_to_end", label, [&] { return scrollToEnd(tree, expanded); });

    tree.setRoot(away);
    spinUntil([&] { return tree.rootNode()->children.has_value(); });
    QDir(folder).removeRecursively();
}

// A root of 10,000 files, a folder of 1,000 opened, and files another process adds.
void benchSmallFolders(FileTreeView& tree, const QString& big, const QString& nested, const QString& away)
{
    StallMeter stalls;
    stalls.start();
    application()->takeLongest();

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
    report("longest_event_ms", application()->takeLongest());
}

}  // namespace

// With an argument, only that round runs ("small", "20k" or "100k"), for a look with perf.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    MeteredApplication app(argc, argv);
    const QString only = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QString();
    auto runs = [&](const char* round) { return only.isEmpty() || only == QLatin1String(round); };
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
    // The window's first paint loads the fonts, which is no work of the tree's.
    const Stopwatch shown;
    spinUntil([&] { return shown.ms() > 300; });
    if (runs("small")) benchSmallFolders(tree, big, nested, away);
    if (runs("20k")) benchLargeRoot(tree, temporary.filePath(QStringLiteral("large")), away, 20000, "20k");
    if (runs("100k")) benchLargeRoot(tree, temporary.filePath(QStringLiteral("huge")), away, 100000, "100k");
    report("load_average_1m", loadAverage());
    return 0;
}
