#pragma once

#include "preview/PreviewWebView.h"

#include <QEventLoop>
#include <QTimer>
#include <QVariant>

#include <memory>

namespace korimado::test {

// Asks the page every 100 ms, in one event loop, until its answer is the wanted one (WebEngine
// starves under QTest::qWaitFor).
inline bool pageAnswers(PreviewWebView* web, const QString& script, const QVariant& wanted, int ms = 15000)
{
    auto latest = std::make_shared<QVariant>();
    QEventLoop loop;
    QTimer tick;
    QObject::connect(&tick, &QTimer::timeout, &loop, [&] {
        if (*latest == wanted) {
            loop.quit();
            return;
        }
        if (web->hasEngine()) web->evaluate(script, [latest](const QVariant& v) { *latest = v; });
    });
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    tick.start(100);
    loop.exec();
    return *latest == wanted;
}

}  // namespace korimado::test
