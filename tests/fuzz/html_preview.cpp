// The HTML preview page: the policy is always put in, once, and the document around it is kept
// unchanged (taking the inserted text out gives the document back). Nothing the browser would
// act on stands before it: only white space, comments (ended as the browser ends them),
// declarations and the html and head start tags, as read here by rules written apart from the
// code under test.
#include "FuzzSupport.h"

#include "preview/HTMLPreview.h"

#include <QRegularExpression>

using namespace korimado;

namespace {

bool isPrologue(const QString& prefix)
{
    static const QRegularExpression tokens[] = {
        QRegularExpression(QStringLiteral(R"([\t\n\f\r ]+)")),
        QRegularExpression(QStringLiteral(R"(<!--(?:>|->|(?s:.*?)--!?>|(?s:.*)$))")),
        QRegularExpression(QStringLiteral(R"(<[!?][^>]*+(?:>|$))")),
        // A start tag as the browser's tokenizer reads it; one that never ends is no tag.
        QRegularExpression(QStringLiteral(R"(<(?i:html|head)(?=[\t\n\f\r />])(?:[\t\n\f\r /]++|[^\t\n\f\r />][^\t\n\f\r />=]*+(?:[\t\n\f\r ]*+=[\t\n\f\r ]*+(?:"[^"]*+"|'[^']*+'|[^\t\n\f\r >]*+))?+)*+>)")),
    };
    qsizetype at = prefix.startsWith(QChar(0xFEFF)) ? 1 : 0;
    while (at < prefix.size()) {
        qsizetype next = at;
        for (const QRegularExpression& token : tokens) {
            const QRegularExpressionMatch m =
                token.match(prefix, at, QRegularExpression::NormalMatch, QRegularExpression::AnchorAtOffsetMatchOption);
            if (m.hasMatch() && m.capturedEnd() > at) {
                next = m.capturedEnd();
                break;
            }
        }
        if (next == at) return false;
        at = next;
    }
    return true;
}

}  // namespace

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
    FUZZ_CHECK(isPrologue(html.left(at)));
    return 0;
}
