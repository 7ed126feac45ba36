#include "preview/TokenBlocks.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRandomGenerator>

using namespace korimado;

namespace {

const QString fixtures = QStringLiteral(KORIMADO_SOURCE_RESOURCES "/../tests/fixtures/tokenizer");

QString fixtureText()
{
    QString text;
    for (const QString& name : QDir(fixtures).entryList({QStringLiteral("*.txt")}, QDir::Files, QDir::Name)) {
        QFile file(fixtures + QLatin1Char('/') + name);
        if (file.open(QIODevice::ReadOnly)) text += QString::fromUtf8(file.readAll());
    }
    return text;
}

// Units around line starts that once made pieces cross a line feed: spaces, tabs, slashes,
// punctuation and line breaks of every kind, marks, digits, apostrophes.
QString randomText(QRandomGenerator& random, int length)
{
    static const char16_t alphabet[] = {u'a', u'B', u'\n', u'\n', u'\n', u'\r', u' ', u' ', u'\t', u'/', u'.', u'\'',
                                        u's', u'1', 0x3042, 0x0301, 0x0085, 0x2028, 0x000B, 0x000C, 0x00A0, u'#', u'-'};
    QString text;
    for (int i = 0; i < length; ++i) text += QChar(alphabet[random.bounded(static_cast<int>(std::size(alphabet)))]);
    return text;
}

}  // namespace

TEST(TokenBlocks, NoPieceCrossesABlockEnd)
{
    QRandomGenerator random(20240601);
    for (const TokenEncoding encoding : {TokenEncoding::o200k, TokenEncoding::cl100k}) {
        const auto tokenizer = LocalTokenizer::shared(encoding);
        int ends = 0;
        for (int round = 0; round < 1500; ++round) {
            const QString text = randomText(random, 40);
            const qint64 whole = tokenizer->count(text, {});
            for (qsizetype p = 1; p < text.size(); ++p) {
                if (!TokenBlocks::isSafeEnd(text, p)) continue;
                ++ends;
                ASSERT_EQ(tokenizer->count(QStringView(text).left(p), {}) + tokenizer->count(QStringView(text).mid(p), {}), whole)
                    << "split at " << p << " of " << text.toStdString() << " in " << rawValue(encoding).toStdString();
            }
        }
        EXPECT_GT(ends, 1000) << "the random texts offer block ends";
    }
}

TEST(TokenBlocks, BlocksEndWhereTheTextSaysAndKeepTheirSizes)
{
    const QString line = QStringLiteral("int value = compute(1, 2); // 日本語\n");
    QString text;
    while (text.size() < 400'000) text += line;
    const std::vector<qsizetype> ends = TokenBlocks::blockEnds(text);
    ASSERT_GT(ends.size(), 5u);
    qsizetype start = 0;
    for (const qsizetype end : ends) {
        if (end != text.size()) {
            EXPECT_TRUE(TokenBlocks::isSafeEnd(text, end));
            EXPECT_GE(end - start, TokenBlocks::minimumBlock);
        }
        EXPECT_LE(end - start, TokenBlocks::maximumBlock + line.size());
        start = end;
    }
    EXPECT_EQ(ends.back(), text.size());
    // Indented lines only, or no line breaks at all: one block.
    EXPECT_EQ(TokenBlocks::blockEnds(QString(100'000, QLatin1Char('x'))).size(), 1u);
    QString indented;
    while (indented.size() < 100'000) indented += QStringLiteral("\n\n  \n");
    EXPECT_EQ(TokenBlocks::blockEnds(indented).size(), 1u);
}

TEST(TokenBlocks, CountsEqualTheWholeTextsAcrossRandomEditsAndRecountOnlyTouchedBlocks)
{
    const QString sample = fixtureText();
    ASSERT_GT(sample.size(), 5000);
    QString text;
    while (text.size() < 600'000) text += sample;
    QRandomGenerator random(77);
    for (const TokenEncoding encoding : {TokenEncoding::o200k, TokenEncoding::cl100k}) {
        const auto tokenizer = LocalTokenizer::shared(encoding);
        TokenBlocks blocks(tokenizer);
        QString edited = text;
        EXPECT_EQ(blocks.count(edited, {}), tokenizer->count(edited, {}));
        EXPECT_EQ(blocks.lastCounted(), blocks.lastBlocks()) << "a first count counts every block";
        EXPECT_GT(blocks.lastBlocks(), 20u);
        for (int round = 0; round < 12; ++round) {
            const qsizetype at = random.bounded(static_cast<int>(edited.size()));
            const qsizetype removed = std::min<qsizetype>(random.bounded(40), edited.size() - at);
            edited.replace(at, removed, randomText(random, random.bounded(30)));
            ASSERT_EQ(blocks.count(edited, {}), tokenizer->count(edited, {})) << "after edit " << round;
            EXPECT_LE(blocks.lastCounted(), 3u) << "an edit touches the blocks around it only";
        }
        // Undoing to the first text finds every block again.
        EXPECT_EQ(blocks.count(text, {}), tokenizer->count(text, {}));
    }
}

TEST(TokenBlocks, FailuresAndCancellationAreTheWholeTextsToo)
{
    const auto tokenizer = LocalTokenizer::shared(TokenEncoding::o200k);
    TokenBlocks blocks(tokenizer);
    QString text;
    while (text.size() < 200'000) text += QStringLiteral("word and more words\n");
    text += QString(3'000'000, QLatin1Char('~'));
    try {
        blocks.count(text, {});
        ADD_FAILURE() << "counted";
    } catch (CountingError error) {
        EXPECT_EQ(error, CountingError::resourceLimit);
    }
    try {
        blocks.count(text.left(200'000), [] { return true; });
        ADD_FAILURE() << "not cancelled";
    } catch (CountingError error) {
        EXPECT_EQ(error, CountingError::cancelled);
    }
    EXPECT_EQ(blocks.count(QString(), {}), 0);
}
