#include "selftest/SuiteAwait.h"

#include "preview/PreviewWebView.h"

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
        0, QImage());
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
                        done(ErrorInfo{QStringLiteral("Korimado"), 1, QStringLiteral("書類が閉じられました。"), {}});
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
        0, std::nullopt);
}

SuiteCompletion<InProcessEventChannel::Result> eventReply(AppleEvent event, int timeoutMs)
{
    using Result = InProcessEventChannel::Result;
    return SuiteCompletion<Result>(
        [event = std::move(event), timeoutMs](SuiteCompletion<Result>::Done done) {
            InProcessEventChannel().send(event, [done](Result result) { done(std::move(result)); }, timeoutMs);
        },
        0, Result{});
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
