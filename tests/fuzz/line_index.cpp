// Line endings and the storage's line table against a plain scan: the table of a text, the table
// kept up to date across one edit, the kinds found and the conversion of every break.
#include "FuzzSupport.h"

#include "document/LineEnding.h"
#include "platform/text/LineStarts.h"
#include "platform/text/TextStorage.h"

#include <algorithm>
#include <vector>

using namespace korimado;

namespace {

bool isBreakUnit(QChar c)
{
    const char16_t u = c.unicode();
    return u == u'\n' || u == u'\r' || u == 0x0085 || u == 0x2028 || u == 0x2029;
}

std::vector<qsizetype> referenceStarts(const QString& text)
{
    std::vector<qsizetype> starts{0};
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (!isBreakUnit(text[i])) continue;
        if (text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') ++i;
        starts.push_back(i + 1);
    }
    return starts;
}

QList<LineEnding> referenceKinds(const QString& text)
{
    QList<LineEnding> kinds;
    for (qsizetype i = 0; i < text.size(); ++i) {
        std::optional<LineEnding> kind;
        switch (text[i].unicode()) {
        case u'\n': kind = LineEnding::lf; break;
        case u'\r':
            if (i + 1 < text.size() && text[i + 1] == u'\n') {
                kind = LineEnding::crlf;
                ++i;
            } else {
                kind = LineEnding::cr;
            }
            break;
        case 0x0085: kind = LineEnding::nel; break;
        case 0x2028: kind = LineEnding::ls; break;
        case 0x2029: kind = LineEnding::ps; break;
        default: break;
        }
        if (kind && !kinds.contains(*kind)) kinds.append(*kind);
    }
    return kinds;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4) return 0;
    // Four bytes describe one edit; the rest is the text and the inserted part.
    const std::size_t textSize = (size - 4) * data[0] / 255;
    const QString text = fuzz::breakyText(data + 4, textSize);
    const QString inserted = fuzz::breakyText(data + 4 + textSize, size - 4 - textSize);

    const std::vector<qsizetype> starts = referenceStarts(text);
    TextStorage storage(text);
    const LineStarts& lines = storage.lines();
    FUZZ_CHECK(lines.starts() == starts);
    FUZZ_CHECK(lines.length() == text.size());
    for (qsizetype at = 0; at <= text.size(); ++at) {
        const auto after = std::upper_bound(starts.begin(), starts.end(), at);
        FUZZ_CHECK(lines.lineAt(at) == (after - starts.begin()) - 1);
    }

    const qsizetype location = text.isEmpty() ? 0 : data[1] % (text.size() + 1);
    const qsizetype removed = std::min<qsizetype>(data[2] % 8, text.size() - location);
    QString edited = text;
    edited.replace(location, removed, inserted);
    storage.replaceCharacters(TextRange(location, removed), inserted);
    FUZZ_CHECK(lines.starts() == referenceStarts(edited));
    FUZZ_CHECK(lines.length() == edited.size());

    const QList<LineEnding> kinds = referenceKinds(text);
    FUZZ_CHECK(LineEnding::kinds(text) == kinds);
    const LineEnding target = LineEnding::allCases()[data[3] % LineEnding::count];
    const QString converted = target.replacing(text);
    const QList<LineEnding> convertedKinds = LineEnding::kinds(converted);
    FUZZ_CHECK(convertedKinds.isEmpty() || convertedKinds == QList<LineEnding>{target});
    FUZZ_CHECK(referenceStarts(converted).size() == starts.size());
    return 0;
}
