#include "BenchSupport.h"

#include "platform/text/LayoutManager.h"

#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QRandomGenerator>

using namespace korimado;
using namespace korimado::bench;

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    TextStorage storage;
    storage.setString(generateMixedText(32 * 1024 * 1024));
    Stopwatch open;
    LayoutManager layout(storage);
    QImage image(1200, 900, QImage::Format_ARGB32_Premultiplied);
    QPainter painter(&image);
    layout.draw(painter, QRectF(0, 0, 1200, 900), QPointF());
    report("layout_open_to_first_paint_64mib_ms", open.ms());
    report("layout_paragraphs", static_cast<double>(layout.paragraphCount()));

    QRandomGenerator rng(3);
    std::vector<double> typing;
    const qsizetype at = storage.length() / 2;
    const qreal y = layout.caretRect(at).top();
    for (int i = 0; i < 500; ++i) {
        Stopwatch s;
        storage.replaceCharacters(TextRange(at + i, 0), i % 40 == 39 ? QStringLiteral("\n") : QStringLiteral("x"));
        layout.draw(painter, QRectF(0, y - 450, 1200, 900), QPointF(0, 450 - y));
        typing.push_back(s.ms());
    }
    report("layout_type_and_repaint_p95_ms", percentile(typing, 95));

    for (bool wraps : {false, true}) {
        layout.setWrapWidth(1000);
        layout.setWrapsLines(wraps);
        std::vector<double> paints;
        for (int i = 0; i < 100; ++i) {
            const qreal top = rng.bounded(1.0) * (layout.documentHeight() - 900);
            Stopwatch s;
            layout.draw(painter, QRectF(0, top, 1200, 900), QPointF(0, -top));
            paints.push_back(s.ms());
        }
        report(wraps ? "layout_paint_screen_wrapped_p95_ms" : "layout_paint_screen_p95_ms", percentile(paints, 95));
    }

    QString line;
    while (line.size() < 5 * 1024 * 1024) line += QStringLiteral("token, ");
    storage.setString(line);
    layout.setWrapsLines(false);
    std::vector<double> steps;
    for (int i = 0; i < 50; ++i) {
        const qsizetype pos = rng.bounded(int(storage.length()));
        Stopwatch s;
        const QRectF caret = layout.caretRect(pos);
        storage.replaceCharacters(TextRange(pos, 0), QStringLiteral("y"));
        layout.draw(painter, QRectF(caret.left() - 600, 0, 1200, 900), QPointF(600 - caret.left(), 0));
        steps.push_back(s.ms());
    }
    report("layout_5mb_line_step_max_ms", *std::max_element(steps.begin(), steps.end()));
    report("peak_rss_mb", peakRssMb());
    return 0;
}
