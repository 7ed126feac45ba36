#include "preview/CharacterIndex.h"

#include <gtest/gtest.h>

#include <unicode/brkiter.h>
#include <unicode/utext.h>

#include <memory>
#include <random>
#include <set>

using namespace korimado;

namespace {

// ICU's own boundaries over the whole text: what the index must agree with.
std::vector<qsizetype> icuBoundaries(const QString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    UText ut = UTEXT_INITIALIZER;
    utext_openUChars(&ut, reinterpret_cast<const UChar*>(text.utf16()), text.size(), &status);
    std::unique_ptr<icu::BreakIterator> it(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    it->setText(&ut, status);
    std::vector<qsizetype> out;
    for (int32_t b = it->first(); b != icu::BreakIterator::DONE; b = it->next()) out.push_back(b);
    utext_close(&ut);
    return out;
}

// Pieces that cluster in every way the rules know, with ASCII and Japanese between them.
QString trickyText(int pieces, unsigned seed)
{
    const QString parts[] = {
        QStringLiteral("abc "),
        QStringLiteral("日本語、"),
        QStringLiteral("\r\n"),
        QStringLiteral("\r"),
        QStringLiteral("\n"),
        QStringLiteral("e\u0301\u0302"),                              // combining marks
        QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467"),  // a family
        QStringLiteral("\U0001F1EF\U0001F1F5\U0001F1FA"),              // flags and a lone indicator
        QStringLiteral("\U0001F44D\U0001F3FD"),                        // a skin tone
        QStringLiteral("\u1100\u1161\u11A8\uAC00\u11A8"),              // Hangul jamo and syllables
        QStringLiteral("\u0915\u094D\u0937\u093F"),                    // Devanagari with a spacing mark
        QStringLiteral("\u0600\u0661"),                                // a prepended mark
        QStringLiteral("ｶﾞｷﾞ"),                                        // halfwidth voiced marks extend
        QStringLiteral("\t\u0001\u0300"),                              // a control, then a mark alone
        QString(QChar(0xDC00)),                                        // a lone low surrogate
    };
    std::mt19937 random(seed);
    QString text;
    for (int i = 0; i < pieces; ++i) text += parts[random() % std::size(parts)];
    return text;
}

void expectAgreesWithICU(const QString& text)
{
    const std::vector<qsizetype> boundaries = icuBoundaries(text);
    const std::optional<CharacterIndex> index = CharacterIndex::build(TextSource::of(text));
    ASSERT_TRUE(index.has_value());
    ASSERT_EQ(index->count(), static_cast<qsizetype>(boundaries.size()) - 1);
    for (std::size_t k = 0; k < index->offsets().size(); ++k) {
        const qsizetype offset = index->offsets()[k];
        ASSERT_TRUE(std::binary_search(boundaries.begin(), boundaries.end(), offset)) << "checkpoint off a boundary";
        ASSERT_EQ(index->counts()[k], std::lower_bound(boundaries.begin(), boundaries.end(), offset) - boundaries.begin());
        if (k > 0) {
            EXPECT_GE(offset - index->offsets()[k - 1], CharacterIndex::checkpointSpacing);
        }
    }
    std::mt19937 random(99);
    const std::set<qsizetype> isBoundary(boundaries.begin(), boundaries.end());
    for (int i = 0; i < 300; ++i) {
        const qsizetype a = static_cast<qsizetype>(random() % static_cast<unsigned>(text.size() + 1));
        const qsizetype e = a + static_cast<qsizetype>(random() % static_cast<unsigned>(text.size() - a + 1));
        // A partial character at the end counts as one, as in a text of its own.
        ASSERT_EQ(index->position(a), CharacterIndex::countCharacters(QStringView(text).left(a))) << a;
        ASSERT_EQ(index->isBoundary(a), isBoundary.count(a) == 1) << a;
        const qsizetype expected = isBoundary.count(a) && isBoundary.count(e)
                                       ? std::lower_bound(boundaries.begin(), boundaries.end(), e)
                                             - std::lower_bound(boundaries.begin(), boundaries.end(), a)
                                       : CharacterIndex::countCharacters(QStringView(text).mid(a, e - a));
        ASSERT_EQ(index->characters({a, e - a}), expected) << a << ".." << e;
    }
}

}  // namespace

TEST(CharacterIndex, AgreesWithICUAcrossCheckpointsAndReadingWindows)
{
    // Long enough for several 65,536-unit reading windows, so clusters straddle their ends.
    expectAgreesWithICU(trickyText(40'000, 1));
    expectAgreesWithICU(trickyText(300, 2));
    expectAgreesWithICU(QString(200'000, QLatin1Char('x')) + QStringLiteral("\r\n"));
}

TEST(CharacterIndex, SmallTextsAndCharactersLongerThanAWindow)
{
    const auto empty = CharacterIndex::build(TextSource::of(QString()));
    ASSERT_TRUE(empty);
    EXPECT_EQ(empty->count(), 0);
    EXPECT_EQ(empty->position(0), 0);
    EXPECT_EQ(empty->characters({0, 0}), 0);

    const QString family = QStringLiteral("\U0001F468\u200D\U0001F469\u200D\U0001F467");
    const auto one = CharacterIndex::build(TextSource::of(family));
    EXPECT_EQ(one->count(), 1);
    EXPECT_EQ(one->characters({0, 2}), 1) << "a part of the family counts as its own text";
    EXPECT_EQ(one->characters({2, 3}), 2) << "a ZWJ and a woman";
    EXPECT_EQ(one->position(3), 1);

    // One character of 100,001 units: the reader must widen its window.
    const QString mark = QStringLiteral("a") + QString(100'000, QChar(0x0301)) + QStringLiteral("b");
    const auto wide = CharacterIndex::build(TextSource::of(mark));
    EXPECT_EQ(wide->count(), 2);
    EXPECT_EQ(wide->position(mark.size() - 1), 1);
}

TEST(CharacterIndex, StopsWhenSuperseded)
{
    const QString text(100'000, QLatin1Char('a'));
    int checks = 0;
    EXPECT_FALSE(CharacterIndex::build(TextSource::of(text), [&] { return ++checks > 3; }));
    EXPECT_EQ(checks, 4) << "asked every 4,096 characters";
}
