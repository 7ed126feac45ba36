// The folder engine over a copy of /usr/include made in a temporary folder of its own (removed
// afterwards): search with a literal and with an expression, every hit listed, beside grep -rn and
// rg -n on the same tree in the same run; the same over a mixed tree of /usr/share/doc,
// /usr/share/man and /usr/include (hard links in the temporary folder: compressed pages, Latin-1
// pages and binaries among them); the peak memory of a search; a minified 2 MB one-line file;
// then replace and roll back a change touching 1,000 files, beside grep -l and sed -i making the
// same change. With FOLDER_BENCH_TREE=<folder>, only a literal and an expression search over that
// tree: ours, the folder window's, grep -rn and rg -n --no-ignore, with times and peak memory (ours
// from a search made alone in a process of its own, as the peers' are). "cold" runs follow dropping this tree's own pages from the page cache (nothing
// else's); warm figures are medians of several runs, since the machine is shared. The search reads and matches files on every core, as rg
// does; grep uses one.
#include "BenchSupport.h"

#include "platform/documents/FileIO.h"
#include "platform/documents/FileReplacement.h"
#include "search/folder/FolderSearchEngine.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QThread>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <functional>

#if KORIMADO_BENCH_UI
#include "search/ui/FolderFindWindowController.h"

#include <QApplication>
#endif

using namespace korimado;
using namespace korimado::bench;

namespace {

const int Runs = qEnvironmentVariableIntValue("FOLDER_BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("FOLDER_BENCH_RUNS") : 5;

// Drops the cached pages of every file of the tree, so that the next pass reads from the disk.
void evict(const QString& root)
{
    QDirIterator it(root, QDir::Files | QDir::Hidden | QDir::NoSymLinks, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const int fd = ::open(QFile::encodeName(it.next()).constData(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) continue;
        ::fdatasync(fd);
        ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
        ::close(fd);
    }
}

double median(std::vector<double> samples)
{
    return percentile(std::move(samples), 50);
}

SearchRequest request(const QString& pattern, SearchMode mode, const QString& replacement = QString())
{
    SearchRequest r;
    r.pattern = pattern;
    r.replacement = replacement;
    r.options.mode = mode;
    r.options.caseSensitive = true;
    // grep -F compares code units as they stand; so does a literal search.
    r.options.isLiteralSearch = mode == SearchMode::text;
    return r;
}

FolderSearchOptions options()
{
    FolderSearchOptions o;
    o.recursive = true;
    o.includesHiddenFiles = false;
    o.followsSymbolicLinks = false;
    o.maximumFileBytes = FolderSearchOptions::windowMaximumFileBytes;
    return o;
}

// Runs a tool with its output in a file (grep stops at the first match when it writes to /dev/null).
double toolMs(const QString& program, const QStringList& arguments, const QString& output)
{
    QProcess tool;
    tool.setStandardOutputFile(output);
    Stopwatch watch;
    tool.start(program, arguments);
    tool.waitForFinished(-1);
    return watch.ms();
}

double grepMs(const QStringList& arguments, const QString& output)
{
    return toolMs(QStringLiteral("grep"), arguments, output);
}

bool hasRipgrep()
{
    return !QStandardPaths::findExecutable(QStringLiteral("rg")).isEmpty();
}

// ripgrep as a user runs it over a tree: line numbers, every core; ignore files are not read and
// hidden files are passed over, as the folder search does by default.
double rgMs(const QString& pattern, bool literal, const QString& root, const QString& output)
{
    QStringList arguments{QStringLiteral("-n"), QStringLiteral("--no-ignore")};
    if (literal) arguments << QStringLiteral("-F");
    arguments << QStringLiteral("--") << pattern << root;
    return toolMs(QStringLiteral("rg"), arguments, output);
}

void compare(const char* oursName, const char* grepName, const char* hitsName, const QString& root,
             const QString& pattern, SearchMode mode, const QString& grepFlag, const QString& scratch,
             const char* rgName = nullptr)
{
    const SearchRequest r = request(pattern, mode);
    const QStringList grepArguments{QStringLiteral("-rn"), grepFlag, QStringLiteral("--"), pattern, root};
    const QString grepOutput = scratch + QStringLiteral("/grep.out");
    const bool rg = rgName && hasRipgrep();

    evict(root);
    Stopwatch cold;
    const FolderSearchResult first = FolderSearchEngine::search(root, r, options());
    const double oursCold = cold.ms();
    evict(root);
    const double grepCold = grepMs(grepArguments, grepOutput);

    std::vector<double> ours;
    std::vector<double> theirs;
    std::vector<double> rgs;
    for (int i = 0; i < Runs; ++i) {
        Stopwatch warm;
        const FolderSearchResult result = FolderSearchEngine::search(root, r, options());
        ours.push_back(warm.ms());
        theirs.push_back(grepMs(grepArguments, grepOutput));
        if (rg) rgs.push_back(rgMs(pattern, mode == SearchMode::text, root, grepOutput));
    }
    report((QByteArray(oursName) + "_cold").constData(), oursCold);
    report(oursName, median(ours));
    report((QByteArray(grepName) + "_cold").constData(), grepCold);
    report(grepName, median(theirs));
    if (rg) report(rgName, median(rgs));
    report(hitsName, double(first.matchCount()));
    QFile::remove(grepOutput);
}

// 1,000 files of about 6 KB in 40 folders, each with a few lines to replace.
void makeReplaceTree(const QString& root)
{
    const QByteArray filler = QByteArray("static int helper_value(int x) { return x * 3 + 1; }  /* filler */\n").repeated(80);
    for (int i = 0; i < 1000; ++i) {
        const QString folder = root + QStringLiteral("/module%1").arg(i % 40, 2, 10, QChar(u'0'));
        QDir().mkpath(folder);
        QFile file(folder + QStringLiteral("/unit%1.c").arg(i, 4, 10, QChar(u'0')));
        if (!file.open(QIODevice::WriteOnly)) continue;
        file.write("#include \"old_api.h\"\n");
        file.write(filler);
        file.write("int use(void) { return old_api_call(1) + old_api_call(2); }\n");
        file.write(filler);
    }
}

// One durable small write (temporary, flush, rename, folder flush), as a document's save makes it:
// how busy this disk is now, which the two flushes of a replace or a rollback feel as well.
void durableWrite(const QString& scratch)
{
    std::vector<double> samples;
    const QByteArray data(6000, 'x');
    for (int i = 0; i < 50; ++i) {
        Stopwatch watch;
        writeFileSafely(scratch + QStringLiteral("/durable.txt"), data);
        samples.push_back(watch.ms());
    }
    QFile::remove(scratch + QStringLiteral("/durable.txt"));
    report("durable_write_ms", median(samples));
}

// sed -i over the files grep finds, on a fresh copy of the same tree each time: what a user of
// the shell would do instead. Like ours it writes each file through a temporary and a rename,
// though without a backup, a check or a flush. The copy is on the disk first, as a user's files
// are: a rename over a file still only in memory frees nothing and costs a tenth.
double sedReplaceMs(const QString& tree, const QString& copy)
{
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), copy});
    QProcess::execute(QStringLiteral("cp"), {QStringLiteral("-R"), tree, copy});
    flushFileSystems({copy}, nullptr);
    QProcess sed;
    Stopwatch watch;
    sed.start(QStringLiteral("sh"), {QStringLiteral("-c"), QStringLiteral("grep -rlZ old_api \"$0\" | xargs -0 sed -i s/old_api/new_api/g"), copy});
    sed.waitForFinished(-1);
    const double ms = watch.ms();
    QProcess::execute(QStringLiteral("rm"), {QStringLiteral("-rf"), copy});
    return ms;
}

void replaceAndRollBack(const QString& scratch)
{
    const QString root = scratch + QStringLiteral("/replace");
    makeReplaceTree(root);
    const SearchRequest r = request(QStringLiteral("old_api"), SearchMode::text, QStringLiteral("new_api"));
    std::vector<double> replaceMs;
    std::vector<double> rollbackMs;
    std::vector<double> sedMs;
    double files = 0;
    for (int i = 0; i < 3; ++i) {
        const FolderSearchResult result = FolderSearchEngine::search(root, r, options());
        flushFileSystems({root}, nullptr);
        Stopwatch replace;
        const FolderReplacementPreview preview = FolderSearchEngine::makeReplacementPreview(result, r);
        QSet<QString> all;
        for (const FolderReplacementFile& f : preview.files) all.insert(f.source.url);
        const FolderReplaceReceipt receipt = FolderSearchEngine::apply(preview, all, {});
        replaceMs.push_back(replace.ms());
        files = double(receipt.entries.size());
        Stopwatch rollback;
        const FolderRollbackResult back = FolderSearchEngine::rollbackEntries(receipt.entries);
        rollbackMs.push_back(rollback.ms());
        if (back.restored.size() != receipt.entries.size()) std::fprintf(stderr, "rollback incomplete\n");
        sedMs.push_back(sedReplaceMs(root, scratch + QStringLiteral("/sed-copy")));
    }
    report("folder_replace_files", files);
    report("folder_replace_1000_files_ms", median(replaceMs));
    report("folder_rollback_1000_files_ms", median(rollbackMs));
    report("sed_replace_1000_files_ms", median(sedMs));
}

// Peak resident memory of the process while it searches the tree, every hit kept in the result.
void peakMemory(const QString& root)
{
    // Writing 5 to clear_refs starts the peak anew (Linux 4.0 on).
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) {
        clear.write("5");
        clear.close();
    }
    report("process_rss_before_search_mb", peakRssMb());
    const FolderSearchResult result =
        FolderSearchEngine::search(root, request(QStringLiteral("unsigned long"), SearchMode::text), options());
    report("folder_search_peak_rss_mb", peakRssMb());
    report("folder_search_peak_rss_hits", double(result.matchCount()));
}

// A minified script of 2 MB on one line, with a hit every few dozen characters: every hit needs
// its line and column, the first its excerpt.
void longLine(const QString& scratch)
{
    const QString root = scratch + QStringLiteral("/long-line");
    QDir().mkpath(root);
    QFile file(root + QStringLiteral("/bundle.min.js"));
    if (!file.open(QIODevice::WriteOnly)) return;
    QByteArray line;
    for (int i = 0; line.size() < 2 * 1024 * 1024; ++i)
        line += "var a" + QByteArray::number(i) + "=function(b){return b+" + QByteArray::number(i % 97) + "};";
    file.write(line);
    file.close();
    std::vector<double> samples;
    qsizetype hits = 0;
    for (int i = 0; i < std::min(Runs, 3); ++i) {
        Stopwatch watch;
        const FolderSearchResult result =
            FolderSearchEngine::search(root, request(QStringLiteral("function"), SearchMode::text), options());
        samples.push_back(watch.ms());
        hits = result.matchCount();
    }
    report("folder_search_long_line_2mb_ms", median(samples));
    report("folder_search_long_line_2mb_hits", double(hits));
    const QString output = scratch + QStringLiteral("/grep.out");
    report("grep_r_long_line_2mb_ms", grepMs({QStringLiteral("-rn"), QStringLiteral("-F"), QStringLiteral("function"), root}, output));
    QFile::remove(output);
}

// /usr/share/doc, /usr/share/man and /usr/include side by side, hard-linked (no copy).
QString makeMixedTree(const QString& scratch)
{
    const QString root = scratch + QStringLiteral("/mixed");
    QDir().mkpath(root);
    for (const char* source : {"/usr/share/doc", "/usr/share/man", "/usr/include"}) {
        QProcess link;
        const QString name = QFileInfo(QString::fromLatin1(source)).fileName();
        link.start(QStringLiteral("cp"), {QStringLiteral("-al"), QString::fromLatin1(source), root + u'/' + name});
        link.waitForFinished(-1);
        if (link.exitCode() != 0) {
            // Another file system: a real copy.
            QProcess copy;
            copy.start(QStringLiteral("cp"), {QStringLiteral("-R"), QString::fromLatin1(source), root + u'/' + name});
            copy.waitForFinished(-1);
        }
    }
    return root;
}

// A tool run with its output in a file; its time, and its peak resident memory (MiB) as
// /usr/bin/time tells it (a child forked from this process would count this process's pages).
struct ToolRun {
    double ms = 0;
    double peakMb = -1;
};

ToolRun measuredTool(const QString& program, const QStringList& arguments, const QString& output)
{
    const QString time = QStringLiteral("/usr/bin/time");
    const bool timed = QFileInfo(time).isExecutable();
    const QString memory = output + QStringLiteral(".rss");
    QProcess tool;
    tool.setStandardOutputFile(output);
    Stopwatch watch;
    if (timed) tool.start(time, QStringList{QStringLiteral("-f"), QStringLiteral("%M"), QStringLiteral("-o"), memory, program} + arguments);
    else tool.start(program, arguments);
    tool.waitForFinished(-1);
    ToolRun run;
    run.ms = watch.ms();
    QFile rss(memory);
    if (timed && rss.open(QIODevice::ReadOnly)) {
        const QList<QByteArray> lines = rss.readAll().trimmed().split('\n');
        run.peakMb = lines.last().trimmed().toDouble() / 1024.0;
    }
    QFile::remove(memory);
    return run;
}

// Peak resident memory since the last reset (Linux 4.0 on: writing 5 to clear_refs).
void resetPeakRss()
{
    QFile clear(QStringLiteral("/proc/self/clear_refs"));
    if (clear.open(QIODevice::WriteOnly)) clear.write("5");
}

// "name: median (min..max)" of samples.
void reportSpread(const QByteArray& name, const std::vector<double>& samples)
{
    if (samples.empty()) return;
    const auto [low, high] = std::minmax_element(samples.begin(), samples.end());
    std::printf("%s: %.3f (%.3f..%.3f, n=%zu)\n", name.constData(), median(samples), *low, *high, samples.size());
    std::fflush(stdout);
}

void reportRatio(const QByteArray& name, const std::vector<double>& ours, const std::vector<double>& theirs)
{
    if (ours.empty() || theirs.empty() || median(theirs) <= 0) return;
    report(name.constData(), median(ours) / median(theirs));
}

#if KORIMADO_BENCH_UI
// The folder window's own search: the button pressed until the table is filled.
double windowSearchMs(const QString& root, const SearchRequest& r)
{
    FolderFindWindowController window(root, r, [] { return QSet<QString>(); });
    window.searchFolder();
    Stopwatch watch;
    while (window.isRunning()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return watch.ms();
}
#endif

// The two searches made over a given tree.
QString treePattern(bool literal)
{
    return literal ? QStringLiteral("General Public License") : QStringLiteral("Copyright \\(C\\) [0-9]{4}");
}

SearchRequest treeRequest(bool literal)
{
    return request(treePattern(literal), literal ? SearchMode::text : SearchMode::regularExpression);
}

// The peak memory of one search of the tree made alone by a process of this program, measured as
// the peers' is: in this process, earlier runs' freed memory would count in a later one's peak.
double oursAlonePeakMb(bool literal, const QString& output)
{
    qputenv("FOLDER_BENCH_ONCE", literal ? "literal" : "regex");
    const ToolRun run = measuredTool(QCoreApplication::applicationFilePath(), {}, output);
    qunsetenv("FOLDER_BENCH_ONCE");
    return run.peakMb;
}

// One search over a given tree (FOLDER_BENCH_TREE): ours, grep -rn and rg -n --no-ignore, each
// run Runs times by turns; median and range of the time and of the peak memory, and the ratios.
void compareOnTree(const char* name, const QString& root, bool literal, const QString& scratch)
{
    const SearchRequest r = treeRequest(literal);
    const QString pattern = treePattern(literal);
    const QString output = scratch + QStringLiteral("/tool.out");
    const QStringList grepArguments{QStringLiteral("-rn"), literal ? QStringLiteral("-F") : QStringLiteral("-E"),
                                    QStringLiteral("--"), pattern, root};
    QStringList rgArguments{QStringLiteral("-n"), QStringLiteral("--no-ignore")};
    if (literal) rgArguments << QStringLiteral("-F");
    rgArguments << QStringLiteral("--") << pattern << root;
    // FOLDER_BENCH_OURS_ONLY: no peer (to profile ours alone).
    const bool peers = !qEnvironmentVariableIsSet("FOLDER_BENCH_OURS_ONLY");
    const bool rg = peers && hasRipgrep();
    std::vector<double> ours, oursMb, oursInProcessMb, grep, grepMb, rgs, rgMb, window;
    qsizetype hits = 0, files = 0;
    // The tree's pages in memory for everyone: grep reads every byte of every file.
    FolderSearchEngine::search(root, r, options());
    if (peers) measuredTool(QStringLiteral("grep"), grepArguments, output);
    for (int i = 0; i < Runs; ++i) {
        resetPeakRss();
        Stopwatch watch;
        const FolderSearchResult result = FolderSearchEngine::search(root, r, options());
        ours.push_back(watch.ms());
        oursInProcessMb.push_back(peakRssMb());
        const double alone = oursAlonePeakMb(literal, output);
        if (alone >= 0) oursMb.push_back(alone);
        hits = result.matchCount();
        files = result.visitedFileCount;
        if (peers) {
            const ToolRun g = measuredTool(QStringLiteral("grep"), grepArguments, output);
            grep.push_back(g.ms);
            if (g.peakMb >= 0) grepMb.push_back(g.peakMb);
        }
        if (rg) {
            const ToolRun t = measuredTool(QStringLiteral("rg"), rgArguments, output);
            rgs.push_back(t.ms);
            if (t.peakMb >= 0) rgMb.push_back(t.peakMb);
        }
#if KORIMADO_BENCH_UI
        window.push_back(windowSearchMs(root, r));
#endif
    }
    const QByteArray base = QByteArray("tree_") + name;
    report((base + "_visited_files").constData(), double(files));
    report((base + "_hits").constData(), double(hits));
    reportSpread(base + "_ms", ours);
    reportSpread(base + "_grep_ms", grep);
    reportSpread(base + "_rg_ms", rgs);
    reportSpread(base + "_window_ms", window);
    reportRatio(base + "_ratio_to_grep", ours, grep);
    reportRatio(base + "_ratio_to_rg", ours, rgs);
    reportRatio(base + "_window_ratio_to_grep", window, grep);
    reportRatio(base + "_window_ratio_to_rg", window, rgs);
    reportSpread(base + "_peak_rss_mb", oursMb);
    reportSpread(base + "_in_process_peak_rss_mb", oursInProcessMb);
    reportSpread(base + "_grep_peak_rss_mb", grepMb);
    reportSpread(base + "_rg_peak_rss_mb", rgMb);
    reportRatio(base + "_peak_rss_ratio_to_rg", oursMb, rgMb);
    QFile::remove(output);
}

// The engine alone, as grep and rg run: no window system is brought up for it, so that the
// process's peak memory is the search's own and the engine's libraries'.
int searchOnce(int argc, char** argv, const QString& givenTree, const QString& once)
{
    QCoreApplication app(argc, argv);
    const bool literal = once == QStringLiteral("literal");
    const FolderSearchResult result = FolderSearchEngine::search(givenTree, treeRequest(literal), options());
    // A digest of everything found and passed over, to tell two builds' results apart.
    QCryptographicHash digest(QCryptographicHash::Sha256);
    for (const FolderSearchFile& file : result.files) {
        digest.addData(file.relativePath.toUtf8());
        for (const FolderSearchHit& hit : file.hits)
            digest.addData(QByteArray::number(hit.range.location) + ':' + QByteArray::number(hit.range.length) + ':' +
                           QByteArray::number(hit.line) + ':' + QByteArray::number(hit.column) + hit.excerpt.toUtf8());
        // The stamp's hash is seeded anew in every process: its size only.
        digest.addData(QByteArray::number(file.stamp.size) +
                       QByteArray::number(int(file.format.lineEnding.value())) + QByteArray::number(int(file.format.encoding)));
    }
    for (const FolderSkippedFile& skipped : result.skippedFiles) digest.addData((skipped.path + skipped.reason).toUtf8());
    std::printf("files %lld hits %lld skipped %lld digest %s\n", static_cast<long long>(result.visitedFileCount),
                static_cast<long long>(result.matchCount()), static_cast<long long>(result.skippedFiles.size()),
                digest.result().toHex().left(16).constData());
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    // A tree of the caller's (a mixed one of 40,000 files and more: sources, documentation,
    // libraries, large generated files): only the comparison on it.
    const QString givenTree = qEnvironmentVariable("FOLDER_BENCH_TREE");
    // FOLDER_BENCH_ONCE=literal|regex: that one search of the tree and nothing else, so that the
    // process's peak memory is the search's own (the comparison runs this under /usr/bin/time).
    const QString once = qEnvironmentVariable("FOLDER_BENCH_ONCE");
    if (!givenTree.isEmpty() && !once.isEmpty()) return searchOnce(argc, argv, givenTree, once);
#if KORIMADO_BENCH_UI
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    if (!givenTree.isEmpty()) {
        QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/korimado-folder-bench-XXXXXX"));
        if (!scratch.isValid()) return 1;
        report("cores", double(QThread::idealThreadCount()));
        report("process_rss_before_search_mb", peakRssMb());
        compareOnTree("literal", givenTree, true, scratch.path());
        compareOnTree("regex", givenTree, false, scratch.path());
        report("load_average_1m", loadAverage());
        return 0;
    }
    QTemporaryDir scratch(QDir::tempPath() + QStringLiteral("/korimado-folder-bench-XXXXXX"));
    if (!scratch.isValid()) return 1;
    const QString tree = scratch.path() + QStringLiteral("/include");
    QProcess copy;
    copy.start(QStringLiteral("cp"), {QStringLiteral("-R"), QStringLiteral("/usr/include"), tree});
    copy.waitForFinished(-1);
    if (copy.exitCode() != 0) return 1;

    report("cores", double(QThread::idealThreadCount()));
    peakMemory(tree);
    compare("folder_search_literal_ms", "grep_r_literal_ms", "folder_search_literal_hits", tree,
            QStringLiteral("unsigned long"), SearchMode::text, QStringLiteral("-F"), scratch.path(), "rg_r_literal_ms");
    compare("folder_search_regex_ms", "grep_r_regex_ms", "folder_search_regex_hits", tree,
            QStringLiteral("struct [a-z_]+ \\{"), SearchMode::regularExpression, QStringLiteral("-E"), scratch.path(),
            "rg_r_regex_ms");
    const QString mixed = makeMixedTree(scratch.path());
    compare("folder_search_mixed_literal_ms", "grep_r_mixed_literal_ms", "folder_search_mixed_literal_hits", mixed,
            QStringLiteral("General Public License"), SearchMode::text, QStringLiteral("-F"), scratch.path(),
            "rg_r_mixed_literal_ms");
    compare("folder_search_mixed_regex_ms", "grep_r_mixed_regex_ms", "folder_search_mixed_regex_hits", mixed,
            QStringLiteral("Copyright \\(C\\) [0-9]{4}"), SearchMode::regularExpression, QStringLiteral("-E"),
            scratch.path(), "rg_r_mixed_regex_ms");
    longLine(scratch.path());
    durableWrite(scratch.path());
    replaceAndRollBack(scratch.path());
    durableWrite(scratch.path());
    report("load_average_1m", loadAverage());
    return 0;
}
