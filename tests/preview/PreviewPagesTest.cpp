#include "preview/HTMLPreview.h"
#include "preview/Markdown.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

bool contains(const QString& text, const char* part)
{
    return text.contains(QString::fromUtf8(part));
}

// The page with the policy cut out where it was put, to check what surrounds it.
QString around(const QString& page)
{
    QString copy = page;
    copy.replace(HTMLPreview::headText(), QStringLiteral("@"));
    return copy;
}

}  // namespace

TEST(Markdown, RendersTheExtensionsAndKeepsRawHTMLOut)
{
    const QString page = Markdown::page(QStringLiteral(
        "# 見出し\n\n| a | b |\n|---|---|\n| 1 | 2 |\n\n- [x] done\n- [ ] todo\n\n~~old~~ https://example.com\n\n"
        "```cpp\nint x;\n```\n\n<script>alert(1)</script>\n\n![img](pic.png)\n"));
    EXPECT_TRUE(page.startsWith(Markdown::head(Markdown::Appearance::light)));
    EXPECT_TRUE(page.endsWith(QStringLiteral("</main></body></html>")));
    EXPECT_TRUE(contains(page, "<h1>見出し</h1>"));
    EXPECT_TRUE(contains(page, "<table>"));
    EXPECT_TRUE(contains(page, "<td>2</td>"));
    EXPECT_TRUE(contains(page, "type=\"checkbox\" checked=\"\" disabled=\"\""));
    EXPECT_TRUE(contains(page, "<del>old</del>"));
    EXPECT_TRUE(contains(page, "<a href=\"https://example.com\">"));
    EXPECT_TRUE(contains(page, "<code class=\"language-cpp\">"));
    EXPECT_FALSE(contains(page, "<script>")) << "raw HTML is left out";
    // An image may appear in the markup, but the policy and the style sheet both keep it off.
    EXPECT_TRUE(contains(page, "img-src 'none'"));
    EXPECT_TRUE(contains(page, "img{display:none}"));
    EXPECT_EQ(Markdown::body(QString()), QString());
    EXPECT_EQ(Markdown::head().count(QLatin1Char('\n')), 14) << "four head lines, ten of style, the last";
}

TEST(Markdown, ALongParagraphIsCutIntoPiecesThatChangeNothingShown)
{
    const QString cut = QStringLiteral("<span style=\"display:inline-block\"></span>");
    QString lines;
    for (int i = 0; i < 450; ++i) lines += QStringLiteral("line %1\n").arg(i);
    const QString body = Markdown::body(lines + QStringLiteral("\n```\n") + lines + QStringLiteral("```\n"));
    EXPECT_EQ(body.count(cut), 2) << "every 200 soft breaks; none in the code block";
    EXPECT_EQ(body.indexOf(cut), body.indexOf(QStringLiteral("line 200")) - cut.size());
    QString plain = body;
    plain.remove(cut);
    EXPECT_EQ(plain, QStringLiteral("<p>") + lines.chopped(1) + QStringLiteral("</p>\n<pre><code>") + lines
                         + QStringLiteral("</code></pre>\n"));
    EXPECT_EQ(Markdown::body(QStringLiteral("a\nb\n")).count(cut), 0);
}

TEST(Markdown, ThePageTakesTheAppearancesColoursAndOneWithACutParagraphShowsOnlyOnceParsed)
{
    for (const auto appearance : {Markdown::Appearance::light, Markdown::Appearance::dark}) {
        const QString page = Markdown::page(QStringLiteral("x"), appearance);
        EXPECT_TRUE(page.startsWith(Markdown::head(appearance) + QStringLiteral("<p>x</p>")));
        EXPECT_FALSE(contains(page, "main{display:none}")) << "a short page shows as it comes";
    }
    EXPECT_TRUE(contains(Markdown::head(Markdown::Appearance::dark), ":root{color-scheme:dark;--bg:#202124;--fg:#e8eaed"));
    EXPECT_TRUE(contains(Markdown::head(Markdown::Appearance::light), ":root{color-scheme:light;--bg:#fff;--fg:#202124"));
    EXPECT_EQ(Markdown::head(Markdown::Appearance::dark).count(QLatin1Char('\n')), 15) << "one line more than the plain head";

    // Its main shows only when the style at the very end is parsed.
    QString lines;
    for (int i = 0; i < 201; ++i) lines += QStringLiteral("line\n");  // 200 soft breaks
    const QString page = Markdown::page(lines, Markdown::Appearance::light);
    EXPECT_TRUE(page.startsWith(Markdown::head(Markdown::Appearance::light) + QStringLiteral("<style>main{display:none}</style><p>line")));
    EXPECT_TRUE(page.endsWith(QStringLiteral("line</p>\n<style>main{display:block}</style></main></body></html>")));
    // Long pages of many short paragraphs, and text that spells the cut, show as they come.
    EXPECT_FALSE(contains(Markdown::page(lines.replace(QStringLiteral("\n"), QStringLiteral("\n\n"))), "main{display:none}"));
    EXPECT_FALSE(contains(Markdown::page(QStringLiteral("<span style=\"display:inline-block\"></span>\n")), "main{display:none}"));
    // Soft breaks are counted per paragraph: many short ones hold no long one, whatever their sum.
    QString shortOnes;
    for (int i = 0; i < 300; ++i) shortOnes += QStringLiteral("one\ntwo\n\n");
    const QString many = Markdown::page(shortOnes);
    EXPECT_FALSE(contains(many, "main{display:none}"));
    EXPECT_FALSE(contains(many, "display:inline-block"));
}

TEST(HTMLPreview, PolicyGoesWhereTheBrowserTakesItIntoTheHead)
{
    // No html or head tag: a complete page around the document.
    EXPECT_EQ(around(HTMLPreview::page(QStringLiteral("<p>hi</p>"))),
              QStringLiteral("<!doctype html><html><head><meta charset=\"utf-8\">@</head><body><p>hi</p></body></html>"));
    // A head tag in capitals with attributes: right after it.
    EXPECT_EQ(around(HTMLPreview::page(QStringLiteral("<!DOCTYPE html><HTML lang=ja><HEAD data-x=\"a>b\"><title>t</title>"))),
              QStringLiteral("<!DOCTYPE html><HTML lang=ja><HEAD data-x=\"a>b\">@<title>t</title>"));
    // An html tag without a head: a head of its own after it.
    EXPECT_EQ(around(HTMLPreview::page(QStringLiteral("<html><body>x</body></html>"))),
              QStringLiteral("<html><head>@</head><body>x</body></html>"));
    EXPECT_EQ(HTMLPreview::baseURL().toString(), QStringLiteral("kori-preview://local/"));
    EXPECT_TRUE(HTMLPreview::headText().endsWith(QStringLiteral("<base href=\"kori-preview://local/\">")));
}

TEST(HTMLPreview, HeadTagsInCommentsTitlesAndAttributesAreNotTheHead)
{
    // Each of these once took the policy into a place where the browser ignores it.
    const QString comment = QStringLiteral("\uFEFF<!doctype html>\n<!-- <head> -->\n<html><head><title>t</title></head>");
    EXPECT_EQ(around(HTMLPreview::page(comment)),
              QStringLiteral("\uFEFF<!doctype html>\n<!-- <head> -->\n<html><head>@<title>t</title></head>"));

    const QString attribute = QStringLiteral("<html data-note=\"<head>\"><body>x");
    EXPECT_EQ(around(HTMLPreview::page(attribute)), QStringLiteral("<html data-note=\"<head>\"><head>@</head><body>x"));

    // The only head tag stands in a title: the policy opens the head before the first element.
    const QString title = QStringLiteral("<!doctype html><title>about <head> tags</title><img src=x>");
    EXPECT_EQ(around(HTMLPreview::page(title)), QStringLiteral("<!doctype html>@<title>about <head> tags</title><img src=x>"));

    const QString body = QStringLiteral("<!-- x --><body onload=\"<html>\"><p>");
    EXPECT_EQ(around(HTMLPreview::page(body)), QStringLiteral("<!-- x -->@<body onload=\"<html>\"><p>"));

    // "<!-->" closes a comment at once, as in the browser.
    EXPECT_EQ(around(HTMLPreview::page(QStringLiteral("<!--><head>"))), QStringLiteral("<!--><head>@"));
    // A tag that never ends is no head to go after.
    EXPECT_EQ(around(HTMLPreview::page(QStringLiteral("<head title=\"open"))), QStringLiteral("@<head title=\"open"));

    // "--!>" ends a comment too: what follows it is the body's, so the policy goes before it.
    const QString bang = QStringLiteral("<!-- a --!><iframe src=\"https://x/\"></iframe><!-- b -->\n<html><head>");
    EXPECT_EQ(around(HTMLPreview::page(bang)),
              QStringLiteral("<!-- a --!>@<iframe src=\"https://x/\"></iframe><!-- b -->\n<html><head>"));
    EXPECT_EQ(around(HTMLPreview::page(QStringLiteral("<!-- a ---!-><!-- b --!><head>"))),
              QStringLiteral("<!-- a ---!-><!-- b --!><head>@"));
    EXPECT_EQ(around(HTMLPreview::page(QStringLiteral("<!----->x<head>"))), QStringLiteral("<!----->@x<head>"));
}
