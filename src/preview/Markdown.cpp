#include "preview/Markdown.h"

#include "platform/foundation/MemoryAdvice.h"
#include "platform/foundation/ParallelParts.h"
#include "platform/foundation/Utf8Decoder.h"
#include "platform/foundation/Utf8Encoder.h"
#include "preview/CmarkArena.h"
#include "preview/MarkdownParts.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <QStringList>

#include <algorithm>
#include <cstring>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <vector>

namespace korimado {

namespace {

std::once_flag registered;

constexpr int linesPerPiece = 200;
constexpr const char* pieceCut = "<span style=\"display:inline-block\"></span>";

// Whether some paragraph may hold linesPerPiece soft breaks: only a run of that many lines and
// one more, none of them blank, can. Most pages have none, and are spared a walk of their tree.
bool mayHoldLongParagraph(QByteArrayView utf8)
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
        cmark_node* piece = cmark_node_new_with_mem(CMARK_NODE_CUSTOM_INLINE, CmarkArena::mem());
        cmark_node_set_on_enter(piece, pieceCut);
        if (cmark_node_insert_after(node, piece)) {
            cut = true;
        } else {
            cmark_node_free(piece);
        }
    }
    return cut;
}

// One part's HTML, as cmark wrote it into the part's arena, and what the part's parse found.
struct RenderedPart {
    std::unique_ptr<CmarkArena> arena;
    const char* html = nullptr;
    std::size_t length = 0;
    bool cut = false;
    // Whether the part ends with a block that might have taken lines of the next part had they
    // been parsed together: a fence or raw HTML still open, or a table or code block at all.
    bool mayReachOn = false;
};

void renderPart(QByteArrayView source, bool mayCut, RenderedPart& out)
{
    std::call_once(registered, [] { cmark_gfm_core_extensions_ensure_registered(); });
    out.arena = std::make_unique<CmarkArena>(std::size_t(source.size()));
    // Parser, tree and page all live in the arena and go with it, unfreed one by one.
    const CmarkArena::Use use(*out.arena);
    cmark_parser* parser = cmark_parser_new_with_mem(CMARK_OPT_DEFAULT, CmarkArena::mem());
    if (!parser) return;
    for (const char* name : {"table", "strikethrough", "autolink", "tasklist"}) {
        if (cmark_syntax_extension* extension = cmark_find_syntax_extension(name)) {
            cmark_parser_attach_syntax_extension(parser, extension);
        }
    }
    cmark_parser_feed(parser, source.data(), static_cast<size_t>(source.size()));
    cmark_node* document = nullptr;
    {
        // The inline pass turns the extensions' characters on in a table the library keeps for
        // every parser, and off when it ends: two at once would turn them off under each other
        // and drop strike-through and links from one page.
        static std::mutex inlinePass;
        const std::lock_guard lock(inlinePass);
        document = cmark_parser_finish(parser);
    }
    if (!document) return;
    if (cmark_node* last = cmark_node_last_child(document)) {
        const cmark_node_type type = cmark_node_get_type(last);
        const char* name = cmark_node_get_type_string(last);
        out.mayReachOn = type == CMARK_NODE_CODE_BLOCK || type == CMARK_NODE_HTML_BLOCK
            || (name && std::strcmp(name, "table") == 0);
    }
    out.cut = mayCut && cutLongParagraphs(document);
    out.html = cmark_render_html_with_mem(document, CMARK_OPT_DEFAULT, cmark_parser_get_syntax_extensions(parser),
                                          CmarkArena::mem());
    if (out.html) out.length = std::strlen(out.html);
}

// The source's blocks as HTML, in parts: a large source is parsed in parts at once where a cut
// cannot change what it parses to. Should a part end in a block that might have run on, the
// source is parsed whole. None when the library fails.
std::optional<std::vector<RenderedPart>> renderParts(QByteArrayView source, std::size_t parts)
{
    const bool mayCut = mayHoldLongParagraph(source);
    std::vector<std::size_t> bounds = MarkdownParts::bounds(source, parts);
    std::vector<RenderedPart> rendered;
    const auto parse = [&] {
        rendered = std::vector<RenderedPart>(bounds.size() - 1);
        runInParts(rendered.size(), [&](std::size_t k) {
            renderPart(source.sliced(qsizetype(bounds[k]), qsizetype(bounds[k + 1] - bounds[k])), mayCut, rendered[k]);
        });
    };
    parse();
    if (std::any_of(rendered.begin(), rendered.end() - 1, [](const RenderedPart& part) { return part.mayReachOn; })) {
        bounds = {0, std::size_t(source.size())};
        parse();
    }
    if (std::any_of(rendered.begin(), rendered.end(), [](const RenderedPart& part) { return !part.html; })) return std::nullopt;
    return std::optional<std::vector<RenderedPart>>(std::move(rendered));
}

// The parts' HTML between `before` and `after`, as one UTF-8 text.
QByteArray joined(QByteArrayView before, std::span<const RenderedPart> parts, QByteArrayView after)
{
    qsizetype length = before.size() + after.size();
    for (const RenderedPart& part : parts) length += qsizetype(part.length);
    QByteArray text(length, Qt::Uninitialized);
    if (length >= (qsizetype(4) << 20)) adviseLargeBuffer(text.data(), std::size_t(length));
    char* at = std::copy(before.begin(), before.end(), text.data());
    for (const RenderedPart& part : parts) at = std::copy_n(part.html, part.length, at);
    std::copy(after.begin(), after.end(), at);
    return text;
}

// The parts a source is worth parsing in: one per quarter of a megabyte or so, at most four.
std::size_t partsFor(qsizetype bytes)
{
    constexpr std::size_t share = 256 * 1024;
    const std::size_t parts = parallelPartCount(std::size_t(bytes), 2 * share, 4);
    return std::clamp<std::size_t>(std::size_t(bytes) / share, 1, parts);
}

// cmark writes what it read, and U+FFFD for what it could not: UTF-8 the checked decoder takes,
// in parts at once; Qt's is there should it ever not.
QString decoded(const QByteArray& utf8)
{
    std::optional<QString> text = Utf8Decoder::decode(utf8);
    return text ? std::move(*text) : QString::fromUtf8(utf8);
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
    const QByteArray source = Utf8Encoder::encode(markdown);
    const auto parts = renderParts(source, partsFor(source.size()));
    return parts ? decoded(joined({}, *parts, {})) : QString();
}

QByteArray Markdown::bodyInParts(QByteArrayView utf8, std::size_t parts, std::size_t* parsedIn)
{
    const auto rendered = renderParts(utf8, parts);
    if (parsedIn) *parsedIn = rendered ? rendered->size() : 0;
    return rendered ? joined({}, *rendered, {}) : QByteArray();
}

QString Markdown::page(const QString& markdown, Appearance appearance)
{
    const QByteArray source = Utf8Encoder::encode(markdown);
    const auto parts = renderParts(source, partsFor(source.size()));
    const bool cut = parts && std::any_of(parts->begin(), parts->end(), [](const RenderedPart& part) { return part.cut; });
    // A page with a paragraph so long that it was cut is laid out once, when it is parsed whole
    // (the style at its end shows it): laid out while it arrives, that paragraph would be laid out
    // again for every piece that came. Any other page shows as it comes, so that the engine keeps
    // the page before on screen until then.
    static const QByteArray light = head(Appearance::light).toUtf8();
    static const QByteArray dark = head(Appearance::dark).toUtf8();
    QByteArray before = appearance == Appearance::dark ? dark : light;
    QByteArray after("</main></body></html>");
    if (cut) {
        before += "<style>main{display:none}</style>";
        after.prepend("<style>main{display:block}</style>");
    }
    return decoded(joined(before, parts ? std::span<const RenderedPart>(*parts) : std::span<const RenderedPart>(), after));
}

}  // namespace korimado
