#include "preview/LocalTokenizer.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <future>
#include <memory>
#include <vector>

using namespace korimado;

namespace {

const QString resources = QStringLiteral(KORIMADO_SOURCE_RESOURCES);
const QString fixtures = QStringLiteral(KORIMADO_SOURCE_RESOURCES "/../tests/fixtures/tokenizer");

QByteArray line(const QByteArray& bytes, std::uint32_t rank)
{
    return bytes.toBase64() + ' ' + QByteArray::number(rank) + '\n';
}

// A cl100k-sized table of our own: the 256 single bytes ranked after the given pairs, then filler
// entries that no test text contains.
QByteArray syntheticTable(const std::vector<std::pair<QByteArray, std::uint32_t>>& first, int dropEntries = 0)
{
    QByteArray out;
    std::uint32_t rank = 1000;
    for (const auto& [bytes, r] : first) out += line(bytes, r);
    for (int b = 0; b < 256; ++b) out += line(QByteArray(1, static_cast<char>(b)), rank++);
    int filler = static_cast<int>(LocalTokenizer::cl100kEntries) - 256 - static_cast<int>(first.size()) - dropEntries;
    for (int i = 0; filler > 0; ++i, --filler) {
        // Bytes that begin with 0xFF never occur in UTF-8 text.
        const char bytes[] = {static_cast<char>(0xFF), static_cast<char>(i >> 16), static_cast<char>((i >> 8) & 0xFF),
                              static_cast<char>(i & 0xFF)};
        out += line(QByteArray(bytes, 4), rank++);
    }
    return out;
}

void expectLoadFails(const QByteArray& table, CountingError expected)
{
    test::TempDir dir;
    dir.write(QStringLiteral("cl100k_base.tiktoken"), table);
    try {
        LocalTokenizer tokenizer(TokenEncoding::cl100k, dir.path());
        ADD_FAILURE() << "the table was accepted";
    } catch (CountingError error) {
        EXPECT_EQ(error, expected);
    }
}

}  // namespace

TEST(LocalTokenizer, CommittedTablesAreThePublishedOnes)
{
    const std::pair<const char*, const char*> tables[] = {
        {"o200k_base.tiktoken", "446a9538cb6c348e3516120d7c08b09f57c36495e2acfffe59a5bf8b0cfb1a2d"},
        {"cl100k_base.tiktoken", "223921b76ee99bde995b7ff738513eef100fb51d18c93597a113bcffe865b2a7"},
    };
    for (const auto& [name, sha] : tables) {
        QFile file(resources + QStringLiteral("/Tokenizers/") + QLatin1String(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << name;
        EXPECT_EQ(QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256).toHex(), QByteArray(sha)) << name;
    }
}

TEST(LocalTokenizer, CountsEqualTheReferenceCounter)
{
    QFile countsFile(fixtures + QStringLiteral("/counts.json"));
    ASSERT_TRUE(countsFile.open(QIODevice::ReadOnly));
    const QJsonObject counts = QJsonDocument::fromJson(countsFile.readAll()).object();
    ASSERT_GE(counts.size(), 7);
    for (const TokenEncoding encoding : {TokenEncoding::o200k, TokenEncoding::cl100k}) {
        const auto tokenizer = LocalTokenizer::shared(encoding);
        for (auto it = counts.begin(); it != counts.end(); ++it) {
            QFile sample(fixtures + QLatin1Char('/') + it.key());
            ASSERT_TRUE(sample.open(QIODevice::ReadOnly)) << it.key().toStdString();
            const QString text = QString::fromUtf8(sample.readAll());
            EXPECT_EQ(tokenizer->count(text, {}), it.value().toObject().value(rawValue(encoding)).toInteger())
                << it.key().toStdString() << " in " << rawValue(encoding).toStdString();
        }
    }
}

TEST(LocalTokenizer, SmallTextsAndTheSharedPool)
{
    const auto first = LocalTokenizer::shared(TokenEncoding::o200k);
    EXPECT_EQ(first->entryCount(), LocalTokenizer::o200kEntries);
    EXPECT_EQ(LocalTokenizer::shared(TokenEncoding::cl100k)->entryCount(), LocalTokenizer::cl100kEntries);
    EXPECT_EQ(first->count(QString(), {}), 0);
    EXPECT_EQ(first->count(QStringLiteral("a"), {}), 1);
    EXPECT_EQ(first->count(QStringLiteral(" hello"), {}), 1) << "a word that is one entry";
    // A lone surrogate is counted as the replacement character, never a crash.
    EXPECT_GT(first->count(QString(QChar(0xD800)) + QStringLiteral("x"), {}), 0);

    std::vector<std::future<const LocalTokenizer*>> callers;
    for (int i = 0; i < 4; ++i) {
        callers.push_back(std::async(std::launch::async, [] { return LocalTokenizer::shared(TokenEncoding::o200k).get(); }));
    }
    for (auto& caller : callers) EXPECT_EQ(caller.get(), first.get()) << "one tokenizer per encoding";

    EXPECT_THROW(LocalTokenizer::shared(TokenEncoding::off), CountingError);
}

TEST(LocalTokenizer, MergesLowestRankFirstAndLeftmostOnTies)
{
    test::TempDir dir;
    // bc before ab: abc becomes a|bc, two tokens.
    dir.write(QStringLiteral("cl100k_base.tiktoken"), syntheticTable({{"bc", 0}, {"ab", 1}}));
    LocalTokenizer lowest(TokenEncoding::cl100k, dir.path());
    EXPECT_EQ(lowest.count(QStringLiteral("abc"), {}), 2);
    EXPECT_EQ(lowest.count(QStringLiteral("ab"), {}), 1);

    // Equal ranks: ab merges before bc, so abcd becomes ab|cd (right first would leave a|bc|d).
    dir.write(QStringLiteral("cl100k_base.tiktoken"), syntheticTable({{"ab", 5}, {"bc", 5}, {"cd", 6}}));
    LocalTokenizer ties(TokenEncoding::cl100k, dir.path());
    EXPECT_EQ(ties.count(QStringLiteral("abcd"), {}), 2);
}

TEST(LocalTokenizer, ARememberedPieceCountBelongsToItsOwnTable)
{
    // The same piece merged twice in one text and again by a later tokenizer, made in the same
    // place on the same thread, whose table merges it differently.
    test::TempDir dir;
    for (const auto& [table, expected] : {std::pair{syntheticTable({{"ab", 0}, {"abc", 1}}), 3},
                                          std::pair{syntheticTable({{"bc", 0}}), 4},
                                          std::pair{syntheticTable({{"ab", 0}, {"abc", 1}, {"dd", 2}}), 2}}) {
        dir.write(QStringLiteral("cl100k_base.tiktoken"), table);
        auto tokenizer = std::make_unique<LocalTokenizer>(TokenEncoding::cl100k, dir.path());
        EXPECT_EQ(tokenizer->count(QStringLiteral("abcdd\nabcdd"), {}), expected * 2 + 1);
    }
}

TEST(LocalTokenizer, LongPiecesHitTheLimitAndCancelWithinAThousandMerges)
{
    const auto tokenizer = LocalTokenizer::shared(TokenEncoding::o200k);
    // One run of a symbol is one piece of the pattern.
    const QString tooLong(static_cast<qsizetype>(LocalTokenizer::maximumPieceBytes) + 1, QLatin1Char('~'));
    try {
        tokenizer->count(tooLong, {});
        ADD_FAILURE() << "no limit";
    } catch (CountingError error) {
        EXPECT_EQ(error, CountingError::resourceLimit);
    }
    const QString atLimit(static_cast<qsizetype>(LocalTokenizer::maximumPieceBytes), QLatin1Char('~'));
    EXPECT_GT(tokenizer->count(atLimit, {}), 0);

    // Runs of one character that no merge could take: refused at once, with the matcher's stack
    // bounded, instead of seconds and a gigabyte of backtracking.
    for (const TokenEncoding encoding : {TokenEncoding::o200k, TokenEncoding::cl100k}) {
        const auto counter = LocalTokenizer::shared(encoding);
        for (const QString& run : {QString(20 * 1024 * 1024, QLatin1Char(' ')) + QStringLiteral("x"),
                                   QStringLiteral("a ") + QString(3'000'000, QLatin1Char('\n')),
                                   QString(1'500'000, QLatin1Char(' ')) + QStringLiteral("word")}) {
            try {
                counter->count(run, {});
                ADD_FAILURE() << "a run of " << run.size() << " counted in " << rawValue(encoding).toStdString();
            } catch (CountingError error) {
                EXPECT_EQ(error, CountingError::resourceLimit);
            }
        }
    }
    // Digits split into pieces of three: a long run of them is counted.
    EXPECT_GE(tokenizer->count(QString(3'000'000, QLatin1Char('7')), {}), 1'000'000);

    int calls = 0;
    try {
        // The first call is at the piece, the second after 1,024 heap pops.
        tokenizer->count(QString(100'000, QLatin1Char('~')), [&] { return ++calls >= 2; });
        ADD_FAILURE() << "not cancelled";
    } catch (CountingError error) {
        EXPECT_EQ(error, CountingError::cancelled);
    }
    EXPECT_EQ(calls, 2);
}

TEST(LocalTokenizer, RefusesMalformedTables)
{
    const QByteArray good = syntheticTable({});
    {
        test::TempDir dir;
        dir.write(QStringLiteral("cl100k_base.tiktoken"), good);
        EXPECT_NO_THROW(LocalTokenizer(TokenEncoding::cl100k, dir.path()));
        EXPECT_THROW(LocalTokenizer(TokenEncoding::o200k, dir.path()), TokenizerError) << "no o200k file there";
    }
    QByteArray crlf = good;
    crlf.replace("\n", "\r\n");
    expectLoadFails(crlf, CountingError::malformedTable);
    expectLoadFails(syntheticTable({}, 1), CountingError::malformedTable);  // one entry short
    expectLoadFails(good + "QUJD 99999999999\n", CountingError::malformedTable);  // rank beyond 32 bits
    expectLoadFails(good + "QUJD\n", CountingError::malformedTable);               // no rank
    expectLoadFails(good + "QUJD 1 2\n", CountingError::malformedTable);           // a second space
    expectLoadFails(good + "QU*D 1\n", CountingError::malformedTable);             // not Base64
    expectLoadFails(good + " 1\n", CountingError::malformedTable);                 // empty field
    QByteArray noSingleA = syntheticTable({{"zz", 1}}, 0);
    noSingleA.replace(line("a", 1000 + 'a'), line("yy", 1000 + 'a'));
    expectLoadFails(noSingleA, CountingError::malformedTable);
}

TEST(TokenRankTable, LaterDuplicateWinsAndBase64IsStrict)
{
    const TokenRankTable table = TokenRankTable::parse("YWI= 12\n\nYWI= 7\nYQ== 3\n", 4);
    EXPECT_EQ(table.size(), 2u);
    EXPECT_EQ(table.rank("ab"), 7u);
    EXPECT_EQ(table.rank("a"), 3u);
    EXPECT_FALSE(table.rank("b"));
    EXPECT_THROW(TokenRankTable::parse("YWI 1\n", 4), CountingError) << "padding missing";
    EXPECT_THROW(TokenRankTable::parse("Y=I= 1\n", 4), CountingError) << "padding inside";
    EXPECT_THROW(TokenRankTable::parse("YWI= -1\n", 4), CountingError);
}
