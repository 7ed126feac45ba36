// The theme reader: a theme it accepts is written and read back as an equal theme, and the
// written bytes are a fixed point of reading and writing.
#include "FuzzSupport.h"

#include "theme/EditorThemeError.h"
#include "theme/EditorTheme.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size == 0) return 0;
    // The first byte decides whether the file name supplies a fallback name.
    const std::optional<QString> fallback =
        data[0] & 1 ? std::optional<QString>(QStringLiteral("Fuzz Theme")) : std::nullopt;
    std::optional<EditorTheme> theme;
    try {
        theme.emplace(fuzz::bytes(data + 1, size - 1), fallback);
    } catch (const EditorThemeError&) {
        return 0;
    }
    FUZZ_CHECK(!theme->name.isEmpty());
    FUZZ_CHECK(!theme->name.startsWith(QLatin1Char('.')));
    for (const QString& key : EditorTheme::requiredColorKeys()) FUZZ_CHECK(theme->colorValues.contains(key));

    const QByteArray written = theme->encodedData();
    try {
        const EditorTheme again(written);
        FUZZ_CHECK(again == *theme);
        FUZZ_CHECK(again.encodedData() == written);
    } catch (const EditorThemeError&) {
        FUZZ_CHECK(!"a written theme must read back");
    }
    return 0;
}
