// Autosave keeps every key typed, and what a crash or a kill left is given back at the next start:
// beside its file, in its format, as one step the user can undo.
#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "document/TextCodec.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/text/TextView.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "KoriDocumentTestSupport.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <memory>

using namespace korimado;
using korimado::test::TempDir;
using korimado::test::readFile;
using korimado::test::spinUntil;
using korimado::test::typeText;

namespace {

struct Session {
    UserDefaults defaults;
    ScriptedAlertPresenter alerts;
    KoriDocumentController controller{&defaults};
    Session() { controller.setAlertPresenter(&alerts); }

    KoriDocument* open(const QString& path)
    {
        Document* opened = nullptr;
        controller.openDocument(path, false, [&](Document* d, bool, auto error) {
            opened = d;
            EXPECT_FALSE(error);
        });
        return static_cast<KoriDocument*>(opened);
    }
    // The one document given back, or null.
    KoriDocument* reopenAfterTheKill()
    {
        const std::vector<Document*> reopened = controller.offerAutosavedDocuments(false);
        EXPECT_EQ(reopened.size(), 1u);
        return reopened.size() == 1 ? static_cast<KoriDocument*>(reopened.front()) : nullptr;
    }
};

// Runs what a session did before it was killed: its documents go without closing, their
// autosaves stay.
void sessionKilledAfter(const std::function<void(Session&)>& work)
{
    QDir(Document::autosaveFolder()).removeRecursively();
    auto session = std::make_unique<Session>();
    work(*session);
}

void autosave(KoriDocument& document)
{
    ErrorInfo error;
    ASSERT_TRUE(document.autosave(&error)) << error.description.toStdString();
}

}  // namespace

TEST(KoriDocumentAutosave, KeysTypedDuringABackgroundWriteReachTheNextTick)
{
    TempDir dir;
    KoriDocument document;
    const QString path = dir.write("notes.txt", "hello\n");
    ASSERT_TRUE(document.readFromURL(path, KoriDocument::plainTextType, nullptr));
    document.setFileURL(path);
    TextView view;
    view.setTextStorage(document.sharedStorage());
    view.setUndoManager(document.undoManager());
    view.setSelectedRange({5, 0});
    view.insertText("a");
    ASSERT_TRUE(document.hasUnautosavedChanges());

    document.autosaveInBackground();
    // The same typing run goes on while the copy taken above is written.
    view.insertText("b");
    view.insertText("c");
    ASSERT_TRUE(spinUntil([&] { return !document.isAutosavingInBackground(); }));
    EXPECT_EQ(readFile(document.autosavedContentsFileURL()), "helloa\n");
    EXPECT_TRUE(document.hasUnautosavedChanges());

    document.autosaveInBackground();
    ASSERT_TRUE(spinUntil([&] { return !document.isAutosavingInBackground(); }));
    EXPECT_EQ(readFile(document.autosavedContentsFileURL()), "helloabc\n");
    EXPECT_FALSE(document.hasUnautosavedChanges());
    // Still one undo step: counting keys for autosaving leaves the edited state alone.
    document.undoManager()->undo();
    EXPECT_EQ(document.string(), "hello\n");
    EXPECT_FALSE(document.isDocumentEdited());
    const QString autosaved = document.autosavedContentsFileURL();
    ASSERT_TRUE(document.saveDocument());
    EXPECT_FALSE(QFileInfo::exists(autosaved));
}

TEST(KoriDocumentAutosave, TextIsGivenBackBesideItsFileInItsFormatAsOneUndoableStep)
{
    TempDir dir;
    const TextFormat sjis{TextEncoding::shiftJIS, false, LineEnding::crlf, false};
    const QString path = dir.write("日記.txt", TextCodec::encode(QStringLiteral("今日は\r\n晴れ\r\n"), sjis));
    sessionKilledAfter([&](Session& s) {
        KoriDocument* document = s.open(path);
        ASSERT_NE(document, nullptr);
        typeText(*document, 3, QStringLiteral("も明日も"));
        autosave(*document);
    });

    Session s;
    KoriDocument* document = s.reopenAfterTheKill();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->fileURL(), path);
    EXPECT_EQ(document->string(), QStringLiteral("今日はも明日も\r\n晴れ\r\n"));
    EXPECT_EQ(document->format(), sjis);
    EXPECT_TRUE(document->isDocumentEdited());
    UndoManager* undo = document->undoManager();
    EXPECT_EQ(undo->undoActionName(), KoriDocument::restoreActionName);
    EXPECT_EQ(document->storage().history().lastStepUnits(), 4) << "only what differs from the file";
    // Undoing gives the file's text back, and with it a clean document.
    undo->undo();
    EXPECT_EQ(document->string(), QStringLiteral("今日は\r\n晴れ\r\n"));
    EXPECT_FALSE(document->isDocumentEdited());
    undo->redo();
    EXPECT_TRUE(document->isDocumentEdited());
    const QString autosaved = document->autosavedContentsFileURL();
    ASSERT_TRUE(document->saveDocument());
    EXPECT_EQ(readFile(path), TextCodec::encode(QStringLiteral("今日はも明日も\r\n晴れ\r\n"), sjis));
    EXPECT_FALSE(QFileInfo::exists(autosaved));
}

TEST(KoriDocumentAutosave, AChangedEncodingAndAChosenEncodingComeBackToo)
{
    TempDir dir;
    const QString plain = dir.write("plain.txt", "abc\n");
    // EUC-JP ア, which Shift JIS also reads: opened with the encoding chosen.
    const QString chosen = dir.write("chosen.txt", "\xA5\xA2\n");
    const TextFormat utf16{TextEncoding::utf16LE, false, LineEnding::lf, false};
    sessionKilledAfter([&](Session& s) {
        KoriDocument* document = s.open(plain);
        ASSERT_NE(document, nullptr);
        document->changeFormat(utf16);
        autosave(*document);
        auto forced = std::make_unique<KoriDocument>();
        forced->setForcedEncoding(TextEncoding::eucJP);
        ASSERT_TRUE(forced->readFromURL(chosen, KoriDocument::plainTextType, nullptr));
        forced->setFileURL(chosen);
        typeText(*forced, 1, QStringLiteral("イ"));
        autosave(*forced);
        s.controller.addDocument(std::move(forced));
    });

    Session s;
    const std::vector<Document*> reopened = s.controller.offerAutosavedDocuments(false);
    ASSERT_EQ(reopened.size(), 2u);
    for (Document* each : reopened) {
        auto* document = static_cast<KoriDocument*>(each);
        EXPECT_TRUE(document->isDocumentEdited());
        if (document->fileURL() == plain) {
            EXPECT_EQ(document->string(), "abc\n");
            EXPECT_EQ(document->format(), utf16);
            document->undoManager()->undo();
            EXPECT_EQ(document->format().encoding, TextEncoding::utf8);
            EXPECT_FALSE(document->isDocumentEdited());
        } else {
            EXPECT_EQ(document->fileURL(), chosen);
            EXPECT_EQ(document->string(), QStringLiteral("アイ\n"));
            EXPECT_EQ(document->forcedEncoding(), TextEncoding::eucJP);
            EXPECT_EQ(document->originalText(), QStringLiteral("ア\n")) << "the file was read as it was opened";
        }
        each->close();
    }
    EXPECT_TRUE(QDir(Document::autosaveFolder()).isEmpty());
}

TEST(KoriDocumentAutosave, AFileGoneOrAlreadyOpenAndAnUntitledTextAreGivenBack)
{
    TempDir dir;
    const QString gone = dir.write("gone.txt", "was here\n");
    const QString named = dir.write("named.txt", "on disk\n");
    // Untitled, in UTF-16 without a mark, starting with U+FFFE and holding U+0000: no file read
    // may hold such a text, but the autosave gives it back as it was.
    const QString odd = QStringLiteral("\uFFFEa") + QChar(0) + QStringLiteral("b");
    const TextFormat utf16{TextEncoding::utf16LE, false, LineEnding::lf, false};
    sessionKilledAfter([&](Session& s) {
        for (const QString& path : {gone, named}) {
            KoriDocument* document = s.open(path);
            ASSERT_NE(document, nullptr);
            typeText(*document, 0, "> ");
            autosave(*document);
        }
        auto* untitled = static_cast<KoriDocument*>(s.controller.openUntitledDocumentAndDisplay(false));
        untitled->changeFormat(utf16);
        typeText(*untitled, 0, odd);
        autosave(*untitled);
    });
    ASSERT_TRUE(QFile::remove(gone));

    Session s;
    // Named on the command line, and opened before the offer.
    KoriDocument* opened = s.open(named);
    const std::vector<Document*> reopened = s.controller.offerAutosavedDocuments(false);
    ASSERT_EQ(reopened.size(), 3u);
    EXPECT_EQ(s.controller.documents().size(), 3u);
    for (Document* each : reopened) {
        auto* document = static_cast<KoriDocument*>(each);
        EXPECT_TRUE(document->isDocumentEdited());
        if (document->fileURL() == gone) {
            EXPECT_EQ(document->string(), "> was here\n");
            ASSERT_TRUE(document->saveDocument());
            EXPECT_EQ(readFile(gone), "> was here\n");
        } else if (document->fileURL() == named) {
            EXPECT_EQ(document, opened);
            EXPECT_EQ(document->string(), "> on disk\n");
            document->undoManager()->undo();
            EXPECT_EQ(document->string(), "on disk\n");
        } else {
            EXPECT_TRUE(document->fileURL().isEmpty());
            EXPECT_EQ(document->string(), odd);
            EXPECT_EQ(document->format(), utf16);
        }
    }
    EXPECT_EQ(QDir(Document::autosaveFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot).size(), 2);
    for (Document* each : reopened) each->close();
    EXPECT_TRUE(QDir(Document::autosaveFolder()).isEmpty());
}
