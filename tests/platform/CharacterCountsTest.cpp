// The storage's character counts against a plain count of the whole text, through edits that cut
// clusters, join them across block cuts and split CR LF.
#include "platform/text/CharacterClusters.h"
#include "platform/text/StorageCharacterCounts.h"
#include "platform/text/TextStorage.h"

#include <gtest/gtest.h>

#include <unicode/brkiter.h>

#include <memory>
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

namespace {

// The break iterator alone, with no shortcut, over the whole text.
qsizetype iteratorCount(const QString& text)
{
    UErrorCode status = U_ZERO_ERROR;
    std::unique_ptr<icu::BreakIterator> iterator(icu::BreakIterator::createCharacterInstance(icu::Locale::getRoot(), status));
    const icu::UnicodeString units(false, reinterpret_cast<const UChar*>(text.utf16()), int32_t(text.size()));
    iterator->setText(units);
    qsizetype count = 0;
    iterator->first();
    while (iterator->next() != icu::BreakIterator::DONE)
        ++count;
    return count;
}

}  // namespace

TEST(CharacterCounts, ShortcutAgreesWithTheBreakIterator)
{
    // Every BMP unit the shortcut passes, each beside the others in a shuffled order.
    QString plain;
    for (char32_t c = 0; c < 0x10000; ++c)
        if (c != u'\r' && (c < 0xD800 || c > 0xDFFF) && CharacterClusters::endsBetween(char16_t(c), char16_t(c)))
            plain += QChar(char16_t(c));
    EXPECT_GT(plain.size(), 40000);
    EXPECT_FALSE(CharacterClusters::endsBetween(u'a', 0x0301));
    EXPECT_FALSE(CharacterClusters::endsBetween(0xFF76, 0xFF9E));  // ｶﾞ
    EXPECT_FALSE(CharacterClusters::endsBetween(0x304B, 0x3099));
    EXPECT_FALSE(CharacterClusters::endsBetween(0xD842, 0xDFB7));
    std::mt19937 random(7);
    std::shuffle(plain.begin(), plain.end(), random);
    EXPECT_EQ(CharacterClusters::count(plain), plain.size());
    EXPECT_EQ(iteratorCount(plain), plain.size());
    // Plain units among the pieces that join: a CR LF, marks, pairs, sequences.
    QString mixed;
    std::uniform_int_distribution<qsizetype> pick(0, plain.size() - 1);
    for (int i = 0; i < 20000; ++i)
        mixed += i % 3 == 0 ? randomText(random, 1) : QString(plain[pick(random)]);
    EXPECT_EQ(CharacterClusters::count(mixed), iteratorCount(mixed));
    for (qsizetype n : {qsizetype(0), qsizetype(1), qsizetype(777), qsizetype(9000)})
        EXPECT_EQ(CharacterClusters::count(QStringView(mixed).left(CharacterClusters::offset(mixed, n))), n);
}

TEST(CharacterCounts, RunsCountedEightAtATimeEndWhereTheNextUnitJoins)
{
    // Runs of every length of the units passed eight at a time, each followed by what joins the
    // run's last unit or starts a sequence, at every place against the eight-unit steps.
    const QString runs[] = {QStringLiteral("abcdefghijklmnopqrstu"), QStringLiteral("かなかなかなかなかなかなかなかなかなかな"),
                            QStringLiteral("漢字カタカナ漢字カタカナ漢字カタカナ漢字カタカナ"), QStringLiteral("aかa漢a\nbカb字\tc\u00ADd\u00E9e\u02FF"),
                            QStringLiteral("。、ー「ＡＢＣ」ｶﾀｶﾅ゛゜ゝゞ〜。、ー「ＡＢＣ」ｶﾀｶﾅ")};
    const QString joiners[] = {QStringLiteral("\u0301"), QStringLiteral("\u3099"), QStringLiteral("\u200D\u2764"),
                               QStringLiteral("\r\n"), QStringLiteral("\uFE0F"), QStringLiteral("\u1100\u1161"),
                               QStringLiteral("\U0001F600"), QStringLiteral("\U0001F1EF\U0001F1F5"), QStringLiteral("\u0300"),
                               QStringLiteral("\u302A"), QStringLiteral("\u0903"), QStringLiteral("\uFF9E")};
    for (const QString& run : runs)
        for (const QString& joiner : joiners)
            for (qsizetype length = 0; length <= run.size(); ++length) {
                const QString text = run.left(length) + joiner + run.left(length) + joiner;
                ASSERT_EQ(CharacterClusters::count(text), iteratorCount(text))
                    << text.toStdString() << " (" << length << ")";
            }
}

TEST(CharacterCounts, LargeTextsAreReadAWindowAtATime)
{
    // Lines of kana and ASCII, then a run of Hangul with no cut in it that spans the first
    // window's end, then CR LF lines whose pairs straddle later windows.
    QString text;
    while (text.size() < 600000)
        text += QStringLiteral("かな漢字 ascii 𠮷\n");
    text += QString(900000, QChar(0xAC00));
    while (text.size() < 2600000)
        text += QStringLiteral("a\u0301\r\n");
    TextStorage storage(text);
    const StorageCharacterCounts& counts = StorageCharacterCounts::of(storage);
    const qsizetype total = CharacterClusters::count(text);
    EXPECT_EQ(counts.count(), total);
    EXPECT_EQ(counts.counts().countedUnits(), text.size());
    for (const qsizetype n : {qsizetype(1), total / 3, total / 2, total - 1}) {
        const qsizetype offset = CharacterClusters::offset(text, n);
        EXPECT_EQ(counts.offset(n), offset) << n;
        EXPECT_EQ(counts.charactersBefore(offset), n) << n;
    }
    // Edits leave pieces that no longer follow one another in memory, inside windows that are
    // counted again; a combining mark put after the Hangul run joins across a piece.
    storage.replaceCharacters(TextRange(1500000, 0), QStringLiteral("\u0301x"));
    storage.replaceCharacters(TextRange(300001, 5), QStringLiteral("挿入した文字列\r"));
    const QString edited = storage.string();
    EXPECT_EQ(counts.count(), CharacterClusters::count(edited));
    const qsizetype middle = CharacterClusters::offset(edited, CharacterClusters::count(edited) / 2);
    EXPECT_EQ(counts.charactersBefore(middle), CharacterClusters::count(edited) / 2);
}
