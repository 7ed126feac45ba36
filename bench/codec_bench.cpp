// Opening work on the largest files: decoding a 64 MiB UTF-8 file with detection, detecting an
// 8 MiB Shift JIS file, and the storage's line table over the decoded text (a full scan, then
// one-character insertions at random offsets, each with its chunk edit). Figures are medians of
// runs unless named p95.
#include "BenchSupport.h"

#include "platform/text/LineStarts.h"
#include "platform/text/TextStorage.h"
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
    // The peer: Qt's own UTF-8 decoder on the same bytes, no detection, no line endings.
    QString plain;
    report("qt_from_utf8_64mib_ms", medianMs(5, [&] { plain = QString::fromUtf8(utf8); }));
    if (decoded.format.encoding != TextEncoding::utf8) return 1;

    const QByteArray sjis = mixedFile(TextEncoding::shiftJIS, 8 * kMiB, false);
    TextEncoding detected = TextEncoding::utf8;
    report("detect_sjis_8mib_ms", medianMs(5, [&] { detected = TextCodec::decode(sjis).format.encoding; }));
    if (detected != TextEncoding::shiftJIS) return 1;

    TextStorage storage(decoded.text);
    decoded = {};
    const QString text = storage.string();
    report("line_index_rebuild_ms", medianMs(5, [&] { const LineStarts lines(text); }));
    report("line_index_lines", static_cast<double>(storage.lines().count()));

    std::mt19937 rng(11);
    std::vector<double> updates;
    for (int i = 0; i < 1000; ++i) {
        const qsizetype at = std::uniform_int_distribution<qsizetype>(0, storage.length())(rng);
        Stopwatch sw;
        storage.replaceCharacters(TextRange(at, 0), i % 4 == 0 ? QStringLiteral("\n") : QStringLiteral("x"));
        updates.push_back(sw.us());
    }
    report("line_index_update_p95_us", percentile(updates, 95));
    return storage.lines().starts() == LineStarts(storage.string()).starts() ? 0 : 1;
}
