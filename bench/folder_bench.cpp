// The folder engine over a copy of /usr/include made in a temporary folder of its own (removed
// afterwards): search with a literal and with an expression, every hit listed, beside grep -rn and
// rg -n on the same tree in the same run; the same over a mixed tree of /usr/share/doc,
// /usr/share/man and /usr/include (hard links in the temporary folder: compressed pages, Latin-1
// pages and binaries among them); the peak memory of a search; a minified 2 MB one-line file;
// then replace and roll back a change touching 1,000 files. "cold" runs follow dropping this
// tree's own pages from the page cache (nothing else's); warm figures are medians of several
// runs, since the machine is shared. The search reads and matches files on every core, as rg
// does; grep uses one.
#include "BenchSupport.h"

#include "platform/documents/FileIO.h"
#include "search/folder/FolderSearchEngine.h"

#include <QCoreApplication>
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

#include <cstdio>
#include <functional>

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

// One durable small write (temporary, flush, rename, folder flush) on this disk now: replace and
// rollback make two per file, so their figures rise and fall with it on a shared machine.
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

void replaceAndRollBack(const QString& scratch)
{
    const QString root = scratch + QStringLiteral("/replace");
    makeReplaceTree(root);
    const SearchRequest r = request(QStringLiteral("old_api"), SearchMode::text, QStringLiteral("new_api"));
    std::vector<double> replaceMs;
    std::vector<double> rollbackMs;
    double files = 0;
    for (int i = 0; i < 3; ++i) {
        const FolderSearchResult result = FolderSearchEngine::search(root, r, options());
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
    }
    report("folder_replace_files", files);
    report("folder_replace_1000_files_ms", median(replaceMs));
    report("folder_rollback_1000_files_ms", median(rollbackMs));
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

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
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
    return 0;
}
