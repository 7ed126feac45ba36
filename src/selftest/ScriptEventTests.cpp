#include "selftest/ScriptEventTests.h"

#include "document/KoriDocument.h"
#include "platform/events/EventCode.h"
#include "scripting/objects/ScriptableSelection.h"
#include "scripting/text/ScriptNormalization.h"
#include "scripting/console/ScriptConsole.h"
#include "scripting/console/ScriptOutputView.h"
#include "selftest/ScriptEventCases.h"
#include "selftest/SelfTestFrame.h"

#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QPointer>
#include <QWidget>

#include <limits>
#include <map>
#include <optional>

namespace korimado {

namespace {

using D = EventDescriptor;
using Result = InProcessEventChannel::Result;

const QString harnessName = QStringLiteral("AppleEvent self-dispatch");

// GCC 12 cannot keep a string literal alive across a co_await in the same expression: every
// code and key a send needs is named here, and parameters are built before the send.
constexpr FourCharCode coreClass = fourCharCode("core");
constexpr FourCharCode setID = fourCharCode("setd");
constexpr FourCharCode editorClass = fourCharCode("cEd1");
constexpr FourCharCode replaceID = fourCharCode("RPlc");
constexpr FourCharCode sortID = fourCharCode("Sort");
constexpr FourCharCode jumpID = fourCharCode("Jump");
constexpr FourCharCode normalizeID = fourCharCode("UNml");
constexpr FourCharCode changeCaseID = fourCharCode("CGcs");
constexpr FourCharCode romanWidthID = fourCharCode("GWrm");
constexpr FourCharCode consoleID = fourCharCode("cnsl");
constexpr FourCharCode keyData = fourCharCode("data");
constexpr FourCharCode keyTarget = fourCharCode("tRgt");
constexpr FourCharCode keyNewString = fourCharCode("nWst");
constexpr FourCharCode keyAll = fourCharCode("aLl ");
constexpr FourCharCode keyRegex = fourCharCode("rEex");
constexpr FourCharCode keyIgnoreCase = fourCharCode("iGcs");
constexpr FourCharCode keyLine = fourCharCode("line");
constexpr FourCharCode keyForm = fourCharCode("uNft");
constexpr FourCharCode keyCaseType = fourCharCode("cStp");
constexpr FourCharCode keyWidthType = fourCharCode("rWtp");

const std::map<QString, QString> normalizationCodes = {
    {QStringLiteral("NFC"), QStringLiteral("cNfc")},          {QStringLiteral("NFD"), QStringLiteral("cNfd")},
    {QStringLiteral("NFKC"), QStringLiteral("cNkc")},         {QStringLiteral("NFKD"), QStringLiteral("cNkd")},
    {QStringLiteral("NFKC Casefold"), QStringLiteral("cNcf")}, {QStringLiteral("Modified NFC"), QStringLiteral("cNmc")},
    {QStringLiteral("Modified NFD"), QStringLiteral("cNfm")},
};

const std::map<QString, QString> typographyEvents = {
    {QStringLiteral("quotes"), QStringLiteral("SmQt")},
    {QStringLiteral("straight"), QStringLiteral("StQt")},
    {QStringLiteral("dashes"), QStringLiteral("SmDa")},
};

D typeOf(const char* text)
{
    return D::typeCode(code(QString::fromLatin1(text)));
}

D specifier(const char* want, const char* form, D seld, D from)
{
    return D::objectSpecifier(code(QString::fromLatin1(want)), code(QString::fromLatin1(form)), std::move(seld),
                              std::move(from));
}

int clamped(qint64 value)
{
    if (value > std::numeric_limits<int>::max()) return std::numeric_limits<int>::max();
    if (value < std::numeric_limits<int>::min()) return std::numeric_limits<int>::min();
    return int(value);
}

int errorNumber(const AppleEvent& reply)
{
    const D* number = reply.parameter(AppleEvent::keyErrorNumber);
    const std::optional<qint64> value = number ? number->toInteger() : std::nullopt;
    return value ? clamped(*value) : 0;
}

int directInteger(const AppleEvent& reply)
{
    const D* direct = reply.directObject();
    const std::optional<qint64> value = direct ? direct->toInteger() : std::nullopt;
    return value ? clamped(*value) : -1;
}

QJsonObject record(const QString& test, bool passed)
{
    return QJsonObject{{QStringLiteral("test"), test}, {QStringLiteral("passed"), passed}};
}

QJsonObject record(const QString& test, bool passed, int error)
{
    QJsonObject made = record(test, passed);
    made.insert(QStringLiteral("error"), error);
    return made;
}

std::optional<QByteArray> readAll(const QString& path, QString* error)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        *error = path + QStringLiteral(": ") + file.errorString();
        return std::nullopt;
    }
    return file.readAll();
}

std::optional<QList<NormalizationCase>> readNormalizationCases(const QString& path, QString* error)
{
    const std::optional<QByteArray> bytes = readAll(path, error);
    if (!bytes) return std::nullopt;
    return ScriptEventCases::decodeNormalizationCases(*bytes, error);
}

class ScriptEventRun {
public:
    ScriptEventRun(KoriDocument* document, const QString& fixture) : document_(document)
    {
        documentSpecifier_ = specifier("docu", "name", D::text(QFileInfo(fixture).fileName()), D());
        contentsSpecifier_ = specifier("prop", "prop", typeOf("PCnt"), documentSpecifier_);
    }

    SuiteTask<QJsonArray> run(QString root);

private:
    // The reply, or none once the run has ended with a harness failure.
    SuiteTask<std::optional<AppleEvent>> send(FourCharCode eventClass, FourCharCode eventID, D direct,
                                              std::vector<D::Item> params = {});
    SuiteTask<bool> setText(const QString& text);
    SuiteTask<bool> replacementCases(const QList<ReplaceCase>& cases);
    SuiteTask<bool> selectionCommands();
    SuiteTask<bool> normalization(const QList<NormalizationCase>& cases);
    SuiteTask<bool> typography(const QList<NormalizationCase>& cases);
    SuiteTask<bool> textTransforms();

    QString text() const { return document_ ? document_->string() : QString(); }
    void selectFirstLine() { ScriptableSelection(document_).setLineRange({1, 1}); }
    void harnessFailure(const QString& description)
    {
        QJsonObject failure = record(harnessName, false);
        failure.insert(QStringLiteral("error"), description);
        records_.append(failure);
    }

    QPointer<KoriDocument> document_;
    D documentSpecifier_;
    D contentsSpecifier_;
    D selectionSpecifier_;
    QJsonArray records_;
};

SuiteTask<std::optional<AppleEvent>> ScriptEventRun::send(FourCharCode eventClass, FourCharCode eventID, D direct,
                                                          std::vector<D::Item> params)
{
    AppleEvent event(eventClass, eventID);
    if (!direct.isNull()) event.setDirectObject(std::move(direct));
    for (D::Item& item : params) event.setParameter(item.key, std::move(item.value));
    Result result = co_await eventReply(std::move(event));
    if (!result.reply) {
        harnessFailure(result.error.isEmpty() ? QStringLiteral("応答がありません。") : result.error);
        co_return std::nullopt;
    }
    co_return std::move(result.reply);
}

SuiteTask<bool> ScriptEventRun::setText(const QString& text)
{
    std::vector<D::Item> params{{keyData, D::text(text)}};
    const std::optional<AppleEvent> reply = co_await send(coreClass, setID, contentsSpecifier_, std::move(params));
    co_return reply.has_value();
}

SuiteTask<bool> ScriptEventRun::replacementCases(const QList<ReplaceCase>& cases)
{
    for (const ReplaceCase& one : cases) {
        if (one.skipExactComparison.value_or(false)) continue;
        const bool set = co_await setText(one.source);
        if (!set) co_return false;
        std::vector<D::Item> params{{keyTarget, D::text(one.pattern)},
                                    {keyNewString, D::text(one.replacement)},
                                    {keyAll, D::boolean(true)},
                                    {keyRegex, D::boolean(one.regex)},
                                    {keyIgnoreCase, D::boolean(one.ignoreCase)}};
        const std::optional<AppleEvent> reply = co_await send(editorClass, replaceID, documentSpecifier_, std::move(params));
        if (!reply) co_return false;
        const int error = errorNumber(*reply);
        const int count = directInteger(*reply);
        // An expected failure passes on any error number; its count and text are not looked at.
        const bool passed = one.error ? error != 0
                                      : error == 0 && count == one.count.value_or(-1) && text() == one.output.value_or(QString());
        QJsonObject made = record(QStringLiteral("AppleEvent self-dispatch ") + one.id, passed, error);
        made.insert(QStringLiteral("count"), count);
        records_.append(made);
        if (!passed)
            SelfTestFrame::printLine(QStringLiteral("FAIL AppleEvent %1: count=%2, error=%3").arg(one.id).arg(count).arg(error));
    }
    co_return true;
}

SuiteTask<bool> ScriptEventRun::selectionCommands()
{
    const QString lines = QStringLiteral("b\na\n");
    const bool set = co_await setText(lines);
    if (!set) co_return false;
    selectionSpecifier_ = specifier("prop", "prop", typeOf("sele"), documentSpecifier_);
    const D rangeSpecifier = specifier("prop", "prop", typeOf("cRng"), selectionSpecifier_);
    std::vector<D::Item> whole{{keyData, D::list({D::integer(0), D::integer(4)})}};
    const std::optional<AppleEvent> ranged = co_await send(coreClass, setID, rangeSpecifier, std::move(whole));
    if (!ranged) co_return false;
    const std::optional<AppleEvent> sorted = co_await send(editorClass, sortID, selectionSpecifier_);
    if (!sorted) co_return false;
    records_.append(record(QStringLiteral("AppleEvent selected line sort"), text() == QStringLiteral("a\nb\n"), errorNumber(*sorted)));

    std::vector<D::Item> line{{keyLine, D::integer(2)}};
    const std::optional<AppleEvent> jumped = co_await send(editorClass, jumpID, documentSpecifier_, std::move(line));
    if (!jumped) co_return false;
    const std::vector<qint64> selected = ScriptableSelection(document_).lineRange();
    records_.append(record(QStringLiteral("AppleEvent jump to line"), !selected.empty() && selected.front() == 2, errorNumber(*jumped)));

    if (!document_) {
        harnessFailure(documentClosedMessage);
        co_return false;
    }
    // The format is changed directly, as a file read with CRLF would have it: no undo step.
    const TextFormat saved = document_->format();
    TextFormat crlf = saved;
    crlf.lineEnding = LineEnding::crlf;
    document_->setFormat(crlf);
    const QString crlfText = QStringLiteral("a\r\nb\r\n");
    const bool crlfSet = co_await setText(crlfText);
    std::optional<AppleEvent> replaced;
    if (crlfSet) {
        std::vector<D::Item> params{{keyTarget, D::text(QStringLiteral("a"))},
                                    {keyNewString, D::text(QStringLiteral("x\ny"))},
                                    {keyAll, D::boolean(true)},
                                    {keyRegex, D::boolean(true)}};
        replaced = co_await send(editorClass, replaceID, documentSpecifier_, std::move(params));
    }
    if (document_) document_->setFormat(saved);
    if (!replaced) co_return false;
    records_.append(record(QStringLiteral("AppleEvent replacement follows CRLF format"), text() == QStringLiteral("x\r\ny\r\nb\r\n")));
    co_return true;
}

SuiteTask<bool> ScriptEventRun::normalization(const QList<NormalizationCase>& cases)
{
    for (const NormalizationCase& one : cases) {
        const QString name = QStringLiteral("AppleEvent normalization ") + one.form;
        const auto form = normalizationCodes.find(one.form);
        if (form == normalizationCodes.end()) {
            // No event names this form: the case fails as the scripting layer answers an unknown one.
            records_.append(record(name, false, -1703));
            continue;
        }
        const bool set = co_await setText(one.source);
        if (!set) co_return false;
        selectFirstLine();
        std::vector<D::Item> params{{keyForm, D::enumerated(code(form->second))}};
        const std::optional<AppleEvent> reply = co_await send(editorClass, normalizeID, selectionSpecifier_, std::move(params));
        if (!reply) co_return false;
        // Code unit by code unit: a differently normalized equivalent fails.
        records_.append(record(name, text() == one.output, errorNumber(*reply)));
    }
    co_return true;
}

SuiteTask<bool> ScriptEventRun::typography(const QList<NormalizationCase>& cases)
{
    for (const NormalizationCase& one : cases) {
        const QString name = QStringLiteral("AppleEvent typography ") + one.form;
        const auto event = typographyEvents.find(one.form);
        if (event == typographyEvents.end()) {
            records_.append(record(name, false));
            continue;
        }
        const bool set = co_await setText(one.source);
        if (!set) co_return false;
        selectFirstLine();
        const FourCharCode id = code(event->second);
        const std::optional<AppleEvent> reply = co_await send(editorClass, id, selectionSpecifier_);
        if (!reply) co_return false;
        const QString nfc = QStringLiteral("NFC");
        records_.append(record(name, ScriptNormalization::apply(text(), nfc) == ScriptNormalization::apply(one.output, nfc)));
    }
    co_return true;
}

SuiteTask<bool> ScriptEventRun::textTransforms()
{
    const QString mixed = QStringLiteral("Abc");
    const bool set = co_await setText(mixed);
    if (!set) co_return false;
    selectFirstLine();
    std::vector<D::Item> upperCase{{keyCaseType, D::enumerated(fourCharCode("cCup"))}};
    const std::optional<AppleEvent> upper = co_await send(editorClass, changeCaseID, selectionSpecifier_, std::move(upperCase));
    if (!upper) co_return false;
    records_.append(record(QStringLiteral("AppleEvent uppercase"), text() == QStringLiteral("ABC")));

    std::vector<D::Item> fullWidth{{keyWidthType, D::enumerated(fourCharCode("rWfl"))}};
    const std::optional<AppleEvent> wide = co_await send(editorClass, romanWidthID, selectionSpecifier_, std::move(fullWidth));
    if (!wide) co_return false;
    records_.append(record(QStringLiteral("AppleEvent roman width"), text() == QStringLiteral("\uFF21\uFF22\uFF23")));

    const QString marker = QStringLiteral("script-test-marker");
    const std::optional<AppleEvent> written = co_await send(editorClass, consoleID, D::text(marker));
    if (!written) co_return false;
    ScriptConsole& console = ScriptConsole::shared();
    records_.append(record(QStringLiteral("AppleEvent console command"), console.text() && console.text()->text().contains(marker)));
    if (QWidget* window = console.window()) window->close();
    co_return true;
}

SuiteTask<QJsonArray> ScriptEventRun::run(QString root)
{
    QString error;
    const std::optional<QByteArray> replaceBytes = readAll(root + QStringLiteral("/tests/fixtures/cot-replace-reference.json"), &error);
    const std::optional<QList<ReplaceCase>> cases =
        replaceBytes ? ScriptEventCases::decodeReplaceCases(*replaceBytes, &error) : std::nullopt;
    if (!cases || !document_) {
        harnessFailure(document_ ? error : QStringLiteral("書類がありません。"));
        co_return records_;
    }
    // Each step ends the run when a send got no reply; its harness record is then the last.
    const bool replaced = co_await replacementCases(*cases);
    if (!replaced) co_return records_;
    const bool selected = co_await selectionCommands();
    if (!selected) co_return records_;

    const std::optional<QList<NormalizationCase>> forms =
        readNormalizationCases(root + QStringLiteral("/docs/evidence/cot-normalization-reference.json"), &error);
    if (!forms) {
        harnessFailure(error);
        co_return records_;
    }
    const bool normalized = co_await normalization(*forms);
    if (!normalized) co_return records_;

    const std::optional<QList<NormalizationCase>> marks =
        readNormalizationCases(root + QStringLiteral("/docs/evidence/cot-typography-reference.json"), &error);
    if (!marks) {
        harnessFailure(error);
        co_return records_;
    }
    const bool typed = co_await typography(*marks);
    if (!typed) co_return records_;
    co_await textTransforms();
    co_return records_;
}

}  // namespace

SuiteCompletion<InProcessEventChannel::Result> ScriptEventTests::send(const QString& eventClass, const QString& eventID,
                                                                      const EventDescriptor& direct, const Parameters& params)
{
    AppleEvent event(code(eventClass), code(eventID));
    if (!direct.isNull()) event.setDirectObject(direct);
    for (const auto& [key, value] : params) event.setParameter(code(key), value);
    return eventReply(std::move(event));
}

SuiteTask<QJsonArray> ScriptEventTests::run(KoriDocument* document, QString fixture, QString root)
{
    SelfTestFrame::printLine(eventsTravelOverBus() ? QStringLiteral("AppleEvent channel: session bus")
                                                   : QStringLiteral("AppleEvent channel: in-process, no session bus"));
    ScriptEventRun suite(document, fixture);
    SuiteTask<QJsonArray> whole = suite.run(std::move(root));
    QJsonArray records = co_await whole;
    co_return records;
}

}  // namespace korimado
