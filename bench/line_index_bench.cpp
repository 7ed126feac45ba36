// Line index: full rebuild of a 64 MiB UTF-16 text, and single-character edits in a text of
// about 1.2 million lines (only the index update is timed, not the string edit).
#include "BenchSupport.h"

#include "document/LineIndex.h"

#include <random>

using namespace korimado;
using namespace korimado::bench;

int main()
{
    QString text = generateMixedText(32 * 1024 * 1024, true);
    LineIndex index;
    std::vector<double> rebuilds;
    for (int i = 0; i < 5; ++i) {
        Stopwatch sw;
        index.rebuild(text);
        rebuilds.push_back(sw.ms());
    }
    report("line_index_rebuild_64mib_ms", percentile(rebuilds, 50));

    text = generateMixedText(52 * 1024 * 1024, true);
    index.rebuild(text);
    report("line_index_update_lines", static_cast<double>(index.lineCount()));

    std::mt19937 rng(7);
    std::vector<double> updates;
    for (int i = 0; i < 2000; ++i) {
        const qsizetype at = std::uniform_int_distribution<qsizetype>(0, text.size() - 1)(rng);
        TextRange edited{at, 1};
        qsizetype delta = 1;
        if (i % 3 == 0) {
            text.insert(at, QChar('\n'));
        } else if (i % 3 == 1) {
            text.insert(at, QChar('x'));
        } else {
            text.remove(at, 1);
            edited.length = 0;
            delta = -1;
        }
        Stopwatch sw;
        index.update(text, edited, delta);
        updates.push_back(sw.ms());
    }
    report("line_index_update_p50_ms", percentile(updates, 50));
    report("line_index_update_p95_ms", percentile(updates, 95));

    // Edits at the very start shift every entry.
    std::vector<double> heads;
    for (int i = 0; i < 200; ++i) {
        text.insert(0, QChar(i % 2 ? 'x' : '\n'));
        Stopwatch sw;
        index.update(text, {0, 1}, 1);
        heads.push_back(sw.ms());
    }
    report("line_index_update_at_start_p95_ms", percentile(heads, 95));
    return index.starts() == LineIndex(text).starts() ? 0 : 1;
}
