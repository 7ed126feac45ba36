#include "preview/TextStatisticsEngine.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <optional>

using namespace korimado;

namespace {

template <typename Done>
bool spinUntil(Done done, int ms = 5000)
{
    QElapsedTimer timer;
    timer.start();
    while (!done() && timer.elapsed() < ms) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return done();
}

TextFormat utf8()
{
    TextFormat format;
    format.encoding = TextEncoding::utf8;
    return format;
}

}  // namespace

TEST(TextStatisticsEngine, CountsCharactersAndDropsOvertakenRequests)
{
    TextStatisticsEngine engine;
    // A family emoji is one character of several code points.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    const QString text = QStringLiteral("ab") + family + QStringLiteral("c");
    int firstCalls = 0;
    engine.request(text, 1, {0, 0}, utf8(), TokenEncoding::off, [&](const TextMetrics&) { ++firstCalls; }, {});
    std::optional<TextMetrics> metrics;
    int tokenCalls = 0;
    engine.request(text, 1, {2, family.size()}, utf8(), TokenEncoding::off,
                   [&](const TextMetrics& m) { metrics = m; }, [&](const TokenCountResult&) { ++tokenCalls; });
    ASSERT_TRUE(spinUntil([&] { return metrics.has_value(); }));
    QCoreApplication::processEvents();
    EXPECT_EQ(firstCalls, 0) << "the first request was overtaken";
    EXPECT_EQ(tokenCalls, 0) << "no token count while the encoding is off";
    EXPECT_EQ(*metrics, (TextMetrics{4, 1, 2, text.toUtf8().size()}));
}

TEST(TextStatisticsEngine, UnencodableTextHasNoSizeAndInvalidationSilences)
{
    TextStatisticsEngine engine;
    TextFormat ascii;
    ascii.encoding = TextEncoding::ascii;
    std::optional<TextMetrics> metrics;
    std::optional<TokenCountResult> tokens;
    engine.request(QStringLiteral("日本"), 2, {0, 0}, ascii, TokenEncoding::o200k,
                   [&](const TextMetrics& m) { metrics = m; }, [&](const TokenCountResult& r) { tokens = r; });
    ASSERT_TRUE(spinUntil([&] { return metrics.has_value() && tokens.has_value(); }));
    EXPECT_EQ(metrics->characters, 2);
    EXPECT_FALSE(metrics->bytes.has_value());
    EXPECT_FALSE(tokens->succeeded());

    bool late = false;
    engine.request(QStringLiteral("x"), 3, {0, 0}, utf8(), TokenEncoding::off, [&](const TextMetrics&) { late = true; }, {});
    engine.invalidate();
    spinUntil([] { return false; }, 200);
    EXPECT_FALSE(late);
}
