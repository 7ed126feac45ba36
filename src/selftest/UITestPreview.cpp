// The sample's Markdown preview: it catches up with the text, renders Japanese and every element
// the sample holds, runs no page script, and each mode shows what it should.
#include "selftest/UITestRun.h"

#include "document/KoriDocument.h"
#include "platform/text/TextView.h"
#include "preview/PreviewWebView.h"
#include "selftest/SuiteAwait.h"

#include <QAbstractScrollArea>
#include <QMainWindow>

namespace korimado {

namespace {

// A script element the page is given runs only when page scripts are on; the mark it would
// leave is shared between the page's world and ours.
const QString pageScriptProbe = QStringLiteral(
    "(() => { const root = document.documentElement; delete root.dataset.koriProbe;"
    " const s = document.createElement('script'); s.textContent = 'document.documentElement.dataset.koriProbe = 1';"
    " document.head.appendChild(s); s.remove(); const ran = root.dataset.koriProbe !== undefined;"
    " delete root.dataset.koriProbe; return !ran; })()");

bool shown(const QWidget* widget)
{
    return widget && widget->isVisibleTo(widget->window());
}

}  // namespace

SuiteTask<bool> UITestRun::checkPreview()
{
    const SelfTestWindow controller = sampleController_;
    if (!controller || !sample_) {
        harnessError(sampleClosedMessage);
        co_return false;
    }
    controller.setMode(SelfTestWindow::Mode::split);
    // Conditions and awaitables are named before they are awaited (see SuiteTask.h).
    const std::function<bool()> caughtUp = [this] {
        if (!sampleController_ || !sample_) return true;
        const std::optional<std::uint64_t> shownRevision = sampleController_.previewRevision();
        return shownRevision && *shownRevision == sample_->revision() && !sampleController_.web()->isLoading();
    };
    co_await poll(40, 100, caughtUp);
    if (!sampleController_) {
        harnessError(sampleClosedMessage);
        co_return false;
    }

    auto reading = evaluate(controller.web(), QStringLiteral("document.body.innerText"));
    const ScriptResult body = co_await reading;
    if (!body.ok) {
        harnessError(body.error);
        co_return false;
    }
    const QString text = body.value.typeId() == QMetaType::QString ? body.value.toString() : QString();
    checks_.check(QStringLiteral("WKWebView rendered Japanese"),
                  text.contains(QStringLiteral("日本語")) && text.contains(QStringLiteral("Markdown")));

    auto looking = evaluate(
        controller.web(),
        QStringLiteral("['h1','h2','p','a','ul','blockquote','pre','table'].every(s=>document.querySelector(s))"));
    const ScriptResult structures = co_await looking;
    if (!structures.ok) {
        harnessError(structures.error);
        co_return false;
    }
    checks_.check(QStringLiteral("WKWebView has all required Markdown structures"),
                  structures.value.typeId() == QMetaType::Bool && structures.value.toBool());

    auto probing = evaluate(controller.web(), pageScriptProbe);
    const ScriptResult noPageScripts = co_await probing;
    checks_.check(QStringLiteral("page JavaScript disabled"),
                  noPageScripts.ok && noPageScripts.value.typeId() == QMetaType::Bool && noPageScripts.value.toBool());

    if (!sampleController_) {
        harnessError(sampleClosedMessage);
        co_return false;
    }
    controller.setMode(SelfTestWindow::Mode::preview);
    checks_.check(QStringLiteral("preview mode hides editor"), !shown(controller.textView()) && shown(controller.web()));
    controller.setMode(SelfTestWindow::Mode::edit);
    checks_.check(QStringLiteral("edit mode hides preview"), shown(controller.textView()) && !shown(controller.web()));
    controller.setMode(SelfTestWindow::Mode::split);
    co_await sleepFor(600);
    co_return true;
}

}  // namespace korimado
