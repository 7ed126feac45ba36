// The storage's character counts against a plain count of the whole text, through edits that cut
// clusters, join them across block cuts and split CR LF.
#include "platform/text/CharacterClusters.h"
#include "platform/text/StorageCharacterCounts.h"
#include "platform/text/TextStorage.h"

#include <gtest/gtest.h>

#include <random>

using namespace korimado;

namespace {

// Pieces that join or split clusters when an edit lands beside them.
const QString pieces[] = {
    QStringLiteral("a"), QStringLiteral("b"), QStringLiteral("\r"), QStringLiteral("\n"), QStringLiteral("\r\n"),
    QStringLiteral("\u0301"), QStringLiteral("\U00020BB7"), QStringLiteral("\U0001F468\u200D\U0001F469"),
    QStringLiteral("\u200D"), QStringLiteral("\U0001F1EF"), QStringLiteral("\U0001F1F5"), QStringLiteral("\U0001F3FD"),
    QStringLiteral("漢"), QStringLiteral("ｶﾞ"), QStringLiteral("\uFEFF"), QStringLiteral("\u2028"), QStringLiteral("\u0085"),
    QStringLiteral("\u1100\u1161"), QStringLiteral("\u11A8")};

QString randomText(std::mt19937& random, qsizetype units)
{
    QString text;
    std::uniform_int_distribution<int> pick(0, int(std::size(pieces)) - 1);
    while (text.size() < units)
        text += pieces[pick(random)];
    return text;
}

// What a script would be told from the whole text.
void expectCountsOf(TextStorage& storage, std::mt19937& random, const char* when)
{
    const StorageCharacterCounts& counts = StorageCharacterCounts::of(storage);
    const QString text = storage.string();
    const qsizetype total = CharacterClusters::count(text);
    ASSERT_EQ(counts.count(), total) << when;
    std::uniform_int_distribution<qsizetype> anywhere(0, total);
    for (int probe = 0; probe < 4; ++probe) {
        const qsizetype n = probe == 0 ? total : anywhere(random);
        const qsizetype offset = CharacterClusters::offset(text, n);
        ASSERT_EQ(counts.offset(n), offset) << when << " character " << n;
        ASSERT_EQ(counts.charactersBefore(offset), n) << when << " offset " << offset;
    }
}

}  // namespace

TEST(CharacterCounts, FollowEveryEditAsAPlainCountDoes)
{
    std::mt19937 random(40);
    // Some runs with cuts only at line breaks and ASCII pairs, one with hardly any.
    for (const qsizetype size : {qsizetype(40000), qsizetype(3 * CharacterCounts::blockUnits)}) {
        TextStorage storage(randomText(random, size));
        expectCountsOf(storage, random, "as read");
        EXPECT_GT(StorageCharacterCounts::of(storage).counts().blockCount(), 1);
        for (int edit = 0; edit < 200; ++edit) {
            const qsizetype length = storage.length();
            std::uniform_int_distribution<qsizetype> at(0, length);
            const qsizetype location = at(random);
            std::uniform_int_distribution<qsizetype> span(0, std::min<qsizetype>(length - location, edit % 10 == 0 ? 40000 : 6));
            const qsizetype removed = span(random);
            std::uniform_int_distribution<qsizetype> inserted(0, edit % 17 == 0 ? 30000 : 5);
            storage.replaceCharacters(TextRange(location, removed), randomText(random, inserted(random)));
            if (edit % 7 == 0)  // counted between edits, or after several
                expectCountsOf(storage, random, "after an edit");
        }
        expectCountsOf(storage, random, "at the end");
    }
}

TEST(CharacterCounts, AnEditCountsItsBlockNotTheText)
{
    QString text;
    for (int line = 0; line < 20000; ++line)
        text += QStringLiteral("行%1 é\U0001F468\u200D\U0001F469\r\n").arg(line);
    TextStorage storage(text);
    const qsizetype total = StorageCharacterCounts::of(storage).count();
    EXPECT_EQ(total, CharacterClusters::count(text));
    const qsizetype counted = StorageCharacterCounts::of(storage).counts().countedUnits();
    // A combining mark joins the letter before it: one character fewer, and only a block recounted.
    storage.replaceCharacters(TextRange(text.size() / 2 + 1, 0), QStringLiteral("\u0301"));
    const qsizetype joined = CharacterClusters::count(storage.string());
    EXPECT_EQ(StorageCharacterCounts::of(storage).count(), joined);
    EXPECT_LE(StorageCharacterCounts::of(storage).counts().countedUnits() - counted, 3 * CharacterCounts::blockUnits);
    // Splitting a CR LF makes two characters of one.
    storage.setString(QStringLiteral("a\r\nb"));
    EXPECT_EQ(StorageCharacterCounts::of(storage).count(), 3);
    storage.replaceCharacters(TextRange(2, 0), QStringLiteral("x"));
    EXPECT_EQ(StorageCharacterCounts::of(storage).count(), 5);
    storage.replaceCharacters(TextRange(0, storage.length()), QString());
    EXPECT_EQ(StorageCharacterCounts::of(storage).count(), 0);
    EXPECT_EQ(StorageCharacterCounts::of(storage).offset(3), 0);
    EXPECT_EQ(StorageCharacterCounts::of(storage).charactersBefore(5), 0);
}

TEST(CharacterCounts, CutsOnlyWhereNoClusterCrosses)
{
    EXPECT_TRUE(CharacterCounts::isSafeCut(u'a', u'b'));
    EXPECT_TRUE(CharacterCounts::isSafeCut(u'\n', 0x0301));
    EXPECT_TRUE(CharacterCounts::isSafeCut(0x2029, 0x0301));
    EXPECT_FALSE(CharacterCounts::isSafeCut(u'\r', u'\n'));
    EXPECT_TRUE(CharacterCounts::isSafeCut(u'\r', u'a'));
    EXPECT_FALSE(CharacterCounts::isSafeCut(u'a', 0x0301));
    EXPECT_FALSE(CharacterCounts::isSafeCut(0x6F22, u'a'));  // only the two rules cut, however safe this is
}
