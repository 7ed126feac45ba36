// The HTML preview page: the policy is always put in, once, and the document around it is kept
// unchanged (taking the inserted text out gives the document back).
#include "FuzzSupport.h"

#include "preview/HTMLPreview.h"

using namespace korimado;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const QString html = QString::fromUtf8(fuzz::bytes(data, size));
    const QString page = HTMLPreview::page(html);
    const QString& head = HTMLPreview::headText();
    bool afterHead = false;
    const qsizetype at = HTMLPreview::headInsertionPoint(html, &afterHead);
    if (at < 0) {
        FUZZ_CHECK(page.contains(head));
        FUZZ_CHECK(page.contains(html));
        return 0;
    }
    FUZZ_CHECK(at <= html.size());
    const QString inserted = afterHead ? head : QStringLiteral("<head>") + head + QStringLiteral("</head>");
    FUZZ_CHECK(QStringView(page).mid(at, inserted.size()) == inserted);
    FUZZ_CHECK(page.left(at) + page.mid(at + inserted.size()) == html);
    return 0;
}
