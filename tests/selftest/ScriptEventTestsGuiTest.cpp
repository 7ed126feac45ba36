// The Apple-event suite run on a document with a window, through the in-process channel, against
// the committed reference files and against files made to catch its own rules.
#include "document/KoriDocument.h"
#include "platform/events/AppleEventManager.h"
#include "platform/foundation/Bundle.h"
#include "scripting/objects/ScriptEventDispatcher.h"
#include "scripting/console/ScriptConsole.h"
#include "selftest/ScriptEventTests.h"
#include "support/WindowFixture.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonArray>
#include <QJsonObject>
#include <QWidget>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QByteArray sourceFile(const char* relative)
{
    return test::readFile(QStringLiteral(KORIMADO_SOURCE_DIR "/") + QLatin1String(relative));
}

SuiteTask<> collect(SuiteTask<QJsonArray> suite, std::optional<QJsonArray>* out)
{
    QJsonArray records = co_await suite;
    *out = records;
}

QStringList names(const QJsonArray& records)
{
    QStringList found;
    for (const QJsonValue& value : records) found.append(value.toObject().value(QStringLiteral("test")).toString());
    return found;
}

QStringList sortedKeys(const QJsonObject& object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

class ScriptEventSuiteTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        document = test::readFileDocument(dir, QStringLiteral("integration.swift"), "let alpha = 12\n");
        test::openDocumentWindow(*document);
        const auto dictionary =
            ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")));
        ASSERT_TRUE(dictionary);
        dispatcher = std::make_unique<ScriptEventDispatcher>(*dictionary, [this] {
            return std::vector<KoriDocument*>{document.get()};
        });
        dispatcher->install(AppleEventManager::shared());
    }

    void copyReferenceFiles()
    {
        for (const char* file : {"tests/fixtures/cot-replace-reference.json", "docs/evidence/cot-normalization-reference.json",
                                 "docs/evidence/cot-typography-reference.json"})
            root.write(QLatin1String(file), sourceFile(file));
    }

    QJsonArray runSuite()
    {
        std::optional<QJsonArray> records;
        start(collect(ScriptEventTests::run(document.get(), document->fileURL(), root.path()), &records));
        EXPECT_TRUE(test::spinUntil([&] { return records.has_value(); }, 60000));
        return records.value_or(QJsonArray());
    }

    test::TempDir dir;
    test::TempDir root;
    std::unique_ptr<KoriDocument> document;
    std::unique_ptr<ScriptEventDispatcher> dispatcher;
};

}  // namespace

TEST_F(ScriptEventSuiteTest, TheReferenceFilesPassInTheSuitesOrderAndForms)
{
    copyReferenceFiles();
    const QJsonArray records = runSuite();
    const QStringList found = names(records);

    QStringList expected;
    for (const QJsonValue& value : QJsonDocument::fromJson(sourceFile("tests/fixtures/cot-replace-reference.json")).array())
        if (!value.toObject().value(QStringLiteral("skipExactComparison")).toBool())
            expected.append(QStringLiteral("AppleEvent self-dispatch ") + value.toObject().value(QStringLiteral("id")).toString());
    expected << QStringLiteral("AppleEvent selected line sort") << QStringLiteral("AppleEvent jump to line")
             << QStringLiteral("AppleEvent replacement follows CRLF format");
    for (const QJsonValue& value : QJsonDocument::fromJson(sourceFile("docs/evidence/cot-normalization-reference.json")).array())
        expected.append(QStringLiteral("AppleEvent normalization ") + value.toObject().value(QStringLiteral("form")).toString());
    for (const QJsonValue& value : QJsonDocument::fromJson(sourceFile("docs/evidence/cot-typography-reference.json")).array())
        expected.append(QStringLiteral("AppleEvent typography ") + value.toObject().value(QStringLiteral("form")).toString());
    expected << QStringLiteral("AppleEvent uppercase") << QStringLiteral("AppleEvent roman width")
             << QStringLiteral("AppleEvent console command");
    EXPECT_EQ(found, expected);

    for (const QJsonValue& value : records) {
        const QJsonObject record = value.toObject();
        const QString name = record.value(QStringLiteral("test")).toString();
        EXPECT_TRUE(record.value(QStringLiteral("passed")).toBool()) << name.toStdString();
        QStringList keys{QStringLiteral("passed"), QStringLiteral("test")};
        if (name.startsWith(QStringLiteral("AppleEvent self-dispatch ")))
            keys << QStringLiteral("count") << QStringLiteral("error");
        else if (name.startsWith(QStringLiteral("AppleEvent normalization ")) || name.endsWith(QStringLiteral(" sort"))
                 || name.endsWith(QStringLiteral(" jump to line")))
            keys << QStringLiteral("error");
        keys.sort();
        EXPECT_EQ(sortedKeys(record), keys) << name.toStdString();
        for (const QString& integer : {QStringLiteral("count"), QStringLiteral("error")})
            if (record.contains(integer)) {
                EXPECT_TRUE(record.value(integer).isDouble()) << name.toStdString();
            }
    }
    // What the suite leaves: its last text, the format it found, the console written and closed.
    EXPECT_EQ(document->string(), QStringLiteral("\uFF21\uFF22\uFF23"));
    EXPECT_EQ(document->format().lineEnding, LineEnding::lf);
    QWidget* console = ScriptConsole::shared().window();
    EXPECT_FALSE(console && console->isVisible());
}

TEST_F(ScriptEventSuiteTest, ReplacementCasesFollowTheirExpectationsAndSkippedOnesLeaveNoRecord)
{
    copyReferenceFiles();
    root.write(QStringLiteral("tests/fixtures/cot-replace-reference.json"), R"([
      {"id": "skipped", "source": "x", "pattern": "x", "replacement": "y", "regex": false, "ignoreCase": false, "count": 9, "skipExactComparison": true},
      {"id": "not skipped", "source": "x", "pattern": "x", "replacement": "y", "regex": false, "ignoreCase": false, "count": 1, "output": "y", "skipExactComparison": false},
      {"id": "expected failure", "source": "abc", "pattern": "(", "replacement": "", "regex": true, "ignoreCase": false, "count": 5, "output": "never", "error": "bad"},
      {"id": "count absent", "source": "aa", "pattern": "a", "replacement": "b", "regex": false, "ignoreCase": false, "output": "bb"},
      {"id": "output absent", "source": "aa", "pattern": "aa", "replacement": "", "regex": false, "ignoreCase": false, "count": 1},
      {"id": "wrong text", "source": "aa", "pattern": "a", "replacement": "b", "regex": false, "ignoreCase": false, "count": 2, "output": "ab"}
    ])");
    const QJsonArray records = runSuite();
    ASSERT_GE(records.size(), 5);
    const auto at = [&](int i) { return records.at(i).toObject(); };
    EXPECT_EQ(at(0).value(QStringLiteral("test")).toString(), QStringLiteral("AppleEvent self-dispatch not skipped"));
    EXPECT_TRUE(at(0).value(QStringLiteral("passed")).toBool());
    // A rejected regular expression passes on its error number, whatever the count and text.
    EXPECT_TRUE(at(1).value(QStringLiteral("passed")).toBool());
    EXPECT_NE(at(1).value(QStringLiteral("error")).toInt(), 0);
    // Without "count" only a reply without one passes; without "output" the empty text is expected.
    EXPECT_FALSE(at(2).value(QStringLiteral("passed")).toBool());
    EXPECT_EQ(at(2).value(QStringLiteral("count")).toInt(), 2);
    EXPECT_TRUE(at(3).value(QStringLiteral("passed")).toBool());
    EXPECT_FALSE(at(4).value(QStringLiteral("passed")).toBool());
    EXPECT_EQ(at(4).value(QStringLiteral("error")).toInt(), 0);
    EXPECT_EQ(at(5).value(QStringLiteral("test")).toString(), QStringLiteral("AppleEvent selected line sort"));
}

TEST_F(ScriptEventSuiteTest, AMissingOrBrokenReferenceFileEndsTheRunWithOneHarnessRecord)
{
    // No replacement file: nothing is sent, the document keeps its text.
    QJsonArray records = runSuite();
    ASSERT_EQ(records.size(), 1);
    EXPECT_EQ(sortedKeys(records.at(0).toObject()), (QStringList{"error", "passed", "test"}));
    EXPECT_EQ(records.at(0).toObject().value(QStringLiteral("test")).toString(), QStringLiteral("AppleEvent self-dispatch"));
    EXPECT_FALSE(records.at(0).toObject().value(QStringLiteral("passed")).toBool());
    EXPECT_FALSE(records.at(0).toObject().value(QStringLiteral("error")).toString().isEmpty());
    EXPECT_EQ(document->string(), QStringLiteral("let alpha = 12\n"));

    // A normalization file of the wrong shape: the records so far, then the harness record.
    copyReferenceFiles();
    root.write(QStringLiteral("docs/evidence/cot-normalization-reference.json"), R"([{"form": "NFC", "source": 1}])");
    records = runSuite();
    const QStringList found = names(records);
    ASSERT_FALSE(found.isEmpty());
    EXPECT_EQ(found.last(), QStringLiteral("AppleEvent self-dispatch"));
    EXPECT_TRUE(found.contains(QStringLiteral("AppleEvent replacement follows CRLF format")));
    EXPECT_FALSE(found.contains(QStringLiteral("AppleEvent uppercase")));
}

TEST_F(ScriptEventSuiteTest, NormalizationComparesCodeUnitsAndAnUnknownFormFailsWithoutStoppingTheRun)
{
    copyReferenceFiles();
    root.write(QStringLiteral("docs/evidence/cot-normalization-reference.json"), R"([
      {"form": "NFD", "source": "caf\u00e9", "output": "caf\u00e9", "error": ""},
      {"form": "NFX", "source": "a", "output": "a", "error": ""}
    ])");
    root.write(QStringLiteral("docs/evidence/cot-typography-reference.json"), "[]");
    const QJsonArray records = runSuite();
    QJsonObject nfd, unknown;
    for (const QJsonValue& value : records) {
        if (value.toObject().value(QStringLiteral("test")) == QStringLiteral("AppleEvent normalization NFD")) nfd = value.toObject();
        if (value.toObject().value(QStringLiteral("test")) == QStringLiteral("AppleEvent normalization NFX")) unknown = value.toObject();
    }
    // The canonically equivalent NFC text is not what NFD gives.
    EXPECT_FALSE(nfd.value(QStringLiteral("passed")).toBool(true));
    EXPECT_EQ(nfd.value(QStringLiteral("error")).toInt(-1), 0);
    EXPECT_FALSE(unknown.value(QStringLiteral("passed")).toBool(true));
    // An empty typography file adds nothing; the run goes on to its last checks.
    EXPECT_TRUE(names(records).filter(QStringLiteral("AppleEvent typography")).isEmpty());
    EXPECT_EQ(names(records).last(), QStringLiteral("AppleEvent console command"));
}
