// The preview engines: the Markdown page of 1 MiB (beside the library's own HTML of the same
// source, parsed whole on one thread, in the same run), the status-line statistics of the 64 MiB text of
// editor_bench (cold, then a caret move warm), token counts of 1 MiB, and sanitising an SVG of
// 10,000 elements; the 64 MiB text's token count by blocks, whole and after an edit
// (KORIMADO_BENCH_SINGLE_PASS=1 adds the one-pass count it replaced). With Node and the tiktoken
// package present (KORIMADO_TIKTOKEN_DIR names the package folder), the package's own count of the
// same 1 MiB is timed beside ours.
#include "BenchSupport.h"

#include "document/TextFormat.h"
#include "preview/LocalTokenizer.h"
#include "preview/Markdown.h"
#include "preview/SVGPreview.h"
#include "preview/TextStatisticsEngine.h"
#include "preview/TokenBlocks.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <algorithm>
#include <cstring>
#include <optional>

#include <sys/resource.h>
#include <time.h>

using namespace korimado;
using namespace korimado::bench;

namespace {

constexpr qsizetype oneMiB = 1024 * 1024;

// Processor seconds of every thread of this process so far: the block count runs on several.
double processCpuSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec)
        + static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// About `bytes` of UTF-8, as the file would be on disk.
QString markdownDocument(qsizetype bytes)
{
    static const char* const blocks[] = {
        "# Heading one\n\nA paragraph with *emphasis*, **strong** text, `code` and a [link](https://example.com).\n\n",
        "## 表と一覧\n\n| 名前 | 値 | 備考 |\n|---|---:|:---:|\n| りんご | 120 | 赤い |\n| みかん | 80 | ~~高い~~ |\n\n",
        "- [x] 済んだ作業\n- [ ] 残りの作業 https://example.org\n  - 入れ子の項目\n\n",
        "```cpp\nint main() { return 0; }\n```\n\n> 引用の行です。吾輩は猫である。\n\n",
        "1. first\n2. second\n3. third\n\n---\n\n",
    };
    QString text;
    for (qsizetype i = 0, size = 0; size < bytes; ++i) {
        text += QString::fromUtf8(blocks[i % 5]);
        size += static_cast<qsizetype>(std::strlen(blocks[i % 5]));
    }
    return text;
}

QString svgDocument(int elements)
{
    QString svg = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\" "
                                 "viewBox=\"0 0 1000 1000\">\n<defs><linearGradient id=\"g\"><stop offset=\"0\" "
                                 "stop-color=\"#f00\"/></linearGradient></defs>\n");
    for (int i = 3; i < elements; i += 3) {
        svg += QStringLiteral("<g transform=\"translate(%1 %2)\"><rect width=\"8\" height=\"8\" fill=\"url(#g)\" "
                              "onclick=\"x()\"/><circle r=\"3\" cx=\"4\" cy=\"4\" stroke=\"#000\"/></g>\n")
                   .arg(i % 1000)
                   .arg(i / 1000);
    }
    return svg + QStringLiteral("</svg>\n");
}

template <typename Done>
void spinUntil(Done done)
{
    while (!done()) QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
}

void benchStatistics()
{
    const QString text = generateMixedText(32 * oneMiB);
    TextFormat format;
    format.encoding = TextEncoding::utf8;
    TextStatisticsEngine engine;
    std::optional<TextMetrics> metrics;
    Stopwatch cold;
    engine.request(text, 1, {0, 0}, format, TokenEncoding::off, [&](const TextMetrics& m) { metrics = m; }, {});
    spinUntil([&] { return metrics.has_value(); });
    report("statistics_64mib_ms", cold.ms());

    std::vector<double> samples;
    quint32 seed = 7;
    for (int i = 0; i < 200; ++i) {
        seed = seed * 1664525u + 1013904223u;
        const qsizetype at = static_cast<qsizetype>(seed % static_cast<quint32>(text.size()));
        metrics.reset();
        Stopwatch warm;
        engine.request(text, 1, {at, i % 2 ? 0 : 4000}, format, TokenEncoding::off,
                       [&](const TextMetrics& m) { metrics = m; }, {});
        spinUntil([&] { return metrics.has_value(); });
        samples.push_back(warm.ms());
    }
    report("statistics_selection_p95_ms", percentile(samples, 95));
}

void benchTokens()
{
    const QString text = generateMixedText(oneMiB);
    for (const TokenEncoding encoding : {TokenEncoding::o200k, TokenEncoding::cl100k}) {
        const auto tokenizer = LocalTokenizer::shared(encoding);
        tokenizer->count(text.left(1000), {});
        Stopwatch sw;
        const qint64 n = tokenizer->count(text, [] { return false; });
        const double ms = sw.ms();
        report(encoding == TokenEncoding::o200k ? "tokens_o200k_1mib_ms" : "tokens_cl100k_1mib_ms", ms);
        report(encoding == TokenEncoding::o200k ? "tokens_o200k_1mib_count" : "tokens_cl100k_1mib_count",
               static_cast<double>(n));
    }

    // The reference counter, when it is there: the same text, o200k, timed inside Node.
    const QString package = qEnvironmentVariable("KORIMADO_TIKTOKEN_DIR");
    const QString node = QStandardPaths::findExecutable(QStringLiteral("node"));
    if (package.isEmpty() || node.isEmpty() || !QDir(package).exists()) return;
    QTemporaryDir dir;
    QFile sample(dir.filePath(QStringLiteral("sample.txt")));
    if (!sample.open(QIODevice::WriteOnly)) return;
    sample.write(text.toUtf8());
    sample.close();
    const QString script = QStringLiteral(
        "const {createRequire}=require('module');const r=createRequire(process.argv[1]+'/package.json');"
        "const {get_encoding}=r('./tiktoken.cjs');const fs=require('fs');"
        "const t=fs.readFileSync(process.argv[2],'utf8');const e=get_encoding('o200k_base');"
        "e.encode_ordinary(t.slice(0,1000));const s=process.hrtime.bigint();const n=e.encode_ordinary(t).length;"
        "const ms=Number(process.hrtime.bigint()-s)/1e6;console.log(ms+' '+n);");
    QProcess process;
    process.start(node, {QStringLiteral("-e"), script, QStringLiteral("--"), package, sample.fileName()});
    if (!process.waitForFinished(120'000) || process.exitCode() != 0) return;
    const QStringList answer = QString::fromUtf8(process.readAllStandardOutput()).trimmed().split(QLatin1Char(' '));
    if (answer.size() != 2) return;
    report("tokens_reference_1mib_ms", answer[0].toDouble());
    report("tokens_reference_1mib_count", answer[1].toDouble());
}

// The whole 64 MiB text of editor_bench counted by blocks with nothing cached (what opening the
// file costs), then again after one character typed in its middle (what a pause in typing costs),
// beside one pass over the whole text on one thread (how the count was made before blocks). The
// whole count's processor time is what opening the file costs the machine.
void benchTokenBlocks()
{
    QString text = generateMixedText(32 * oneMiB);
    const auto tokenizer = LocalTokenizer::shared(TokenEncoding::o200k);
    TokenBlocks blocks(tokenizer);
    const double cpuBefore = processCpuSeconds();
    Stopwatch full;
    const qint64 n = blocks.count(text, [] { return false; });
    report("tokens_full_64mib_ms", full.ms());
    report("tokens_full_64mib_cpu_s", processCpuSeconds() - cpuBefore);
    report("tokens_full_64mib_count", static_cast<double>(n));
    report("tokens_full_64mib_blocks", static_cast<double>(blocks.lastBlocks()));
    text.insert(text.size() / 2, QLatin1Char('x'));
    Stopwatch recount;
    const qint64 edited = blocks.count(text, [] { return false; });
    report("tokens_recount_after_edit_64mib_ms", recount.ms());
    report("tokens_recount_after_edit_64mib_blocks_counted", static_cast<double>(blocks.lastCounted()));
    if (qEnvironmentVariableIsSet("KORIMADO_BENCH_SINGLE_PASS")) {
        Stopwatch single;
        const qint64 whole = tokenizer->count(text, [] { return false; });
        report("tokens_single_pass_64mib_ms", single.ms());
        if (whole != edited) std::printf("block count %lld differs from the single pass %lld\n", static_cast<long long>(edited),
                                         static_cast<long long>(whole));
    }
}

// This thread's processor milliseconds: on a shared machine it tells the work from the wait.
double threadCpuMs()
{
    timespec t{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

// The library alone on the same source: parsed whole on one thread through the system's heap,
// the HTML it writes and nothing around it.
double libraryHtmlMs(const QByteArray& utf8)
{
    cmark_gfm_core_extensions_ensure_registered();
    Stopwatch sw;
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    for (const char* name : {"table", "strikethrough", "autolink", "tasklist"})
        cmark_parser_attach_syntax_extension(parser, cmark_find_syntax_extension(name));
    cmark_parser_feed(parser, utf8.constData(), std::size_t(utf8.size()));
    cmark_node* document = cmark_parser_finish(parser);
    char* html = cmark_render_html(document, CMARK_OPT_DEFAULT, cmark_parser_get_syntax_extensions(parser));
    cmark_get_default_mem_allocator()->free(html);
    cmark_node_free(document);
    cmark_parser_free(parser);
    return sw.ms();
}

void benchPages()
{
    const QString markdown = markdownDocument(oneMiB);
    const QByteArray utf8 = markdown.toUtf8();
    Markdown::page(markdown);
    libraryHtmlMs(utf8);
    std::vector<double> samples;
    std::vector<double> cpu;
    std::vector<double> library;
    for (int i = 0; i < 5; ++i) {
        const double cpuBefore = threadCpuMs();
        Stopwatch sw;
        const QString page = Markdown::page(markdown);
        samples.push_back(sw.ms());
        cpu.push_back(threadCpuMs() - cpuBefore);
        if (page.isEmpty()) std::printf("empty page\n");
        library.push_back(libraryHtmlMs(utf8));
    }
    report("markdown_page_1mib_ms", percentile(samples, 50));
    report("markdown_page_1mib_min_ms", *std::min_element(samples.begin(), samples.end()));
    report("markdown_page_1mib_max_ms", *std::max_element(samples.begin(), samples.end()));
    report("markdown_page_1mib_cpu_ms", percentile(cpu, 50));
    report("markdown_library_html_1mib_ms", percentile(library, 50));
    report("markdown_page_to_library_ratio", percentile(samples, 50) / percentile(library, 50));

    const QString svg = svgDocument(10'000);
    samples.clear();
    for (int i = 0; i < 5; ++i) {
        Stopwatch sw;
        const SVGPreview::Output out = SVGPreview::page(svg);
        samples.push_back(sw.ms());
        if (!out.valid) std::printf("svg refused: %s\n", qPrintable(out.note));
    }
    report("svg_page_10k_elements_ms", percentile(samples, 50));
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // Names of parts to run (pages, tokens, blocks, statistics); none: all.
    const QStringList parts = app.arguments().mid(1);
    const auto wanted = [&](const char* part) { return parts.isEmpty() || parts.contains(QLatin1String(part)); };
    report("load_average_1m", loadAverage());
    if (wanted("pages")) benchPages();
    if (wanted("tokens")) benchTokens();
    if (wanted("blocks")) benchTokenBlocks();
    if (wanted("statistics")) benchStatistics();
    return 0;
}
