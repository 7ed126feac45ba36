#pragma once

#include "platform/events/InProcessEventChannel.h"
#include "platform/foundation/ErrorInfo.h"
#include "platform/documents/Document.h"
#include "selftest/SuiteAlertWatch.h"
#include "selftest/SuiteTask.h"

#include <QCoreApplication>
#include <QImage>
#include <QMetaObject>
#include <QPointer>
#include <QTimer>
#include <QVariant>

#include <coroutine>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QWidget;

namespace korimado {

class PreviewWebView;

// Suspends the suite for a number of milliseconds; the main event loop resumes it, so the
// application's timers, layout and background completions run meanwhile.
struct SuiteSleep {
    int milliseconds = 0;
    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> suite) const
    {
        QTimer::singleShot(milliseconds < 0 ? 0 : milliseconds, QCoreApplication::instance(), [suite] {
            if (!SuiteAlertWatch::abandoned()) suite.resume();
        });
    }
    void await_resume() const noexcept {}
};

inline SuiteSleep sleepFor(int milliseconds)
{
    return SuiteSleep{milliseconds};
}

// Suspends until a completion is called, from any thread, or until the time limit passes; the
// suite always resumes from the main event loop, never inside the caller of the completion.
template <typename R>
class SuiteCompletion {
public:
    using Done = std::function<void(R)>;
    using Starter = std::function<void(Done done)>;

    SuiteCompletion(Starter starter, int timeoutMs, R onTimeout)
        : starter_(std::move(starter)), timeoutMs_(timeoutMs), onTimeout_(std::move(onTimeout))
    {
    }

    bool await_ready() const noexcept { return false; }
    void await_suspend(std::coroutine_handle<> suite)
    {
        state_ = std::make_shared<State>();
        state_->suite = suite;
        std::shared_ptr<State> state = state_;
        Done finish = [state](R result) {
            {
                std::lock_guard lock(state->mutex);
                if (state->result) return;
                state->result = std::move(result);
            }
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [state] {
                    if (!SuiteAlertWatch::abandoned()) state->suite.resume();
                },
                Qt::QueuedConnection);
        };
        if (timeoutMs_ > 0)
            QTimer::singleShot(timeoutMs_, QCoreApplication::instance(),
                               [finish, value = onTimeout_] { finish(value); });
        starter_(finish);
    }
    R await_resume()
    {
        std::lock_guard lock(state_->mutex);
        return std::move(*state_->result);
    }

private:
    struct State {
        std::mutex mutex;
        std::coroutine_handle<> suite;
        std::optional<R> result;
    };

    Starter starter_;
    int timeoutMs_;
    R onTimeout_;
    std::shared_ptr<State> state_;
};

// What a script run in the preview gave: its value, or why there is none.
struct ScriptResult {
    bool ok = false;
    QVariant value;  // invalid for undefined and null
    QString error;
};

// Runs script (an expression) in the preview's page and resumes with its value; a script that
// throws, a web view without a page and a run that outlasts the limit give an error.
SuiteCompletion<ScriptResult> evaluate(PreviewWebView* web, const QString& script, int timeoutMs = 10000);

// What a suite reports when the document it works on was closed under it.
inline const QString documentClosedMessage = QStringLiteral("書類が閉じられました。");

// Every wait a suite makes has a limit: a save or a picture that never comes ends as a failure.
inline constexpr int saveTimeoutMs = 30000;
inline constexpr int snapshotTimeoutMs = 10000;

// The widget as drawn, grabbed once the events pending now have been handled (a web view
// paints its page a moment after loading it). A null image when the widget is gone.
SuiteCompletion<QImage> snapshot(QWidget* widget);

// Saves the document through the document architecture from the event loop, as a menu command
// would (a panel or an alert it shows is never run from inside the suite); resumes with the error.
SuiteCompletion<std::optional<ErrorInfo>> save(Document* document, const QString& path, const QString& type,
                                               Document::SaveOperation operation);

// Sends an event to the program's own handlers and resumes with the reply, or the reason there is
// none once the wait has run out. Over the session bus, from a connection of its own to the
// program's process name, as an outside script sends it; through the in-process channel only
// where the program serves on no bus.
SuiteCompletion<InProcessEventChannel::Result> eventReply(AppleEvent event,
                                                          int timeoutMs = InProcessEventChannel::defaultTimeoutMs);
// Whether eventReply goes over the session bus (decided at the first ask, for the whole run).
bool eventsTravelOverBus();

// Polls: sleeps interval milliseconds and tests the condition, at most limit times; the
// condition as found at the last test.
SuiteTask<bool> poll(int limit, int interval, std::function<bool()> condition);

}  // namespace korimado
