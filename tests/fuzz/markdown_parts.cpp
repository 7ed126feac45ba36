// A Markdown source parsed in parts gives the HTML the library makes of it parsed whole, however
// it is cut: the parts are taken where the source allows, and a part that ends in a block that
// might run on has the source parsed whole.
#include "FuzzSupport.h"

#include "preview/Markdown.h"
#include "preview/MarkdownParts.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <string>

using namespace korimado;

namespace {

QByteArray libraryHtml(const QByteArray& source)
{
    cmark_gfm_core_extensions_ensure_registered();
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    for (const char* name : {"table", "strikethrough", "autolink", "tasklist"})
        cmark_parser_attach_syntax_extension(parser, cmark_find_syntax_extension(name));
    cmark_parser_feed(parser, source.constData(), std::size_t(source.size()));
    cmark_node* document = cmark_parser_finish(parser);
    char* html = cmark_render_html(document, CMARK_OPT_DEFAULT, cmark_parser_get_syntax_extensions(parser));
    QByteArray out(html);
    cmark_get_default_mem_allocator()->free(html);
    cmark_node_free(document);
    cmark_parser_free(parser);
    return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    // Source as the page takes it: UTF-8 made from text.
    const QByteArray source = QString::fromUtf8(fuzz::bytes(data, size)).toUtf8();
    const QByteArray whole = libraryHtml(source);
    FUZZ_CHECK(Markdown::bodyInParts(source, 1) == whole);
    for (const std::size_t parts : {2u, 3u, 7u}) {
        const std::vector<std::size_t> bounds = MarkdownParts::bounds(source, parts);
        FUZZ_CHECK(bounds.size() >= 2 && bounds.size() <= parts + 1);
        FUZZ_CHECK(bounds.front() == 0 && bounds.back() == std::size_t(source.size()));
        for (std::size_t k = 1; k + 1 < bounds.size(); ++k) {
            FUZZ_CHECK(bounds[k - 1] < bounds[k]);
            FUZZ_CHECK(source[qsizetype(bounds[k]) - 1] == '\n');
        }
        FUZZ_CHECK(Markdown::bodyInParts(source, parts) == whole);
    }
    return 0;
}
