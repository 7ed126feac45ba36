#include "preview/SVGPreview.h"

#include <gtest/gtest.h>

using namespace korimado;

namespace {

const QString svgOpen = QStringLiteral("<svg xmlns=\"http://www.w3.org/2000/svg\" xmlns:xlink=\"http://www.w3.org/1999/xlink\">");
const QString svgClose = QStringLiteral("</svg>");

// The drawing as written into the page.
QString drawing(const SVGPreview::Output& out)
{
    QString html = out.html;
    html.remove(0, SVGPreview::head().size());
    html.chop(QStringLiteral("</main></body></html>").size());
    return html;
}

SVGPreview::Output sanitize(const QString& inner)
{
    return SVGPreview::page(svgOpen + inner + svgClose);
}

QString nested(int depth)
{
    QString svg = svgOpen;
    for (int i = 0; i < depth; ++i) svg += QStringLiteral("<g>");
    for (int i = 0; i < depth; ++i) svg += QStringLiteral("</g>");
    return svg + svgClose;
}

}  // namespace

TEST(SVGPreview, KeepsTheAllowedAndCountsWhatItRemoves)
{
    const SVGPreview::Output plain = sanitize(QStringLiteral("<rect width=\"10\" fill=\"#f00\"/><use href=\"#a\"/>"));
    EXPECT_TRUE(plain.valid);
    EXPECT_EQ(plain.note, QStringLiteral("SVGプレビュー · SMIL / CSSアニメーション"));
    EXPECT_EQ(drawing(plain), QStringLiteral("<svg><rect width=\"10\" fill=\"#f00\"></rect><use href=\"#a\"></use></svg>"));

    const SVGPreview::Output script = sanitize(QStringLiteral("<script>alert(1)</script><circle r=\"1\"/>"));
    EXPECT_EQ(drawing(script), QStringLiteral("<svg><circle r=\"1\"></circle></svg>"));
    EXPECT_EQ(script.note, QStringLiteral("SVGプレビュー（スクリプト・外部参照など1項目を除外）"));

    // A foreign element goes with its whole subtree, as one item.
    const SVGPreview::Output foreign =
        sanitize(QStringLiteral("<foreignObject><div xmlns=\"http://www.w3.org/1999/xhtml\"><p>x</p></div></foreignObject>"
                                "<g xmlns=\"urn:other\"><rect/></g>"));
    EXPECT_EQ(drawing(foreign), QStringLiteral("<svg></svg>"));
    EXPECT_TRUE(foreign.note.contains(QStringLiteral("など2項目")));

    const SVGPreview::Output attributes = sanitize(QStringLiteral(
        "<rect onload=\"a()\" onclick=\"b()\" ONCLICK=\"c()\" src=\"x\" base=\"y\" href=\"http://e/\" "
        "xlink:href=\"file.png\" stroke=\"&quot;&lt;&amp;\"/><use xlink:href=\"#in\"/>"));
    EXPECT_EQ(drawing(attributes),
              QStringLiteral("<svg><rect stroke=\"&quot;&lt;&amp;\"></rect><use href=\"#in\"></use></svg>"));
    EXPECT_TRUE(attributes.note.contains(QStringLiteral("など7項目")));

    // An animation may not retarget links, styles or handlers.
    const SVGPreview::Output animation = sanitize(QStringLiteral(
        "<set attributeName=\"onclick\" to=\"x\"/><animate attributeName=\"HREF\"/><animate attributeName=\"xlink:href\"/>"
        "<set attributeName=\"style\"/><animate attributeName=\"opacity\" dur=\"1s\"/>"));
    EXPECT_EQ(drawing(animation), QStringLiteral("<svg><animate attributeName=\"opacity\" dur=\"1s\"></animate></svg>"));

}

TEST(SVGPreview, AttributeNamesAreComparedWithoutCaseAsTheBrowserReadsThem)
{
    // The browser lowercases these names: HREF is an href, attributename an attributeName.
    const SVGPreview::Output links = sanitize(QStringLiteral(
        "<use HREF=\"http://e/x.svg#a\"/><use Href=\"#in\"/><rect SRC=\"x\" Base=\"y\" oNcLiCk=\"z()\" Width=\"2\"/>"));
    EXPECT_EQ(drawing(links), QStringLiteral("<svg><use></use><use Href=\"#in\"></use><rect Width=\"2\"></rect></svg>"));
    EXPECT_TRUE(links.note.contains(QStringLiteral("など4項目")));

    const SVGPreview::Output animations = sanitize(QStringLiteral(
        "<set attributename=\"href\" to=\"http://e/\"/><animate ATTRIBUTENAME=\" Style \"/>"
        "<set attributeNAME=\"OnBegin\"/><animate attributename=\"x\" dur=\"1s\"/>"));
    EXPECT_EQ(drawing(animations), QStringLiteral("<svg><animate attributename=\"x\" dur=\"1s\"></animate></svg>"));
    EXPECT_TRUE(animations.note.contains(QStringLiteral("など3項目")));
}

TEST(SVGPreview, TextIsEscapedAndStyleKeepsItsCSS)
{
    const SVGPreview::Output out = sanitize(QStringLiteral(
        "<style>rect &gt; g { fill: red } /* &lt;/style&gt;&lt;script&gt; */</style><text>a &lt; b &amp; \"c\"</text>"
        "<!-- comment --><?pi x?><![CDATA[<b>]]>"));
    EXPECT_EQ(drawing(out), QStringLiteral("<svg><style>rect > g { fill: red } /* \\3C /style>\\3C script> */</style>"
                                           "<text>a &lt; b &amp; &quot;c&quot;</text>&lt;b&gt;</svg>"));
    EXPECT_EQ(out.note, QStringLiteral("SVGプレビュー · SMIL / CSSアニメーション")) << "comments are not counted";
}

TEST(SVGPreview, RefusalsAndLimits)
{
    const auto message = [](const SVGPreview::Output& out) {
        EXPECT_FALSE(out.valid);
        EXPECT_EQ(out.note, QStringLiteral("SVGの構文を確認してください"));
        return out.html;
    };
    const QString declarations = SVGPreview::message(SVGPreview::Error::declarations);
    EXPECT_TRUE(message(SVGPreview::page(QStringLiteral("<!doctype svg><svg/>"))).contains(declarations));
    EXPECT_TRUE(message(SVGPreview::page(QStringLiteral("<svg><!-- <!  ENTITY x> --></svg>"))).contains(declarations));
    EXPECT_TRUE(message(SVGPreview::page(QStringLiteral("<SVG/>"))).contains(QStringLiteral("ルート要素を &lt;svg&gt; にしてください。")));
    EXPECT_TRUE(message(SVGPreview::page(QStringLiteral("<svg><g></svg>")))
                    .contains(QStringLiteral("SVGの書式が正しくありません。")));
    EXPECT_TRUE(message(SVGPreview::page(QString())).contains(QStringLiteral("SVGの書式が正しくありません。")));
    EXPECT_TRUE(message(SVGPreview::page(svgOpen + QString(2'000'000, QLatin1Char(' ')) + svgClose))
                    .contains(SVGPreview::message(SVGPreview::Error::tooLarge)));

    // An svg root in a foreign namespace is an empty drawing.
    const SVGPreview::Output foreignRoot = SVGPreview::page(QStringLiteral("<svg xmlns=\"urn:x\"><rect/></svg>"));
    EXPECT_FALSE(foreignRoot.valid);
    EXPECT_TRUE(foreignRoot.note.contains(QStringLiteral("など1項目")));

    const QString limits = SVGPreview::message(SVGPreview::Error::limits);
    EXPECT_TRUE(SVGPreview::page(nested(127)).valid) << "depth 127 is allowed";
    EXPECT_TRUE(message(SVGPreview::page(nested(128))).contains(limits));
    QString many = svgOpen;
    for (int i = 1; i < 30'000; ++i) many += QStringLiteral("<path/>");
    EXPECT_TRUE(SVGPreview::page(many + svgClose).valid) << "30,000 elements with the root";
    EXPECT_TRUE(message(SVGPreview::page(many + QStringLiteral("<path/>") + svgClose)).contains(limits));
    // A fault after the limit is still reported as a fault of the text.
    EXPECT_TRUE(message(SVGPreview::page(many + QStringLiteral("<path/><path>") + svgClose)).contains(QStringLiteral("SVGの書式")));
}
