#include "preview/HTMLPreview.h"

#include <QRegularExpression>

namespace korimado {

namespace {

bool isHTMLSpace(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\r' || c == u'\f';
}

// Where a comment whose text starts at i ends, as the browser's parser ends it: "<!-->" and
// "<!--->" at once, else after the first "-->" or "--!>"; -1 when it runs to the end of the text.
qsizetype commentEnd(const QString& html, qsizetype i)
{
    const QStringView rest = QStringView(html).mid(i);
    if (rest.startsWith(u">")) return i + 1;
    if (rest.startsWith(u"->")) return i + 2;
    for (qsizetype at = html.indexOf(QLatin1String("--"), i); at >= 0; at = html.indexOf(QLatin1String("--"), at + 1)) {
        const QStringView after = QStringView(html).mid(at + 2);
        if (after.startsWith(u">")) return at + 3;
        if (after.startsWith(u"!>")) return at + 4;
    }
    return -1;
}

// Skips white space, comments, the document type and processing instructions, as the browser's
// parser does before the first tag.
qsizetype skipPrologue(const QString& html, qsizetype i)
{
    const qsizetype n = html.size();
    if (i < n && html[i] == QChar(0xFEFF)) ++i;
    while (i < n) {
        if (isHTMLSpace(html[i])) {
            ++i;
        } else if (QStringView(html).mid(i).startsWith(u"<!--")) {
            const qsizetype close = commentEnd(html, i + 4);
            if (close < 0) return n;
            i = close;
        } else if (QStringView(html).mid(i).startsWith(u"<!") || QStringView(html).mid(i).startsWith(u"<?")) {
            const qsizetype close = html.indexOf(QLatin1Char('>'), i + 2);
            if (close < 0) return n;
            i = close + 1;
        } else {
            break;
        }
    }
    return i;
}

// At i a start tag with the given name (any case)? Gives the index after its ">", honouring
// quoted attribute values, or -1.
qsizetype startTagEnd(const QString& html, qsizetype i, QLatin1StringView name)
{
    const qsizetype n = html.size();
    if (i >= n || html[i] != u'<') return -1;
    const qsizetype after = i + 1 + name.size();
    if (after > n || QStringView(html).mid(i + 1, name.size()).compare(name, Qt::CaseInsensitive) != 0) return -1;
    if (after < n && !isHTMLSpace(html[after]) && html[after] != u'/' && html[after] != u'>') return -1;
    qsizetype p = after;
    while (p < n) {
        const QChar c = html[p];
        if (c == u'>') return p + 1;
        if (isHTMLSpace(c) || c == u'/') {
            ++p;
            continue;
        }
        // An attribute name (its first character may be "="), then perhaps a value.
        ++p;
        while (p < n && !isHTMLSpace(html[p]) && html[p] != u'/' && html[p] != u'>' && html[p] != u'=') ++p;
        while (p < n && isHTMLSpace(html[p])) ++p;
        if (p < n && html[p] == u'=') {
            ++p;
            while (p < n && isHTMLSpace(html[p])) ++p;
            if (p < n && (html[p] == u'"' || html[p] == u'\'')) {
                const qsizetype close = html.indexOf(html[p], p + 1);
                if (close < 0) return -1;
                p = close + 1;
            } else {
                while (p < n && !isHTMLSpace(html[p]) && html[p] != u'>') ++p;
            }
        }
    }
    return -1;
}

}  // namespace

const QUrl& HTMLPreview::baseURL()
{
    static const QUrl url(QStringLiteral("kori-preview://local/"));
    return url;
}

const QString& HTMLPreview::headText()
{
    static const QString text =
        QStringLiteral(R"(<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline' kori-preview:; img-src data: blob: kori-preview:; font-src data: kori-preview:; media-src data: blob: kori-preview:; script-src 'none'; connect-src 'none'; frame-src 'none'; object-src 'none'; base-uri kori-preview:; form-action 'none'"><base href=")")
        + baseURL().toString() + QStringLiteral("\">");
    return text;
}

qsizetype HTMLPreview::headInsertionPoint(const QString& html, bool* afterHead)
{
    static const QRegularExpression anyHeadOrHtml(QStringLiteral(R"(<(head|html)\b)"),
                                                  QRegularExpression::CaseInsensitiveOption);
    if (afterHead) *afterHead = false;
    if (!anyHeadOrHtml.match(html).hasMatch()) return -1;
    qsizetype i = skipPrologue(html, 0);
    if (const qsizetype end = startTagEnd(html, i, QLatin1StringView("html")); end >= 0) {
        i = skipPrologue(html, end);
        if (const qsizetype headEnd = startTagEnd(html, i, QLatin1StringView("head")); headEnd >= 0) {
            if (afterHead) *afterHead = true;
            return headEnd;
        }
        return end;
    }
    if (const qsizetype headEnd = startTagEnd(html, i, QLatin1StringView("head")); headEnd >= 0) {
        if (afterHead) *afterHead = true;
        return headEnd;
    }
    // The tags stand later (or only in a comment, an attribute or text): a meta element here opens
    // the head itself, and the document's own html and head tags merge into it.
    if (afterHead) *afterHead = true;
    return i;
}

QString HTMLPreview::page(const QString& html)
{
    bool afterHead = false;
    const qsizetype at = headInsertionPoint(html, &afterHead);
    if (at < 0) {
        return QStringLiteral(R"(<!doctype html><html><head><meta charset="utf-8">)") + headText()
               + QStringLiteral("</head><body>") + html + QStringLiteral("</body></html>");
    }
    QString page = html;
    page.insert(at, afterHead ? headText() : QStringLiteral("<head>") + headText() + QStringLiteral("</head>"));
    return page;
}

}  // namespace korimado
