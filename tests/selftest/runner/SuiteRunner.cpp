// Runs one self-test suite of the program in a working folder of its own, offscreen, and fails when
// the suite crashed or hung, wrote the wrong files or keys, miscounted, left a screenshot empty, or
// recorded a failed check that the allow-list does not name.
//   selftest_suite_runner SUITE PROGRAM SOURCE_DIR
#include <QCoreApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QSet>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <unistd.h>

namespace {

struct Suite {
    QString name;
    QString flag;  // empty for the default suite
    QString report;
    QStringList reportKeys;
    QString summaryPrefix;  // empty when the suite prints no counting summary
    QStringList screenshots;
    QStringList otherFiles;  // further files the suite may write into docs/evidence
};

const QList<Suite> suites = {
    {"integration", "--integration-only", "integration-tests.json", {"at", "checks"}, "Integrated checks ",
     {"integrated-editor.png", "integrated-replace-panel.png"}, {}},
    {"performance", "--performance-only", "feature-performance.json",
     {"at", "foreground_unchanged", "measurements", "scope"}, {}, {}, {}},
    {"startup", "--startup-only", "startup-layout-tests.json", {"at", "checks"}, "Startup and pinch checks ", {}, {}},
    {"ui", "", "ui-tests.json", {"at", "benchmarks", "checks", "scope"}, {},
     {"korimado-preview.png", "korimado-editor-view.png", "korimado-split.png"}, {"korimado-window.json"}},
    {"features", "--features-only", "svg-tree-tests.json", {"at", "checks"}, "SVG/tree tests: ",
     {"svg-player-preview.png", "svg-tree-three-columns.png", "settings-japanese.png",
      "settings-editor-japanese.png", "settings-preview-japanese.png", "save-confirmation-japanese.png"},
     {"svg-tree-window.json"}},
};

const QStringList measurementKeys = {"input_p50_ms", "input_p95_ms", "lines", "open_ms", "two_columns",
                                     "visible_on_external_display", "within_16_7_ms_input_budget", "wrap"};

const QStringList benchmarkKeys = {"input_cache", "input_path", "insert_and_display_p50_ms", "insert_and_display_p95_ms",
                                   "jump_to_end_and_display_ms", "last_markdown_render_ms", "lines",
                                   "open_and_first_display_ms", "preview_delay_and_load_ms", "utf16_units"};
// The UI suite's checks in the order they are made, when its panels and close question appear as
// they do here (the save panel, then the question with a cancel button).
const QStringList uiCheckNames = {
    "explicit Unicode normalization edit is not discarded", "NSTextView Japanese and emoji insertion",
    "document marked edited", "Undo menu action reaches editor", "Undo restores original", "Undo clears edited state",
    "Redo menu action reaches editor", "Redo restores Japanese", "Redo marks edited state",
    "marked composition is active", "composition commits Japanese", "real saved bytes preserve edits",
    "standard Save writes file and clears edited state", "encoding option marks edited state",
    "encoding option Undo restores clean state", "WKWebView rendered Japanese",
    "WKWebView has all required Markdown structures", "page JavaScript disabled", "preview mode hides editor",
    "edit mode hides preview", "save panel cancellation retains unsaved text",
    "close cancellation protects unsaved document", "standard New creates KoriDocument",
    "NSDocument Save As operation writes exact owned URL", "Save As assigns URL and clears dirty state",
    "10000 lines: no Markdown work while editing", "10000 lines: line index remains correct",
    "50000 lines: no Markdown work while editing", "50000 lines: line index remains correct",
    "50000 lines: rapid edits coalesce before render", "50000 lines: preview catches latest revision",
    "100000 lines: no Markdown work while editing", "100000 lines: line index remains correct",
    "100000 lines: bounded preview does not parse oversized text"};
// In the order the window facts are written.
const QStringList windowFactKeys = {"pid", "window_id", "is_visible", "frame", "screen_capture_access"};

int failures = 0;

void fail(const QString& what)
{
    std::fprintf(stderr, "selftest: %s\n", what.toUtf8().constData());
    ++failures;
}

bool copyTree(const QString& from, const QString& to)
{
    QDir().mkpath(to);
    QDirIterator it(from, QDir::Files | QDir::Hidden | QDir::NoDotAndDotDot, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        const QString file = it.next();
        const QString target = to + QLatin1Char('/') + QDir(from).relativeFilePath(file);
        QDir().mkpath(QFileInfo(target).path());
        if (!QFile::copy(file, target)) return false;
    }
    return true;
}

// "suite<TAB>check<TAB>reason" lines; '#' starts a comment.
QSet<QString> allowedFailures(const QString& file, const QString& suite)
{
    QSet<QString> allowed;
    QFile in(file);
    if (!in.open(QIODevice::ReadOnly)) return allowed;
    for (const QByteArray& raw : in.readAll().split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        const QStringList fields = line.split(QLatin1Char('\t'));
        if (fields.size() >= 3 && fields[0] == suite && !fields[2].trimmed().isEmpty()) allowed.insert(fields[1]);
    }
    return allowed;
}

QStringList sortedKeys(const QJsonObject& object)
{
    QStringList keys = object.keys();
    keys.sort();
    return keys;
}

void checkRecords(const Suite& suite, const QJsonObject& report, const QString& output, const QSet<QString>& allowed)
{
    const QJsonArray checks = report.value("checks").toArray();
    int passed = 0;
    for (const QJsonValue& value : checks) {
        const QJsonObject record = value.toObject();
        const QString name = record.value("test").toString();
        if (!record.value("test").isString() || !record.value("passed").isBool())
            fail("a record without a string \"test\" and a boolean \"passed\": "
                 + QString::fromUtf8(QJsonDocument(record).toJson(QJsonDocument::Compact)));
        if (record.value("passed").toBool()) ++passed;
        else if (!allowed.contains(name)) fail("failed check: " + name);
    }
    if (suite.summaryPrefix.isEmpty()) return;
    const QString summary = suite.summaryPrefix + QString::number(passed) + "/" + QString::number(checks.size());
    if (!output.split('\n').contains(summary)) fail("no summary line \"" + summary + "\"");
}

void checkMeasurements(const QJsonObject& report, const QString& output)
{
    const QJsonArray measurements = report.value("measurements").toArray();
    if (measurements.isEmpty()) fail("no measurement");
    for (const QJsonValue& value : measurements)
        if (sortedKeys(value.toObject()) != measurementKeys)
            fail("measurement keys: " + sortedKeys(value.toObject()).join(", "));
    const qsizetype perfLines = output.count(QRegularExpression("^PERF \\d+: open=", QRegularExpression::MultilineOption));
    if (perfLines != measurements.size()) fail("PERF lines do not match the measurements");
}

QJsonArray readArray(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).array() : QJsonArray();
}

// The Apple-event suite runs inside the integration suite: its records are the ones named
// "AppleEvent …". They must be exactly those the reference files call for, in their order and
// forms, and all pass; a failed replacement case also prints its "FAIL AppleEvent" line.
void checkAppleEventRecords(const QJsonObject& report, const QString& output, const QString& source,
                            const QSet<QString>& allowed)
{
    QStringList expected;
    for (const QJsonValue& value : readArray(source + "/tests/fixtures/cot-replace-reference.json"))
        if (!value.toObject().value("skipExactComparison").toBool())
            expected << "AppleEvent self-dispatch " + value.toObject().value("id").toString();
    expected << "AppleEvent selected line sort" << "AppleEvent jump to line" << "AppleEvent replacement follows CRLF format";
    for (const QJsonValue& value : readArray(source + "/docs/evidence/cot-normalization-reference.json"))
        expected << "AppleEvent normalization " + value.toObject().value("form").toString();
    for (const QJsonValue& value : readArray(source + "/docs/evidence/cot-typography-reference.json"))
        expected << "AppleEvent typography " + value.toObject().value("form").toString();
    expected << "AppleEvent uppercase" << "AppleEvent roman width" << "AppleEvent console command";

    QStringList found;
    for (const QJsonValue& value : report.value("checks").toArray()) {
        const QJsonObject record = value.toObject();
        const QString name = record.value("test").toString();
        if (!name.startsWith("AppleEvent")) continue;
        found << name;
        QStringList keys{"passed", "test"};
        if (name == "AppleEvent self-dispatch") fail("harness failure: " + record.value("error").toString());
        else if (name.startsWith("AppleEvent self-dispatch ")) keys << "count" << "error";
        else if (name.startsWith("AppleEvent normalization ") || name == "AppleEvent selected line sort"
                 || name == "AppleEvent jump to line")
            keys << "error";
        keys.sort();
        if (sortedKeys(record) != keys) fail("keys of \"" + name + "\": " + sortedKeys(record).join(", "));
        for (const char* integer : {"count", "error"})
            if (keys.contains(integer) && !record.value(integer).isDouble()) fail(name + ": \"" + integer + "\" is not a number");
        const bool passed = record.value("passed").toBool();
        if (!passed && !allowed.contains(name)) fail("failed check: " + name);
        const QString line = "FAIL AppleEvent " + name.mid(int(qstrlen("AppleEvent self-dispatch "))) + ": count=";
        if (name.startsWith("AppleEvent self-dispatch ") && output.contains(line) == passed)
            fail(name + (passed ? ": a FAIL line for a passing case" : ": no FAIL line"));
    }
    if (found != expected) fail("Apple-event records: " + found.join(" | ") + "\n  expected: " + expected.join(" | "));
}

void checkUIReport(const QJsonObject& report, const QString& output, const QString& evidence)
{
    const QStringList lines = output.split('\n');
    if (!lines.contains(QLatin1String("UI self-test complete"))) fail("no line \"UI self-test complete\"");
    QStringList names;
    for (const QJsonValue& record : report.value("checks").toArray()) names.append(record.toObject().value("test").toString());
    if (names != uiCheckNames) fail("UI checks, or their order: " + names.join(" | "));
    // The close question is reported with each button and the key that presses it.
    const QRegularExpression closeSheet("^Close sheet \\w+: \\[\\(\"[^\"]+\", \"[^\"]*\"\\)(, \\(\"[^\"]+\", \"[^\"]*\"\\))*\\]$");
    const auto sheetLine = std::find_if(lines.begin(), lines.end(), [](const QString& line) { return line.startsWith("Close sheet "); });
    if (sheetLine == lines.end() || !closeSheet.match(*sheetLine).hasMatch()
        || !sheetLine->contains(QStringLiteral("(\"キャンセル\", \"\\u{1B}\")")))
        fail("close sheet line: " + (sheetLine == lines.end() ? QString("none") : *sheetLine));
    if (!QRegularExpression("^Responder context: key=.+, main=.+$", QRegularExpression::MultilineOption).match(output).hasMatch())
        fail("no responder context line");
    const QJsonArray benchmarks = report.value("benchmarks").toArray();
    QList<int> sizes;
    for (const QJsonValue& value : benchmarks) {
        const QJsonObject benchmark = value.toObject();
        if (sortedKeys(benchmark) != benchmarkKeys) fail("benchmark keys: " + sortedKeys(benchmark).join(", "));
        sizes.append(benchmark.value("lines").toInt());
        const bool measuresPreview = benchmark.value("lines").toInt() == 50000;
        if ((benchmark.value("preview_delay_and_load_ms").toDouble() == -1) == measuresPreview)
            fail("preview delay given for the wrong sizes");
    }
    if (sizes != QList<int>{10000, 50000, 100000}) fail("benchmarks are not the three sizes in order");

    QFile facts(evidence + "korimado-window.json");
    if (!facts.open(QIODevice::ReadOnly)) {
        fail("no window facts");
        return;
    }
    const QByteArray bytes = facts.readAll();
    const QJsonObject object = QJsonDocument::fromJson(bytes).object();
    QList<qsizetype> positions;
    for (const QString& key : windowFactKeys) positions.append(bytes.indexOf('"' + key.toUtf8() + "\":"));
    if (object.size() != windowFactKeys.size() || positions.contains(-1) || !std::is_sorted(positions.begin(), positions.end()))
        fail("window facts keys, or their order: " + QString::fromUtf8(bytes));
    if (object.value("pid").toInteger() <= 0 || !object.value("is_visible").toBool()
        || !QRegularExpression("^\\{\\{-?\\d+, -?\\d+\\}, \\{\\d+, \\d+\\}\\}$").match(object.value("frame").toString()).hasMatch())
        fail("window facts: " + QString::fromUtf8(bytes));
}

// Without its Markdown sample the UI suite ends after its first check with a harness record,
// writes its report all the same and ends the program.
void checkUIWithoutSample(const QString& evidence)
{
    QFile file(evidence + "ui-tests.json");
    if (!file.open(QIODevice::ReadOnly)) {
        fail("no report ui-tests.json");
        return;
    }
    const QJsonObject report = QJsonDocument::fromJson(file.readAll()).object();
    const QJsonArray checks = report.value("checks").toArray();
    const QJsonObject first = checks.at(0).toObject();
    const QJsonObject harness = checks.at(1).toObject();
    if (checks.size() != 2 || first.value("test").toString() != "explicit Unicode normalization edit is not discarded"
        || harness.value("test").toString() != "UI harness" || harness.value("passed") != QJsonValue(false)
        || harness.value("error").toString().isEmpty())
        fail("checks without the sample: " + QString::fromUtf8(QJsonDocument(checks).toJson(QJsonDocument::Compact)));
    if (!report.value("benchmarks").toArray().isEmpty()) fail("benchmarks without the sample");
    if (QFileInfo::exists(evidence + "korimado-split.png")) fail("a screenshot without the sample window");
}

}  // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 4) {
        std::fprintf(stderr, "usage: %s SUITE PROGRAM SOURCE_DIR\n", argv[0]);
        return 2;
    }
    // A working folder without fixtures or evidence: the integration suite ends at its first step,
    // says so, writes nothing and still ends the program with status 0.
    const bool bareFolder = args[1] == QLatin1String("frame-without-evidence");
    const bool appleEvents = args[1] == QLatin1String("appleevent");
    const bool withoutSample = args[1] == QLatin1String("ui-without-sample");
    const QString suiteName = bareFolder || appleEvents ? QStringLiteral("integration")
        : withoutSample                                 ? QStringLiteral("ui")
                                                        : args[1];
    const Suite* suite = nullptr;
    for (const Suite& candidate : suites)
        if (candidate.name == suiteName) suite = &candidate;
    if (!suite) {
        std::fprintf(stderr, "unknown suite %s\n", argv[1]);
        return 2;
    }
    const QString source = args[3];

    QTemporaryDir root;
    if (!root.isValid()) return 2;
    const QString work = root.filePath("work");
    if (bareFolder) {
        QDir().mkpath(work);
    } else if (!copyTree(source + "/tests/fixtures", work + "/tests/fixtures")
        || !copyTree(source + "/docs/evidence", work + "/docs/evidence")
        || !QDir().mkpath(work + "/tests/outputs")) {
        std::fprintf(stderr, "cannot prepare the working folder\n");
        return 2;
    }
    if (withoutSample) QFile::remove(work + "/tests/fixtures/REA-sample.md");
    const QStringList inputs = QDir(work + "/docs/evidence").entryList(QDir::Files | QDir::Hidden);
    const QSet<QString> before(inputs.begin(), inputs.end());

    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const char* kind : {"config", "data", "cache", "state", "runtime", "home"}) {
        const QString dir = root.filePath(kind);
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner);
    }
    env.insert("XDG_CONFIG_HOME", root.filePath("config"));
    env.insert("XDG_DATA_HOME", root.filePath("data"));
    env.insert("XDG_CACHE_HOME", root.filePath("cache"));
    env.insert("XDG_STATE_HOME", root.filePath("state"));
    env.insert("XDG_RUNTIME_DIR", root.filePath("runtime"));
    env.insert("HOME", root.filePath("home"));
    env.insert("TMPDIR", root.path());
    env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("QT_QUICK_BACKEND", "software");
    env.insert("LANG", "C.UTF-8");
    if (geteuid() == 0) {
        env.insert("QTWEBENGINE_DISABLE_SANDBOX", "1");
        env.insert("QTWEBENGINE_CHROMIUM_FLAGS", "--no-sandbox --disable-gpu");
    }

    QStringList programArgs = {"--ui-self-test"};
    if (!suite->flag.isEmpty()) programArgs << suite->flag;
    programArgs << "--exit-after-tests";
    QProcess program;
    program.setProcessEnvironment(env);
    program.setWorkingDirectory(work);
    program.setProcessChannelMode(QProcess::SeparateChannels);
    program.start(args[2], programArgs);
    if (!program.waitForStarted()) {
        std::fprintf(stderr, "cannot start %s\n", argv[2]);
        return 1;
    }
    const bool ended = program.waitForFinished(280 * 1000);
    const QString output = QString::fromUtf8(program.readAllStandardOutput());
    const QByteArray errors = program.readAllStandardError();
    std::fputs(output.toUtf8().constData(), stdout);
    if (!ended) {
        program.kill();
        program.waitForFinished(5000);
        fail("the suite did not end within 280 s");
    } else if (program.exitStatus() != QProcess::NormalExit) {
        fail("the program crashed");
    } else if (program.exitCode() != 0) {
        fail("exit status " + QString::number(program.exitCode()));
    }
    if (failures) std::fputs(errors.constData(), stderr);

    if (bareFolder) {
        if (!output.contains(QLatin1String("\nFAIL integration harness: ")) && !output.startsWith(QLatin1String("FAIL integration harness: ")))
            fail("no failed harness check");
        if (!output.split('\n').contains(QLatin1String("Integrated checks 0/1"))) fail("no summary line \"Integrated checks 0/1\"");
        if (QFileInfo::exists(work + "/docs")) fail("the suite created docs/");
        return failures ? 1 : 0;
    }

    const QString evidence = work + "/docs/evidence/";
    if (withoutSample) {
        checkUIWithoutSample(evidence);
        return failures ? 1 : 0;
    }
    QFile reportFile(evidence + suite->report);
    QJsonObject report;
    if (!reportFile.open(QIODevice::ReadOnly)) {
        fail("no report " + suite->report);
    } else {
        QJsonParseError error;
        const QJsonDocument document = QJsonDocument::fromJson(reportFile.readAll(), &error);
        if (!document.isObject()) fail("the report is not a JSON object: " + error.errorString());
        report = document.object();
        QStringList expected = suite->reportKeys;
        expected.sort();
        if (sortedKeys(report) != expected) fail("report keys: " + sortedKeys(report).join(", "));
        if (!QRegularExpression("^\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\dZ$").match(report.value("at").toString()).hasMatch())
            fail("\"at\" is not an ISO 8601 UTC time");
    }
    if (appleEvents) {
        checkAppleEventRecords(report, output, source, allowedFailures(source + "/tests/selftest/allowed-failures.txt", "appleevent"));
        return failures ? 1 : 0;
    }
    if (report.contains("checks"))
        checkRecords(*suite, report, output, allowedFailures(source + "/tests/selftest/allowed-failures.txt", suite->name));
    if (report.contains("measurements")) checkMeasurements(report, output);
    if (suite->name == QLatin1String("ui")) checkUIReport(report, output, evidence);

    for (const QString& png : suite->screenshots)
        if (QFileInfo(evidence + png).size() <= 0) fail("screenshot missing or empty: " + png);
    QSet<QString> allowedNames = before;
    allowedNames.insert(suite->report);
    for (const QString& name : suite->screenshots + suite->otherFiles) allowedNames.insert(name);
    for (const QString& name : QDir(evidence).entryList(QDir::Files | QDir::Hidden))
        if (!allowedNames.contains(name)) fail("unexpected file docs/evidence/" + name);

    return failures ? 1 : 0;
}
