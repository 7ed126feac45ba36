#include "selftest/SuiteAwait.h"

#include "platform/events/EventBusLocation.h"
#include "platform/events/EventWireFormat.h"
#include "preview/PreviewWebView.h"

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>

#include <QVariantMap>
#include <QWidget>

namespace korimado {

SuiteCompletion<ScriptResult> evaluate(PreviewWebView* web, const QString& script, int timeoutMs)
{
    QPointer<PreviewWebView> view(web);
    // Errors inside a script are not reported back by the engine: the wrapper reports them.
    const QString wrapped = QStringLiteral("(() => { try { return {ok: true, value: (") + script
                            + QStringLiteral(")}; } catch (e) { return {ok: false, error: String(e)}; } })()");
    return SuiteCompletion<ScriptResult>(
        [view, wrapped](SuiteCompletion<ScriptResult>::Done done) {
            if (!view || !view->hasEngine()) {
                done({false, {}, QStringLiteral("プレビューにページがありません。")});
                return;
            }
            view->evaluate(wrapped, [done](const QVariant& answer) {
                const QVariantMap map = answer.toMap();
                if (!map.value(QStringLiteral("ok")).toBool()) {
                    const QString error = map.value(QStringLiteral("error")).toString();
                    done({false, {}, error.isEmpty() ? QStringLiteral("スクリプトを実行できませんでした。") : error});
                    return;
                }
                done({true, map.value(QStringLiteral("value")), {}});
            });
        },
        timeoutMs, ScriptResult{false, {}, QStringLiteral("スクリプトの応答がありません。")});
}

SuiteCompletion<QImage> snapshot(QWidget* widget)
{
    QPointer<QWidget> target(widget);
    return SuiteCompletion<QImage>(
        [target](SuiteCompletion<QImage>::Done done) {
            QTimer::singleShot(50, QCoreApplication::instance(), [target, done] {
                done(target ? target->grab().toImage() : QImage());
            });
        },
        snapshotTimeoutMs, QImage());
}

SuiteCompletion<std::optional<ErrorInfo>> save(Document* document, const QString& path, const QString& type,
                                               Document::SaveOperation operation)
{
    QPointer<Document> target(document);
    return SuiteCompletion<std::optional<ErrorInfo>>(
        [target, path, type, operation](SuiteCompletion<std::optional<ErrorInfo>>::Done done) {
            QMetaObject::invokeMethod(
                QCoreApplication::instance(),
                [target, path, type, operation, done] {
                    if (!target) {
                        done(ErrorInfo{QStringLiteral("Korimado"), 1, documentClosedMessage, {}});
                        return;
                    }
                    ErrorInfo error;
                    if (target->saveToURL(path, type, operation, &error))
                        done(std::nullopt);
                    else
                        done(error);
                },
                Qt::QueuedConnection);
        },
        saveTimeoutMs,
        ErrorInfo{QStringLiteral("Korimado"), 2, QStringLiteral("保存が%1秒たっても終わりません。").arg(saveTimeoutMs / 1000), {}});
}

namespace {

// A script's own connection: a call to the program's name goes out through the bus daemon, not
// the shortcut a connection takes to objects it serves itself.
QDBusConnection scriptConnection()
{
    return QDBusConnection::connectToBus(QDBusConnection::SessionBus, QStringLiteral("korimado-selftest-script"));
}

QString ownServiceName()
{
    return EventBusLocation::processServiceName(QCoreApplication::applicationPid());
}

SuiteCompletion<InProcessEventChannel::Result> busReply(AppleEvent event, int timeoutMs)
{
    using Result = InProcessEventChannel::Result;
    return SuiteCompletion<Result>(
        [event = std::move(event), timeoutMs](SuiteCompletion<Result>::Done done) {
            QDBusMessage call = QDBusMessage::createMethodCall(ownServiceName(), EventBusLocation::objectPath(),
                                                               EventBusLocation::interfaceName(),
                                                               EventBusLocation::sendMethod());
            call << EventWireFormat::encode(event);
            auto* watcher = new QDBusPendingCallWatcher(scriptConnection().asyncCall(call, timeoutMs), qApp);
            QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher, [watcher, done] {
                watcher->deleteLater();
                const QDBusMessage answer = watcher->reply();
                if (answer.type() != QDBusMessage::ReplyMessage) {
                    done({std::nullopt, answer.errorName() + QStringLiteral(": ") + answer.errorMessage()});
                    return;
                }
                QString error;
                std::optional<AppleEvent> reply =
                    EventWireFormat::decodeEvent(answer.arguments().value(0).toByteArray(), &error);
                done({std::move(reply), error.isEmpty() && !reply ? QStringLiteral("応答を読めません。") : error});
            });
        },
        timeoutMs + 2000, Result{std::nullopt, QStringLiteral("イベントの応答がありません。")});
}

}  // namespace

bool eventsTravelOverBus()
{
    static const bool overBus = [] {
        QDBusConnection bus = scriptConnection();
        return bus.isConnected() && bus.interface() && bus.interface()->isServiceRegistered(ownServiceName()).value();
    }();
    return overBus;
}

SuiteCompletion<InProcessEventChannel::Result> eventReply(AppleEvent event, int timeoutMs)
{
    using Result = InProcessEventChannel::Result;
    if (eventsTravelOverBus()) return busReply(std::move(event), timeoutMs);
    return SuiteCompletion<Result>(
        [event = std::move(event), timeoutMs](SuiteCompletion<Result>::Done done) {
            InProcessEventChannel().send(event, [done](Result result) { done(std::move(result)); }, timeoutMs);
        },
        // The channel answers by its own limit; this one only guards against an answer never given.
        timeoutMs + 2000, Result{std::nullopt, QStringLiteral("イベントの応答がありません。")});
}

SuiteTask<bool> poll(int limit, int interval, std::function<bool()> condition)
{
    bool holds = false;
    for (int test = 0; test < limit; ++test) {
        co_await sleepFor(interval);
        holds = condition();
        if (holds) break;
    }
    co_return holds;
}

}  // namespace korimado
