// The standard commands a script sends (save, close, quit) and a scripted edit on a document
// without a window, from the dispatcher down.
#include "platform/events/AppleEventManager.h"
#include "platform/foundation/Bundle.h"
#include "platform/foundation/UndoManager.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "scripting/objects/ScriptEventDispatcher.h"
#include "scripting/objects/ScriptableDocument.h"
#include "support/WindowFixture.h"

#include <QFile>
#include <QPointer>

#include <gtest/gtest.h>

using namespace korimado;
using D = EventDescriptor;

namespace {

D documentNamed(const QString& name)
{
    return D::objectSpecifier(fourCharCode("docu"), fourCharCode("name"), D::text(name), D());
}

D contentsOf(const D& document)
{
    return D::objectSpecifier(fourCharCode("prop"), fourCharCode("prop"), D::typeCode(fourCharCode("PCnt")), document);
}

class ScriptStandardCommandsTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        AlertPresenter::setShared(&alerts);
        const auto dictionary =
            ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef")));
        ASSERT_TRUE(dictionary);
        dispatcher = std::make_unique<ScriptEventDispatcher>(
            *dictionary,
            [this] {
                std::vector<KoriDocument*> live;
                for (const QPointer<KoriDocument>& document : documents)
                    if (document) live.push_back(document);
                return live;
            },
            ScriptEventDispatcher::FileOpener(), [this] { ++quits; });
        dispatcher->install(manager);
    }
    void TearDown() override
    {
        // A closed document deletes itself later; the rest are deleted here.
        for (const QPointer<KoriDocument>& document : documents) delete document.data();
        AlertPresenter::setShared(nullptr);
    }

    KoriDocument& adopt(std::unique_ptr<KoriDocument> document, bool withWindow = true)
    {
        if (withWindow) test::openDocumentWindow(*document);
        documents.push_back(document.get());
        return *document.release();
    }

    // A document read from name, with a window, edited to text by a script.
    KoriDocument& edited(const QString& name, const QString& text)
    {
        KoriDocument& document = adopt(test::readFileDocument(dir, name, "saved\n"));
        EXPECT_EQ(send("core", "setd", contentsOf(documentNamed(name)), {{fourCharCode("data"), D::text(text)}}).errorNumber(), 0);
        EXPECT_TRUE(document.isDocumentEdited());
        return document;
    }

    AppleEvent send(const char* eventClass, const char* id, const D& direct = D(), std::vector<D::Item> params = {})
    {
        AppleEvent event(code(QString::fromLatin1(eventClass)), code(QString::fromLatin1(id)));
        if (!direct.isNull()) event.setDirectObject(direct);
        for (D::Item& item : params) event.setParameter(item.key, std::move(item.value));
        return manager.dispatch(event);
    }

    static D::Item saving(const char* option) { return {fourCharCode("savo"), D::enumerated(code(QString::fromLatin1(option)))}; }
    static bool isOpen(const QPointer<KoriDocument>& document) { return document && !document->windowControllers().empty(); }

    test::TempDir dir;
    ScriptedAlertPresenter alerts;
    AppleEventManager manager;
    std::vector<QPointer<KoriDocument>> documents;
    std::unique_ptr<ScriptEventDispatcher> dispatcher;
    int quits = 0;
};

}  // namespace

TEST_F(ScriptStandardCommandsTest, SaveWritesTheDocumentsFileOrTheGivenPathAndRefusesWhatItCannot)
{
    KoriDocument& document = edited(QStringLiteral("a.txt"), QStringLiteral("changed\n"));
    EXPECT_EQ(send("core", "save", documentNamed("a.txt")).errorNumber(), 0);
    EXPECT_EQ(test::readFile(dir.file("a.txt")), "changed\n");
    EXPECT_FALSE(document.isDocumentEdited());

    // Saved as another file, which the document then is.
    const QString copy = dir.file(QStringLiteral("copy.txt"));
    EXPECT_EQ(send("core", "save", documentNamed("a.txt"), {{fourCharCode("kfil"), D::text(copy)}}).errorNumber(), 0);
    EXPECT_EQ(test::readFile(copy), "changed\n");
    EXPECT_EQ(document.fileURL(), copy);

    // A relative path says nothing of where it would go.
    const AppleEvent relative = send("core", "save", documentNamed("copy.txt"), {{fourCharCode("kfil"), D::text("b.txt")}});
    EXPECT_EQ(relative.errorNumber(), ScriptErrors::failed);
    EXPECT_FALSE(relative.errorString().isEmpty());

    // Another program's bytes are not silently overwritten.
    send("core", "setd", contentsOf(documentNamed("copy.txt")), {{fourCharCode("data"), D::text("mine\n")}});
    test::spinFor(1100);  // a later modification time than the one the document knows
    QFile other(copy);
    ASSERT_TRUE(other.open(QIODevice::WriteOnly | QIODevice::Truncate));
    other.write("theirs\n");
    other.close();
    EXPECT_EQ(send("core", "save", documentNamed("copy.txt")).errorNumber(), ScriptErrors::failed);
    EXPECT_EQ(test::readFile(copy), "theirs\n");
}

TEST_F(ScriptStandardCommandsTest, SavingAnUntitledDocumentNeedsAPath)
{
    KoriDocument& untitled = adopt(std::make_unique<KoriDocument>());
    const AppleEvent reply = send("core", "save", D::objectSpecifier(fourCharCode("docu"), fourCharCode("indx"), D::integer(1), D()));
    EXPECT_EQ(reply.errorNumber(), ScriptErrors::failed);
    EXPECT_TRUE(untitled.fileURL().isEmpty());
}

TEST_F(ScriptStandardCommandsTest, CloseSavesDropsOrAsksAsTheScriptSays)
{
    QPointer<KoriDocument> dropped = &edited(QStringLiteral("drop.txt"), QStringLiteral("lost\n"));
    EXPECT_EQ(send("core", "clos", documentNamed("drop.txt"), {saving("no  ")}).errorNumber(), 0);
    EXPECT_FALSE(isOpen(dropped));
    EXPECT_EQ(test::readFile(dir.file("drop.txt")), "saved\n");

    QPointer<KoriDocument> kept = &edited(QStringLiteral("keep.txt"), QStringLiteral("kept\n"));
    EXPECT_EQ(send("core", "clos", documentNamed("keep.txt"), {saving("yes ")}).errorNumber(), 0);
    EXPECT_FALSE(isOpen(kept));
    EXPECT_EQ(test::readFile(dir.file("keep.txt")), "kept\n");

    // Unsaved changes with nothing said: the user is asked once the reply has gone.
    QPointer<KoriDocument> asked = &edited(QStringLiteral("ask.txt"), QStringLiteral("maybe\n"));
    alerts.enqueueAnswer(1);  // キャンセル
    EXPECT_EQ(send("core", "clos", documentNamed("ask.txt")).errorNumber(), 0);
    EXPECT_TRUE(alerts.shown().isEmpty());
    EXPECT_TRUE(test::spinUntil([&] { return !alerts.shown().isEmpty(); }, 2000));
    EXPECT_TRUE(isOpen(asked));
    alerts.enqueueAnswer(2);  // 保存しない
    send("core", "clos", documentNamed("ask.txt"), {saving("ask ")});
    EXPECT_TRUE(test::spinUntil([&] { return !isOpen(asked); }, 2000));
    EXPECT_EQ(test::readFile(dir.file("ask.txt")), "saved\n");
}

TEST_F(ScriptStandardCommandsTest, QuitEndsTheProgramAfterTheReplyAndNeverLosesWhatItCouldNotSave)
{
    QPointer<KoriDocument> untitled = &adopt(std::make_unique<KoriDocument>());
    send("core", "setd", contentsOf(D::objectSpecifier(fourCharCode("docu"), fourCharCode("indx"), D::integer(1), D())),
         {{fourCharCode("data"), D::text("draft")}});
    ASSERT_TRUE(untitled->isDocumentEdited());

    // Saving an untitled document fails: nothing closes, nothing quits.
    EXPECT_EQ(send("aevt", "quit", D(), {saving("yes ")}).errorNumber(), ScriptErrors::failed);
    test::spinFor(50);
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(isOpen(untitled));

    EXPECT_EQ(send("aevt", "quit", D(), {saving("no  ")}).errorNumber(), 0);
    EXPECT_FALSE(isOpen(untitled));
    EXPECT_EQ(quits, 0);
    EXPECT_TRUE(test::spinUntil([&] { return quits == 1; }, 2000));

    // A program that cannot quit says so.
    AppleEventManager other;
    ScriptEventDispatcher plain(*ScriptingDictionary::load(Bundle::main().path(QStringLiteral("Korimado"), QStringLiteral("sdef"))),
                                [] { return std::vector<KoriDocument*>(); });
    plain.install(other);
    EXPECT_EQ(other.dispatch(AppleEvent(fourCharCode("aevt"), fourCharCode("quit"))).errorNumber(), ScriptErrors::notSupported);
}

TEST_F(ScriptStandardCommandsTest, AScriptedEditOnADocumentWithoutAWindowIsOneUndoStepEach)
{
    KoriDocument& document = adopt(test::readFileDocument(dir, QStringLiteral("bare.txt"), "one\n"), false);
    ASSERT_TRUE(document.windowControllers().empty());
    const D contents = contentsOf(documentNamed("bare.txt"));
    EXPECT_EQ(send("core", "setd", contents, {{fourCharCode("data"), D::text("two\n")}}).errorNumber(), 0);
    EXPECT_EQ(send("cEd1", "RPlc", documentNamed("bare.txt"),
                   {{fourCharCode("tRgt"), D::text("two")}, {fourCharCode("nWst"), D::text("three")}, {fourCharCode("aLl "), D::boolean(true)}})
                  .errorNumber(),
              0);
    EXPECT_EQ(document.string(), QStringLiteral("three\n"));
    EXPECT_TRUE(document.isDocumentEdited());

    UndoManager* undo = document.undoManager();
    ASSERT_TRUE(undo && undo->canUndo());
    undo->undo();
    EXPECT_EQ(document.string(), QStringLiteral("two\n"));
    ASSERT_TRUE(undo->canUndo());
    undo->undo();
    EXPECT_EQ(document.string(), QStringLiteral("one\n"));
    EXPECT_FALSE(document.isDocumentEdited());
    undo->redo();
    EXPECT_EQ(document.string(), QStringLiteral("two\n"));
}
