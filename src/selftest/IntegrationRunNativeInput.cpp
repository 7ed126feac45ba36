// The integration suite's native Japanese input: romaji typed through the X server into the
// system input method, converted and committed, and an undo pressed on the keyboard. Where no key
// can be posted, or no input method is on the bus, the phase says why and records nothing.
#include "selftest/IntegrationRun.h"

#include "platform/text/TextView.h"
#include "selftest/InputMethodSwitch.h"
#include "selftest/NativeKeyboard.h"
#include "selftest/SelfTestFrame.h"
#include "selftest/SuiteAwait.h"

#include <QElapsedTimer>
#include <QGuiApplication>
#include <QMainWindow>
#include <QWindow>

namespace korimado {

namespace {

constexpr unsigned long spaceKeysym = 0x20;
constexpr unsigned long returnKeysym = 0xff0d;

QString debugDescription(const QString& text)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : text) {
        if (c == QLatin1Char('"') || c == QLatin1Char('\\')) quoted += QLatin1Char('\\') + QString(c);
        else if (c == QLatin1Char('\n')) quoted += QStringLiteral("\\n");
        else quoted += c;
    }
    return quoted + QLatin1Char('"');
}

}  // namespace

SuiteTask<> IntegrationRun::checkNativeInput()
{
    const std::unique_ptr<NativeKeyboard> keyboard = NativeKeyboard::open();
    if (!keyboard) {
        SelfTestFrame::printLine(QStringLiteral("Native keyboard injection unavailable; no permission was requested."));
        co_return;
    }
    if (InputMethodSwitch::present().isEmpty()) {
        SelfTestFrame::printLine(QStringLiteral("Native Japanese input skipped: no input method on the session bus."));
        co_return;
    }
    const QString kept = InputMethodSwitch::current();
    const bool available = InputMethodSwitch::sources().contains(InputMethodSwitch::japaneseRomaji);
    if (!available) {
        checks_.check(QStringLiteral("native Japanese input source available"), false);
        co_return;
    }

    setContents(QString());
    resetUndo();
    focusEditor();
    // The keys go where the X focus is: wait, bounded, until the window has it.
    QElapsedTimer focusing;
    focusing.start();
    while (window_ && QGuiApplication::focusWindow() != window_.window()->windowHandle() && focusing.elapsed() < 3000)
        co_await sleepFor(50);
    co_await sleepFor(150);
    const bool selected = InputMethodSwitch::select(InputMethodSwitch::japaneseRomaji);
    co_await sleepFor(150);

    bool marked = false;
    for (const char letter : {'n', 'i', 'h', 'o', 'n', 'g', 'o'}) {
        keyboard->press(static_cast<unsigned long>(letter));
        co_await sleepFor(45);
    }
    // The input method answers over the bus: its composition shows a moment after the last key.
    QElapsedTimer composing;
    composing.start();
    while (editor() && !editor()->hasMarkedText() && composing.elapsed() < 2000) co_await sleepFor(50);
    marked = editor() && editor()->hasMarkedText();
    keyboard->press(spaceKeysym);
    co_await sleepFor(150);
    keyboard->press(returnKeysym);
    co_await sleepFor(200);
    QElapsedTimer committing;
    committing.start();
    while (text() != QStringLiteral("日本語") && committing.elapsed() < 2000) co_await sleepFor(50);
    const QString result = text();
    checks_.check(QStringLiteral("native Japanese IME converts and commits"), selected && marked && result == QStringLiteral("日本語"));
    SelfTestFrame::printLine(QStringLiteral("Native IME result: ") + debugDescription(result));

    InputMethodSwitch::select(kept);
    setContents(QStringLiteral("before"));
    resetUndo();
    if (TextView* view = editor()) {
        view->insertText(QStringLiteral("after"), TextRange(0, 6));
        view->breakUndoCoalescing();
    }
    keyboard->press('z', true);
    co_await sleepFor(200);
    QElapsedTimer undoing;
    undoing.start();
    while (text() != QStringLiteral("before") && undoing.elapsed() < 1000) co_await sleepFor(50);
    checks_.check(QStringLiteral("OS keyboard event Command-Z restores source"), text() == QStringLiteral("before"));
    setContents(fixtureText);
}

}  // namespace korimado
