// Where scripts meet the rest of the program: the front document, commands that change nothing,
// the undo names the Edit menu shows, the window's controls after a scripted setting, the
// console, comments on plain text, the application's own properties and the runner's label.
#include "app/DocumentStacking.h"
#include "document/KoriDocument.h"
#include "editor/EditorTextView.h"
#include "platform/events/AppleEventManager.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/MenuModel.h"
#include "platform/ui/MiddleTruncatingLabel.h"
#include "platform/ui/WindowTracker.h"
#include "scripting/objects/ScriptEventDispatcher.h"
#include "scripting/text/ScriptErrors.h"
#include "scripting/console/ScriptConsole.h"
#include "scripting/console/ScriptOutputView.h"
#include "support/WindowFixture.h"

#include <QCheckBox>
#include <QCoreApplication>

#include <gtest/gtest.h>

using namespace korimado;
using D = EventDescriptor;

namespace {

D documentAt(qint64 index)
{
    return D::objectSpecifier(fourCharCode("docu"), fourCharCode("indx"), D::integer(index), D());
}

D propertyOf(const char* code, const D& from)
{
    return D::objectSpecifier(fourCharCode("prop"), fourCharCode("prop"), D::typeCode(korimado::code(QString::fromLatin1(code))), from);
}

class ScriptFaultsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        for (const char* name : {"work.txt", "second.txt", "third.txt"}) {
            documents.push_back(test::readFileDocument(dir, QString::fromLatin1(name), "alpha\nbeta\n"));
            windows.push_back(&test::openDocumentWindow(*documents.back()));
            // Opened in this order, each in front of the ones before.
            WindowTracker::shared().makeKeyAndOrderFront(windows.back()->windowForSheet());
        }
        const auto dictionary = ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")));
        ASSERT_TRUE(dictionary);
        dispatcher = std::make_unique<ScriptEventDispatcher>(*dictionary, [this] {
            std::vector<Document*> open;
            for (const auto& document : documents)
                open.push_back(document.get());
            return DocumentStacking::frontToBack(open);
        });
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

    QString nameOf(const D& document)
    {
        const AppleEvent reply = send("core", "getd", propertyOf("pnam", document));
        return reply.directObject() ? reply.directObject()->toText().value_or(QString()) : QString();
    }

    KoriDocument& work() const { return *documents[0]; }
    KoriDocument& third() const { return *documents[2]; }
    EditorTextView& editorOf(size_t i) const { return *windows[i]->textView(); }

    test::TempDir dir;
    std::vector<std::unique_ptr<KoriDocument>> documents;
    std::vector<EditorWindowController*> windows;
    AppleEventManager manager;
    std::unique_ptr<ScriptEventDispatcher> dispatcher;
};

}  // namespace

TEST_F(ScriptFaultsTest, DocumentOneAndUntargetedCommandsMeanTheFrontWindow)
{
    EXPECT_EQ(nameOf(documentAt(1)), QStringLiteral("third.txt"));
    EXPECT_EQ(nameOf(documentAt(-1)), QStringLiteral("work.txt"));

    const AppleEvent replaced = send("cEd1", "RPlc", D(),
                                     {{fourCharCode("tRgt"), D::text(QStringLiteral("beta"))},
                                      {fourCharCode("nWst"), D::text(QStringLiteral("gamma"))},
                                      {fourCharCode("aLl "), D::boolean(true)}});
    EXPECT_EQ(replaced.errorNumber(), 0);
    EXPECT_EQ(third().string(), QStringLiteral("alpha\ngamma\n"));
    EXPECT_EQ(work().string(), QStringLiteral("alpha\nbeta\n"));

    // The user brings the first window to the front: it is document 1 now.
    WindowTracker::shared().makeKeyAndOrderFront(windows[0]->windowForSheet());
    EXPECT_EQ(nameOf(documentAt(1)), QStringLiteral("work.txt"));
    EXPECT_EQ(nameOf(documentAt(2)), QStringLiteral("third.txt"));
    EXPECT_EQ(nameOf(documentAt(3)), QStringLiteral("second.txt"));
    send("cEd1", "RPlc", D(), {{fourCharCode("tRgt"), D::text(QStringLiteral("alpha"))},
                               {fourCharCode("nWst"), D::text(QStringLiteral("A"))},
                               {fourCharCode("aLl "), D::boolean(true)}});
    EXPECT_EQ(work().string(), QStringLiteral("A\nbeta\n"));
}

TEST(DocumentStacking, WindowsNeverKeyComeAfterTheStackNewestFirstAndNoWindowLast)
{
    test::TempDir dir;
    auto none = test::readFileDocument(dir, QStringLiteral("none.txt"), "x");
    auto older = test::readFileDocument(dir, QStringLiteral("older.txt"), "x");
    auto newer = test::readFileDocument(dir, QStringLiteral("newer.txt"), "x");
    auto key = test::readFileDocument(dir, QStringLiteral("key.txt"), "x");
    test::openDocumentWindow(*older);
    test::openDocumentWindow(*newer);
    test::openDocumentWindow(*key);
    const QList<QWidget*> stack{WindowController::sheetWindowOf(key->windowControllers())};
    const std::vector<KoriDocument*> order =
        DocumentStacking::frontToBack({none.get(), older.get(), newer.get(), key.get()}, stack);
    EXPECT_EQ(order, (std::vector<KoriDocument*>{key.get(), newer.get(), older.get(), none.get()}));
}

// A command that leaves the text as it was records no step and keeps a clean document clean,
// whichever road it takes: a selection transform, a line command, a format change.
TEST_F(ScriptFaultsTest, CommandsThatChangeNothingRecordNoStepAndLeaveTheDocumentClean)
{
    KoriDocument& document = third();
    UndoManager& undo = *editorOf(2).undoManager();
    const D selection = propertyOf("sele", documentAt(1));
    send("core", "setd", propertyOf("cRng", selection), {{fourCharCode("data"), D::list({D::integer(0), D::integer(11)})}});
    ASSERT_FALSE(document.isDocumentEdited());

    const auto unchanged = [&](const char* what) {
        EXPECT_FALSE(undo.canUndo()) << what;
        EXPECT_FALSE(document.isDocumentEdited()) << what;
        EXPECT_EQ(document.string(), QStringLiteral("alpha\nbeta\n")) << what;
    };
    EXPECT_EQ(send("cEd1", "CGcs", selection, {{fourCharCode("cStp"), D::enumerated(fourCharCode("cClw"))}}).errorNumber(), 0);
    unchanged("lower case of lower-case text");
    EXPECT_EQ(send("cEd1", "UNml", selection, {{fourCharCode("uNft"), D::enumerated(fourCharCode("cNfc"))}}).errorNumber(), 0);
    unchanged("NFC of ASCII");
    EXPECT_EQ(send("cEd1", "DlDp", selection).errorNumber(), 0);
    unchanged("no duplicate lines");
    EXPECT_EQ(send("core", "setd", propertyOf("lnEd", documentAt(1)), {{fourCharCode("data"), D::text(QStringLiteral("LF"))}})
                  .errorNumber(),
              0);
    unchanged("the current line ending");
    EXPECT_EQ(send("cEd1", "Conv", documentAt(1), {{fourCharCode("nEnc"), D::text(QStringLiteral("UTF-8"))}}).errorNumber(), 0);
    unchanged("the current encoding");

    // A real change is still one step.
    send("cEd1", "CGcs", selection, {{fourCharCode("cStp"), D::enumerated(fourCharCode("cCup"))}});
    EXPECT_EQ(document.string(), QStringLiteral("ALPHA\nBETA\n"));
    EXPECT_TRUE(undo.canUndo());
    EXPECT_TRUE(document.isDocumentEdited());
}

// The Edit menu names the step it undoes or redoes, whoever made it.
TEST_F(ScriptFaultsTest, TheEditMenuNamesTheStepToUndoAndToRedo)
{
    EditorWindowController& window = *windows[2];
    MenuItem undoItem(QStringLiteral("取り消す"), QStringLiteral("undo:"));
    MenuItem redoItem(QStringLiteral("やり直す"), QStringLiteral("redo:"));
    const auto validate = [&] {
        window.validate(undoItem);
        window.validate(redoItem);
    };
    validate();
    EXPECT_EQ(undoItem.title(), QStringLiteral("取り消す"));
    EXPECT_EQ(redoItem.title(), QStringLiteral("やり直す"));

    send("cEd1", "RPlc", documentAt(1), {{fourCharCode("tRgt"), D::text(QStringLiteral("beta"))},
                                         {fourCharCode("nWst"), D::text(QStringLiteral("B"))},
                                         {fourCharCode("aLl "), D::boolean(true)}});
    validate();
    EXPECT_EQ(undoItem.title(), QStringLiteral("取り消す（置換）"));
    send("core", "setd", propertyOf("PCnt", documentAt(1)), {{fourCharCode("data"), D::text(QStringLiteral("new\n"))}});
    validate();
    EXPECT_EQ(undoItem.title(), QStringLiteral("取り消す（スクリプト）"));
    window.textView()->undoManager()->undo();
    validate();
    EXPECT_EQ(undoItem.title(), QStringLiteral("取り消す（置換）"));
    EXPECT_EQ(redoItem.title(), QStringLiteral("やり直す（スクリプト）"));

    window.textView()->setSelectedRange({0, 0});
    window.textView()->insertText(QStringLiteral("x"));
    window.textView()->breakUndoCoalescing();
    validate();
    EXPECT_EQ(undoItem.title(), QStringLiteral("取り消す（入力）"));
    EXPECT_EQ(redoItem.title(), QStringLiteral("やり直す"));
}

TEST_F(ScriptFaultsTest, AScriptedWrapSettingIsShownByTheToolbarBox)
{
    EditorWindowController& window = *windows[2];
    const D wraps = propertyOf("wrAp", documentAt(1));
    for (const bool on : {true, false, true, false}) {
        send("core", "setd", wraps, {{fourCharCode("data"), D::boolean(on)}});
        EXPECT_EQ(window.toolbarWrap()->isChecked(), on);
        EXPECT_EQ(window.textView()->wrapsLines(), on);
    }
}

TEST_F(ScriptFaultsTest, WriteToConsoleWritesAnyValueAndMissingTextAsAnEmptyLine)
{
    ScriptOutputView& console = *ScriptConsole::shared().text();
    console.setText(QString());
    EXPECT_EQ(send("cEd1", "cnsl", D::integer(42)).errorNumber(), 0);
    EXPECT_EQ(send("cEd1", "cnsl", D::list({D::integer(1), D::text(QStringLiteral("二")), D::boolean(true)})).errorNumber(), 0);
    EXPECT_EQ(send("cEd1", "cnsl", D::real(2.5)).errorNumber(), 0);
    EXPECT_EQ(send("cEd1", "cnsl").errorNumber(), 0);
    EXPECT_EQ(send("cEd1", "cnsl", D::text(QStringLiteral("文字"))).errorNumber(), 0);
    EXPECT_EQ(console.text(), QStringLiteral("42\n{1, \"二\", true}\n2.5\n\n文字\n"));
    ScriptConsole::shared().window()->close();
}

TEST_F(ScriptFaultsTest, CommentCommandsOnPlainTextAreBothRefused)
{
    const D selection = propertyOf("sele", documentAt(1));
    for (const char* id : {"CmOt", "UnCm"}) {
        const AppleEvent reply = send("cEd1", id, selection);
        EXPECT_EQ(reply.errorNumber(), ScriptErrors::notSupported) << id;
        EXPECT_EQ(reply.errorString(), ScriptErrors::notSupportedMessage) << id;
    }
    EXPECT_EQ(third().string(), QStringLiteral("alpha\nbeta\n"));
}

TEST_F(ScriptFaultsTest, TheApplicationsNameAndVersionAreReadable)
{
    const AppleEvent name = send("core", "getd", propertyOf("pnam", D()));
    ASSERT_EQ(name.errorNumber(), 0);
    EXPECT_EQ(name.directObject()->toText(), QCoreApplication::applicationName());
    const AppleEvent version = send("core", "getd", propertyOf("vers", D()));
    ASSERT_EQ(version.errorNumber(), 0);
    EXPECT_EQ(version.directObject()->toText(), QCoreApplication::applicationVersion());
    EXPECT_EQ(send("core", "setd", propertyOf("vers", D()), {{fourCharCode("data"), D::text(QStringLiteral("9"))}}).errorNumber(),
              ScriptErrors::readOnly);
    EXPECT_EQ(send("core", "getd", propertyOf("zzzz", D())).errorNumber(), ScriptErrors::noSuchObject);
}

TEST(MiddleTruncatingLabel, CutsInTheMiddleAndShowsALineBreakOnTheOneLine)
{
    MiddleTruncatingLabel label;
    label.show();
    const QString path = QStringLiteral("/home/user/first\nsecond/") + QString(60, u'x') + QStringLiteral("/run.sh");
    label.setText(path);
    label.resize(6000, 30);
    EXPECT_EQ(label.text(), path);
    EXPECT_EQ(label.shownText(), QString(path).replace(u'\n', u'⏎'));

    label.resize(150, 30);
    const QString shown = label.shownText();
    EXPECT_TRUE(shown.startsWith(QStringLiteral("/home"))) << shown.toStdString();
    EXPECT_TRUE(shown.endsWith(QStringLiteral("run.sh"))) << shown.toStdString();
    EXPECT_TRUE(shown.contains(u'…')) << shown.toStdString();
    EXPECT_FALSE(shown.contains(u'\n'));
}
