#include "BenchSupport.h"

#include "platform/text/TextStorage.h"

#include <QRandomGenerator>

using namespace korimado;
using namespace korimado::bench;

int main()
{
    const QString text = generateMixedText(32 * 1024 * 1024);  // 64 MiB of UTF-16
    TextStorage storage;
    Stopwatch load;
    storage.setString(text);
    report("storage_set_string_64mib_ms", load.ms());

    QRandomGenerator rng(1);
    std::vector<double> samples;
    for (int i = 0; i < 2000; ++i) {
        const qsizetype at = rng.bounded(int(storage.length()));
        Stopwatch edit;
        storage.replaceCharacters(TextRange(at, 0), QStringLiteral("x"));
        samples.push_back(edit.us());
    }
    report("storage_insert_char_p95_us", percentile(samples, 95));

    Stopwatch snap;
    const TextSnapshot s = storage.snapshot();
    report("storage_snapshot_ms", snap.ms());
    Stopwatch flat;
    const QString all = s.string();
    report("snapshot_flatten_ms", flat.ms());
    return all.size() == storage.length() ? 0 : 1;
}
