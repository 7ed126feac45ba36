#include "document/TextCodec.h"
#include "preview/TextStatisticsEngine.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>

#include <optional>

using namespace korimado;
using test::spinUntil;

namespace {

TextFormat formatOf(TextEncoding encoding, bool bom = false)
{
    TextFormat format;
    format.encoding = encoding;
    format.bom = bom;
    return format;
}

struct Answer {
    std::optional<TextMetrics> metrics;
    std::optional<TokenCountResult> tokens;
    int metricsCalls = 0;
    int tokenCalls = 0;
};

// Sends one request and waits until its callbacks have come (or 200 ms more of nothing).
Answer ask(TextStatisticsEngine& engine, const QString& text, std::uint64_t revision, TextRange selection,
           const TextFormat& format, TokenEncoding encoding, int wait = 5000)
{
    Answer answer;
    engine.request(
        text, revision, selection, format, encoding,
        [&](const TextMetrics& m) { answer.metrics = m, ++answer.metricsCalls; },
        [&](const TokenCountResult& r) { answer.tokens = r, ++answer.tokenCalls; });
    spinUntil([&] { return answer.metrics && (encoding == TokenEncoding::off || answer.tokens); }, wait);
    test::spinFor(100);
    return answer;
}

}  // namespace

TEST(TextStatisticsEngine, CountsCharactersAndDropsOvertakenRequests)
{
    TextStatisticsEngine engine;
    // A family emoji is one character of several code points.
    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    const QString text = QStringLiteral("ab") + family + QStringLiteral("c");
    int firstCalls = 0;
    engine.request(text, 1, {0, 0}, formatOf(TextEncoding::utf8), TokenEncoding::o200k,
                   [&](const TextMetrics&) { ++firstCalls; }, [&](const TokenCountResult&) { ++firstCalls; });
    const Answer second = ask(engine, text, 1, {2, family.size()}, formatOf(TextEncoding::utf8), TokenEncoding::off);
    EXPECT_EQ(firstCalls, 0) << "the first request was overtaken";
    EXPECT_EQ(second.tokenCalls, 0) << "no token count while the encoding is off";
    EXPECT_EQ(second.metricsCalls, 1);
    EXPECT_EQ(*second.metrics, (TextMetrics{4, 1, 2, text.toUtf8().size()}));

    // A selection inside the family counts its part as a text of its own.
    const Answer inside = ask(engine, text, 1, {4, 3}, formatOf(TextEncoding::utf8), TokenEncoding::off);
    EXPECT_EQ(inside.metrics->selectedCharacters, 2);
    EXPECT_EQ(inside.metrics->position, 3);

    // A new revision replaces the index.
    const Answer edited = ask(engine, QStringLiteral("xyz"), 2, {3, 0}, formatOf(TextEncoding::utf8), TokenEncoding::off);
    EXPECT_EQ(*edited.metrics, (TextMetrics{3, 0, 3, 3}));
}

TEST(TextStatisticsEngine, EmptyTextsSizesAndSelectionsOutside)
{
    TextStatisticsEngine engine;
    EXPECT_EQ(*ask(engine, QString(), 1, {0, 0}, formatOf(TextEncoding::utf8), TokenEncoding::off).metrics,
              (TextMetrics{0, 0, 0, 0}));
    EXPECT_EQ(ask(engine, QString(), 1, {0, 0}, formatOf(TextEncoding::utf8, true), TokenEncoding::off).metrics->bytes, 3)
        << "the byte-order mark alone";
    EXPECT_EQ(ask(engine, QStringLiteral("日本"), 2, {0, 0}, formatOf(TextEncoding::utf16BE, true), TokenEncoding::off)
                  .metrics->bytes,
              6);

    const Answer outside = ask(engine, QStringLiteral("abc"), 3, {2, 5}, formatOf(TextEncoding::utf8), TokenEncoding::o200k, 300);
    EXPECT_EQ(outside.metricsCalls + outside.tokenCalls, 0) << "a selection outside the text delivers nothing";
}

TEST(TextStatisticsEngine, UnencodableTextStillCountsTokens)
{
    TextStatisticsEngine engine;
    const Answer answer =
        ask(engine, QStringLiteral("日本 text"), 2, {0, 0}, formatOf(TextEncoding::ascii), TokenEncoding::o200k);
    EXPECT_EQ(answer.metrics->characters, 7);
    EXPECT_FALSE(answer.metrics->bytes.has_value());
    ASSERT_TRUE(answer.tokens && answer.tokens->succeeded());
    EXPECT_EQ(*answer.tokens->count, LocalTokenizer::shared(TokenEncoding::o200k)->count(QStringLiteral("日本 text"), {}));

    // The whole text selected is the whole text, and an ordinary selection counts its substring.
    const Answer all = ask(engine, QStringLiteral("日本 text"), 2, {0, 7}, formatOf(TextEncoding::ascii), TokenEncoding::o200k);
    EXPECT_EQ(all.tokens->count, answer.tokens->count);
    const Answer part = ask(engine, QStringLiteral("日本 text"), 2, {2, 5}, formatOf(TextEncoding::ascii), TokenEncoding::cl100k);
    EXPECT_EQ(*part.tokens->count, LocalTokenizer::shared(TokenEncoding::cl100k)->count(QStringLiteral(" text"), {}));
}

TEST(TextStatisticsEngine, TokenFailuresAreDeliveredAndInvalidationSilences)
{
    TextStatisticsEngine engine;
    const QString run(static_cast<qsizetype>(LocalTokenizer::maximumPieceBytes) + 1, QLatin1Char('~'));
    const Answer limited = ask(engine, run, 1, {0, 0}, formatOf(TextEncoding::utf8), TokenEncoding::cl100k, 60000);
    ASSERT_TRUE(limited.tokens.has_value());
    EXPECT_EQ(limited.tokens->error, CountingError::resourceLimit);
    EXPECT_EQ(limited.metrics->characters, run.size());

    bool late = false;
    engine.request(QStringLiteral("x"), 3, {0, 0}, formatOf(TextEncoding::utf8), TokenEncoding::off,
                   [&](const TextMetrics&) { late = true; }, {});
    engine.invalidate();
    test::spinFor(200);
    EXPECT_FALSE(late);
}

TEST(TextStatisticsEngine, PiecewiseSizeEqualsTheCodec)
{
    // Surrogate pairs across the 65,536-unit pieces, and a lone one far in.
    QString text;
    while (text.size() < 200'000) text += QStringLiteral("a\U0001F600日本\r\n");
    for (const TextEncoding encoding : {TextEncoding::utf8, TextEncoding::utf16LE, TextEncoding::utf32BE, TextEncoding::shiftJIS}) {
        for (const bool bom : {false, true}) {
            const TextFormat format = formatOf(encoding, bom && encoding.supportsBOM());
            std::optional<qint64> expected;
            try {
                expected = TextCodec::encodedSize(text, format);
            } catch (...) {
            }
            EXPECT_EQ(TextStatisticsEngine::encodedSize(TextSource::of(text), format), expected)
                << encoding.rawValue().toStdString();
        }
    }
    QString broken = text;
    broken[150'000] = QChar(0xD800);
    EXPECT_FALSE(TextStatisticsEngine::encodedSize(TextSource::of(broken), formatOf(TextEncoding::utf8)));
}
