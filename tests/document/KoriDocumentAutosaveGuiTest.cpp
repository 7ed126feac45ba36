// Autosave keeps every key typed, and what a crash or a kill left is given back at the next start:
// beside its file, in its format, as one step the user can undo.
#include "document/KoriDocument.h"
#include "document/KoriDocumentController.h"
#include "document/TextCodec.h"
#include "platform/documents/AutosaveOffer.h"
#include "platform/documents/AutosavedContents.h"
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

namespace {

void overwrite(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    ASSERT_EQ(file.write(bytes), bytes.size());
}

bool saveInPlace(KoriDocument& document, ErrorInfo* error)
{
    return document.saveToURL(document.fileURL(), KoriDocument::plainTextType, Document::SaveOperation::save, error);
}

}  // namespace

TEST(KoriDocumentAutosave, AFileChangedSinceTheAutosaveIsNamedInTheQuestionAndNeverOverwritten)
{
    TempDir dir;
    const QString byOther = dir.write("a.txt", "first\n");
    const QString bySelf = dir.write("b.txt", "first\n");
    sessionKilledAfter([&](Session& s) {
        for (const QString& path : {byOther, bySelf}) {
            KoriDocument* document = s.open(path);
            ASSERT_NE(document, nullptr);
            typeText(*document, 0, "typed ");
            autosave(*document);
        }
    });
    // Another program rewrites one file; the other is saved by this program itself, without the
    // autosave (in a window of another start, say).
    overwrite(byOther, "the other program's text\n");
    {
        KoriDocument other;
        ASSERT_TRUE(other.readFromURL(bySelf, KoriDocument::plainTextType, nullptr));
        other.setFileURL(bySelf);
        typeText(other, 0, "saved ");
        ErrorInfo error;
        ASSERT_TRUE(saveInPlace(other, &error)) << error.description.toStdString();
    }

    Session s;
    const std::vector<Document*> reopened = s.controller.offerAutosavedDocuments(false);
    ASSERT_EQ(reopened.size(), 2u);
    ASSERT_EQ(s.alerts.shown().size(), 1);
    const QString question = s.alerts.shown()[0].informativeText;
    EXPECT_TRUE(question.contains(QStringLiteral("“a.txt”（%1）：自動保存のあとでファイルが変更されています").arg(byOther)))
        << question.toStdString();
    EXPECT_TRUE(question.contains(QStringLiteral("“b.txt”（%1）：自動保存のあとでファイルが変更されています").arg(bySelf)));

    for (Document* each : reopened) {
        auto* document = static_cast<KoriDocument*>(each);
        const QString path = document->fileURL();
        const QByteArray onDisk = readFile(path);
        EXPECT_EQ(document->string(), "typed first\n");
        EXPECT_TRUE(document->hasExternalChanges());
        ErrorInfo error;
        EXPECT_FALSE(saveInPlace(*document, &error));
        EXPECT_EQ(error.code, KoriDocument::conflictErrorCode);
        EXPECT_EQ(readFile(path), onDisk) << "the file's newer text stays";
        // Autosaved again before anything is settled: a start after another kill still knows.
        autosave(*document);
        const QString record = QFileInfo(document->autosavedContentsFileURL()).path() + '/' + AutosavedContents::recordFileName;
        const std::optional<AutosaveRecord> again = AutosaveRecord::fromJson(readFile(record));
        ASSERT_TRUE(again);
        EXPECT_TRUE(AutosaveOffer::fileChangedSince(*again));
        // Undone, the document holds the file's text again: writing that back loses nothing.
        document->undoManager()->undo();
        EXPECT_EQ(document->string().toUtf8(), onDisk);
        EXPECT_TRUE(saveInPlace(*document, &error)) << error.description.toStdString();
        document->undoManager()->redo();
        // Saved elsewhere, the restored text is the new file's own.
        const QString elsewhere = path + ".restored";
        ASSERT_TRUE(document->saveToURL(elsewhere, KoriDocument::plainTextType, Document::SaveOperation::saveAs, &error));
        EXPECT_EQ(readFile(elsewhere), "typed first\n");
        typeText(*document, 0, "> ");
        EXPECT_TRUE(saveInPlace(*document, &error)) << error.description.toStdString();
        EXPECT_EQ(readFile(elsewhere), "> typed first\n");
        EXPECT_EQ(readFile(path), onDisk);
        each->close();
    }
}

TEST(KoriDocumentAutosave, AFileUnchangedSinceTheAutosaveOrARecordWithoutItsDigestRestoresAsBefore)
{
    TempDir dir;
    const QString unchanged = dir.write("same.txt", "first\n");
    const QString old = dir.write("old.txt", "first\n");
    QString oldRecord;
    sessionKilledAfter([&](Session& s) {
        for (const QString& path : {unchanged, old}) {
            KoriDocument* document = s.open(path);
            ASSERT_NE(document, nullptr);
            typeText(*document, 0, "typed ");
            autosave(*document);
            if (path == old)
                oldRecord = QFileInfo(document->autosavedContentsFileURL()).path() + '/' + AutosavedContents::recordFileName;
        }
    });
    // A record of an earlier version knows nothing of the file's bytes.
    std::optional<AutosaveRecord> record = AutosaveRecord::fromJson(readFile(oldRecord));
    ASSERT_TRUE(record && record->fileContents);
    record->fileContents.reset();
    overwrite(oldRecord, record->toJson());
    overwrite(old, "changed\n");

    Session s;
    const std::vector<Document*> reopened = s.controller.offerAutosavedDocuments(false);
    ASSERT_EQ(reopened.size(), 2u);
    EXPECT_FALSE(s.alerts.shown()[0].informativeText.contains(QStringLiteral("変更されています")));
    for (Document* each : reopened) {
        auto* document = static_cast<KoriDocument*>(each);
        EXPECT_EQ(document->string(), "typed first\n");
        EXPECT_FALSE(document->hasExternalChanges());
        ErrorInfo error;
        EXPECT_TRUE(saveInPlace(*document, &error)) << error.description.toStdString();
        EXPECT_EQ(readFile(document->fileURL()), "typed first\n");
        each->close();
    }
}

TEST(KoriDocumentAutosave, TextItsEncodingCannotHoldIsAutosavedAndRefusedOnlyAtSaving)
{
    TempDir dir;
    const TextFormat sjis{TextEncoding::shiftJIS, false, LineEnding::lf, false};
    const QString path = dir.write("memo.txt", TextCodec::encode(QStringLiteral("今日は\n"), sjis));
    const QString typed = QStringLiteral("😀～€é");
    sessionKilledAfter([&](Session& s) {
        KoriDocument* document = s.open(path);
        ASSERT_NE(document, nullptr);
        typeText(*document, 3, typed);
        // The timer's road: nothing to tell the user, everything written.
        s.controller.autosaveAllDocuments();
        ASSERT_TRUE(spinUntil([&] { return !document->isAutosavingInBackground(); }));
        EXPECT_FALSE(document->hasUnautosavedChanges());
        EXPECT_TRUE(s.alerts.shown().isEmpty());
        // And the synchronous one, as at a signal.
        typeText(*document, 0, "!");
        autosave(*document);
    });

    Session s;
    KoriDocument* document = s.reopenAfterTheKill();
    ASSERT_NE(document, nullptr);
    EXPECT_EQ(document->string(), "!今日は" + typed + "\n");
    EXPECT_EQ(document->format(), sjis) << "the document's own encoding stays chosen";
    ErrorInfo error;
    EXPECT_FALSE(saveInPlace(*document, &error));
    EXPECT_EQ(error.description, KoriDocument::errorInfo(CodecError::makeUnrepresentable(TextEncoding::shiftJIS)).description);
    EXPECT_EQ(readFile(path), TextCodec::encode(QStringLiteral("今日は\n"), sjis));
    const TextFormat utf8{TextEncoding::utf8, false, LineEnding::lf, false};
    document->changeFormat(utf8);
    EXPECT_TRUE(saveInPlace(*document, &error)) << error.description.toStdString();
    EXPECT_EQ(readFile(path), ("!今日は" + typed + "\n").toUtf8());
    document->close();
}

TEST(KoriDocumentAutosave, ARecordWhoseEncodingDoesNotReadItsContentsExactlyIsNotBelieved)
{
    KoriDocument document;
    // ISO-2022-JP reads a needless escape as nothing at all: that text would hide bytes.
    const QByteArray contents = "\x1b(Bplain\n";
    ASSERT_TRUE(document.readAutosavedContents(contents, QJsonObject{{"encoding", "ISO-2022-JP"}}, nullptr));
    EXPECT_EQ(document.string(), QString::fromLatin1(contents));
    EXPECT_EQ(document.format().encoding, TextEncoding::utf8);
    // One that fits is believed, even where detection would read the bytes otherwise.
    KoriDocument fitting;
    const QByteArray latin1 = "caf\xe9\n";
    ASSERT_TRUE(fitting.readAutosavedContents(latin1, QJsonObject{{"encoding", "ISO-8859-1"}}, nullptr));
    EXPECT_EQ(fitting.string(), QStringLiteral("café\n"));
}

TEST(KoriDocumentAutosave, ARecoveryFolderOthersMayWriteIsNamedAndNeverUsed)
{
    TempDir dir;
    const QString root = Document::autosaveFolder();
    sessionKilledAfter([&](Session& s) {
        KoriDocument* document = s.open(dir.write("a.txt", "first\n"));
        ASSERT_NE(document, nullptr);
        typeText(*document, 0, "typed ");
        autosave(*document);
    });
    ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0777), 0);

    Session s;
    EXPECT_TRUE(s.controller.offerAutosavedDocuments(false).empty());
    ASSERT_EQ(s.alerts.shown().size(), 1);
    EXPECT_TRUE(s.alerts.shown()[0].messageText.contains(QStringLiteral("“%1”").arg(root)));
    EXPECT_EQ(s.alerts.shown()[0].buttons, QStringList{"OK"}) << "told, not asked";

    KoriDocument* document = s.open(dir.file("a.txt"));
    ASSERT_NE(document, nullptr);
    typeText(*document, 0, "again ");
    s.controller.autosaveAllDocuments();
    s.controller.autosaveAllDocuments();
    ASSERT_EQ(s.alerts.shown().size(), 2);
    EXPECT_TRUE(s.alerts.shown()[1].messageText.contains(QStringLiteral("“%1”").arg(root)));
    EXPECT_TRUE(document->autosavedContentsFileURL().isEmpty());
    ASSERT_EQ(::chmod(QFile::encodeName(root).constData(), 0700), 0);
    document->close();
}
