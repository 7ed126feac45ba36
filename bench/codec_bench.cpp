// Opening work on the largest files: decoding a 64 MiB UTF-8 file with detection, detecting an
// 8 MiB Shift JIS file, and the line index over the decoded text (full rebuild, then the index
// update alone after one-character insertions at random offsets). Figures are medians of runs
// unless named p95.
#include "BenchSupport.h"

#include "document/LineIndex.h"
#include "document/TextCodec.h"

#include <random>

using namespace korimado;
using namespace korimado::bench;

namespace {

constexpr qsizetype kMiB = 1024 * 1024;

// Mixed Japanese and ASCII lines encoded with the encoding, cut at a line end to at most `size`
// bytes and padded with ASCII to exactly `size`.
QByteArray mixedFile(TextEncoding encoding, qsizetype size, bool emoji)
{
    TextFormat format;
    format.encoding = encoding;
    QByteArray data = TextCodec::encode(generateMixedText(size, emoji), format);
    const qsizetype cut = data.lastIndexOf('\n', size - 1);
    data.truncate(cut + 1);
    data.append(QByteArray(size - data.size(), 'a'));
    return data;
}

template <typename Work>
double medianMs(int runs, Work work)
{
    std::vector<double> samples;
    for (int i = 0; i < runs; ++i) {
        Stopwatch sw;
        work();
        samples.push_back(sw.ms());
    }
    return percentile(samples, 50);
}

}  // namespace

int main()
{
    const QByteArray utf8 = mixedFile(TextEncoding::utf8, 64 * kMiB, true);
    DecodedText decoded;
    report("decode_64mib_ms", medianMs(5, [&] { decoded = TextCodec::decode(utf8); }));
    if (decoded.format.encoding != TextEncoding::utf8) return 1;

    const QByteArray sjis = mixedFile(TextEncoding::shiftJIS, 8 * kMiB, false);
    TextEncoding detected = TextEncoding::utf8;
    report("detect_sjis_8mib_ms", medianMs(5, [&] { detected = TextCodec::decode(sjis).format.encoding; }));
    if (detected != TextEncoding::shiftJIS) return 1;

    QString text = decoded.text;
    decoded = {};
    LineIndex index;
    report("line_index_rebuild_ms", medianMs(5, [&] { index.rebuild(text); }));
    report("line_index_lines", static_cast<double>(index.lineCount()));

    std::mt19937 rng(11);
    std::vector<double> updates;
    for (int i = 0; i < 1000; ++i) {
        const qsizetype at = std::uniform_int_distribution<qsizetype>(0, text.size())(rng);
        text.insert(at, QChar(i % 4 == 0 ? '\n' : 'x'));
        Stopwatch sw;
        index.update(text, TextRange(at, 1), 1);
        updates.push_back(sw.us());
    }
    report("line_index_update_p95_us", percentile(updates, 95));
    return index.starts() == LineIndex(text).starts() ? 0 : 1;
}
