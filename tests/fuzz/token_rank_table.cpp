// The token rank file reader: a file it accepts has at most one entry per line, and every entry
// it holds answers a lookup of its own bytes; anything else is refused with the one error.
#include "FuzzSupport.h"

#include "preview/LocalTokenizer.h"
#include "preview/TokenRankTable.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QByteArray file = fuzz::bytes(data, size);
    try {
        const TokenRankTable table = TokenRankTable::parse(file, 16);
        FUZZ_CHECK(table.size() <= static_cast<std::size_t>(file.count('\n') + 1));
        for (const QByteArray& line : file.split('\n')) {
            const qsizetype space = line.indexOf(' ');
            if (space <= 0) continue;
            const QByteArray token = QByteArray::fromBase64(line.left(space));
            FUZZ_CHECK(table.rank(std::string_view(token.constData(), static_cast<std::size_t>(token.size()))));
        }
    } catch (const CountingError&) {
    }
    return 0;
}
