#include "platform/documents/Document.h"
#include "platform/documents/DocumentController.h"
#include "platform/ui/ScriptedAlertPresenter.h"
#include "platform/ui/ScriptedFilePanels.h"
#include "platform/foundation/MainQueue.h"
#include "platform/foundation/UndoManager.h"
#include "platform/foundation/UserDefaults.h"
#include "platform/ui/WindowController.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QEvent>
#include <QFileInfo>
#include <QPointer>
#include <QSemaphore>
#include <QThread>

#include <atomic>
#include <memory>
#include <optional>
#include <thread>

using namespace korimado;
using korimado::test::TempDir;
using korimado::test::readFile;
using korimado::test::spinUntil;

namespace {

class BytesDocument : public Document {
public:
    QByteArray contents;
    bool failWrites = false;

    bool readFromData(const QByteArray& data, const QString&, ErrorInfo*) override
    {
        contents = data;
        return true;
    }
    std::optional<QByteArray> data(const QString&, ErrorInfo* error) override
    {
        if (failWrites) {
            if (error) *error = ErrorInfo{"Test", 7, "書けません", {}};
            return std::nullopt;
        }
        return contents;
    }
    void makeWindowControllers() override { addWindowController(std::make_unique<WindowController>()); }
    QString fileNameExtension(const QString&, SaveOperation) const override { return "txt"; }
};

class BytesController : public DocumentController {
public:
    using DocumentController::DocumentController;
    QString defaultType() const override { return "public.plain-text"; }
    std::unique_ptr<Document> makeDocument(const QString&) override { return std::make_unique<BytesDocument>(); }
};

struct Fixture {
    UserDefaults defaults;  // in memory
    ScriptedAlertPresenter alerts;
    ScriptedFilePanels panels;
    BytesController controller{&defaults};
    Fixture()
    {
        controller.setAlertPresenter(&alerts);
        controller.setFilePanels(&panels);
    }
};

// Holds each background autosave inside its job until the test lets it go, and notes where it ran.
// Shared with the jobs, which may outlive the document.
struct Gate {
    QSemaphore started;
    QSemaphore release;
    std::atomic<int> jobs{0};
    std::atomic<bool> ranOnMainThread{false};
};

class GatedDocument : public BytesDocument {
public:
    std::shared_ptr<Gate> gate = std::make_shared<Gate>();

    DataJob dataJob(const QString&) override
    {
        return [gate = gate, bytes = contents](ErrorInfo*) -> std::optional<QByteArray> {
            ++gate->jobs;
            gate->ranOnMainThread = QThread::currentThread() == QCoreApplication::instance()->thread();
            gate->started.release();
            // Bounded, so that a failing test cannot hang the queue for the rest of the run.
            if (!gate->release.tryAcquire(1, 10000)) return std::nullopt;
            return bytes;
        };
    }
};

class GatedController : public BytesController {
public:
    using BytesController::BytesController;
    std::unique_ptr<Document> makeDocument(const QString&) override { return std::make_unique<GatedDocument>(); }
};

struct GatedFixture {
    UserDefaults defaults;
    ScriptedAlertPresenter alerts;
    GatedController controller{&defaults};
    GatedFixture() { controller.setAlertPresenter(&alerts); }

    GatedDocument* open(const QString& path)
    {
        Document* opened = nullptr;
        controller.openDocument(path, false, [&](Document* d, bool, auto) { opened = d; });
        return static_cast<GatedDocument*>(opened);
    }
};

void flushDeletes()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

}  // namespace

TEST(DocumentTest, ChangeCountFollowsDoneUndoneRedoneAndCleared)
{
    BytesDocument document;
    EXPECT_FALSE(document.isDocumentEdited());
    document.updateChangeCount(Document::ChangeType::done);
    document.updateChangeCount(Document::ChangeType::done);
    document.updateChangeCount(Document::ChangeType::undone);
    EXPECT_TRUE(document.isDocumentEdited());
    document.updateChangeCount(Document::ChangeType::undone);
    EXPECT_FALSE(document.isDocumentEdited());
    // Undoing past the saved state is an edit too.
    document.updateChangeCount(Document::ChangeType::undone);
    EXPECT_TRUE(document.isDocumentEdited());
    document.updateChangeCount(Document::ChangeType::redone);
    EXPECT_FALSE(document.isDocumentEdited());
    document.updateChangeCount(Document::ChangeType::done);
    document.updateChangeCount(Document::ChangeType::cleared);
    EXPECT_FALSE(document.isDocumentEdited());
    EXPECT_FALSE(document.hasUndoManager());
    document.setHasUndoManager(true);
    EXPECT_NE(document.undoManager(), nullptr);
}

TEST(DocumentTest, UntitledNamesAndRecentDocuments)
{
    Fixture f;
    Document* first = f.controller.openUntitledDocumentAndDisplay(false);
    Document* second = f.controller.openUntitledDocumentAndDisplay(false);
    Document* third = f.controller.openUntitledDocumentAndDisplay(false);
    EXPECT_EQ(first->displayName(), "名称未設定");
    EXPECT_EQ(second->displayName(), "名称未設定 2");
    EXPECT_EQ(third->displayName(), "名称未設定 3");
    EXPECT_EQ(first->windowControllers().size(), 1u);
    // A freed name is taken again.
    second->close();
    flushDeletes();
    EXPECT_EQ(f.controller.openUntitledDocumentAndDisplay(false)->displayName(), "名称未設定 2");

    TempDir dir;
    const QString a = dir.write("a.txt", "a");
    const QString b = dir.write("b.txt", "b");
    f.controller.noteNewRecentDocumentURL(a);
    f.controller.noteNewRecentDocumentURL(b);
    f.controller.noteNewRecentDocumentURL(dir.path() + "/./a.txt");
    EXPECT_EQ(f.controller.recentDocumentURLs(), (QStringList{a, b}));
    // Kept in user defaults, so a new controller sees them.
    BytesController later(&f.defaults);
    EXPECT_EQ(later.recentDocumentURLs(), (QStringList{a, b}));
    f.controller.setMaximumRecentDocumentCount(1);
    EXPECT_EQ(f.controller.recentDocumentURLs(), QStringList{a});
    f.controller.clearRecentDocuments();
    EXPECT_TRUE(f.controller.recentDocumentURLs().isEmpty());
}

TEST(DocumentTest, OpeningFindsTheOpenDocumentAndReportsErrors)
{
    Fixture f;
    TempDir dir;
    const QString path = dir.write("a.txt", "hello");
    Document* opened = nullptr;
    bool wasOpen = true;
    f.controller.openDocument(path, false, [&](Document* d, bool alreadyOpen, std::optional<ErrorInfo> error) {
        opened = d;
        wasOpen = alreadyOpen;
        EXPECT_FALSE(error);
    });
    ASSERT_NE(opened, nullptr);
    EXPECT_FALSE(wasOpen);
    EXPECT_EQ(static_cast<BytesDocument*>(opened)->contents, "hello");
    EXPECT_EQ(opened->fileURL(), path);
    EXPECT_EQ(f.controller.recentDocumentURLs(), QStringList{path});

    f.controller.openDocument(dir.path() + "/x/../a.txt", false, [&](Document* d, bool alreadyOpen, auto) {
        EXPECT_EQ(d, opened);
        EXPECT_TRUE(alreadyOpen);
    });
    std::optional<ErrorInfo> failure;
    f.controller.openDocument(dir.file("missing.txt"), false, [&](Document* d, bool, std::optional<ErrorInfo> error) {
        EXPECT_EQ(d, nullptr);
        failure = error;
    });
    ASSERT_TRUE(failure);
    EXPECT_EQ(f.controller.documents().size(), 1u);
}

TEST(DocumentTest, SavingAsksForAPathAndPresentsErrors)
{
    Fixture f;
    TempDir dir;
    auto* document = static_cast<BytesDocument*>(f.controller.openUntitledDocumentAndDisplay(false));
    document->contents = "new text";
    document->updateChangeCount(Document::ChangeType::done);

    // Cancelled panel: nothing saved.
    EXPECT_FALSE(document->saveDocument());
    ASSERT_EQ(f.panels.savePanels().size(), 1);
    EXPECT_EQ(f.panels.savePanels()[0].nameFieldValue, "名称未設定.txt");

    const QString path = dir.file("saved.txt");
    f.panels.enqueueSave({true, path});
    EXPECT_TRUE(document->saveDocument());
    EXPECT_EQ(readFile(path), "new text");
    EXPECT_EQ(document->fileURL(), path);
    EXPECT_FALSE(document->isDocumentEdited());
    EXPECT_EQ(f.controller.recentDocumentURLs(), QStringList{path});

    document->failWrites = true;
    EXPECT_FALSE(document->saveDocument());
    ASSERT_EQ(f.alerts.shown().size(), 1);
    EXPECT_EQ(f.alerts.shown()[0].messageText, "書けません");
    EXPECT_EQ(readFile(path), "new text");
}

TEST(DocumentTest, ClosingAsksAboutUnsavedChanges)
{
    Fixture f;
    TempDir dir;
    const QString path = dir.write("a.txt", "old");
    Document* document = nullptr;
    f.controller.openDocument(path, false, [&](Document* d, bool, auto) { document = d; });
    ASSERT_NE(document, nullptr);
    static_cast<BytesDocument*>(document)->contents = "new";
    document->updateChangeCount(Document::ChangeType::done);

    f.alerts.enqueueAnswer(1);  // キャンセル
    EXPECT_FALSE(document->canClose());
    ASSERT_EQ(f.alerts.shown().size(), 1);
    EXPECT_EQ(f.alerts.shown()[0].messageText, "書類“a.txt”に加えた変更を保存しますか？");
    EXPECT_EQ(f.alerts.shown()[0].buttons, (QStringList{"保存", "キャンセル", "保存しない"}));

    f.alerts.enqueueAnswer(0);  // 保存
    EXPECT_TRUE(document->canClose());
    EXPECT_EQ(readFile(path), "new");

    document->updateChangeCount(Document::ChangeType::done);
    f.alerts.enqueueAnswer(1);
    EXPECT_FALSE(f.controller.closeAllDocuments());
    EXPECT_EQ(f.controller.documents().size(), 1u);
    f.alerts.enqueueAnswer(2);  // 保存しない
    EXPECT_TRUE(f.controller.closeAllDocuments());
    EXPECT_TRUE(f.controller.documents().empty());
    flushDeletes();
    EXPECT_EQ(readFile(path), "new");

    // Nobody to ask: an edited document stays open.
    BytesDocument orphan;
    orphan.updateChangeCount(Document::ChangeType::done);
    EXPECT_FALSE(orphan.canClose());
}

// A question runs its own event loop: an event served inside it that closes the document again
// must not put a second question over the first, whose answer alone decides.
TEST(DocumentTest, TheSaveQuestionIsAskedOnceAtATime)
{
    struct AskingAgain : AlertPresenter {
        Document* document = nullptr;
        int shown = 0;
        std::optional<bool> inner;
        int runModal(const Alert&) override
        {
            if (++shown == 1) inner = document->canClose();
            return 2;  // 保存しない
        }
    } presenter;
    AlertPresenter::setShared(&presenter);
    BytesDocument document;
    presenter.document = &document;
    document.updateChangeCount(Document::ChangeType::done);
    EXPECT_TRUE(document.canClose());
    EXPECT_EQ(presenter.shown, 1);
    EXPECT_EQ(presenter.inner, std::optional<bool>(false));
    // Once answered, the next close asks again.
    EXPECT_TRUE(document.canClose());
    EXPECT_EQ(presenter.shown, 2);
    AlertPresenter::setShared(nullptr);
}

TEST(DocumentTest, AutosaveGoesToTheRecoveryFolderNeverInPlace)
{
    Fixture f;
    TempDir dir;
    const QString path = dir.write("a.txt", "on disk");
    Document* document = nullptr;
    f.controller.openDocument(path, false, [&](Document* d, bool, auto) { document = d; });
    ASSERT_NE(document, nullptr);
    static_cast<BytesDocument*>(document)->contents = "unsaved";
    document->updateChangeCount(Document::ChangeType::done);

    f.controller.autosaveAllDocuments();
    ASSERT_TRUE(spinUntil([&] { return !document->hasUnautosavedChanges(); }));
    const QString autosaved = document->autosavedContentsFileURL();
    ASSERT_FALSE(autosaved.isEmpty());
    EXPECT_TRUE(autosaved.startsWith(korimado::test::testDataHome() + "/Korimado/Autosave/"));
    EXPECT_EQ(readFile(autosaved), "unsaved");
    EXPECT_EQ(readFile(path), "on disk");
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_FALSE(document->hasUnautosavedChanges());

    // Saving for real drops the recovery copy.
    ASSERT_TRUE(document->saveDocument());
    EXPECT_FALSE(QFileInfo::exists(autosaved));
    EXPECT_EQ(readFile(path), "unsaved");

    // Reverting asks only when there is something to lose.
    static_cast<BytesDocument*>(document)->contents = "again";
    document->updateChangeCount(Document::ChangeType::done);
    f.alerts.enqueueAnswer(1);
    EXPECT_FALSE(document->revertDocumentToSaved());
    f.alerts.enqueueAnswer(0);
    EXPECT_TRUE(document->revertDocumentToSaved());
    EXPECT_EQ(static_cast<BytesDocument*>(document)->contents, "unsaved");
    EXPECT_FALSE(document->isDocumentEdited());
}

TEST(DocumentTest, AutosaveFitsLongNamesAndReportsAFailureOnce)
{
    Fixture f;
    TempDir dir;
    // 83 three-byte characters: the document's own name fits, the autosave suffix on it would not.
    const QString path = dir.write(QString(83, QChar(0x3042)) + ".txt", "on disk");
    Document* document = nullptr;
    f.controller.openDocument(path, false, [&](Document* d, bool, auto) { document = d; });
    ASSERT_NE(document, nullptr);
    static_cast<BytesDocument*>(document)->contents = "unsaved";
    document->updateChangeCount(Document::ChangeType::done);
    f.controller.autosaveAllDocuments();
    ASSERT_TRUE(spinUntil([&] { return !document->hasUnautosavedChanges(); }));
    const QString autosaved = document->autosavedContentsFileURL();
    EXPECT_EQ(readFile(autosaved), "unsaved");
    EXPECT_LE(QFile::encodeName(QFileInfo(autosaved).fileName()).size(), 255);
    EXPECT_TRUE(QFileInfo(autosaved).fileName().endsWith(".txt"));
    EXPECT_TRUE(f.alerts.shown().isEmpty());

    // The recovery folder cannot be made: the user hears of it once, not at every tick.
    ASSERT_TRUE(document->saveDocument());
    QDir(Document::autosaveFolder()).removeRecursively();
    dir.write("blocker", "");
    ASSERT_TRUE(QFile::rename(dir.file("blocker"), Document::autosaveFolder()));
    static_cast<BytesDocument*>(document)->contents = "lost?";
    document->updateChangeCount(Document::ChangeType::done);
    f.controller.autosaveAllDocuments();
    f.controller.autosaveAllDocuments();
    ASSERT_EQ(f.alerts.shown().size(), 1);
    EXPECT_TRUE(f.alerts.shown()[0].messageText.startsWith(
        QStringLiteral("書類“%1”を自動保存できませんでした。").arg(document->displayName())));

    // Once it works again, a later failure is told again.
    ASSERT_TRUE(QFile::remove(Document::autosaveFolder()));
    f.controller.autosaveAllDocuments();
    ASSERT_TRUE(spinUntil([&] { return !document->hasUnautosavedChanges(); }));
    EXPECT_EQ(readFile(document->autosavedContentsFileURL()), "lost?");
    EXPECT_EQ(f.alerts.shown().size(), 1);
    ASSERT_TRUE(document->saveDocument());
}

TEST(DocumentTest, TimerAutosaveWritesOffTheMainThreadAndCountsOnlyWithoutLaterEdits)
{
    GatedFixture f;
    TempDir dir;
    GatedDocument* document = f.open(dir.write("a.txt", "on disk"));
    ASSERT_NE(document, nullptr);
    document->contents = "first";
    document->updateChangeCount(Document::ChangeType::done);

    f.controller.autosaveAllDocuments();
    ASSERT_TRUE(document->gate->started.tryAcquire(1, 10000));
    EXPECT_FALSE(document->gate->ranOnMainThread);
    // The main thread goes on while the job is held.
    bool ranMeanwhile = false;
    MainQueue::async([&] { ranMeanwhile = true; });
    EXPECT_TRUE(spinUntil([&] { return ranMeanwhile; }));
    EXPECT_TRUE(document->isAutosavingInBackground());

    // Typed during the write: not in the file, so still to be autosaved. A tick meanwhile starts
    // nothing new.
    document->contents = "second";
    document->updateChangeCount(Document::ChangeType::done);
    document->updateChangeCount(Document::ChangeType::undone);
    f.controller.autosaveAllDocuments();
    document->gate->release.release();
    ASSERT_TRUE(spinUntil([&] { return !document->isAutosavingInBackground(); }));
    EXPECT_EQ(document->gate->jobs, 1);
    EXPECT_EQ(readFile(document->autosavedContentsFileURL()), "first");
    EXPECT_TRUE(document->hasUnautosavedChanges());

    document->gate->release.release();
    f.controller.autosaveAllDocuments();
    ASSERT_TRUE(spinUntil([&] { return !document->hasUnautosavedChanges(); }));
    EXPECT_EQ(readFile(document->autosavedContentsFileURL()), "second");
    EXPECT_TRUE(f.alerts.shown().isEmpty());
    ASSERT_TRUE(document->saveDocument());
}

TEST(DocumentTest, CloseSaveOrRevertDuringABackgroundAutosaveLeaveNoAutosaveFile)
{
    GatedFixture f;
    TempDir dir;
    enum class Step { close, save, revert };
    for (const Step step : {Step::close, Step::save, Step::revert}) {
        GatedDocument* document = f.open(dir.write("a.txt", "on disk"));
        ASSERT_NE(document, nullptr);
        const QPointer<Document> alive(document);
        document->contents = "unsaved";
        document->updateChangeCount(Document::ChangeType::done);
        f.controller.autosaveAllDocuments();
        ASSERT_TRUE(document->gate->started.tryAcquire(1, 10000));
        const QString autosaved = document->autosavedContentsFileURL();
        ASSERT_FALSE(autosaved.isEmpty());

        switch (step) {
        case Step::close: document->close(); break;
        case Step::save: ASSERT_TRUE(document->saveDocument()); break;
        case Step::revert: ASSERT_TRUE(document->revertToContentsOfURL(document->fileURL(), "public.plain-text", nullptr)); break;
        }
        document->gate->release.release();
        Document::waitForBackgroundAutosaves();
        ASSERT_TRUE(spinUntil([&] { return !alive || !alive->isAutosavingInBackground(); }));
        flushDeletes();
        EXPECT_FALSE(QFileInfo::exists(autosaved));
        if (alive) {
            EXPECT_TRUE(alive->autosavedContentsFileURL().isEmpty());
            EXPECT_FALSE(alive->hasUnautosavedChanges());
            alive->close();
            flushDeletes();
        }
    }
    EXPECT_TRUE(f.alerts.shown().isEmpty());
}

TEST(DocumentTest, QuittingRightAfterACloseDuringABackgroundAutosaveLeavesNoAutosaveFile)
{
    TempDir dir;
    QString autosaved;
    std::atomic<bool> released{false};
    std::thread releaser;
    {
        GatedFixture f;
        GatedDocument* document = f.open(dir.write("a.txt", "on disk"));
        ASSERT_NE(document, nullptr);
        document->contents = "unsaved";
        document->updateChangeCount(Document::ChangeType::done);
        f.controller.autosaveAllDocuments();
        ASSERT_TRUE(document->gate->started.tryAcquire(1, 10000));
        autosaved = document->autosavedContentsFileURL();
        const std::shared_ptr<Gate> gate = document->gate;
        document->close();
        flushDeletes();
        // The write ends only after the controller began to go away, as at exit, when nothing
        // of the event loop runs any more.
        releaser = std::thread([gate, &released] {
            QThread::msleep(50);
            released = true;
            gate->release.release();
        });
    }
    // The controller waited for the write and the removal behind it.
    const bool waited = released;
    if (releaser.joinable()) releaser.join();
    EXPECT_TRUE(waited);
    EXPECT_FALSE(QFileInfo::exists(autosaved));
}

TEST(DocumentTest, BackgroundAutosaveFailureIsReportedOnce)
{
    Fixture f;
    TempDir dir;
    Document* opened = nullptr;
    f.controller.openDocument(dir.write("a.txt", "on disk"), false, [&](Document* d, bool, auto) { opened = d; });
    auto* document = static_cast<BytesDocument*>(opened);
    ASSERT_NE(document, nullptr);
    document->contents = "unsaved";
    document->failWrites = true;
    document->updateChangeCount(Document::ChangeType::done);
    for (int tick = 0; tick < 2; ++tick) {
        f.controller.autosaveAllDocuments();
        ASSERT_TRUE(spinUntil([&] { return !document->isAutosavingInBackground(); }));
    }
    ASSERT_EQ(f.alerts.shown().size(), 1);
    EXPECT_EQ(f.alerts.shown()[0].messageText,
              QStringLiteral("書類“a.txt”を自動保存できませんでした。書けません"));
    EXPECT_TRUE(document->hasUnautosavedChanges());

    // Working again, then failing again: told again.
    document->failWrites = false;
    f.controller.autosaveAllDocuments();
    ASSERT_TRUE(spinUntil([&] { return !document->hasUnautosavedChanges(); }));
    document->failWrites = true;
    document->updateChangeCount(Document::ChangeType::done);
    f.controller.autosaveAllDocuments();
    ASSERT_TRUE(spinUntil([&] { return !document->isAutosavingInBackground(); }));
    EXPECT_EQ(f.alerts.shown().size(), 2);
    document->failWrites = false;
    ASSERT_TRUE(document->saveDocument());
}

namespace {

// Leaves autosaves behind as a crash or a kill would: documents gone without being closed.
void leaveAutosaves(const QList<std::pair<QString, QByteArray>>& documents)
{
    Fixture dead;
    for (const auto& [path, contents] : documents) {
        Document* document = nullptr;
        if (path.isEmpty()) {
            document = dead.controller.openUntitledDocumentAndDisplay(false);
        } else {
            dead.controller.openDocument(path, false, [&](Document* d, bool, auto) { document = d; });
        }
        ASSERT_NE(document, nullptr);
        static_cast<BytesDocument*>(document)->contents = contents;
        document->updateChangeCount(Document::ChangeType::done);
        ErrorInfo error;
        ASSERT_TRUE(document->autosave(&error)) << error.description.toStdString();
    }
}

QStringList autosaveFolders()
{
    return QDir(Document::autosaveFolder()).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
}

}  // namespace

TEST(DocumentTest, AutosavesLeftByAKillAreOfferedThenKeptOrDiscarded)
{
    TempDir dir;
    const QString path = dir.write("a.txt", "on disk");
    leaveAutosaves({{path, "typed before the kill"}, {QString(), "never saved"}});
    ASSERT_EQ(autosaveFolders().size(), 2);

    Fixture f;
    // Later: nothing opens, nothing goes, and the next start asks again.
    f.alerts.enqueueAnswer(1);
    EXPECT_TRUE(f.controller.offerAutosavedDocuments(false).empty());
    ASSERT_EQ(f.alerts.shown().size(), 1);
    EXPECT_EQ(f.alerts.shown()[0].messageText, "保存されていない変更のある書類が2件残っています。");
    EXPECT_TRUE(f.alerts.shown()[0].informativeText.contains("“a.txt”"));
    EXPECT_EQ(f.alerts.shown()[0].buttons, (QStringList{"復元", "あとで", "破棄"}));
    EXPECT_EQ(autosaveFolders().size(), 2);
    EXPECT_TRUE(f.controller.documents().empty());

    // Restore: each comes back edited, beside its file or untitled, keeping its autosave.
    const std::vector<Document*> reopened = f.controller.offerAutosavedDocuments(false);
    ASSERT_EQ(reopened.size(), 2u);
    Document* file = reopened[0]->fileURL().isEmpty() ? reopened[1] : reopened[0];
    Document* untitled = file == reopened[0] ? reopened[1] : reopened[0];
    EXPECT_EQ(file->fileURL(), path);
    EXPECT_EQ(static_cast<BytesDocument*>(file)->contents, "typed before the kill");
    EXPECT_TRUE(file->isDocumentEdited());
    EXPECT_TRUE(untitled->fileURL().isEmpty());
    EXPECT_EQ(untitled->displayName(), Document::untitledBaseName);
    EXPECT_EQ(static_cast<BytesDocument*>(untitled)->contents, "never saved");
    EXPECT_TRUE(untitled->isDocumentEdited());
    EXPECT_EQ(autosaveFolders().size(), 2) << "no new autosave beside the old one";
    const QString fileAutosave = file->autosavedContentsFileURL();
    const QString untitledAutosave = untitled->autosavedContentsFileURL();
    EXPECT_TRUE(QFileInfo::exists(fileAutosave));
    EXPECT_TRUE(QFileInfo::exists(untitledAutosave));
    // Held by this process now: not offered twice.
    EXPECT_TRUE(f.controller.offerAutosavedDocuments(false).empty());
    EXPECT_EQ(f.alerts.shown().size(), 2);

    // Kept: saving writes the file and the autosave goes. Dropped: closing unsaved removes it.
    ASSERT_TRUE(file->saveDocument());
    EXPECT_EQ(readFile(path), "typed before the kill");
    EXPECT_FALSE(QFileInfo::exists(fileAutosave));
    f.alerts.enqueueAnswer(2);
    ASSERT_TRUE(untitled->canClose());
    untitled->close();
    EXPECT_FALSE(QFileInfo::exists(untitledAutosave));
    EXPECT_TRUE(autosaveFolders().isEmpty());
    file->close();
    flushDeletes();
}

TEST(DocumentTest, DiscardingTheOfferRemovesTheAutosavesAndOpensNothing)
{
    TempDir dir;
    leaveAutosaves({{dir.write("b.txt", "on disk"), "typed"}});
    Fixture f;
    f.alerts.enqueueAnswer(2);
    EXPECT_TRUE(f.controller.offerAutosavedDocuments(false).empty());
    ASSERT_EQ(f.alerts.shown().size(), 1);
    EXPECT_EQ(f.alerts.shown()[0].messageText, "書類“b.txt”の保存されていない変更が残っています。");
    EXPECT_TRUE(f.controller.documents().empty());
    EXPECT_TRUE(autosaveFolders().isEmpty());
    EXPECT_EQ(readFile(dir.file("b.txt")), "on disk");
    // Nothing left to offer.
    EXPECT_TRUE(f.controller.offerAutosavedDocuments(false).empty());
    EXPECT_EQ(f.alerts.shown().size(), 1);
}

TEST(DocumentTest, ATimerAutosaveKeepsOneAutosavePerDocumentWhateverTheTicks)
{
    Fixture f;
    TempDir dir;
    Document* document = nullptr;
    f.controller.openDocument(dir.write("c.txt", "on disk"), false, [&](Document* d, bool, auto) { document = d; });
    ASSERT_NE(document, nullptr);
    for (int tick = 0; tick < 3; ++tick) {
        static_cast<BytesDocument*>(document)->contents = "tick " + QByteArray::number(tick);
        document->updateChangeCount(Document::ChangeType::done);
        f.controller.autosaveAllDocuments();
        ASSERT_TRUE(spinUntil([&] { return !document->hasUnautosavedChanges(); }));
    }
    EXPECT_EQ(autosaveFolders().size(), 1);
    EXPECT_EQ(readFile(document->autosavedContentsFileURL()), "tick 2");
    document->close();
    flushDeletes();
    EXPECT_TRUE(autosaveFolders().isEmpty());
}
