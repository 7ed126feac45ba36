#include "preview/Markdown.h"

#include "platform/foundation/Utf8Decoder.h"
#include "platform/foundation/Utf8Encoder.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <QStringList>

#include <cstring>
#include <mutex>
#include <optional>
#include <vector>

namespace korimado {

namespace {

std::once_flag registered;

constexpr int linesPerPiece = 200;
constexpr const char* pieceCut = "<span style=\"display:inline-block\"></span>";

// Whether some paragraph may hold linesPerPiece soft breaks: only a run of that many lines and
// one more, none of them blank, can. Most pages have none, and are spared a walk of their tree.
bool mayHoldLongParagraph(const QByteArray& utf8)
{
    const char* p = utf8.constData();
    const char* const end = p + utf8.size();
    int run = 0;
    while (p < end) {
        const char* eol = static_cast<const char*>(std::memchr(p, '\n', static_cast<size_t>(end - p)));
        if (!eol) eol = end;
        const char* c = p;
        while (c < eol && (*c == ' ' || *c == '\t' || *c == '\r')) ++c;
        run = c == eol ? 0 : run + 1;
        if (run > linesPerPiece) return true;
        p = eol + 1;
    }
    return false;
}

// The web engine shapes and breaks a paragraph into lines as one piece, at a cost that grows
// faster than its length: a paragraph of 50,000 lines with emoji took minutes. An empty inline
// block every so many soft breaks of one paragraph cuts it into pieces and changes nothing that
// shows. Whether any was cut.
bool cutLongParagraphs(cmark_node* document)
{
    std::vector<cmark_node*> cuts;
    cmark_iter* iter = cmark_iter_new(document);
    int count = 0;
    for (cmark_event_type event; (event = cmark_iter_next(iter)) != CMARK_EVENT_DONE;) {
        if (event != CMARK_EVENT_ENTER) continue;
        cmark_node* node = cmark_iter_get_node(iter);
        const cmark_node_type type = cmark_node_get_type(node);
        if ((type & CMARK_NODE_TYPE_MASK) == CMARK_NODE_TYPE_BLOCK) {
            count = 0;  // soft breaks are counted per paragraph (or heading)
        } else if (type == CMARK_NODE_SOFTBREAK && ++count % linesPerPiece == 0) {
            cuts.push_back(node);
        }
    }
    cmark_iter_free(iter);
    bool cut = false;
    for (cmark_node* node : cuts) {
        cmark_node* piece = cmark_node_new(CMARK_NODE_CUSTOM_INLINE);
        cmark_node_set_on_enter(piece, pieceCut);
        if (cmark_node_insert_after(node, piece)) {
            cut = true;
        } else {
            cmark_node_free(piece);
        }
    }
    return cut;
}

QString render(const QString& markdown, bool* cut)
{
    std::call_once(registered, [] { cmark_gfm_core_extensions_ensure_registered(); });
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    if (!parser) return {};
    for (const char* name : {"table", "strikethrough", "autolink", "tasklist"}) {
        if (cmark_syntax_extension* extension = cmark_find_syntax_extension(name)) {
            cmark_parser_attach_syntax_extension(parser, extension);
        }
    }
    const QByteArray utf8 = Utf8Encoder::encode(markdown);
    cmark_parser_feed(parser, utf8.constData(), static_cast<size_t>(utf8.size()));
    cmark_node* document = cmark_parser_finish(parser);
    QString html;
    if (document) {
        if (mayHoldLongParagraph(utf8) && cutLongParagraphs(document) && cut) *cut = true;
        if (char* rendered = cmark_render_html(document, CMARK_OPT_DEFAULT, cmark_parser_get_syntax_extensions(parser))) {
            // cmark writes what it read, and U+FFFD for what it could not: UTF-8 the checked decoder
            // takes, in parts at once; Qt's is there should it ever not.
            const QByteArrayView bytes(rendered, qsizetype(std::strlen(rendered)));
            std::optional<QString> decoded = Utf8Decoder::decode(bytes);
            html = decoded ? std::move(*decoded) : QString::fromUtf8(bytes);
            cmark_get_default_mem_allocator()->free(rendered);
        }
        cmark_node_free(document);
    }
    cmark_parser_free(parser);
    return html;
}

}  // namespace

const QString& Markdown::head()
{
    static const QString text = QStringList({
        QStringLiteral(R"(<!doctype html><html lang="ja"><head><meta charset="utf-8">)"),
        QStringLiteral(R"(<meta name="viewport" content="width=device-width,initial-scale=1">)"),
        QStringLiteral(R"(<meta http-equiv="Content-Security-Policy" content="default-src 'none'; style-src 'unsafe-inline'; img-src 'none'; script-src 'none'; connect-src 'none'; frame-src 'none'; base-uri 'none'; form-action 'none'">)"),
        QStringLiteral("<style>"),
        QStringLiteral(":root{color-scheme:light dark;--bg:#fff;--fg:#202124;--muted:#626873;--line:#d9dde4;--code:#f2f4f7;--accent:#245ac5}"),
        QStringLiteral("@media (prefers-color-scheme: dark){:root{--bg:#202124;--fg:#e8eaed;--muted:#b4bac4;--line:#494f58;--code:#2b2f35;--accent:#90b6ff}}"),
        QStringLiteral("body{font:16px/1.85 -apple-system,BlinkMacSystemFont,sans-serif;background:var(--bg);color:var(--fg);margin:0;padding:32px;overflow-wrap:anywhere}"),
        QStringLiteral("main{max-width:880px;margin:auto}h1,h2,h3{line-height:1.4;margin:1.4em 0 .6em}h1{font-size:2em}"),
        QStringLiteral("h2{font-size:1.45em;border-bottom:1px solid var(--line);padding-bottom:8px}p,ul,ol,blockquote,pre,table{margin:0 0 1em}"),
        QStringLiteral("a{color:var(--accent)}a:focus{outline:2px solid var(--accent)}"),
        QStringLiteral("code{font:.88em/1.6 ui-monospace,Menlo,monospace;background:var(--code);padding:2px 4px;border-radius:4px}"),
        QStringLiteral("pre{background:var(--code);padding:16px;overflow:auto;border-radius:8px}pre code{padding:0}"),
        QStringLiteral("blockquote{border-left:4px solid var(--line);padding:0 16px;color:var(--muted)}table{border-collapse:collapse;display:block;overflow:auto}"),
        QStringLiteral("th,td{border:1px solid var(--line);padding:8px 16px;text-align:left}hr{border:0;border-top:1px solid var(--line)}img{display:none}"),
        QStringLiteral("</style></head><body><main>"),
    }).join(QLatin1Char('\n'));
    return text;
}

const QString& Markdown::head(Appearance appearance)
{
    static const auto withRule = [](const QString& rule) {
        QString text = head();
        text.insert(text.lastIndexOf(QLatin1Char('\n')) + 1, rule + QLatin1Char('\n'));
        return text;
    };
    static const QString light = withRule(QStringLiteral(
        ":root{color-scheme:light;--bg:#fff;--fg:#202124;--muted:#626873;--line:#d9dde4;--code:#f2f4f7;--accent:#245ac5}"));
    static const QString dark = withRule(QStringLiteral(
        ":root{color-scheme:dark;--bg:#202124;--fg:#e8eaed;--muted:#b4bac4;--line:#494f58;--code:#2b2f35;--accent:#90b6ff}"));
    return appearance == Appearance::dark ? dark : light;
}

QString Markdown::body(const QString& markdown)
{
    return render(markdown, nullptr);
}

QString Markdown::page(const QString& markdown, Appearance appearance)
{
    bool cut = false;
    const QString html = render(markdown, &cut);
    // A page with a paragraph so long that it was cut is laid out once, when it is parsed whole
    // (the style at its end shows it): laid out while it arrives, that paragraph would be laid out
    // again for every piece that came. Any other page shows as it comes, so that the engine keeps
    // the page before on screen until then.
    const QString& top = head(appearance);
    const QLatin1String hide(cut ? "<style>main{display:none}</style>" : "");
    const QLatin1String show(cut ? "<style>main{display:block}</style>" : "");
    const QLatin1String tail("</main></body></html>");
    QString page;
    page.reserve(top.size() + hide.size() + html.size() + show.size() + tail.size());
    page.append(top).append(hide).append(html).append(show).append(tail);
    return page;
}

}  // namespace korimado
