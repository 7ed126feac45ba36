// The search core over the 64 MiB mixed Japanese/ASCII text of the editor benchmark, with grep over
// the same text as UTF-8 in the same run: the floor a user knows. Every figure is the median of
// several runs, since the machine is shared.
#include "BenchSupport.h"

#include "search/engine/SearchEngine.h"

#include <QCoreApplication>
#if KORIMADO_BENCH_UI
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/foundation/UndoManager.h"
#include "search/ui/FindPanel.h"
#include "search/ui/SearchController.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QTimer>
#endif
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <functional>

#include <malloc.h>

using namespace korimado;
using namespace korimado::bench;

namespace {

const int Runs = qEnvironmentVariableIntValue("SEARCH_BENCH_RUNS") > 0 ? qEnvironmentVariableIntValue("SEARCH_BENCH_RUNS") : 5;

// The editor benchmark's text with one marker line after every third line: four spellings of
// one word in turn (so each has about 50,000 occurrences) and a date, written with hyphens in
// half of them.
QString benchText()
{
    const QString base = generateMixedText(32 * 1024 * 1024);
    static const char16_t* const words[] = {u"Korimado", u"KORIMADO", u"Kōrimado", u"Ｋｏｒｉｍａｄｏ"};
    QString text;
    text.reserve(base.size() + base.size() / 8);
    qsizetype line = 0;
    qsizetype start = 0;
    while (start < base.size() && text.size() < base.size()) {
        qsizetype end = base.indexOf(u'\n', start);
        end = end < 0 ? base.size() : end + 1;
        text.append(QStringView(base).mid(start, end - start));
        start = end;
        if (++line % 3 == 0) {
            const qsizetype k = (line / 3) % 4;
            text += QStringLiteral("更新 ");
            text += QString::fromUtf16(words[k]);
            text += (k % 2 == 0) ? QStringLiteral(" 2024-05-17 記録\n") : QStringLiteral(" 2024/05/17 記録\n");
        }
    }
    text.truncate(base.size());
    return text;
}

double median(std::vector<double> samples)
{
    return percentile(std::move(samples), 50);
}

// The samples of the last timed figure, for its range.
std::vector<double> lastSamples;

double timed(const std::function<qsizetype()>& work, qsizetype& count)
{
    std::vector<double> samples;
    for (int i = 0; i < Runs; ++i) {
        Stopwatch watch;
        count = work();
        samples.push_back(watch.ms());
    }
    lastSamples = samples;
    return median(samples);
}

// "name_range: min..max" of the last timed figure.
void reportRange(const char* name)
{
    if (lastSamples.empty()) return;
    const auto [low, high] = std::minmax_element(lastSamples.begin(), lastSamples.end());
    std::printf("%s_range: %.3f..%.3f\n", name, *low, *high);
    std::fflush(stdout);
}

// A tool that prints one count; -1 when it is not installed.
double timedTool(const QString& program, const QStringList& arguments, qsizetype& count)
{
    if (QStandardPaths::findExecutable(program).isEmpty()) return -1;
    std::vector<double> samples;
    for (int i = 0; i < Runs; ++i) {
        QProcess tool;
        Stopwatch watch;
        tool.start(program, arguments);
        tool.waitForFinished(-1);
        samples.push_back(watch.ms());
        count = tool.readAllStandardOutput().trimmed().toLongLong();
    }
    lastSamples = samples;
    return median(samples);
}

double timedGrep(const QStringList& arguments, qsizetype& count)
{
    return timedTool(QStringLiteral("grep"), arguments, count);
}

SearchOptions options(SearchMode mode, bool caseSensitive)
{
    SearchOptions o;
    o.mode = mode;
    o.caseSensitive = caseSensitive;
    return o;
}

#if KORIMADO_BENCH_UI
// Bytes the allocator has handed out and not been given back, mapped blocks included.
double heapInUseMb()
{
    const struct mallinfo2 info = mallinfo2();
    return double(info.uordblks + info.hblkhd) / (1024.0 * 1024.0);
}

// Runs the event loop until done() holds; returns the longest gap between two ticks of a 1 ms
// timer meanwhile: how long the main thread was kept from its events.
double spinUntil(const std::function<bool()>& done)
{
    QElapsedTimer clock;
    clock.start();
    qint64 last = clock.elapsed();
    qint64 longest = 0;
    QTimer tick;
    tick.setInterval(1);
    QObject::connect(&tick, &QTimer::timeout, [&] {
        const qint64 now = clock.elapsed();
        longest = std::max(longest, now - last);
        last = now;
    });
    tick.start();
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents, 5);
    return double(longest);
}

// The find panel over the whole text, as a user drives it.
void findPanelFigures(const QString& text)
{
    KoriDocument document;
    document.storage().setString(text);
    EditorTextView editor(document.sharedStorage());
    editor.setUndoManager(document.undoManager());
    editor.resize(800, 600);
    SearchController search(&editor, &document, {});
    search.perform(QStringLiteral("showFind:"), nullptr);
    FindPanel& panel = *search.panel();
    panel.matchCase->setChecked(true);  // one spelling: about 50,000 hits
    const auto counted = [&] { return search.status().endsWith(QStringLiteral("ミリ秒）")); };
    spinUntil(counted);  // the first run flattens the text once, as opening a window would

    std::vector<double> live;
    double block = 0;
    for (int i = 0; i < Runs; ++i) {
        panel.findField->setText(i % 2 ? QStringLiteral("Korimad") : QStringLiteral("Korimado"));
        search.criteriaChanged(panel.findField);  // the last keystroke
        Stopwatch watch;
        spinUntil([&] { return search.isRunning(); });  // the pause before the search starts
        const double paused = watch.ms();
        block = std::max(block, spinUntil(counted));
        live.push_back(watch.ms() - paused);
    }
    report("find_panel_live_search_ms", median(live));
    report("find_panel_live_search_hits", double(search.lastResults() ? search.lastResults()->matches.size() : 0));
    report("find_panel_live_search_engine_ms", search.lastResults() ? search.lastResults()->elapsedMilliseconds : 0);
    report("main_thread_max_block_ms", block);

    panel.modePicker->setCurrentIndex(1);
    panel.findField->setText(QStringLiteral("(\\d{4})-(\\d{2})-(\\d{2})"));
    panel.replaceField->setText(QStringLiteral("$3.$2.$1"));
    Stopwatch replacing;
    search.perform(QStringLiteral("replaceAll:"), nullptr);
    spinUntil([&] { return search.status().endsWith(QStringLiteral("件を置換しました。")); });
    report("replace_all_panel_ms", replacing.ms());
    report("replace_all_panel_replacements", double(search.status().section(QStringLiteral("件"), 0, 0).toLongLong()));
    std::vector<double> undos;
    for (int i = 0; i < std::max(Runs, 2); ++i) {
        Stopwatch watch;
        document.undoManager()->undo();
        undos.push_back(watch.ms());
        if (i + 1 < std::max(Runs, 2)) document.undoManager()->redo();
    }
    // The first undo is the user's case; later ones run with more full-text copies in the history.
    report("replace_all_undo_ms", undos.front());
    report("replace_all_undo_repeat_ms", median(std::vector<double>(undos.begin() + 1, undos.end())));
    report("replace_all_undo_restored", editor.string() == text ? 1 : 0);
    // What the history keeps of the replace-all: the step left on the redo stack (its inverse,
    // of the same size) is dropped and the heap measured on either side.
    const double kept = heapInUseMb();
    document.undoManager()->removeAllActions();
    report("replace_all_undo_step_mb", kept - heapInUseMb());
}
#endif

}  // namespace

int main(int argc, char** argv)
{
    const bool panelOnly = qEnvironmentVariableIsSet("SEARCH_BENCH_PANEL_ONLY");
#if KORIMADO_BENCH_UI
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
#else
    QCoreApplication app(argc, argv);
#endif
    const QString text = benchText();
#if KORIMADO_BENCH_UI
    findPanelFigures(text);
    if (panelOnly) return 0;
#endif
    report("text_units", double(text.size()));
    qsizetype count = 0;

    SearchRequest plain;
    plain.pattern = QStringLiteral("Korimado");
    plain.options = options(SearchMode::text, true);
    const double plainMs = timed([&] { return SearchEngine::findAll(text, plain, 0).matches.size(); }, count);
    report("find_plain_case_sensitive_ms", plainMs);
    reportRange("find_plain_case_sensitive_ms");
    report("find_plain_case_sensitive_hits", double(count));

    SearchRequest folded = plain;
    folded.pattern = QStringLiteral("korimado");
    folded.options = options(SearchMode::text, false);
    folded.options.ignoresDiacriticMarks = true;
    folded.options.ignoresWidth = true;
    const double foldedMs = timed([&] { return SearchEngine::findAll(text, folded, 0).matches.size(); }, count);
    report("find_plain_case_insensitive_ms", foldedMs);
    reportRange("find_plain_case_insensitive_ms");
    report("find_plain_case_insensitive_hits", double(count));

    SearchRequest regex;
    regex.pattern = QStringLiteral("(\\d{4})-(\\d{2})-(\\d{2})");
    regex.replacement = QStringLiteral("$3.$2.$1");
    regex.options = options(SearchMode::regularExpression, true);
    report("find_regex_ms", timed([&] { return SearchEngine::findAll(text, regex, 0).matches.size(); }, count));
    report("find_regex_hits", double(count));
    // As the find panel runs it: with a token, so ICU calls back at every start position.
    const auto token = SearchCancellationToken::make();
    report("find_regex_cancellable_ms",
           timed([&] { return SearchEngine::findAll(text, regex, 0, token.get()).matches.size(); }, count));
    report("replace_all_100k_ms", timed([&] { return SearchEngine::replacingAll(text, regex).matchCount; }, count));
    report("replace_all_100k_replacements", double(count));

    QTemporaryDir folder;
    const QString path = folder.filePath(QStringLiteral("bench.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0) return 1;
    file.close();
    const double grepPlain = timedGrep({QStringLiteral("-c"), QStringLiteral("-F"), QStringLiteral("Korimado"), path}, count);
    report("grep_plain_ms", grepPlain);
    reportRange("grep_plain_ms");
    report("grep_plain_lines", double(count));
    if (grepPlain > 0) report("find_plain_ratio_to_grep", plainMs / grepPlain);
    report("grep_regex_ms",
           timedGrep({QStringLiteral("-c"), QStringLiteral("-E"), QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})"), path},
                     count));
    report("grep_regex_lines", double(count));
    // ripgrep, where installed (the bench's packages add it): the fastest tool a user knows.
    const double rgPlain = timedTool(QStringLiteral("rg"), {QStringLiteral("-c"), QStringLiteral("-F"), QStringLiteral("Korimado"), path}, count);
    if (rgPlain >= 0) {
        report("rg_plain_ms", rgPlain);
        // rg -i folds ASCII and simple case only: less than ours, which also folds width and marks.
        const double rgFolded = timedTool(QStringLiteral("rg"),
                                          {QStringLiteral("-c"), QStringLiteral("-i"), QStringLiteral("-F"), QStringLiteral("korimado"), path}, count);
        report("rg_plain_case_insensitive_ms", rgFolded);
        reportRange("rg_plain_case_insensitive_ms");
        report("rg_plain_case_insensitive_lines", double(count));
        if (rgFolded > 0) report("find_plain_case_insensitive_ratio_to_rg", foldedMs / rgFolded);
        report("rg_regex_ms", timedTool(QStringLiteral("rg"),
                                        {QStringLiteral("-c"), QStringLiteral("([0-9]{4})-([0-9]{2})-([0-9]{2})"), path}, count));
        report("rg_regex_lines", double(count));
    }
    return 0;
}
