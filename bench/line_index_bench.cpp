// The storage's line table: a full scan of a 64 MiB UTF-16 text, and single-character edits in a
// text of about 1.2 million lines (each edit timed with the storage's own chunk edit).
#include "BenchSupport.h"

#include "platform/text/LineStarts.h"
#include "platform/text/TextStorage.h"

#include <random>

using namespace korimado;
using namespace korimado::bench;

int main()
{
    QString text = generateMixedText(32 * 1024 * 1024, true);
    std::vector<double> rebuilds;
    for (int i = 0; i < 5; ++i) {
        Stopwatch sw;
        const LineStarts lines(text);
        rebuilds.push_back(sw.ms());
        if (lines.count() < 2) return 1;
    }
    report("line_index_rebuild_64mib_ms", percentile(rebuilds, 50));

    TextStorage storage(generateMixedText(52 * 1024 * 1024, true));
    report("line_index_update_lines", static_cast<double>(storage.lines().count()));

    std::mt19937 rng(7);
    std::vector<double> updates;
    for (int i = 0; i < 2000; ++i) {
        const qsizetype at = std::uniform_int_distribution<qsizetype>(0, storage.length() - 1)(rng);
        Stopwatch sw;
        if (i % 3 == 0) storage.replaceCharacters({at, 0}, QStringLiteral("\n"));
        else if (i % 3 == 1) storage.replaceCharacters({at, 0}, QStringLiteral("x"));
        else storage.replaceCharacters({at, 1}, QString());
        updates.push_back(sw.ms());
    }
    report("line_index_update_p50_ms", percentile(updates, 50));
    report("line_index_update_p95_ms", percentile(updates, 95));

    // Edits at the very start move every later line.
    std::vector<double> heads;
    for (int i = 0; i < 200; ++i) {
        Stopwatch sw;
        storage.replaceCharacters({0, 0}, i % 2 ? QStringLiteral("x") : QStringLiteral("\n"));
        heads.push_back(sw.ms());
    }
    report("line_index_update_at_start_p95_ms", percentile(heads, 95));
    return storage.lines().starts() == LineStarts(storage.string()).starts() ? 0 : 1;
}
