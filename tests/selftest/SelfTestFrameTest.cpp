// How a launch picks its suite, how suites print values, and the reference files the suites read.
#include "selftest/ScriptEventCases.h"
#include "selftest/SelfTestFormat.h"
#include "selftest/SelfTestSelection.h"

#include <QFile>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace korimado;

namespace {

QStringList launch(std::initializer_list<const char*> flags)
{
    QStringList arguments{QStringLiteral("korimado")};
    for (const char* flag : flags) arguments.append(QString::fromLatin1(flag));
    return arguments;
}

QByteArray sourceFile(const char* relative)
{
    QFile file(QStringLiteral(KORIMADO_SOURCE_DIR "/") + QLatin1String(relative));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

}  // namespace

TEST(SelfTestSelection, FirstFlagOfTheFixedOrderWinsAndNothingRunsWithoutTheSelfTestFlag)
{
    EXPECT_EQ(SelfTestSelection::suiteFor(launch({"--ui-self-test"})), SelfTestSuite::ui);
    EXPECT_EQ(SelfTestSelection::suiteFor(launch({"--ui-self-test", "--integration-only", "--startup-only"})),
              SelfTestSuite::startupLayout);
    EXPECT_EQ(SelfTestSelection::suiteFor(launch({"--features-only", "--ui-self-test", "--performance-only"})),
              SelfTestSuite::featurePerformance);
    EXPECT_EQ(SelfTestSelection::suiteFor(launch({"--ui-self-test", "--features-only", "--integration-only"})),
              SelfTestSuite::integration);
    EXPECT_EQ(SelfTestSelection::suiteFor(launch({"--ui-self-test", "--features-only", "file.svg"})),
              SelfTestSuite::features);

    EXPECT_EQ(SelfTestSelection::suiteFor(launch({"--startup-only", "--integration-only"})), SelfTestSuite::none);
    EXPECT_EQ(SelfTestSelection::suiteFor(launch({"--ui-self-test=1"})), SelfTestSuite::none);
    // The background policy holds with or without a suite.
    EXPECT_TRUE(SelfTestSelection::keepsWindowsInBackground(launch({"--startup-only"})));
    EXPECT_TRUE(SelfTestSelection::keepsWindowsInBackground(launch({"--ui-self-test", "--performance-only"})));
    EXPECT_FALSE(SelfTestSelection::keepsWindowsInBackground(launch({"--ui-self-test", "--integration-only"})));
}

TEST(SelfTestFormat, NumbersReadBackAndRectanglesAndTimesHaveTheirForms)
{
    EXPECT_EQ(SelfTestFormat::number(12), QStringLiteral("12"));
    EXPECT_EQ(SelfTestFormat::number(0.1), QStringLiteral("0.1"));
    EXPECT_EQ(SelfTestFormat::number(-2.5), QStringLiteral("-2.5"));
    EXPECT_EQ(SelfTestFormat::number(16.7), QStringLiteral("16.7"));
    for (const double value : {1.0 / 3.0, 123456.789, 1e-7, 6.02e23, 0.0})
        EXPECT_EQ(SelfTestFormat::number(value).toDouble(), value) << SelfTestFormat::number(value).toStdString();
    EXPECT_EQ(SelfTestFormat::numbers({1, 2.5}), QStringLiteral("[1, 2.5]"));
    EXPECT_EQ(SelfTestFormat::numbers({}), QStringLiteral("[]"));

    EXPECT_EQ(SelfTestFormat::rect(QRectF(0, 10.5, 1180, 760)), QStringLiteral("{{0, 10.5}, {1180, 760}}"));
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$"))
                    .match(SelfTestFormat::timestamp())
                    .hasMatch())
        << SelfTestFormat::timestamp().toStdString();

    EXPECT_EQ(SelfTestFormat::quoted(QStringLiteral("a\"b\\\n日本語")), QStringLiteral("\"a\\\"b\\\\\\n日本語\""));
    EXPECT_EQ(SelfTestFormat::quotedPairs({{QStringLiteral("キャンセル"), QStringLiteral("\x1b")}, {QStringLiteral("保存"), QString()}}),
              QStringLiteral("[(\"キャンセル\", \"\\u{1B}\"), (\"保存\", \"\")]"));
    EXPECT_EQ(SelfTestFormat::quotedList({QStringLiteral("保存"), QStringLiteral("キャンセル")}),
              QStringLiteral("[\"保存\", \"キャンセル\"]"));
}

TEST(ScriptEventCases, TheCommittedReferenceFilesDecodeWhole)
{
    QString error;
    const auto replace = ScriptEventCases::decodeReplaceCases(sourceFile("tests/fixtures/cot-replace-reference.json"), &error);
    ASSERT_TRUE(replace) << error.toStdString();
    EXPECT_GE(replace->size(), 18);
    QSet<QString> ids;
    int errors = 0, skipped = 0;
    for (const ReplaceCase& c : *replace) {
        ids.insert(c.id);
        errors += c.error.has_value();
        skipped += c.skipExactComparison.value_or(false);
        // Line breaks in the file are LF only: the document converts what the command inserts.
        EXPECT_FALSE(c.source.contains(QLatin1Char('\r')) || c.output.value_or(QString()).contains(QLatin1Char('\r'))) << c.id.toStdString();
    }
    EXPECT_EQ(ids.size(), replace->size()) << "case ids name checks and must differ";
    EXPECT_EQ(errors, 1);
    EXPECT_EQ(skipped, 1);

    const auto normalization = ScriptEventCases::decodeNormalizationCases(
        sourceFile("docs/evidence/cot-normalization-reference.json"), &error);
    ASSERT_TRUE(normalization) << error.toStdString();
    QStringList forms;
    for (const NormalizationCase& c : *normalization) forms.append(c.form);
    EXPECT_EQ(forms, QStringList({"NFC", "NFD", "NFKC", "NFKD", "NFKC Casefold", "Modified NFC", "Modified NFD"}));

    const auto typography = ScriptEventCases::decodeNormalizationCases(
        sourceFile("docs/evidence/cot-typography-reference.json"), &error);
    ASSERT_TRUE(typography) << error.toStdString();
    forms.clear();
    for (const NormalizationCase& c : *typography) forms.append(c.form);
    EXPECT_EQ(forms, QStringList({"quotes", "straight", "dashes"}));
}

TEST(ScriptEventCases, AFaultAnywhereFailsTheWholeFileAndUnknownKeysAreIgnored)
{
    QString error;
    const auto ok = ScriptEventCases::decodeReplaceCases(
        R"([{"id":"a","source":"","pattern":"x","replacement":"","regex":false,"ignoreCase":true,"note":"extra"}])", &error);
    ASSERT_TRUE(ok);
    EXPECT_FALSE(ok->front().count);
    EXPECT_FALSE(ok->front().output);
    EXPECT_FALSE(ok->front().skipExactComparison);

    const char* faulty[] = {
        R"({"id":"a"})",
        R"([{"id":"a","source":"","pattern":"x","replacement":"","regex":"yes","ignoreCase":true}])",
        R"([{"id":"a","source":"","pattern":"x","replacement":"","regex":false}])",
        R"([{"id":"a","source":"","pattern":"x","replacement":"","regex":false,"ignoreCase":false,"count":1.5}])",
        R"([{"id":"a","source":"","pattern":"x","replacement":"","regex":false,"ignoreCase":false},7])",
        R"([{"id":"a","source":"","pattern":"x","replacement":""})",
    };
    for (const char* json : faulty) {
        error.clear();
        EXPECT_FALSE(ScriptEventCases::decodeReplaceCases(json, &error)) << json;
        EXPECT_FALSE(error.isEmpty()) << json;
    }
    EXPECT_FALSE(ScriptEventCases::decodeNormalizationCases(R"([{"form":"NFC","source":"a","output":"a"}])", &error));
    EXPECT_TRUE(ScriptEventCases::decodeNormalizationCases("[]", &error).value().isEmpty());
}
