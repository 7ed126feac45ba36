// Document inspection of a large mixed text (the inspector runs it off the main thread).
#include "BenchSupport.h"

#include "document/DocumentInspection.h"

using namespace korimado;
using namespace korimado::bench;

int main()
{
    const QString text = generateMixedText(8 * 1024 * 1024, true);
    Stopwatch sw;
    const DocumentInspection inspection = DocumentInspection::inspect(text, {0, 1000}, {}, std::nullopt, 80);
    report("document_inspection_16mib_ms", sw.ms());
    Stopwatch count;
    const qsizetype characters = DocumentInspection::characterCount(text);
    report("character_count_16mib_ms", count.ms());
    return characters == inspection.characters ? 0 : 1;
}
