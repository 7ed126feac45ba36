// The SVG preview: any text gives a page that starts with the fixed head, and nothing after the
// head can start a script element, whatever the drawing held. Attributes are read as the
// browser's HTML parser reads them, without case: no handler, source or base, no link that leaves
// the drawing, no animation of a link, a style or a handler.
#include "FuzzSupport.h"

#include "preview/SVGPreview.h"

#include <QRegularExpression>

using namespace korimado;

namespace {

void checkAttributes(const QString& drawing)
{
    static const QRegularExpression tag(QStringLiteral(R"re(<([A-Za-z]+)((?: [^\s="]+="[^"]*")*)>)re"));
    static const QRegularExpression attribute(QStringLiteral(R"re( ([^\s="]+)="([^"]*)")re"));
    for (auto t = tag.globalMatch(drawing); t.hasNext();) {
        const QRegularExpressionMatch element = t.next();
        const QString name = element.captured(1);
        for (auto a = attribute.globalMatch(element.captured(2)); a.hasNext();) {
            const QRegularExpressionMatch m = a.next();
            const QString n = m.captured(1).toLower();
            const QString v = m.captured(2);
            FUZZ_CHECK(!n.startsWith(QLatin1String("on")));
            FUZZ_CHECK(n != QLatin1String("src") && n != QLatin1String("base"));
            FUZZ_CHECK(n != QLatin1String("href") || v.startsWith(QLatin1Char('#')));
            if ((name == QLatin1String("animate") || name == QLatin1String("set")) && n == QLatin1String("attributename")) {
                const QString target = v.trimmed().toLower();
                FUZZ_CHECK(target != QLatin1String("href") && target != QLatin1String("xlink:href")
                           && target != QLatin1String("style") && !target.startsWith(QLatin1String("on")));
            }
        }
    }
}

}  // namespace

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
    checkAttributes(drawing.toString());
    return 0;
}
