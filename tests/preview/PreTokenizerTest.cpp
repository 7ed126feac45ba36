#include "preview/PreTokenizer.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <cstdint>

using namespace korimado;

namespace {

const QString fixtures = QStringLiteral(KORIMADO_SOURCE_RESOURCES "/../tests/fixtures/tokenizer");

constexpr TokenEncoding encodings[] = {TokenEncoding::o200k, TokenEncoding::cl100k};

// Where the scanner and the expression first part, with the text around it, for the failure message.
std::string firstDifference(TokenEncoding encoding, const QString& text)
{
    const std::vector<qsizetype> expected = PreTokenizer::expressionEnds(encoding, text);
    const std::vector<qsizetype> actual = PreTokenizer(encoding).ends(text);
    if (expected == actual) return {};
    std::size_t i = 0;
    while (i < expected.size() && i < actual.size() && expected[i] == actual[i]) ++i;
    const qsizetype at = i == 0 ? 0 : expected[i - 1];
    QString context;
    for (const QChar c : QStringView(text).mid(at, 12)) context += QStringLiteral("U+%1 ").arg(c.unicode(), 4, 16, QLatin1Char('0'));
    return rawValue(encoding).toStdString() + ": after offset " + std::to_string(at) + " the expression ends at "
           + (i < expected.size() ? std::to_string(expected[i]) : "nothing") + ", the scanner at "
           + (i < actual.size() ? std::to_string(actual[i]) : "nothing") + "; text " + context.toStdString();
}

// Characters of every class the expressions name, and those their case-insensitive parts fold.
QString alphabet()
{
    QString a = QStringLiteral("aAzZsStTrReEvVmMlLdD'/ \t\n\r\v\f.,!?-_\"#09");
    for (const char32_t c : {0x00A0, 0x0085, 0x1680, 0x2000, 0x2028, 0x2029, 0x202F, 0x3000, 0x200B, 0x017F, 0x212A,
                             0x00DF, 0x01C5, 0x02B0, 0x3042, 0x30A2, 0x6F22, 0x0301, 0x0903, 0x20DD, 0x0660, 0x2167,
                             0x00B2, 0xFF10, 0xFF21, 0xFF41, 0x3002, 0x300C, 0xFB05, 0x0130, 0x1E9E, 0xFFFD, 0x1D400,
                             0x1D41A, 0x20000, 0x1D7CE, 0x1D165, 0x1F600, 0x1F3FD, 0x10400, 0x10428, 0xE0001}) {
        a += QString::fromUcs4(&c, 1);
    }
    a += QChar(0xD800);  // lone halves
    a += QChar(0xDC00);
    return a;
}

}  // namespace

TEST(PreTokenizer, SplitsTheCorpusAsTheExpressionDoes)
{
    const QStringList names = QDir(fixtures).entryList({QStringLiteral("*.txt")}, QDir::Files);
    ASSERT_GE(names.size(), 7);
    for (const QString& name : names) {
        QFile file(fixtures + QLatin1Char('/') + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QString text = QString::fromUtf8(file.readAll());
        for (const TokenEncoding encoding : encodings) EXPECT_EQ(firstDifference(encoding, text), "") << name.toStdString();
    }
}

TEST(PreTokenizer, SplitsEveryCodePointInContextAsTheExpressionDoes)
{
    // Each BMP code point after and before the characters that decide the alternatives: a letter
    // of each case, a space, a digit, a line break, an apostrophe.
    for (const QString& around : {QStringLiteral(""), QStringLiteral("a"), QStringLiteral("A"), QStringLiteral(" "),
                                  QStringLiteral("1"), QStringLiteral("\n"), QStringLiteral("'")}) {
        QString text;
        for (char32_t c = 1; c < 0x10000; ++c) {
            text += around;
            text += QChar(static_cast<char16_t>(c));
            text += around;
            if (c % 7 == 0) text += QStringLiteral("\u3042 ");
        }
        for (const TokenEncoding encoding : encodings) {
            EXPECT_EQ(firstDifference(encoding, text), "") << "around \"" << around.toStdString() << '"';
        }
    }
}

TEST(PreTokenizer, SplitsMixedRunsAsTheExpressionDoes)
{
    // Short random words of the alphabet, so that every pair and triple of classes meets, and the
    // text ends in each class once.
    const QString letters = alphabet();
    std::vector<char32_t> units;
    for (const char32_t c : letters.toUcs4()) units.push_back(c);
    std::uint32_t seed = 42;
    const auto next = [&seed] { return (seed = seed * 1664525u + 1013904223u) >> 8; };
    for (int round = 0; round < 400; ++round) {
        QString text;
        const int length = 1 + static_cast<int>(next() % 40);
        for (int i = 0; i < length; ++i) {
            const char32_t c = units[next() % units.size()];
            text += c < 0x10000 ? QString(QChar(static_cast<char16_t>(c))) : QString::fromUcs4(&c, 1);
        }
        for (const TokenEncoding encoding : encodings) ASSERT_EQ(firstDifference(encoding, text), "");
    }
    // The expression's own hard cases: white space before a break, at the end, before a word.
    for (const QString& text : {QStringLiteral("a  \n\n  b"), QStringLiteral("x   "), QStringLiteral("x \t y"),
                                QStringLiteral("don't WE'LL it'S he\u017F'\u017F"), QStringLiteral("ABCdef ABC. a\u0301b"),
                                QStringLiteral("  /// \n//\r\n/x"), QStringLiteral("1234567 \u0661\u0662\u0663\u0664")}) {
        for (const TokenEncoding encoding : encodings) EXPECT_EQ(firstDifference(encoding, text), "") << text.toStdString();
    }
}
