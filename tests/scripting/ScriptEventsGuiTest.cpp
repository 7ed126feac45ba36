// The events scripts send, from the dispatcher down to documents with windows: every code the
// self-test sends, the properties and commands with their edge cases, and each error number.
#include "document/KoriDocument.h"
#include "document/TextCodec.h"
#include "editor/EditorTextView.h"
#include "platform/events/AppleEventManager.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UndoManager.h"
#include "scripting/objects/ScriptEventDispatcher.h"
#include "scripting/console/ScriptConsole.h"
#include "scripting/console/ScriptOutputView.h"
#include "support/WindowFixture.h"

#include <gtest/gtest.h>

#include <chrono>

using namespace korimado;
using D = EventDescriptor;

namespace {

D documentSpecifier(const QString& name)
{
    return D::objectSpecifier(fourCharCode("docu"), fourCharCode("name"), D::text(name), D());
}

D propertySpecifier(const char* code, const D& from)
{
    return D::objectSpecifier(fourCharCode("prop"), fourCharCode("prop"), D::typeCode(korimado::code(QString::fromLatin1(code))), from);
}

D integers(std::initializer_list<qint64> values)
{
    std::vector<D> items;
    for (const qint64 value : values)
        items.push_back(D::integer(value));
    return D::list(std::move(items));
}

class ScriptEventsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        document = test::readFileDocument(dir, QStringLiteral("sample.txt"), "abc\n");
        window = &test::openDocumentWindow(*document);
        const auto dictionary =
            ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")));
        ASSERT_TRUE(dictionary);
        dispatcher = std::make_unique<ScriptEventDispatcher>(
            *dictionary, [this] { return std::vector<KoriDocument*>{document.get()}; },
            [this](const QStringList& paths) { opened += paths; });
        dispatcher->install(manager);
    }

    AppleEvent send(const char* eventClass, const char* id, const D& direct = D(), std::vector<D::Item> params = {})
    {
        AppleEvent event(code(QString::fromLatin1(eventClass)), code(QString::fromLatin1(id)));
        if (!direct.isNull())
            event.setDirectObject(direct);
        for (D::Item& item : params)
            event.setParameter(item.key, std::move(item.value));
        return manager.dispatch(event);
    }

    D doc() const { return documentSpecifier(QStringLiteral("sample.txt")); }
    D selection() const { return propertySpecifier("sele", doc()); }
    void setText(const QString& text) { send("core", "setd", propertySpecifier("PCnt", doc()), {{fourCharCode("data"), D::text(text)}}); }
    QString text() const { return document->string(); }
    void selectFirstLine() { send("core", "setd", propertySpecifier("cLin", selection()), {{fourCharCode("data"), integers({1, 1})}}); }
    EditorTextView& editor() const { return *window->textView(); }

    test::TempDir dir;
    std::unique_ptr<KoriDocument> document;
    EditorWindowController* window = nullptr;
    AppleEventManager manager;
    std::unique_ptr<ScriptEventDispatcher> dispatcher;
    QStringList opened;
};

}  // namespace

TEST_F(ScriptEventsTest, EveryCodeOfTheSelfTestReachesItsHandler)
{
    setText(QStringLiteral("aXa"));
    AppleEvent reply = send("cEd1", "RPlc", doc(),
                            {{fourCharCode("tRgt"), D::text(QStringLiteral("a"))}, {fourCharCode("nWst"), D::text(QStringLiteral("b"))},
                             {fourCharCode("aLl "), D::boolean(true)}, {fourCharCode("rEex"), D::boolean(false)},
                             {fourCharCode("iGcs"), D::boolean(false)}});
    EXPECT_EQ(reply.errorNumber(), 0);
    EXPECT_EQ(reply.directObject()->toInteger(), 2);
    EXPECT_EQ(text(), QStringLiteral("bXb"));

    setText(QStringLiteral("b\na\n"));
    EXPECT_EQ(send("core", "setd", propertySpecifier("cRng", selection()), {{fourCharCode("data"), integers({0, 4})}}).errorNumber(), 0);
    EXPECT_EQ(send("cEd1", "Sort", selection()).errorNumber(), 0);
    EXPECT_EQ(text(), QStringLiteral("a\nb\n"));

    EXPECT_EQ(send("cEd1", "Jump", doc(), {{fourCharCode("line"), D::integer(2)}}).errorNumber(), 0);
    EXPECT_EQ(send("core", "getd", propertySpecifier("cLin", selection())).directObject()->items()[0].value.toInteger(), 2);

    const std::pair<const char*, QString> forms[] = {{"cNfc", QStringLiteral("é")}, {"cNfd", QStringLiteral("e\u0301")},
                                                     {"cNkc", QStringLiteral("A")}, {"cNcf", QStringLiteral("a")}};
    for (const auto& [form, expected] : forms) {
        setText(form == std::string_view("cNfd") ? QStringLiteral("é") : form == std::string_view("cNfc") ? QStringLiteral("e\u0301") : QStringLiteral("Ａ"));
        selectFirstLine();
        EXPECT_EQ(send("cEd1", "UNml", selection(), {{fourCharCode("uNft"), D::enumerated(code(QString::fromLatin1(form)))}}).errorNumber(), 0);
        EXPECT_EQ(text(), expected) << form;
    }

    const std::pair<const char*, QString> typography[] = {{"SmQt", QStringLiteral("“a”")}, {"StQt", QStringLiteral("\"a\"")},
                                                          {"SmDa", QStringLiteral("a—b")}};
    for (const auto& [id, expected] : typography) {
        setText(id == std::string_view("SmDa") ? QStringLiteral("a--b") : id == std::string_view("SmQt") ? QStringLiteral("\"a\"")
                                                                                                        : QStringLiteral("“a”"));
        selectFirstLine();
        EXPECT_EQ(send("cEd1", id, selection()).errorNumber(), 0);
        EXPECT_EQ(text(), expected) << id;
    }

    setText(QStringLiteral("Abc"));
    selectFirstLine();
    send("cEd1", "CGcs", selection(), {{fourCharCode("cStp"), D::enumerated(fourCharCode("cCup"))}});
    EXPECT_EQ(text(), QStringLiteral("ABC"));
    send("cEd1", "GWrm", selection(), {{fourCharCode("rWtp"), D::enumerated(fourCharCode("rWfl"))}});
    EXPECT_EQ(text(), QStringLiteral("ＡＢＣ"));

    EXPECT_EQ(send("cEd1", "cnsl", D::text(QStringLiteral("script-test-marker"))).errorNumber(), 0);
    EXPECT_TRUE(ScriptConsole::shared().text()->text().contains(QStringLiteral("script-test-marker")));
    ScriptConsole::shared().window()->close();

    send("aevt", "odoc", D::list({D::text(QStringLiteral("/tmp/x.txt"))}));
    EXPECT_EQ(opened, QStringList{QStringLiteral("/tmp/x.txt")});
}

// The forms the self-test's table does not reach above: each text tells its form from the others,
// and the modified forms must spare their ranges on the way through the dictionary as well.
TEST_F(ScriptEventsTest, NormalizationFormsThroughEventsKeepTheirOwnRules)
{
    struct Case {
        const char* form;
        QString source;
        QString expected;
    };
    const Case cases[] = {
        {"cNkd", QStringLiteral("Ａé"), QStringLiteral("Ae\u0301")},
        // Plain NFC would turn U+F900 into U+8C48 and U+2F800 into U+4E3D.
        {"cNmc", QStringLiteral("\uF900e\u0301 \U0002F800"), QStringLiteral("\uF900é \U0002F800")},
        // Plain NFD would turn the ohm sign into omega; the é around it still decomposes.
        {"cNfm", QStringLiteral("é\u2126é"), QStringLiteral("e\u0301\u2126e\u0301")},
        // A mark after a spared scalar stays apart from it.
        {"cNmc", QStringLiteral("\u2000\u0301"), QStringLiteral("\u2000\u0301")},
    };
    for (const Case& c : cases) {
        const QString before = text();
        setText(c.source);
        selectFirstLine();
        const AppleEvent reply = send("cEd1", "UNml", selection(), {{fourCharCode("uNft"), D::enumerated(code(QString::fromLatin1(c.form)))}});
        EXPECT_EQ(reply.errorNumber(), 0) << c.form;
        EXPECT_EQ(text(), c.expected) << c.form;
        // One undo step brings the source back, code unit for code unit; a form that changes
        // nothing leaves no step.
        editor().undoManager()->undo();
        EXPECT_EQ(text(), c.expected == c.source ? before : c.source) << c.form;
    }
    // An enumerator of no form is refused and changes nothing.
    setText(QStringLiteral("e\u0301"));
    selectFirstLine();
    EXPECT_EQ(send("cEd1", "UNml", selection(), {{fourCharCode("uNft"), D::enumerated(fourCharCode("cNzz"))}}).errorNumber(), -1703);
    EXPECT_EQ(text(), QStringLiteral("e\u0301"));
}

// A line ending Shift JIS cannot hold is refused with the codec's error and changes nothing, and
// later sets still work; a set converts each break where it stands, so neither editor's caret
// leaves its line.
TEST_F(ScriptEventsTest, LineEndingSetGivesASaveableDocumentAndKeepsBothCarets)
{
    test::TempDir other;
    const QString sjis = QStringLiteral("日本語\nかな\nカナ\n");
    document = test::readFileDocument(other, QStringLiteral("sample.txt"),
                                      TextCodec::encode(sjis, TextFormat{TextEncoding::shiftJIS, false, LineEnding::lf, false}));
    window = &test::openDocumentWindow(*document);
    ASSERT_EQ(document->format().encoding, TextEncoding::shiftJIS);
    const auto setEnding = [&](const char* name) {
        return send("core", "setd", propertySpecifier("lnEd", doc()), {{fourCharCode("data"), D::text(QString::fromLatin1(name))}});
    };
    for (const char* name : {"NEL", "LS", "PS"}) {
        const AppleEvent refused = setEnding(name);
        EXPECT_EQ(refused.errorNumber(), -2700) << name;
        EXPECT_EQ(refused.errorString(), CodecError::makeUnrepresentable(TextEncoding::shiftJIS).errorDescription());
        EXPECT_EQ(text(), sjis);
        EXPECT_EQ(document->format().lineEnding, LineEnding::lf);
        EXPECT_FALSE(document->isDocumentEdited());
    }

    window->openSplitTextView();
    EditorTextView* second = window->secondaryEditor();
    ASSERT_NE(second, nullptr);
    editor().setSelectedRange({5, 0});  // line 1, column 1
    second->setSelectedRange({9, 0});   // the end of line 2
    EXPECT_EQ(setEnding("CRLF").errorNumber(), 0);
    EXPECT_EQ(text(), QStringLiteral("日本語\r\nかな\r\nカナ\r\n"));
    EXPECT_EQ(editor().selectedRange(), TextRange(6, 0));
    EXPECT_EQ(second->selectedRange(), TextRange(11, 0)) << "not between CR and LF";
    ErrorInfo error;
    EXPECT_TRUE(document->saveToURL(document->fileURL(), KoriDocument::plainTextType, Document::SaveOperation::save, &error))
        << error.description.toStdString();

    editor().undoManager()->undo();
    EXPECT_EQ(text(), sjis);
    EXPECT_EQ(document->format().lineEnding, LineEnding::lf);
    EXPECT_EQ(editor().selectedRange(), TextRange(5, 0));
    EXPECT_EQ(second->selectedRange(), TextRange(9, 0));
}

TEST_F(ScriptEventsTest, ContentsFollowTheLineEndingAndUndoInOneStep)
{
    setText(QStringLiteral("a\r\nb\r\n"));
    EXPECT_EQ(text(), QStringLiteral("a\nb\n"));
    UndoManager* undo = editor().undoManager();
    ASSERT_TRUE(undo);
    undo->undo();
    EXPECT_EQ(text(), QStringLiteral("abc\n"));
    undo->redo();
    // The same text again changes nothing and adds no step.
    const bool couldUndo = undo->canUndo();
    setText(QStringLiteral("a\nb\n"));
    EXPECT_EQ(undo->canUndo(), couldUndo);

    // A line-ending change and its conversion undo together.
    EXPECT_EQ(send("core", "setd", propertySpecifier("lnEd", doc()), {{fourCharCode("data"), D::text(QStringLiteral("crlf"))}}).errorNumber(), 0);
    EXPECT_EQ(text(), QStringLiteral("a\nb\n"));
    send("core", "setd", propertySpecifier("lnEd", doc()), {{fourCharCode("data"), D::text(QStringLiteral("CRLF"))}});
    EXPECT_EQ(text(), QStringLiteral("a\r\nb\r\n"));
    EXPECT_EQ(document->format().lineEnding, LineEnding::crlf);
    undo->undo();
    EXPECT_EQ(text(), QStringLiteral("a\nb\n"));
    EXPECT_EQ(document->format().lineEnding, LineEnding::lf);

    // A read-only editor keeps its text and its line ending.
    send("core", "setd", propertySpecifier("pEdt", doc()), {{fourCharCode("data"), D::boolean(false)}});
    send("core", "setd", propertySpecifier("lnEd", doc()), {{fourCharCode("data"), D::text(QStringLiteral("CRLF"))}});
    setText(QStringLiteral("zzz"));
    EXPECT_EQ(text(), QStringLiteral("a\nb\n"));
    EXPECT_EQ(document->format().lineEnding, LineEnding::lf);
    const AppleEvent refused = send("cEd1", "RPlc", doc(), {{fourCharCode("tRgt"), D::text(QStringLiteral("a"))}});
    EXPECT_EQ(refused.errorNumber(), -10006);
    EXPECT_EQ(refused.errorString(), QStringLiteral("この書類は編集が禁止されています。"));
}

TEST_F(ScriptEventsTest, CharactersAreGraphemeClusters)
{
    setText(QStringLiteral("e\u0301👍🏽x"));
    EXPECT_EQ(send("core", "getd", propertySpecifier("pLen", doc())).directObject()->toInteger(), 3);
    send("core", "setd", propertySpecifier("cRng", selection()), {{fourCharCode("data"), integers({1, 1})}});
    EXPECT_EQ(editor().selectedRange(), (TextRange{2, 4}));
    send("core", "setd", propertySpecifier("cRng", selection()), {{fourCharCode("data"), integers({-4, 2})}});
    EXPECT_EQ(send("core", "getd", propertySpecifier("PCnt", selection())).directObject()->toText(), QStringLiteral("e\u0301👍🏽"));
    EXPECT_EQ(send("cEd1", "StrG", doc(), {{fourCharCode("rnGe"), integers({1, 5})}}).directObject()->toText(),
              QStringLiteral("👍🏽x"));
    EXPECT_EQ(send("cEd1", "StrG", doc(), {{fourCharCode("rnGe"), integers({})}}).directObject()->toText(), QStringLiteral("e\u0301"));
    EXPECT_EQ(send("cEd1", "StrG", doc(), {{fourCharCode("rnGe"), integers({9})}}).directObject()->toText(), QString());
}

TEST_F(ScriptEventsTest, LineRangesClampAndCountWholeLines)
{
    setText(QStringLiteral("1\n2\n3\n4\n5\n6\n7\n8\n9\n10"));
    const auto lineRange = [&] { return send("core", "getd", propertySpecifier("cLin", selection())).directObject()->items(); };
    send("core", "setd", propertySpecifier("cLin", selection()), {{fourCharCode("data"), integers({100, 5})}});
    EXPECT_EQ(editor().selectedRange(), (TextRange{18, 2}));
    send("core", "setd", propertySpecifier("cLin", selection()), {{fourCharCode("data"), integers({-3, 2})}});
    EXPECT_EQ(editor().selectedRange(), (TextRange{0, 4}));
    EXPECT_EQ(lineRange()[0].value.toInteger(), 1);
    EXPECT_EQ(lineRange()[1].value.toInteger(), 2);
    editor().setSelectedRange({6, 0});
    EXPECT_EQ(lineRange()[0].value.toInteger(), 4);
    EXPECT_EQ(lineRange()[1].value.toInteger(), 1);

    send("cEd1", "Jump", doc(), {{fourCharCode("line"), D::integer(-1)}});
    EXPECT_EQ(editor().selectedRange(), (TextRange{18, 0}));
    send("cEd1", "Jump", doc(), {{fourCharCode("line"), D::integer(10000)}});
    EXPECT_EQ(editor().selectedRange(), (TextRange{18, 0}));
}

TEST_F(ScriptEventsTest, FindAndReplaceChooseWrapAndGoBackward)
{
    setText(QStringLiteral("a1 a2 a3"));
    editor().setSelectedRange({3, 1});
    const auto replaceOne = [&](bool backwards, bool wrap) {
        return send("cEd1", "RPlc", doc(),
                    {{fourCharCode("tRgt"), D::text(QStringLiteral("a"))}, {fourCharCode("nWst"), D::text(QStringLiteral("X"))},
                     {fourCharCode("bKwd"), D::boolean(backwards)}, {fourCharCode("wRap"), D::boolean(wrap)}});
    };
    EXPECT_EQ(replaceOne(false, false).directObject()->toInteger(), 1);
    EXPECT_EQ(text(), QStringLiteral("a1 a2 X3"));
    editor().setSelectedRange({3, 0});
    // A match starting exactly at the selection is not taken backward.
    EXPECT_EQ(replaceOne(true, false).directObject()->toInteger(), 1);
    EXPECT_EQ(text(), QStringLiteral("X1 a2 X3"));
    editor().setSelectedRange({8, 0});
    EXPECT_EQ(replaceOne(false, false).directObject()->toInteger(), 0);
    EXPECT_EQ(replaceOne(false, true).directObject()->toInteger(), 1);
    EXPECT_EQ(text(), QStringLiteral("X1 X2 X3"));

    const AppleEvent bad = send("cEd1", "Find", doc(), {{fourCharCode("tRgt"), D::text(QStringLiteral("(")) }, {fourCharCode("rEex"), D::boolean(true)}});
    EXPECT_EQ(bad.errorNumber(), -2700);
    EXPECT_EQ(bad.errorString(), QStringLiteral("無効な正規表現です。"));
    EXPECT_EQ(send("cEd1", "Find", doc(), {{fourCharCode("tRgt"), D::text(QString())}}).directObject()->toBoolean(), false);

    // An expression that backtracks without end is stopped at the script's time limit, and its
    // replace never lands afterwards.
    const QString hostile = QString(28, u'a') + u'b';
    setText(hostile);
    const auto started = std::chrono::steady_clock::now();
    const AppleEvent stopped = send("cEd1", "RPlc", doc(),
                                    {{fourCharCode("tRgt"), D::text(QStringLiteral("(a+)+$"))}, {fourCharCode("nWst"), D::text(QStringLiteral("X"))},
                                     {fourCharCode("aLl "), D::boolean(true)}, {fourCharCode("rEex"), D::boolean(true)}});
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(15));
    EXPECT_EQ(stopped.errorNumber(), -2700);
    EXPECT_EQ(stopped.errorString(), QStringLiteral("検索が制限時間（10秒）を超えたため中止しました。"));
    test::spinFor(50);
    EXPECT_EQ(text(), hostile);

    // Replacements longer and shorter than their matches, at both ends and beside emoji, in one
    // undo step.
    const auto replaceAll = [&](const QString& target, const QString& with, bool regex) {
        return send("cEd1", "RPlc", doc(),
                    {{fourCharCode("tRgt"), D::text(target)}, {fourCharCode("nWst"), D::text(with)},
                     {fourCharCode("aLl "), D::boolean(true)}, {fourCharCode("rEex"), D::boolean(regex)}});
    };
    setText(QStringLiteral("dog😀dog dig\ndog"));
    EXPECT_EQ(replaceAll(QStringLiteral("d(o|i)g"), QStringLiteral("[$1$1]"), true).directObject()->toInteger(), 4);
    EXPECT_EQ(text(), QStringLiteral("[oo]😀[oo] [ii]\n[oo]"));
    EXPECT_EQ(replaceAll(QStringLiteral("[oo]"), QString(), false).directObject()->toInteger(), 3);
    EXPECT_EQ(text(), QStringLiteral("😀 [ii]\n"));
    editor().undoManager()->undo();
    EXPECT_EQ(text(), QStringLiteral("[oo]😀[oo] [ii]\n[oo]"));
    // Matches replaced by themselves are counted and leave the text and its history as they were
    // (an edit would have cleared the redo just made possible).
    EXPECT_EQ(replaceAll(QStringLiteral("o+"), QStringLiteral("$0"), true).directObject()->toInteger(), 3);
    EXPECT_EQ(text(), QStringLiteral("[oo]😀[oo] [ii]\n[oo]"));
    EXPECT_TRUE(editor().undoManager()->canRedo());

    // In a CRLF document a replacement's breaks follow the document.
    TextFormat format = document->format();
    format.lineEnding = LineEnding::crlf;
    document->setFormat(format);
    setText(QStringLiteral("a\r\nb\r\n"));
    send("cEd1", "RPlc", doc(), {{fourCharCode("tRgt"), D::text(QStringLiteral("a"))}, {fourCharCode("nWst"), D::text(QStringLiteral("x\ny"))},
                                 {fourCharCode("aLl "), D::boolean(true)}, {fourCharCode("rEex"), D::boolean(true)}});
    EXPECT_EQ(text(), QStringLiteral("x\r\ny\r\nb\r\n"));
}

TEST_F(ScriptEventsTest, ErrorsNameWhatWentWrong)
{
    EXPECT_EQ(send("core", "getd", propertySpecifier("PCnt", documentSpecifier(QStringLiteral("none.txt")))).errorNumber(), -1728);
    EXPECT_EQ(send("core", "getd", D::text(QStringLiteral("x"))).errorNumber(), -1700);
    EXPECT_EQ(send("core", "setd", propertySpecifier("pLen", doc()), {{fourCharCode("data"), D::integer(3)}}).errorNumber(), -10003);
    EXPECT_EQ(send("cEd1", "zzzz").errorNumber(), -1708);
    EXPECT_EQ(send("cEd1", "UNml", selection(), {{fourCharCode("uNft"), D::text(QStringLiteral("nfc"))}}).errorNumber(), -1703);
    // Documents by index and ID as well as by name.
    const D byIndex = D::objectSpecifier(fourCharCode("docu"), fourCharCode("indx"), D::integer(1), D());
    const qint64 id = *send("core", "getd", propertySpecifier("ID  ", byIndex)).directObject()->toInteger();
    const D byID = D::objectSpecifier(fourCharCode("docu"), fourCharCode("ID  "), D::integer(id), D());
    EXPECT_EQ(send("core", "getd", propertySpecifier("PCnt", byID)).directObject()->toText(), QStringLiteral("abc\n"));
    EXPECT_EQ(send("core", "cnte", D(), {{fourCharCode("kocl"), D::typeCode(fourCharCode("docu"))}}).directObject()->toInteger(), 1);
}

TEST_F(ScriptEventsTest, ConvertMarksAndReinterpretStartsAFreshHistory)
{
    const auto convert = [&](const char* name, std::optional<bool> bom) {
        std::vector<D::Item> params{{fourCharCode("nEnc"), D::text(QString::fromUtf8(name))}};
        if (bom)
            params.push_back({fourCharCode("bOMa"), D::boolean(*bom)});
        return send("cEd1", "Conv", doc(), std::move(params));
    };
    EXPECT_EQ(convert("UTF-16 LE", std::nullopt).errorNumber(), 0);
    EXPECT_TRUE(document->format().bom);
    convert("UTF-8", std::nullopt);
    EXPECT_FALSE(document->format().bom);
    convert("Shift_JIS", true);
    EXPECT_FALSE(document->format().bom);

    // Reinterpreting a saved document: its old undo steps do not point into the new text.
    setText(QStringLiteral("ab"));
    ASSERT_TRUE(document->saveDocument());
    EXPECT_EQ(send("cEd1", "ReIn", doc(), {{fourCharCode("nEnc"), D::text(QStringLiteral("UTF-8"))}}).directObject()->toBoolean(), true);
    EXPECT_FALSE(editor().undoManager()->canUndo());
}
