#include "document/CodecError.h"
#include "platform/foundation/JsonDecodingError.h"
#include "platform/foundation/PlatformError.h"
#include "search/batch/BatchReplaceEngine.h"
#include "search/batch/BatchReplaceError.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QFile>

using namespace korimado;

namespace {

BatchReplaceRule rule(const QString& find, const QString& replacement)
{
    BatchReplaceRule r;
    r.id = QUuid::createUuid();
    r.find = find;
    r.replacement = replacement;
    r.options = BatchReplaceRule::standardRuleOptions();
    return r;
}

BatchReplaceDocument sample()
{
    BatchReplaceDocument d;
    d.name = QStringLiteral("見本");
    BatchReplaceRule a = rule(QStringLiteral("a/b"), QStringLiteral("c"));
    a.description = QStringLiteral("注記 \"引用\"\t");
    BatchReplaceRule b = rule(QStringLiteral("(\\d+)"), QStringLiteral("<$1>"));
    b.enabled = false;
    b.options.mode = SearchMode::regularExpression;
    b.options.preservedTextualOptionsRawValue = quint64(0xFFFFFFFFFFFFFFFFull);  // beyond 2^53: kept exactly
    b.options.preservedRegexOptionsRawValue = 1u << 5;
    b.description = QString();
    d.rules = {a, b};
    return d;
}

template <typename Error, typename F> Error thrown(F f)
{
    try {
        f();
    } catch (const Error& e) {
        return e;
    }
    ADD_FAILURE() << "nothing thrown";
    throw std::logic_error("no error");
}

}  // namespace

TEST(RuleFileFormat, ChosenByExtensionAlone)
{
    EXPECT_EQ(BatchReplaceEngine::fileFormat(QStringLiteral("/x/rules.json")), BatchReplaceFileFormat::json);
    EXPECT_EQ(BatchReplaceEngine::fileFormat(QStringLiteral("/x/rules.JSON")), BatchReplaceFileFormat::json);
    EXPECT_EQ(BatchReplaceEngine::fileFormat(QStringLiteral("/x/rules")), BatchReplaceFileFormat::json);
    EXPECT_EQ(BatchReplaceEngine::fileFormat(QStringLiteral("/x/rules.rules")), BatchReplaceFileFormat::json);
    EXPECT_EQ(BatchReplaceEngine::fileFormat(QStringLiteral("/x/rules.TXT")), BatchReplaceFileFormat::tsv);
    EXPECT_EQ(BatchReplaceEngine::fileFormat(QStringLiteral("/x/r.tab")), BatchReplaceFileFormat::tsv);
    EXPECT_EQ(BatchReplaceEngine::fileFormat(QStringLiteral("/x/rules.CotRpl")), BatchReplaceFileFormat::cotReplacement);
    EXPECT_EQ(BatchReplaceEngine::nameForFile(QStringLiteral("/x/a.b.cotrpl")), QStringLiteral("a.b"));
}

TEST(RuleFileJson, RoundTripsByteForByteWithEveryBitAndNote)
{
    test::TempDir dir;
    const BatchReplaceDocument d = sample();
    const QString path = dir.file(QStringLiteral("rules.json"));
    BatchReplaceEngine::save(d, path);
    const QByteArray bytes = test::readFile(path);
    const BatchReplaceDocument back = BatchReplaceEngine::load(path);
    EXPECT_EQ(back, d);
    EXPECT_EQ(BatchReplaceEngine::encodeJSON(back), bytes);

    const QString text = QString::fromUtf8(bytes);
    EXPECT_TRUE(text.contains(QStringLiteral("\"find\" : \"a\\/b\"")));  // solidus escaped
    EXPECT_TRUE(text.contains(QStringLiteral("18446744073709551615")));
    EXPECT_TRUE(text.contains(d.rules[0].id.toString(QUuid::WithoutBraces).toUpper()));
    EXPECT_TRUE(text.contains(QStringLiteral("見本")));  // UTF-8, not \u escapes
    // Keys sorted at every level.
    EXPECT_LT(text.indexOf(QStringLiteral("\"name\"")), text.indexOf(QStringLiteral("\"rules\"")));
    EXPECT_LT(text.indexOf(QStringLiteral("\"rules\"")), text.indexOf(QStringLiteral("\"version\"")));
    EXPECT_LT(text.indexOf(QStringLiteral("\"caseSensitive\"")), text.indexOf(QStringLiteral("\"wraps\"")));
}

TEST(RuleFileJson, StrictReadingAndTheVersionCheck)
{
    const QByteArray good = BatchReplaceEngine::encodeJSON(sample());
    auto withReplaced = [&](const char* from, const char* to) {
        QByteArray b = good;
        return b.replace(from, to);
    };
    // Version 2 with valid content: unsupportedVersion carrying 2.
    const BatchReplaceError v = thrown<BatchReplaceError>([&] { BatchReplaceEngine::decodeJSON(withReplaced("\"version\" : 1", "\"version\" : 2")); });
    EXPECT_EQ(v.kind(), BatchReplaceError::Kind::unsupportedVersion);
    EXPECT_EQ(v.version(), 2);
    // Decoding comes first: version 2 with a broken rule fails as a decoding error.
    EXPECT_THROW(BatchReplaceEngine::decodeJSON(withReplaced("\"version\" : 1", "\"version\" : 2").replace("\"wraps\"", "\"wrapz\"")),
                 JsonDecodingError);
    const JsonDecodingError missing = thrown<JsonDecodingError>([&] { BatchReplaceEngine::decodeJSON(withReplaced("\"wraps\"", "\"wrapz\"")); });
    EXPECT_EQ(missing.kind(), JsonDecodingError::Kind::keyNotFound);
    EXPECT_EQ(missing.codingPath(), QStringLiteral("rules[0].options"));
    EXPECT_EQ(thrown<JsonDecodingError>([&] { BatchReplaceEngine::decodeJSON(withReplaced("\"text\"", "\"regex\"")); }).kind(),
              JsonDecodingError::Kind::dataCorrupted);
    EXPECT_EQ(thrown<JsonDecodingError>([&] { BatchReplaceEngine::decodeJSON(withReplaced("\"enabled\" : true", "\"enabled\" : 1")); }).kind(),
              JsonDecodingError::Kind::typeMismatch);
    EXPECT_THROW(BatchReplaceEngine::decodeJSON(withReplaced("\"id\" : \"", "\"id\" : \"X")), JsonDecodingError);
    EXPECT_THROW(BatchReplaceEngine::decodeJSON(good + ","), JsonDecodingError);
    EXPECT_THROW(BatchReplaceEngine::decodeJSON("{\"version\":1,\"name\":\"n\",\"rules\":[],\"rules\":[]}"), JsonDecodingError);
    // Optional keys: a null note and absent preserved values read as nothing; unknown keys are ignored.
    const BatchReplaceDocument minimal = BatchReplaceEngine::decodeJSON(
        "\xEF\xBB\xBF{\"version\":1,\"name\":\"n\",\"extra\":[1],\"rules\":[{\"id\":\"0a1b2c3d-0000-4000-8000-00000000000f\","
        "\"enabled\":true,\"find\":\"x\",\"replacement\":\"\",\"description\":null,\"options\":{\"mode\":\"text\","
        "\"caseSensitive\":true,\"wholeWord\":false,\"wraps\":true,\"dotMatchesNewline\":false,\"ignoresDiacriticMarks\":false,"
        "\"ignoresWidth\":false,\"isLiteralSearch\":false,\"isMultiline\":true,\"unescapesReplacementString\":true,"
        "\"usesUnicodeBoundaries\":false,\"preservedRegexOptionsRawValue\":null}}]}");
    ASSERT_EQ(minimal.rules.size(), 1);
    EXPECT_FALSE(minimal.rules[0].description);
    EXPECT_EQ(minimal.rules[0].options, BatchReplaceRule::standardRuleOptions());
    EXPECT_TRUE(BatchReplaceEngine::decodeJSON("{\"version\":1,\"name\":\"\",\"rules\":[]}").rules.isEmpty());
}

TEST(RuleFileJson, OptionsObjectHasElevenKeysWithoutPreservedValues)
{
    const JsonValue encoded = BatchReplaceRule::standardRuleOptions().encode();
    EXPECT_EQ(encoded.toObject().size(), 11u);
    EXPECT_EQ(SearchOptions::decode(encoded), BatchReplaceRule::standardRuleOptions());
    // Every Boolean is required; a preserved value may be missing.
    JsonValue::Object withoutBoundaries;
    for (const auto& member : encoded.toObject()) {
        if (member.key != u"usesUnicodeBoundaries") withoutBoundaries.push_back(member);
    }
    const JsonDecodingError missing = thrown<JsonDecodingError>([&] { SearchOptions::decode(JsonValue(withoutBoundaries)); });
    EXPECT_EQ(missing.kind(), JsonDecodingError::Kind::keyNotFound);
    JsonValue withTextualBits = encoded;
    withTextualBits.insert(QStringLiteral("preservedTextualOptionsRawValue"), JsonValue::unsignedInteger(4));
    const SearchOptions decoded = SearchOptions::decode(withTextualBits);
    EXPECT_EQ(decoded.preservedTextualOptionsRawValue, quint64(4));
    EXPECT_FALSE(decoded.preservedRegexOptionsRawValue);
}

TEST(RuleFileCot, MapsOptionBitsAndKeepsTheRest)
{
    const BatchReplaceDocument d = BatchReplaceEngine::decodeCotReplacement(
        "{\"replacements\":[{\"findString\":\"a\",\"replacementString\":\"b\"}],"
        "\"settings\":{\"textualOptions\":131,\"regexOptions\":16}}",
        QStringLiteral("名前"));
    EXPECT_EQ(d.name, QStringLiteral("名前"));
    EXPECT_EQ(d.version, 1);
    ASSERT_EQ(d.rules.size(), 1);
    const SearchOptions& o = d.rules[0].options;
    EXPECT_TRUE(d.rules[0].enabled);
    EXPECT_EQ(o.mode, SearchMode::text);
    EXPECT_TRUE(o.caseSensitive);
    EXPECT_FALSE(o.wholeWord);
    EXPECT_FALSE(o.unescapesReplacementString);
    EXPECT_TRUE(o.wraps);
    EXPECT_TRUE(o.ignoresDiacriticMarks);
    EXPECT_TRUE(o.isLiteralSearch);
    EXPECT_EQ(o.preservedTextualOptionsRawValue, quint64(1));
    EXPECT_TRUE(o.isMultiline);
    EXPECT_FALSE(o.preservedRegexOptionsRawValue);
    // Written back: 131 again.
    const QString written = QString::fromUtf8(BatchReplaceEngine::encodeCotReplacement(d));
    EXPECT_TRUE(written.contains(QStringLiteral("\"textualOptions\" : 131")));
    EXPECT_TRUE(written.contains(QStringLiteral("\"regexOptions\" : 16")));
}

TEST(RuleFileCot, ImportedBitsOutsideTheComparisonRideAlongWithoutChangingMatches)
{
    // Backwards (4), anchored (8) and the expression bit (1024) of an imported definition: every
    // occurrence is still found, from the start, as plain text; the bits survive both files.
    const BatchReplaceDocument d = BatchReplaceEngine::decodeCotReplacement(
        "{\"replacements\":[{\"findString\":\"a.b\",\"replacementString\":\"x\"}],"
        "\"settings\":{\"textualOptions\":1038,\"regexOptions\":16}}",
        QStringLiteral("n"));
    ASSERT_EQ(d.rules.size(), 1);
    EXPECT_EQ(d.rules[0].options.preservedTextualOptionsRawValue, quint64(1036));
    EXPECT_TRUE(d.rules[0].options.isLiteralSearch);
    const BatchReplaceResult result = BatchReplaceEngine::apply(d, QStringLiteral("a.b aab a.b"), std::nullopt, nullptr);
    EXPECT_EQ(result.text, QStringLiteral("x aab x"));
    ASSERT_EQ(result.ruleResults.size(), 1);
    EXPECT_EQ(result.ruleResults[0].replacements, 2);

    const BatchReplaceDocument viaJson = BatchReplaceEngine::decodeJSON(BatchReplaceEngine::encodeJSON(d));
    EXPECT_EQ(viaJson, d);
    EXPECT_TRUE(QString::fromUtf8(BatchReplaceEngine::encodeCotReplacement(viaJson))
                    .contains(QStringLiteral("\"textualOptions\" : 1038")));
}

TEST(RuleFileCot, WritesOnlyWhatDiffersAndRoundTripsByteForByte)
{
    BatchReplaceDocument d;
    BatchReplaceRule plain = rule(QStringLiteral("a/b"), QStringLiteral("c"));
    BatchReplaceRule regex = rule(QStringLiteral("x+"), QStringLiteral("y"));
    regex.options.mode = SearchMode::regularExpression;
    regex.options.caseSensitive = false;
    regex.enabled = false;
    regex.description = QStringLiteral("注");
    // Unknown bits in both words are kept for the way back.
    plain.options.preservedTextualOptionsRawValue = regex.options.preservedTextualOptionsRawValue = quint64(1) << 60;
    plain.options.preservedRegexOptionsRawValue = regex.options.preservedRegexOptionsRawValue = 1 | 4 | (quint64(1) << 63);
    d.rules = {plain, regex};
    const QByteArray bytes = BatchReplaceEngine::encodeCotReplacement(d);
    const QString text = QString::fromUtf8(bytes);
    EXPECT_TRUE(text.contains(QStringLiteral("\"findString\" : \"a/b\"")));  // solidus not escaped
    EXPECT_EQ(text.count(QStringLiteral("usesRegularExpression")), 1);
    EXPECT_EQ(text.count(QStringLiteral("ignoresCase")), 1);
    EXPECT_EQ(text.count(QStringLiteral("isEnabled")), 1);
    EXPECT_EQ(text.count(QStringLiteral("\"settings\"")), 1);
    const BatchReplaceDocument back = BatchReplaceEngine::decodeCotReplacement(bytes, QStringLiteral("n"));
    EXPECT_EQ(BatchReplaceEngine::encodeCotReplacement(back), bytes);
    ASSERT_EQ(back.rules.size(), 2);
    EXPECT_EQ(back.rules[1].options.preservedRegexOptionsRawValue, 1 | 4 | (quint64(1) << 63));
    EXPECT_EQ(back.rules[1].description, QStringLiteral("注"));
    EXPECT_NE(back.rules[0].id, plain.id);  // new ids

    // An enabled, plain, case-sensitive rule has exactly its two strings.
    BatchReplaceDocument one;
    one.rules = {rule(QStringLiteral("p"), QStringLiteral("q"))};
    const QString single = QString::fromUtf8(BatchReplaceEngine::encodeCotReplacement(one));
    for (const char* absent : {"usesRegularExpression", "ignoresCase", "isEnabled", "description"})
        EXPECT_FALSE(single.contains(QLatin1StringView(absent))) << absent;
    // No rules: standard settings.
    const QString empty = QString::fromUtf8(BatchReplaceEngine::encodeCotReplacement(BatchReplaceDocument{}));
    EXPECT_TRUE(empty.contains(QStringLiteral("\"replacements\" : []")));
    EXPECT_TRUE(empty.contains(QStringLiteral("\"regexOptions\" : 16")));
    EXPECT_TRUE(empty.contains(QStringLiteral("\"textualOptions\" : 0")));
    EXPECT_TRUE(empty.contains(QStringLiteral("\"unescapesReplacementString\" : true")));
}

TEST(RuleFileCot, RefusalsAndMessages)
{
    BatchReplaceDocument d;
    BatchReplaceRule a = rule(QStringLiteral("a"), QString());
    BatchReplaceRule b = a;
    b.options.isMultiline = false;
    d.rules = {a, b};
    EXPECT_EQ(thrown<BatchReplaceError>([&] { BatchReplaceEngine::encodeCotReplacement(d); }).rules(), (QList<qsizetype>{2}));
    d.rules = {a, b, b};
    EXPECT_EQ(thrown<BatchReplaceError>([&] { BatchReplaceEngine::encodeCotReplacement(d); }).rules(), (QList<qsizetype>{2, 3}));

    for (const QByteArray& bad : {QByteArray("not json"), QByteArray("[]"),
                                  QByteArray("{\"replacements\":[{\"replacementString\":\"b\"}],\"settings\":{\"textualOptions\":0,\"regexOptions\":0}}"),
                                  QByteArray("{\"replacements\":[],\"settings\":{\"textualOptions\":-1,\"regexOptions\":0}}"),
                                  QByteArray("{\"replacements\":[]}")}) {
        const BatchReplaceError e = thrown<BatchReplaceError>([&] { BatchReplaceEngine::decodeCotReplacement(bad, QString()); });
        EXPECT_EQ(e.kind(), BatchReplaceError::Kind::invalidCotDefinition) << bad.constData();
        EXPECT_TRUE(e.errorDescription().startsWith(QStringLiteral(".cotrpl置換定義を読み込めません。"))) << bad.constData();
        EXPECT_GT(e.errorDescription().size(), QStringLiteral(".cotrpl置換定義を読み込めません。").size());
    }
}

TEST(RuleFileTsv, ReadingDropsWhatDoesNotFitAndAByteOrderMark)
{
    const BatchReplaceDocument d = BatchReplaceEngine::importTSV(
        QStringLiteral("\uFEFFa\tb\n\nc\r\nd\t\tx\n\tskipped\u2028e\tf"), QStringLiteral("t"), false);
    ASSERT_EQ(d.rules.size(), 3);
    EXPECT_EQ(d.rules[0].find, QStringLiteral("a"));  // no U+FEFF in front
    EXPECT_EQ(d.rules[0].replacement, QStringLiteral("b"));
    EXPECT_EQ(d.rules[1].find, QStringLiteral("d"));
    EXPECT_EQ(d.rules[1].replacement, QString());
    EXPECT_EQ(d.rules[2].find, QStringLiteral("e"));
    EXPECT_EQ(d.rules[0].options, BatchReplaceRule::standardRuleOptions());
    // Strict reading names the first line that does not fit (blank lines not counted).
    EXPECT_EQ(thrown<BatchReplaceError>([&] { BatchReplaceEngine::importTSV(QStringLiteral("a\tb\n\nc"), QString(), true); }).number(), 2);

    // From a file: the byte-order mark is stripped too, and bytes that are not UTF-8 name line 1.
    test::TempDir dir;
    const QString path = dir.write(QStringLiteral("r.tsv"), "\xEF\xBB\xBFx\ty\n");
    const BatchReplaceDocument loaded = BatchReplaceEngine::load(path);
    ASSERT_EQ(loaded.rules.size(), 1);
    EXPECT_EQ(loaded.rules[0].find, QStringLiteral("x"));
    EXPECT_EQ(loaded.name, QStringLiteral("r"));
    const QString bad = dir.write(QStringLiteral("bad.txt"), "a\t\xFF\n");
    EXPECT_EQ(thrown<BatchReplaceError>([&] { BatchReplaceEngine::load(bad); }).number(), 1);
    EXPECT_THROW(BatchReplaceEngine::load(dir.file(QStringLiteral("missing.json"))), PlatformError);
}

TEST(RuleFileTsv, WritingRefusesWhatItCannotKeep)
{
    BatchReplaceDocument d;
    d.rules = {rule(QStringLiteral("a"), QStringLiteral("b")), rule(QStringLiteral("c"), QString())};
    EXPECT_EQ(BatchReplaceEngine::exportTSV(d), QStringLiteral("a\tb\nc\t\n"));
    EXPECT_EQ(BatchReplaceEngine::exportTSV(BatchReplaceDocument{}), QString());
    // wraps is not kept, and not refused.
    d.rules[0].options.wraps = false;
    EXPECT_NO_THROW(BatchReplaceEngine::exportTSV(d));

    struct Case {
        std::function<void(BatchReplaceRule&)> change;
        QString reason;
    };
    const std::vector<Case> cases{
        {[](BatchReplaceRule& r) { r.find.clear(); }, BatchReplaceError::emptyFindReason},
        {[](BatchReplaceRule& r) { r.find += u'\t'; }, BatchReplaceError::tabOrBreakReason},
        {[](BatchReplaceRule& r) { r.replacement += u'\n'; }, BatchReplaceError::tabOrBreakReason},
        {[](BatchReplaceRule& r) { r.replacement += QChar(0x2029); }, BatchReplaceError::tabOrBreakReason},
        {[](BatchReplaceRule& r) { r.enabled = false; }, BatchReplaceError::settingsReason},
        {[](BatchReplaceRule& r) { r.options.mode = SearchMode::regularExpression; }, BatchReplaceError::settingsReason},
        {[](BatchReplaceRule& r) { r.options.caseSensitive = false; }, BatchReplaceError::settingsReason},
        {[](BatchReplaceRule& r) { r.description = QString(); }, BatchReplaceError::settingsReason},
        {[](BatchReplaceRule& r) { r.options.ignoresWidth = true; }, BatchReplaceError::settingsReason},
        {[](BatchReplaceRule& r) { r.options.preservedRegexOptionsRawValue = 1; }, BatchReplaceError::settingsReason},
        {[](BatchReplaceRule& r) { r.find += QChar(0xD800); }, BatchReplaceError::unencodableReason},
    };
    for (const Case& c : cases) {
        BatchReplaceDocument bad = d;
        c.change(bad.rules[1]);
        const BatchReplaceError e = thrown<BatchReplaceError>([&] { BatchReplaceEngine::exportTSV(bad); });
        EXPECT_EQ(e.number(), 2);
        EXPECT_EQ(e.reason(), c.reason);
    }
    // A first rule that begins with U+FEFF would lose it on the way back (a fuzzing find).
    BatchReplaceDocument marked = d;
    marked.rules[0].find.prepend(QChar(0xFEFF));
    EXPECT_EQ(thrown<BatchReplaceError>([&] { BatchReplaceEngine::exportTSV(marked); }).reason(),
              BatchReplaceError::leadingMarkReason);
    // Nothing is written when the conversion refuses; an old file stays.
    test::TempDir dir;
    const QString path = dir.write(QStringLiteral("keep.tsv"), "old");
    BatchReplaceDocument bad = d;
    bad.rules[0].enabled = false;
    EXPECT_THROW(BatchReplaceEngine::save(bad, path), BatchReplaceError);
    EXPECT_EQ(test::readFile(path), QByteArray("old"));
    // Saved rules read back equal apart from ids and wraps.
    BatchReplaceEngine::save(d, path);
    const BatchReplaceDocument back = BatchReplaceEngine::load(path);
    ASSERT_EQ(back.rules.size(), 2);
    EXPECT_EQ(back.rules[1].find, QStringLiteral("c"));
    EXPECT_EQ(back.rules[0].options, BatchReplaceRule::standardRuleOptions());
    EXPECT_EQ(test::readFile(path), QByteArray("a\tb\nc\t\n"));
}

TEST(BatchReplaceEngine, RuleFilesAboveTheDocumentLimitAreRefusedUnread)
{
    test::TempDir dir;
    const QString huge = dir.file(QStringLiteral("huge.json"));
    {
        QFile file(huge);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        ASSERT_TRUE(file.resize(BatchReplaceEngine::maximumFileSize + 1));
    }
    try {
        BatchReplaceEngine::load(huge);
        ADD_FAILURE() << "loaded";
    } catch (const CodecError& error) {
        EXPECT_EQ(error.kind(), CodecError::tooLarge);
        EXPECT_EQ(error.errorDescription(), QStringLiteral("この版で開けるファイルは64 MiBまでです。"));
    }
}
