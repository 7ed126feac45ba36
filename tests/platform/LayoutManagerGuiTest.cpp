#include "platform/text/LayoutManager.h"

#include <gtest/gtest.h>

#include <QGlyphRun>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTextLayout>

#include <chrono>

using namespace korimado;

namespace {

QFont testFont()
{
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPointSizeF(12);
    return font;
}

std::vector<qsizetype> startsOf(const LayoutManager& layout)
{
    std::vector<qsizetype> out;
    for (qsizetype i = 0; i < layout.paragraphCount(); ++i) out.push_back(layout.paragraphStart(i));
    return out;
}

}  // namespace

// The paragraphs are the storage's lines; what the layout keeps per paragraph (wrapped heights,
// cached layouts) must follow every edit as if laid out afresh.
TEST(LayoutManagerGuiTest, HeightsAndCachedLayoutsFollowRandomEditsWithEveryBreakKind)
{
    QRandomGenerator rng(11);
    const QStringList pieces = {"a", "bc", "\n", "\r", "\r\n", QString(QChar(0x85)), QString(QChar(0x2028)),
                                QString(QChar(0x2029)), "\u3042", "a fairly long run of words to wrap "};
    QString initial;
    for (int i = 0; i < 600; ++i) initial += pieces.at(rng.bounded(int(pieces.size())));
    TextStorage storage(initial);
    LayoutManager layout(storage);
    layout.setFont(testFont());
    layout.setWrapsLines(true);
    layout.setWrapWidth(180);
    const QRectF all(0, 0, 180, 1e9);
    auto fragments = [&](LayoutManager& manager) {
        std::vector<std::pair<TextRange, qreal>> out;
        for (const LineFragment& f : manager.lineFragments(all)) out.emplace_back(f.characterRange, f.rect.top());
        return out;
    };
    fragments(layout);  // everything laid out and cached before the edits
    for (int step = 0; step < 300; ++step) {
        const qsizetype loc = rng.bounded(int(storage.length()) + 1);
        const qsizetype len = rng.bounded(int(std::min<qsizetype>(storage.length() - loc, step % 7 ? 6 : 200)) + 1);
        QString insert;
        for (int i = rng.bounded(3); i > 0; --i) insert += pieces.at(rng.bounded(int(pieces.size())));
        if (step % 50 == 0) {
            storage.beginEditing();  // several edits, one notification
            storage.replaceCharacters(TextRange(loc, len), insert);
            storage.replaceCharacters(TextRange(0, 0), QStringLiteral("\n"));
            storage.endEditing();
        } else {
            storage.replaceCharacters(TextRange(loc, len), insert);
        }
        ASSERT_EQ(layout.paragraphCount(), storage.lines().count());
        if (step % 10 == 0) {
            LayoutManager fresh(storage);
            fresh.setFont(testFont());
            fresh.setWrapsLines(true);
            fresh.setWrapWidth(180);
            ASSERT_EQ(fragments(layout), fragments(fresh)) << "step " << step;
            ASSERT_EQ(layout.documentHeight(), fresh.documentHeight()) << "step " << step;
        }
    }
}

TEST(LayoutManagerGuiTest, CrLfJoinsAndSplitsAcrossEdits)
{
    TextStorage storage(QStringLiteral("ab\rcd"));
    LayoutManager layout(storage);
    EXPECT_EQ(startsOf(layout), (std::vector<qsizetype>{0, 3}));
    storage.replaceCharacters(TextRange(3, 0), QStringLiteral("\n"));  // CR + LF become one break
    EXPECT_EQ(startsOf(layout), (std::vector<qsizetype>{0, 4}));
    EXPECT_EQ(layout.paragraphContentsRange(0), TextRange(0, 2));
    storage.replaceCharacters(TextRange(3, 0), QStringLiteral("x"));  // split again
    EXPECT_EQ(startsOf(layout), (std::vector<qsizetype>{0, 3, 5}));
    storage.replaceCharacters(TextRange(3, 1), QString());  // join by deleting between them
    EXPECT_EQ(startsOf(layout), (std::vector<qsizetype>{0, 4}));
    storage.replaceCharacters(TextRange(0, 0), QStringLiteral("\r"));  // CR before "ab"
    EXPECT_EQ(startsOf(layout), (std::vector<qsizetype>{0, 1, 5}));
}

TEST(LayoutManagerGuiTest, ExtraLineFragmentOnlyAfterAFinalBreakOrInAnEmptyText)
{
    TextStorage storage;
    LayoutManager layout(storage);
    layout.setFont(testFont());
    EXPECT_TRUE(layout.hasExtraLineFragment());
    EXPECT_EQ(layout.extraLineFragmentRect().top(), 0);
    EXPECT_TRUE(layout.lineFragments(QRectF(0, 0, 500, 500)).empty());
    EXPECT_EQ(layout.characterIndex(QPointF(30, 5)), 0);

    storage.setString(QStringLiteral("abc\ndef"));
    EXPECT_FALSE(layout.hasExtraLineFragment());
    EXPECT_EQ(layout.lineFragments(QRectF(0, 0, 500, 500)).size(), 2u);
    EXPECT_EQ(layout.documentHeight(), 2 * layout.rowHeight());

    storage.replaceCharacters(TextRange(7, 0), QStringLiteral("\r\n"));
    ASSERT_TRUE(layout.hasExtraLineFragment());
    EXPECT_EQ(layout.extraLineFragmentRect().top(), 2 * layout.rowHeight());
    EXPECT_EQ(layout.documentHeight(), 3 * layout.rowHeight());
    const auto fragments = layout.lineFragments(QRectF(0, 0, 500, 500));
    ASSERT_EQ(fragments.size(), 2u);
    EXPECT_EQ(fragments[1].characterRange, TextRange(4, 5));  // the line break belongs to its line
    EXPECT_EQ(layout.characterIndex(QPointF(5, 2.5 * layout.rowHeight())), 9);
    EXPECT_EQ(layout.caretRect(9).top(), 2 * layout.rowHeight());
    EXPECT_EQ(layout.glyphRange(QRectF(0, 2 * layout.rowHeight(), 10, 1)), TextRange(9, 0));
}

TEST(LayoutManagerGuiTest, CharacterForPointRoundTripsThroughCaretRects)
{
    TextStorage storage(QStringLiteral("int main() {\n\treturn 0;\n}\n\u65e5\u672c\u8a9e\u306e\u884c abc\n"));
    LayoutManager layout(storage);
    layout.setFont(testFont());
    for (qsizetype p = 0; p + 1 < layout.paragraphCount(); ++p) {
        const TextRange contents = layout.paragraphContentsRange(p);
        for (qsizetype i = contents.location; i < contents.end(); ++i) {
            const QRectF caret = layout.caretRect(i);
            const QRectF next = layout.caretRect(i + 1);
            EXPECT_EQ(caret.top(), p * layout.rowHeight());
            qreal fraction = -1;
            const QPointF quarter(caret.left() + (next.left() - caret.left()) / 4, caret.center().y());
            EXPECT_EQ(layout.characterIndex(quarter, &fraction), i) << "index " << i;
            EXPECT_NEAR(fraction, 0.25, 0.05);
            const QRectF box = layout.boundingRect(TextRange(i, 1));
            EXPECT_NEAR(box.left(), caret.left(), 0.01);
            EXPECT_EQ(layout.lineFragment(i).characterRange.location, layout.paragraphStart(p));
        }
        // Past the end of a line: its line break, at the full fraction.
        qreal fraction = 0;
        EXPECT_EQ(layout.characterIndex(QPointF(2000, (p + 0.5) * layout.rowHeight()), &fraction), contents.end());
        EXPECT_EQ(fraction, 1.0);
    }
    // Tabs are as wide as the configured number of spaces.
    layout.setTabWidth(8);
    EXPECT_NEAR(layout.caretRect(14).left(), 8 * layout.caretRect(1).left(), 0.5);
}

TEST(LayoutManagerGuiTest, TemporaryAttributesMoveWithEditsAndAreRemovedPerOwner)
{
    TextStorage storage(QStringLiteral("0123456789abcdefghij"));
    LayoutManager layout(storage);
    int highlighter = 0, finder = 0;
    TemporaryAttributes red{QColor(Qt::red), std::nullopt, std::nullopt};
    TemporaryAttributes yellow{std::nullopt, QColor(Qt::yellow), std::nullopt};
    layout.addTemporaryAttributes(&highlighter, red, TextRange(2, 3));    // 2..5
    layout.addTemporaryAttributes(&highlighter, red, TextRange(10, 4));   // 10..14
    layout.addTemporaryAttributes(&finder, yellow, TextRange(3, 10));     // 3..13
    layout.addTemporaryAttributes(&highlighter, yellow, TextRange(4, 8));  // merges into the runs above
    auto runsOf = [&](LayoutManager::Owner owner) {
        std::vector<std::pair<TextRange, TemporaryAttributes>> out;
        layout.enumerateTemporaryAttributes(owner, TextRange(0, storage.length()),
                                            [&](TextRange r, const TemporaryAttributes& a) { out.emplace_back(r, a); });
        return out;
    };
    auto h = runsOf(&highlighter);
    ASSERT_EQ(h.size(), 5u);
    EXPECT_EQ(h[0].first, TextRange(2, 2));
    EXPECT_EQ(h[1].first, TextRange(4, 1));
    EXPECT_EQ(h[1].second, (TemporaryAttributes{QColor(Qt::red), QColor(Qt::yellow), std::nullopt}));
    EXPECT_EQ(h[2].first, TextRange(5, 5));
    EXPECT_EQ(h[2].second, yellow);
    EXPECT_EQ(h[3].first, TextRange(10, 2));

    const QString before = storage.string();
    storage.replaceCharacters(TextRange(0, 1), QStringLiteral("XYZ"));  // everything moves by 2
    EXPECT_EQ(runsOf(&finder).front().first, TextRange(5, 10));
    storage.replaceCharacters(TextRange(8, 0), QStringLiteral("++"));  // typed inside a run: it grows
    EXPECT_EQ(runsOf(&finder).front().first, TextRange(5, 12));
    storage.replaceCharacters(TextRange(5, 0), QStringLiteral("<"));  // typed just before it: not coloured
    EXPECT_EQ(runsOf(&finder).front().first, TextRange(6, 12));
    storage.replaceCharacters(TextRange(18, 0), QStringLiteral(">"));  // typed just after it: not coloured
    EXPECT_EQ(runsOf(&finder).front().first, TextRange(6, 12));
    storage.replaceCharacters(TextRange(5, 1), QString());
    storage.replaceCharacters(TextRange(17, 1), QString());
    storage.replaceCharacters(TextRange(0, 9), QString());  // deletes the start of the run
    EXPECT_EQ(runsOf(&finder).front().first, TextRange(0, 8));
    storage.replaceCharacters(TextRange(0, 8), QString());  // deletes all of it
    EXPECT_TRUE(runsOf(&finder).empty());

    layout.addTemporaryAttributes(&highlighter, red, TextRange(1, 4));
    layout.removeTemporaryAttributes(&highlighter, TextRange(0, 2));
    ASSERT_EQ(runsOf(&highlighter).size(), 1u);
    EXPECT_EQ(runsOf(&highlighter).front().first, TextRange(2, 3));
    layout.removeTemporaryAttributes(&highlighter);
    EXPECT_TRUE(runsOf(&highlighter).empty());
    EXPECT_NE(storage.string(), before);  // (the edits above were real; the attributes never were)
}

TEST(LayoutManagerGuiTest, TemporaryAttributesDoNotNotifyTheStorage)
{
    TextStorage storage(QStringLiteral("hello world"));
    int notifications = 0;
    storage.addObserver([&](TextStorage&, const TextStorageEdit&) { ++notifications; });
    LayoutManager layout(storage);
    int owner = 0;
    layout.addTemporaryAttributes(&owner, TemporaryAttributes{QColor(Qt::blue), std::nullopt, std::nullopt}, TextRange(0, 5));
    QImage image(200, 50, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    layout.draw(painter, QRectF(0, 0, 200, 50), QPointF(0, 0), {SelectionHighlight{TextRange(6, 5), QColor(Qt::gray)}});
    painter.end();
    EXPECT_EQ(notifications, 0);
    // Something blue was drawn for the coloured word.
    bool blue = false;
    for (int y = 0; y < image.height() && !blue; ++y)
        for (int x = 0; x < 100 && !blue; ++x) blue = qBlue(image.pixel(x, y)) > 150 && qRed(image.pixel(x, y)) < 100;
    EXPECT_TRUE(blue);
}

TEST(LayoutManagerGuiTest, WrappedHeightsStartAsEstimatesAndAreCorrectedByLayout)
{
    QString text;
    for (int i = 0; i < 200; ++i) text += QStringLiteral("\u3042").repeated(59) + QLatin1Char('\n');  // wide characters
    TextStorage storage(text);
    LayoutManager layout(storage);
    layout.setFont(testFont());
    layout.setWrapWidth(20 * layout.averageCharacterWidth());
    layout.setWrapsLines(true);
    const int estimate = layout.rowsOfParagraph(5);
    EXPECT_EQ(estimate, 3);  // 60 units (with the break) of average width in 20 columns
    const qreal heightBefore = layout.documentHeight();
    layout.lineFragments(QRectF(0, 0, 1000, 10 * layout.rowHeight()));
    EXPECT_TRUE(layout.isParagraphLaidOut(0));
    EXPECT_GT(layout.rowsOfParagraph(0), estimate);  // full-width characters take more rows
    EXPECT_EQ(layout.rowsOfParagraph(150), estimate);  // not laid out yet
    EXPECT_GT(layout.documentHeight(), heightBefore);
    // Positions below follow the corrected heights.
    const qreal top1 = layout.caretRect(layout.paragraphStart(1)).top();
    EXPECT_EQ(top1, layout.rowsOfParagraph(0) * layout.rowHeight());
    const qsizetype inside = layout.paragraphStart(1) + 30;
    EXPECT_EQ(layout.characterIndex(layout.caretRect(inside).center() + QPointF(1, 0)), inside);

    // Edits after a wrap keep the table consistent.
    storage.replaceCharacters(TextRange(0, 0), QStringLiteral("x\n"));
    EXPECT_EQ(layout.paragraphCount(), 202);
    EXPECT_EQ(layout.documentHeight(), [&] {
        qreal h = 0;
        for (qsizetype i = 0; i < layout.paragraphCount(); ++i) h += layout.rowsOfParagraph(i) * layout.rowHeight();
        return h;
    }());
}

TEST(LayoutManagerGuiTest, AVeryLongParagraphIsLaidOutInSegments)
{
    QString line;
    while (line.size() < 300000) line += QStringLiteral("word ");
    TextStorage storage(line + QStringLiteral("\nnext"));
    LayoutManager layout(storage);
    layout.setFont(testFont());
    const auto start = std::chrono::steady_clock::now();
    const QRectF caret = layout.caretRect(250000);
    const auto fragments = layout.lineFragments(QRectF(caret.left() - 200, 0, 800, 2 * layout.rowHeight()));
    const auto ms = std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    EXPECT_LT(ms, 500);  // generous: only the segments near the caret are laid out
    ASSERT_FALSE(fragments.empty());
    EXPECT_LE(fragments.size(), 3u);
    bool holds = false;
    for (const LineFragment& f : fragments) holds |= f.characterRange.contains(250000);
    EXPECT_TRUE(holds);
    EXPECT_FALSE(layout.isParagraphLaidOut(0));
    EXPECT_EQ(layout.characterIndex(QPointF(caret.left() + 1, 5)), 250000);
    EXPECT_EQ(layout.paragraphCount(), 2);

    layout.setWrapWidth(600);
    layout.setWrapsLines(true);
    const QRectF wrapped = layout.caretRect(299990);
    EXPECT_GT(wrapped.top(), 100 * layout.rowHeight());
    EXPECT_LE(wrapped.right(), 601);
}

TEST(LayoutManagerGuiTest, JapaneseLinesUseARealFont)
{
    TextStorage storage(QStringLiteral("\u65e5\u672c\u8a9e\u306e\u6587\u7ae0\u3067\u3059\u3002\u30ab\u30bf\u30ab\u30ca"));
    LayoutManager layout(storage);
    layout.setFont(testFont());
    QTextLayout probe(storage.string(), layout.font());
    probe.beginLayout();
    probe.createLine();
    probe.endLayout();
    for (const QGlyphRun& run : probe.glyphRuns())
        for (quint32 glyph : run.glyphIndexes()) EXPECT_NE(glyph, 0u);
    // Rows stay on the fixed grid although the fallback font is taller.
    EXPECT_EQ(layout.lineFragments(QRectF(0, 0, 500, 100)).front().rect.height(), layout.rowHeight());
    QImage image(400, 60, QImage::Format_ARGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    layout.setShowsInvisibleCharacters(true);
    layout.draw(painter, QRectF(0, 0, 400, 60), QPointF(0, 0));
}

// A screen far down a long text must show its text, not only the first screen's.
TEST(LayoutManagerGuiTest, DrawsTextAnywhereInALongDocument)
{
    QString text;
    for (int i = 0; i < 3000; ++i) text += QStringLiteral("MMMMMMMMMMMMMMMM\n");
    TextStorage storage(text);
    LayoutManager layout(storage);
    layout.setFont(testFont());
    layout.setTextColor(Qt::black);
    for (const qreal top : {0.0, layout.rowHeight() * 1500, layout.rowHeight() * 2990}) {
        QImage image(300, 120, QImage::Format_RGB32);
        image.fill(Qt::white);
        {
            QPainter painter(&image);
            const QRectF exposed(0, top, 300, 120);
            layout.draw(painter, exposed, QPointF(0, -top));
        }
        int dark = 0;
        for (int y = 0; y < image.height(); ++y)
            for (int x = 0; x < image.width(); ++x) dark += qGray(image.pixel(x, y)) < 128 ? 1 : 0;
        EXPECT_GT(dark, 200) << "screen at " << top;
    }
}

// Glyphs prepared for a screen are the ones that screen draws, row for row: the same text in the
// same places once the painter is moved back by the distance it was drawn away, and nothing
// from the rows around it, wrapped or not.
TEST(LayoutManagerGuiTest, PreparingGlyphsDrawsTheScreensTextAwayFromIt)
{
    QString text;
    for (int i = 0; i < 400; ++i) text += QStringLiteral("let value%1 = \"\u65e5\u672c\u8a9e\" // code\n").arg(i);
    text += QStringLiteral("a long paragraph to wrap ").repeated(80) + QStringLiteral("\n");
    for (int i = 0; i < 40; ++i) text += QStringLiteral("tail %1\n").arg(i);
    TextStorage storage(text);
    for (const bool wraps : {false, true}) {
        LayoutManager layout(storage);
        layout.setFont(testFont());
        layout.setTextColor(Qt::black);
        layout.setWrapsLines(wraps);
        layout.setWrapWidth(300);
        const qreal top = layout.rowHeight() * 395.5;
        const QRectF screen(0, top, 300, layout.rowHeight() * 12);
        const QPointF origin(5, -top);
        auto drawn = [&](auto&& paint) {
            QImage image(320, int(layout.rowHeight() * 20), QImage::Format_ARGB32_Premultiplied);
            image.fill(Qt::transparent);
            QPainter painter(&image);
            paint(painter);
            return image;
        };
        const QImage shown = drawn([&](QPainter& painter) { layout.draw(painter, screen, origin); });
        const QImage prepared = drawn([&](QPainter& painter) {
            painter.translate(0, 1e6 - top);
            layout.prepareGlyphs(painter, screen, origin, 0);
        });
        EXPECT_EQ(prepared, shown) << "wrapping " << wraps;
        EXPECT_FALSE(shown == drawn([](QPainter&) {})) << "the screen shows text, wrapping " << wraps;
        const QImage shifted = drawn([&](QPainter& painter) {
            painter.translate(0, 1e6 - top);
            layout.prepareGlyphs(painter, screen, origin, 0.5);
        });
        EXPECT_FALSE(shifted == shown) << "moved by half a pixel, wrapping " << wraps;
    }
}

TEST(LayoutManagerGuiTest, ColouringALongLineLaysOutOnlyTheSegmentsOnScreen)
{
    // About 5 MB of JSON without a line break.
    QString line = QStringLiteral("[");
    for (int n = 0; line.size() < 5'000'000; ++n)
        line += QStringLiteral("{\"id\":%1,\"name\":\"項目%1\",\"active\":true},").arg(n);
    TextStorage storage(line);
    const qsizetype segmentsInLine = storage.length() / LayoutManager::SegmentUnits;

    for (const bool wraps : {false, true}) {
        SCOPED_TRACE(wraps ? "wrapped" : "unwrapped");
        LayoutManager layout(storage);
        layout.setFont(testFont());
        layout.setWrapWidth(900);
        layout.setWrapsLines(wraps);
        QSignalSpy redraws(&layout, &LayoutManager::needsDisplay);
        // A screen in the middle of the line.
        const QRectF caret = layout.caretRect(storage.length() / 2);
        const QRectF screen(wraps ? 0 : caret.left(), wraps ? caret.top() : 0, 900, 700);
        const TextRange visible = layout.glyphRange(screen);
        ASSERT_TRUE(visible.contains(storage.length() / 2));
        const qsizetype laidOut = layout.laidOutSegmentCount(0);
        EXPECT_LE(laidOut, 3) << "of " << segmentsInLine;
        const int rows = layout.rowsOfParagraph(0);

        // A token every few units over the screen and well beyond it, in one batch.
        std::vector<TemporaryAttributeRange> tokens;
        const TextRange painted = TextRange::fromBounds(visible.location - 8000, visible.end() + 8000);
        for (qsizetype at = painted.location; at + 3 < painted.end(); at += 5)
            tokens.push_back({TextRange(at, 3), TemporaryAttributes{QColor(Qt::red), std::nullopt, std::nullopt}});
        redraws.clear();
        const quint64 before = layout.segmentLayoutCount();
        layout.addTemporaryAttributes(&layout, tokens);
        EXPECT_EQ(redraws.count(), 1);
        EXPECT_EQ(layout.segmentLayoutCount(), before) << "adding lays nothing out";
        EXPECT_EQ(layout.rowsOfParagraph(0), rows) << "the line keeps its heights";

        // Drawing the screen again lays out its segments again, and no others.
        QImage image(900, 700, QImage::Format_ARGB32);
        QPainter painter(&image);
        layout.draw(painter, screen, -screen.topLeft());
        painter.end();
        EXPECT_LE(layout.segmentLayoutCount() - before, static_cast<quint64>(laidOut));
        EXPECT_LE(layout.laidOutSegmentCount(0), laidOut);
        EXPECT_EQ(layout.glyphRange(screen), visible);
        // The colours reached the layout drawn.
        bool red = false;
        layout.enumerateTemporaryAttributes(&layout, visible, [&](TextRange, const TemporaryAttributes& a) {
            red |= a.foreground == QColor(Qt::red);
        });
        EXPECT_TRUE(red);

        redraws.clear();
        layout.removeTemporaryAttributes(&layout);
        EXPECT_EQ(redraws.count(), 1);
        EXPECT_EQ(layout.rowsOfParagraph(0), rows);
    }
}

TEST(LayoutManagerGuiTest, TypingInOneLineOfManyKeepsTheOtherLinesUntouched)
{
    QString text;
    for (int i = 0; i < 200000; ++i) text += QStringLiteral("line %1\n").arg(i);
    TextStorage storage(text);
    LayoutManager layout(storage);
    layout.setFont(testFont());
    layout.setWrapWidth(400);
    layout.setWrapsLines(true);
    const qreal height = layout.documentHeight();
    const qsizetype tail = layout.paragraphStart(150000);

    // Typing near the top moves every later line; the tree of heights stays right.
    storage.replaceCharacters(TextRange(3, 0), QStringLiteral("xyz"));
    EXPECT_EQ(layout.paragraphStart(150000), tail + 3);
    EXPECT_EQ(layout.paragraphIndex(tail + 3), 150000);
    EXPECT_DOUBLE_EQ(layout.documentHeight(), height);
    // A line long enough to wrap: only its own rows change.
    storage.replaceCharacters(TextRange(layout.paragraphStart(10), 0), QString(300, QLatin1Char('w')));
    EXPECT_GT(layout.rowsOfParagraph(10), 1);
    EXPECT_DOUBLE_EQ(layout.documentHeight(), height + (layout.rowsOfParagraph(10) - 1) * layout.rowHeight());
    EXPECT_DOUBLE_EQ(layout.caretRect(layout.paragraphStart(11)).top(),
                     (10 + layout.rowsOfParagraph(10)) * layout.rowHeight());
    LayoutManager fresh(storage);
    fresh.setFont(testFont());
    fresh.setWrapWidth(400);
    fresh.setWrapsLines(true);
    EXPECT_EQ(startsOf(layout), startsOf(fresh));
}

TEST(LayoutManagerGuiTest, ColouringOneScreenOfALongLineKeepsTheLayoutsOfTheOthers)
{
    QString line;
    for (int n = 0; line.size() < 2'000'000; ++n) line += QStringLiteral("{\"key\":%1,\"value\":\"テキスト\"},").arg(n);
    TextStorage storage(line);
    for (const bool wraps : {false, true}) {
        SCOPED_TRACE(wraps ? "wrapped" : "unwrapped");
        LayoutManager layout(storage);
        layout.setFont(testFont());
        layout.setWrapWidth(900);
        layout.setWrapsLines(wraps);
        QImage image(900, 700, QImage::Format_ARGB32);
        const auto drawAt = [&](const QRectF& screen) {
            QPainter painter(&image);
            layout.draw(painter, screen, -screen.topLeft());
        };
        // The start of the line is drawn first: its rows are then known exactly.
        const QRectF start(0, 0, 900, 700);
        drawAt(start);
        const QRectF caret = layout.caretRect(storage.length() / 2);
        const QRectF middle(wraps ? 0 : caret.left(), wraps ? caret.top() : 0, 900, 700);
        drawAt(middle);
        const TextRange shown = layout.glyphRange(middle);
        const int rows = layout.rowsOfParagraph(0);

        layout.addTemporaryAttributes(&layout, {{shown, TemporaryAttributes{QColor(Qt::blue), std::nullopt, std::nullopt}}});
        EXPECT_EQ(layout.rowsOfParagraph(0), rows) << "heights laid out before stay";
        const quint64 before = layout.segmentLayoutCount();
        drawAt(start);
        EXPECT_EQ(layout.segmentLayoutCount(), before) << "the start of the line was not coloured: its layout stays";
        drawAt(middle);
        EXPECT_GT(layout.segmentLayoutCount(), before) << "the coloured screen is laid out again";
        layout.removeTemporaryAttributes(&layout);
        const quint64 afterRemoval = layout.segmentLayoutCount();
        drawAt(start);
        EXPECT_EQ(layout.segmentLayoutCount(), afterRemoval);
    }
}

// A composition stands in its line without being part of the text: what follows it moves on (and
// wraps), and every position the layout reports maps back to the text.
TEST(LayoutManagerGuiTest, ACompositionIsLaidOutInItsLineAndMapsBackToTheText)
{
    TextStorage storage(QStringLiteral("abc def\nghi"));
    LayoutManager layout(storage);
    layout.setFont(testFont());
    const qreal w = layout.averageCharacterWidth();
    const qreal row = layout.rowHeight();
    const std::uint64_t revision = storage.revision();

    layout.setMarkedText(QStringLiteral("XYZ"), {2});
    EXPECT_NEAR(layout.caretRect(2).left(), 2 * w, 0.5) << "a caret at the composition stands before it";
    EXPECT_NEAR(layout.caretRect(3).left(), 6 * w, 0.5);
    EXPECT_NEAR(layout.markedCaretRect(2, 3).left(), 5 * w, 0.5);
    EXPECT_NEAR(layout.caretRect(9).left(), 1 * w, 0.5) << "the next line stays";
    EXPECT_EQ(layout.characterIndex(QPointF(7.5 * w, row / 2)), 4);
    EXPECT_EQ(layout.characterIndex(QPointF(3.5 * w, row / 2)), 2) << "inside the composition: its place";
    EXPECT_NEAR(layout.boundingRect(TextRange(2, 1)).left(), 5 * w, 0.5);
    std::vector<LineFragment> fragments = layout.lineFragments(QRectF(0, 0, 1000, 1000));
    ASSERT_EQ(fragments.size(), 2u);
    EXPECT_EQ(fragments[0].characterRange, TextRange(0, 8));
    EXPECT_NEAR(fragments[0].usedRect.width(), 10 * w, 0.5);
    EXPECT_EQ(storage.revision(), revision);

    // Several carets: the composition at each, in one line.
    layout.setMarkedText(QStringLiteral("XYZ"), {5, 1});
    EXPECT_EQ(layout.markedLocations(), (std::vector<qsizetype>{1, 5}));
    EXPECT_NEAR(layout.caretRect(6).left(), 12 * w, 0.5);
    EXPECT_EQ(layout.characterIndex(QPointF(9.5 * w, row / 2)), 5) << "in the second composition";
    EXPECT_EQ(layout.characterIndex(QPointF(12.5 * w, row / 2)), 6);

    // It follows edits before it.
    storage.replaceCharacters(TextRange(0, 0), QStringLiteral("__"));
    EXPECT_EQ(layout.markedLocations(), (std::vector<qsizetype>{3, 7}));
    EXPECT_NEAR(layout.caretRect(8).left(), 14 * w, 0.5);
    layout.clearMarkedText();
    EXPECT_NEAR(layout.caretRect(8).left(), 8 * w, 0.5);

    // With wrapping it wraps with its line.
    layout.setWrapsLines(true);
    layout.setWrapWidth(12 * w);
    layout.lineFragments(QRectF(0, 0, 1000, 1000));
    EXPECT_EQ(layout.rowsOfParagraph(0), 1);
    layout.setMarkedText(QString(20, QChar(u'x')), {4});
    layout.lineFragments(QRectF(0, 0, 1000, 1000));
    EXPECT_GE(layout.rowsOfParagraph(0), 3);
    EXPECT_GE(layout.caretRect(5).top(), 2 * row);
    EXPECT_GE(layout.caretRect(11).top(), 3 * row) << "the next line moves down";
    layout.clearMarkedText();
    layout.lineFragments(QRectF(0, 0, 1000, 1000));
    EXPECT_EQ(layout.rowsOfParagraph(0), 1);
}

TEST(LayoutManagerGuiTest, ACompositionOnTheEmptyLastLineOrInALongLine)
{
    TextStorage storage(QStringLiteral("abc\n"));
    LayoutManager layout(storage);
    layout.setFont(testFont());
    const qreal w = layout.averageCharacterWidth();
    EXPECT_TRUE(layout.hasExtraLineFragment());
    layout.setMarkedText(QStringLiteral("あい"), {4});
    EXPECT_FALSE(layout.hasExtraLineFragment()) << "the composition makes the last line a line";
    const std::vector<LineFragment> fragments = layout.lineFragments(QRectF(0, 0, 1000, 1000));
    ASSERT_EQ(fragments.size(), 2u);
    EXPECT_EQ(fragments[1].characterRange, TextRange(4, 0));
    EXPECT_GT(layout.markedCaretRect(4, 2).left(), 2 * w);
    EXPECT_EQ(layout.markedCaretRect(4, 2).top(), layout.rowHeight());
    layout.clearMarkedText();
    EXPECT_TRUE(layout.hasExtraLineFragment());

    // In a line of several segments each keystroke lays out again only the segment it stands in.
    storage.setString(QString(3 * LayoutManager::SegmentUnits, QChar(u'a')));
    layout.lineFragments(QRectF(-1e7, 0, 2e7, 100));
    const qsizetype segments = layout.laidOutSegmentCount(0);
    ASSERT_GE(segments, 3);
    const quint64 before = layout.segmentLayoutCount();
    const qsizetype middle = LayoutManager::SegmentUnits + 100;
    const qreal x = layout.caretRect(middle + 10).left();
    for (int keystroke = 1; keystroke <= 3; ++keystroke) {
        layout.setMarkedText(QString(keystroke, QChar(u'k')), {middle});
        EXPECT_NEAR(layout.caretRect(middle + 10).left(), x + keystroke * w, 0.5);
    }
    EXPECT_EQ(layout.segmentLayoutCount() - before, 3u);
    EXPECT_EQ(layout.laidOutSegmentCount(0), segments);
}

// A keystroke asks for its own rows to be drawn again; only a change of rows moves the rest.
TEST(LayoutManagerGuiTest, AnEditAsksToRedrawItsRowsOrEverythingBelowWhenRowsMove)
{
    QString text;
    for (int i = 0; i < 100; ++i) text += QStringLiteral("line %1 of text\n").arg(i);
    for (const bool wraps : {false, true}) {
        SCOPED_TRACE(wraps ? "wrapped" : "unwrapped");
        TextStorage storage(text);
        LayoutManager layout(storage);
        layout.setFont(testFont());
        layout.setWrapWidth(12 * layout.averageCharacterWidth());
        layout.setWrapsLines(wraps);
        layout.lineFragments(QRectF(0, 0, 1000, 30 * layout.rowHeight()));  // on screen: laid out
        layout.paragraphsRect(0, 0);  // as a view asks for its caret's rows
        const qreal row = layout.rowHeight();
        QSignalSpy redraws(&layout, &LayoutManager::needsDisplay);
        QSignalSpy changes(&layout, &LayoutManager::layoutChanged);

        storage.replaceCharacters(TextRange(layout.paragraphStart(5) + 2, 0), QStringLiteral("x"));
        ASSERT_EQ(redraws.size(), 1);
        EXPECT_EQ(changes.size(), 0);
        const QRectF rows = redraws.takeFirst().at(0).toRectF();
        EXPECT_EQ(rows, layout.paragraphsRect(5, 5));
        EXPECT_DOUBLE_EQ(rows.height(), layout.rowsOfParagraph(5) * row);

        storage.replaceCharacters(TextRange(layout.paragraphStart(7), 0), QStringLiteral("\n"));
        ASSERT_EQ(redraws.size(), 1);
        EXPECT_EQ(changes.size(), 1);
        const QRectF below = redraws.takeFirst().at(0).toRectF();
        EXPECT_DOUBLE_EQ(below.top(), layout.paragraphsRect(6, 6).top());
        EXPECT_GE(below.bottom(), layout.documentHeight());
    }
}

// Colouring the same screen again after a keystroke lays out and redraws only what changed colour.
TEST(LayoutManagerGuiTest, SettingColoursAgainRedrawsOnlyWhereTheyDiffer)
{
    QString text;
    for (int i = 0; i < 50; ++i) text += QStringLiteral("int value%1 = %1;\n").arg(i);
    TextStorage storage(text);
    LayoutManager layout(storage);
    layout.setFont(testFont());
    TemporaryAttributes keyword;
    keyword.foreground = QColor(175, 82, 222);
    TemporaryAttributes number;
    number.foreground = QColor(255, 149, 0);
    std::vector<TemporaryAttributeRange> colours;
    for (qsizetype i = 0; i < 50; ++i) colours.push_back({TextRange(layout.paragraphStart(i), 3), keyword});
    const int owner = 0;
    layout.setTemporaryAttributes(&owner, colours);
    layout.lineFragments(QRectF(0, 0, 1000, 50 * layout.rowHeight()));
    ASSERT_TRUE(layout.isParagraphLaidOut(3));

    QSignalSpy redraws(&layout, &LayoutManager::needsDisplay);
    layout.setTemporaryAttributes(&owner, colours);
    EXPECT_EQ(redraws.size(), 0);
    EXPECT_TRUE(layout.isParagraphLaidOut(3));

    colours[20].attributes = number;
    layout.setTemporaryAttributes(&owner, colours);
    ASSERT_EQ(redraws.size(), 1);
    EXPECT_EQ(redraws.takeFirst().at(0).toRectF(), layout.paragraphsRect(20, 20));
    EXPECT_TRUE(layout.isParagraphLaidOut(3));
    EXPECT_FALSE(layout.isParagraphLaidOut(20));
    std::vector<std::pair<TextRange, QColor>> seen;
    layout.enumerateTemporaryAttributes(&owner, TextRange(0, storage.length()),
                                        [&](TextRange r, const TemporaryAttributes& a) { seen.emplace_back(r, *a.foreground); });
    ASSERT_EQ(seen.size(), 50u);
    EXPECT_EQ(seen[20].second, QColor(255, 149, 0));
    EXPECT_EQ(seen[21].second, QColor(175, 82, 222));

    // Fewer colours than before: the ones that went are redrawn too.
    colours.resize(10);
    layout.setTemporaryAttributes(&owner, colours);
    ASSERT_EQ(redraws.size(), 1);
    const QRectF gone = redraws.takeFirst().at(0).toRectF();
    EXPECT_DOUBLE_EQ(gone.top(), layout.paragraphsRect(10, 10).top());
    EXPECT_DOUBLE_EQ(gone.bottom(), layout.paragraphsRect(49, 49).bottom());
}
