// The SVG preview: any text gives a page that starts with the fixed head, and nothing after the
// head can start a script element, whatever the drawing held.
#include "FuzzSupport.h"

#include "preview/SVGPreview.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString text = QString::fromUtf8(fuzz::bytes(data, size));
    const SVGPreview::Output out = SVGPreview::page(text);
    FUZZ_CHECK(out.html.startsWith(SVGPreview::head()));
    FUZZ_CHECK(out.html.endsWith(QStringLiteral("</main></body></html>")));
    FUZZ_CHECK(!out.note.isEmpty());
    const QStringView drawing = QStringView(out.html).mid(SVGPreview::head().size());
    FUZZ_CHECK(!drawing.contains(QStringLiteral("<script"), Qt::CaseInsensitive));
    FUZZ_CHECK(!drawing.contains(QStringLiteral("<!doctype"), Qt::CaseInsensitive));
    return 0;
}
