#include "preview/MarkdownParts.h"
#include "preview/Markdown.h"

#include <cmark-gfm-core-extensions.h>
#include <cmark-gfm.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using namespace korimado;

namespace {

// Documents whose blocks reach across blank lines, each with a plain paragraph around it so that
// there are places to cut before and after.
const char* const tricky[] = {
    "```\nfenced\n\n# not a heading\n\nstill code\n```\n",
    "~~~~ info\ncode\n\n```\nstill\n\nmore ~~~\n~~~~\n",
    "- item\n\n  continued\n\n- second item\n\nafter\n",
    "1. one\n\n   ```\n   code\n\n   ```\n2. two\n",
    "> quote\n\n> quote again\n\nplain\n",
    "> quote\nlazy continuation line\n\nnext\n",
    "<!--\ncomment\n\nstill comment\n-->\n\nafter the comment\n",
    "<div>\nhtml\n\nnot html\n</div>\n",
    "<pre>\nkept\n\nkept too\n</pre>\n",
    "<script>\nx\n\ny\n</script>\n",
    "| a | b |\n|---|---|\n| 1 | 2 |\n\nnot a row | here\n",
    "a | b\n--|--\n1 | 2\n\n| c | d |\n",
    "Setext heading\n==============\n\nAnother\n---\n\n---\n",
    "    indented code\n\n    more code\n\nparagraph\n",
    "* star item\n\n* loose star item\n\n+ plus item\n",
    "- [x] done\n- [ ] open\n\n  still in the item\n\nend\n",
    "Text with ~~strike~~ and www.example.com and https://example.org/path and mail@example.com\n",
    "\t tab indented\n\nparagraph\n",
    "1) paren list\n\n2) more\n\n10. ten\n",
    "\xEF\xBB\xBF"
    "byte-order mark at a line start\n",
    "Windows line ends\r\n\r\nsecond paragraph\r\n",
    "```\nunclosed fence to the end\n\nline\n",
};

// The bench's kind of document, a table and a list among plain blocks, repeated to `bytes`.
std::string plainDocument(std::size_t bytes)
{
    static const char* const blocks[] = {
        "# Heading\n\nA paragraph with *emphasis* and `code`.\n\n",
        "## 表\n\n| 名前 | 値 |\n|---|---:|\n| りんご | 120 |\n\n",
        "- [x] 済んだ https://example.org\n  - 入れ子\n\n",
        "```cpp\nint main() {}\n```\n\n> 引用\n\n",
    };
    std::string text;
    for (std::size_t i = 0; text.size() < bytes; ++i) text += blocks[i % 4];
    return text;
}

// What the library alone makes of the source, parsed whole: the page must not differ from it.
std::string libraryHtml(const std::string& source)
{
    cmark_gfm_core_extensions_ensure_registered();
    cmark_parser* parser = cmark_parser_new(CMARK_OPT_DEFAULT);
    for (const char* name : {"table", "strikethrough", "autolink", "tasklist"})
        cmark_parser_attach_syntax_extension(parser, cmark_find_syntax_extension(name));
    cmark_parser_feed(parser, source.data(), source.size());
    cmark_node* document = cmark_parser_finish(parser);
    char* html = cmark_render_html(document, CMARK_OPT_DEFAULT, cmark_parser_get_syntax_extensions(parser));
    std::string out(html);
    cmark_get_default_mem_allocator()->free(html);
    cmark_node_free(document);
    cmark_parser_free(parser);
    return out;
}

std::string inParts(const std::string& source, std::size_t parts, std::size_t* parsedIn = nullptr)
{
    const QByteArray html =
        Markdown::bodyInParts(QByteArrayView(source.data(), qsizetype(source.size())), parts, parsedIn);
    return html.toStdString();
}

}  // namespace

TEST(MarkdownParts, CutsOnlyBeforeALineThatBeginsABlockOfItsOwn)
{
    const std::string text = "para one\n\n- list\n\n> quote\n\n  indented\n\n|row|\n\n12. x\n\n# Heading\n\nlast\n";
    const std::vector<std::size_t> bounds =
        MarkdownParts::bounds(QByteArrayView(text.data(), qsizetype(text.size())), 20);
    std::vector<std::string> starts;
    for (std::size_t k = 1; k + 1 < bounds.size(); ++k)
        starts.push_back(text.substr(bounds[k], text.find('\n', bounds[k]) - bounds[k]));
    EXPECT_EQ(starts, (std::vector<std::string>{"# Heading", "last"}));
    EXPECT_EQ(bounds.front(), 0u);
    EXPECT_EQ(bounds.back(), text.size());

    const auto count = [](const std::string& source) {
        return MarkdownParts::bounds(QByteArrayView(source.data(), qsizetype(source.size())), 8).size() - 1;
    };
    const std::string plain = plainDocument(4000);
    EXPECT_EQ(count(plain), 8u);
    EXPECT_EQ(count(plain + "\n[ref]: https://example.com\n"), 1u) << "a definition reaches the whole document";
    EXPECT_EQ(count(plain + "\n[^note]: a footnote's definition\n"), 1u);
    EXPECT_EQ(count("a\rb\n\n" + plain), 1u) << "a bare carriage return ends a line where none is looked for";
    EXPECT_EQ(MarkdownParts::bounds(QByteArrayView(), 4), (std::vector<std::size_t>{0, 0}));
    EXPECT_EQ(count("# only one block\n"), 1u);
}

TEST(MarkdownParts, NoCutInsideAFenceOrRawHTMLThatBlankLinesDoNotEnd)
{
    for (const char* open : {"```\n", "~~~\n", "> ```\n", "- ```\n", "<!--\n", "<script>\n", "<PRE>\n"}) {
        std::string text = std::string("intro\n\n") + open;
        for (int i = 0; i < 40; ++i) text += "line\n\n# heading-like line\n\n";
        const std::vector<std::size_t> bounds =
            MarkdownParts::bounds(QByteArrayView(text.data(), qsizetype(text.size())), 8);
        EXPECT_EQ(bounds.size(), 2u) << open;
    }
}

TEST(MarkdownParts, APageParsedInPartsIsThePageParsedWhole)
{
    // Each tricky piece between plain blocks, then all of them in turn, cut at every place the
    // guess allows.
    std::vector<std::string> documents;
    for (const char* piece : tricky) documents.push_back(plainDocument(300) + piece + "\n" + plainDocument(300));
    std::string all;
    for (const char* piece : tricky) all += plainDocument(200) + piece + "\npara\n\n";
    documents.push_back(all);
    documents.push_back(all + "[ref]: https://example.com\n\nuse [ref]\n");
    documents.push_back(std::string(tricky[0]) + plainDocument(2000));
    documents.push_back(plainDocument(2000) + "```\nnever closed\n\n# inside\n");

    std::size_t cutDocuments = 0;
    for (const std::string& document : documents) {
        const std::string whole = libraryHtml(document);
        ASSERT_EQ(inParts(document, 1), whole) << document;
        bool cut = false;
        for (std::size_t parts : {2u, 3u, 5u, 8u, 64u}) {
            std::size_t parsedIn = 0;
            EXPECT_EQ(inParts(document, parts, &parsedIn), whole) << parts << " parts of\n" << document;
            cut = cut || parsedIn > 1;
        }
        cutDocuments += cut;
    }
    EXPECT_GE(cutDocuments, documents.size() * 3 / 4) << "most documents were really cut";
}

TEST(MarkdownParts, APartEndingInABlockThatMightRunOnIsParsedWhole)
{
    // The guess cannot see a fence opened inside a list item that the next unindented line ends,
    // so it takes the next fence line for the close: the parts it offers end inside code.
    std::string text = "- item\n\n   ```\n   code\n\nparagraph\n   ```\n";
    for (int i = 0; i < 50; ++i) text += "line " + std::to_string(i) + "\n\n";
    std::size_t parsedIn = 0;
    EXPECT_EQ(inParts(text, 4, &parsedIn), libraryHtml(text));
    EXPECT_EQ(parsedIn, 1u);
}

TEST(MarkdownParts, ALargePageKeepsItsLongParagraphsCutAndItsInlines)
{
    std::string text = plainDocument(600 * 1024);
    std::string lines;
    for (int i = 0; i < 450; ++i) lines += "line ~~" + std::to_string(i) + "~~\n";
    text += lines + "\n" + plainDocument(600 * 1024);
    std::size_t parsedIn = 0;
    const std::string html = inParts(text, 4, &parsedIn);
    EXPECT_EQ(parsedIn, 4u);
    const std::string cut = "<span style=\"display:inline-block\"></span>";
    std::size_t cuts = 0;
    for (std::size_t at = html.find(cut); at != std::string::npos; at = html.find(cut, at + 1)) ++cuts;
    EXPECT_EQ(cuts, 2u);
    std::string plain = html;
    for (std::size_t at; (at = plain.find(cut)) != std::string::npos;) plain.erase(at, cut.size());
    EXPECT_EQ(plain, libraryHtml(text)) << "strike-through and links in every part, parsed at once";
}
