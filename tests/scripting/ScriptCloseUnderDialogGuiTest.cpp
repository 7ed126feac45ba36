// Scripts that close a document or quit while a dialog of its window runs its own event loop:
// the events come in through the in-process channel and are served inside that loop.
#include "platform/documents/Document.h"
#include "platform/events/AppleEventManager.h"
#include "platform/events/InProcessEventChannel.h"
#include "platform/foundation/Bundle.h"
#include "platform/ui/QtAlertPresenter.h"
#include "scripting/objects/ScriptEventDispatcher.h"
#include "scripting/objects/ScriptableDocument.h"
#include "support/WindowFixture.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QPointer>
#include <QScopeGuard>
#include <QElapsedTimer>
#include <QTimer>

#include <gtest/gtest.h>

#include <memory>
#include <mutex>
#include <set>

using namespace korimado;
using D = EventDescriptor;
using Result = InProcessEventChannel::Result;

namespace {

D documentNamed(const QString& name)
{
    return D::objectSpecifier(fourCharCode("docu"), fourCharCode("name"), D::text(name), D());
}

AppleEvent event(const char* eventClass, const char* id, const D& direct = D(), const char* saving = nullptr)
{
    AppleEvent made(code(QString::fromLatin1(eventClass)), code(QString::fromLatin1(id)));
    if (!direct.isNull()) made.setDirectObject(direct);
    if (saving) made.setParameter(fourCharCode("savo"), D::enumerated(code(QString::fromLatin1(saving))));
    return made;
}

// Stands in for the user at the dialogs: once a message box is up, sends the events one by one
// through the channel, each after the previous reply came back, then presses a button.
class DialogDriver {
public:
    DialogDriver(AppleEventManager& manager, std::vector<AppleEvent> events, QString button)
        : channel_(manager), events_(std::move(events)), button_(std::move(button))
    {
        QObject::connect(&timer_, &QTimer::timeout, [this] { step(); });
        timer_.start(20);
    }

    // Results in the order sent.
    std::vector<Result> replies() const
    {
        std::lock_guard lock(state_->mutex);
        return state_->replies;
    }
    bool pressed() const { return pressed_; }
    int boxesSeen() const { return int(seen_.size()); }
    // How long a box stays up after the last reply before the button is pressed, to see that no
    // second question comes over it.
    int settleMs = 300;

private:
    void step()
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) return;
        seen_.insert(box);
        if (!waiting_.isValid()) waiting_.start();
        const std::size_t got = replies().size();
        if (got == sent_ && sent_ < events_.size()) {
            channel_.send(events_[sent_++], [state = state_](Result result) {
                std::lock_guard lock(state->mutex);
                state->replies.push_back(std::move(result));
            });
            return;
        }
        const bool allAnswered = got == events_.size();
        if (allAnswered && !settled_.isValid()) settled_.start();
        // A box never left waiting for good, whatever went wrong.
        if ((allAnswered && settled_.elapsed() >= settleMs) || waiting_.elapsed() > 15000) {
            for (QAbstractButton* each : box->buttons()) {
                if (each->text() == button_ || box->buttons().size() == 1) {
                    pressed_ = true;
                    each->click();
                    return;
                }
            }
        }
    }

    InProcessEventChannel channel_;
    std::vector<AppleEvent> events_;
    QString button_;
    QTimer timer_;
    // Shared with the channel's workers, which may outlive a failed test.
    struct State {
        mutable std::mutex mutex;
        std::vector<Result> replies;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::size_t sent_ = 0;
    bool pressed_ = false;
    QElapsedTimer waiting_;
    QElapsedTimer settled_;
    std::set<QMessageBox*> seen_;
};

class ScriptCloseUnderDialogTest : public ::testing::Test {
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
        for (const QPointer<KoriDocument>& document : documents) delete document.data();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        AlertPresenter::setShared(nullptr);
    }

    // A document of name read as "saved\n" and typed into, in a window on screen.
    KoriDocument& edited(const QString& name)
    {
        auto document = test::readFileDocument(dir, name, "saved\n");
        EditorWindowController& window = test::openDocumentWindow(*document);
        window.showWindow();
        documents.push_back(document.get());
        KoriDocument& kept = *document.release();
        ScriptableDocument(&kept).applyScriptText(QStringLiteral("saved\nmine\n"), QStringLiteral("スクリプト"));
        EXPECT_TRUE(kept.isDocumentEdited());
        return kept;
    }

    // Sends through the channel and runs the event loop until the reply is back.
    Result sendFromOutside(const AppleEvent& sent)
    {
        auto outcome = std::make_shared<std::pair<std::mutex, std::optional<Result>>>();
        InProcessEventChannel(manager).send(sent, [outcome](Result result) {
            std::lock_guard lock(outcome->first);
            outcome->second = std::move(result);
        });
        test::spinUntil([&] {
            std::lock_guard lock(outcome->first);
            return outcome->second.has_value();
        });
        std::lock_guard lock(outcome->first);
        return outcome->second.value_or(Result{});
    }

    static bool isOpen(const QPointer<KoriDocument>& document) { return document && !document->windowControllers().empty(); }

    static void expectRefused(const std::vector<Result>& replies, std::size_t count)
    {
        ASSERT_EQ(replies.size(), count);
        for (const Result& result : replies) {
            ASSERT_TRUE(result.reply) << result.error.toStdString();
            EXPECT_EQ(result.reply->errorNumber(), ScriptErrors::dialogOpen);
            EXPECT_FALSE(result.reply->errorString().isEmpty());
        }
    }

    test::TempDir dir;
    QtAlertPresenter alerts;
    AppleEventManager manager;
    std::vector<QPointer<KoriDocument>> documents;
    std::unique_ptr<ScriptEventDispatcher> dispatcher;
    int quits = 0;
};

}  // namespace

TEST_F(ScriptCloseUnderDialogTest, CloseAndQuitAreRefusedWhileTheSaveQuestionIsUp)
{
    QPointer<KoriDocument> document = &edited(QStringLiteral("a.txt"));
    const D target = documentNamed(QStringLiteral("a.txt"));
    DialogDriver driver(manager,
                        {event("core", "clos", target, "ask "), event("core", "clos", target, "no  "),
                         event("aevt", "quit", D(), "no  "), event("core", "clos", target)},
                        QStringLiteral("キャンセル"));

    // The user closes the window: the question comes up and runs its own loop.
    document->windowControllers().front()->windowForSheet()->close();
    ASSERT_TRUE(test::spinUntil([&] { return driver.pressed(); }, 20000));
    EXPECT_EQ(driver.boxesSeen(), 1) << "one question at a time";
    expectRefused(driver.replies(), 4);

    test::spinFor(300);
    EXPECT_EQ(quits, 0);
    ASSERT_TRUE(isOpen(document));
    EXPECT_EQ(document->string(), QStringLiteral("saved\nmine\n"));
    EXPECT_TRUE(document->isDocumentEdited());
    EXPECT_EQ(test::readFile(dir.file(QStringLiteral("a.txt"))), "saved\n");
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr) << "nothing asked afterwards";
}

TEST_F(ScriptCloseUnderDialogTest, CloseAndQuitAreRefusedWhileTheAutosaveFailureAlertIsUp)
{
    QPointer<KoriDocument> document = &edited(QStringLiteral("b.txt"));
    // A file where the autosave folder should be: the autosave fails and says so.
    const QString folder = Document::autosaveFolder();
    QDir(folder).removeRecursively();
    QDir().mkpath(QFileInfo(folder).path());
    {
        QFile blocker(folder);
        ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    }
    const auto unblock = qScopeGuard([&] { QFile::remove(folder); });
    DialogDriver driver(manager,
                        {event("core", "clos", documentNamed(QStringLiteral("b.txt")), "no  "), event("aevt", "quit", D(), "no  ")},
                        QStringLiteral("OK"));
    document->autosaveInBackground();
    ASSERT_TRUE(test::spinUntil([&] { return driver.pressed(); }, 20000));
    expectRefused(driver.replies(), 2);

    test::spinFor(300);
    EXPECT_EQ(quits, 0);
    ASSERT_TRUE(isOpen(document));
    EXPECT_EQ(document->string(), QStringLiteral("saved\nmine\n"));
    EXPECT_TRUE(document->isDocumentEdited());

    // With the alert gone the same close goes through, as the script asked.
    const Result closed = sendFromOutside(event("core", "clos", documentNamed(QStringLiteral("b.txt")), "no  "));
    ASSERT_TRUE(closed.reply);
    EXPECT_EQ(closed.reply->errorNumber(), 0);
    EXPECT_FALSE(isOpen(document));
    EXPECT_EQ(test::readFile(dir.file(QStringLiteral("b.txt"))), "saved\n");
}

TEST_F(ScriptCloseUnderDialogTest, TwoClosesWithoutOptionsAskOnceAndTheAnswerClosesOnce)
{
    QPointer<KoriDocument> document = &edited(QStringLiteral("c.txt"));
    // Both sent before the first question is up: each is answered at once, and the question
    // is asked once the replies have gone.
    auto replies = std::make_shared<std::pair<std::mutex, std::vector<Result>>>();
    for (int i = 0; i < 2; ++i) {
        InProcessEventChannel(manager).send(event("core", "clos", documentNamed(QStringLiteral("c.txt"))), [replies](Result result) {
            std::lock_guard lock(replies->first);
            replies->second.push_back(std::move(result));
        });
    }
    DialogDriver driver(manager, {}, QStringLiteral("保存しない"));
    ASSERT_TRUE(test::spinUntil([&] { return !isOpen(document); }, 20000));
    test::spinFor(300);
    {
        std::lock_guard lock(replies->first);
        ASSERT_EQ(replies->second.size(), 2u);
        for (const Result& result : replies->second) {
            ASSERT_TRUE(result.reply);
            EXPECT_EQ(result.reply->errorNumber(), 0);
        }
    }
    EXPECT_EQ(driver.boxesSeen(), 1) << "the document asked once";
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
    EXPECT_EQ(test::readFile(dir.file(QStringLiteral("c.txt"))), "saved\n") << "not saved: the user said so";
}
