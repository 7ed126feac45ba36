#include "scripting/console/ScriptConsole.h"

#include "platform/text/TextBoundaries.h"
#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowTracker.h"
#include "scripting/console/ScriptOutputView.h"
#include "platform/ui/WindowPlacement.h"

#include <QGuiApplication>
#include <QLocale>
#include <QScreen>
#include <QTime>
#include <QVBoxLayout>
#include <QWidget>

namespace korimado {

ScriptConsole& ScriptConsole::shared()
{
    // Never released: the console and its text live as long as the process.
    static ScriptConsole* console = new ScriptConsole;
    return *console;
}

ScriptConsole::ScriptConsole() : clock_([] { return QTime::currentTime(); }) {}

void ScriptConsole::build()
{
    auto* window = new QWidget(nullptr, Qt::Window);
    window->setWindowTitle(QStringLiteral("コンソール"));
    window->setAttribute(Qt::WA_DeleteOnClose, false);
    auto* layout = new QVBoxLayout(window);
    layout->setContentsMargins(0, 0, 0, 0);
    text_ = new ScriptOutputView(12, QSizeF(12, 12), window);
    text_->setAccessibleName(QStringLiteral("コンソール"));
    layout->addWidget(text_);
    window->resize(680, 380);
    WindowPlacement::centreOnScreen(window);
    window_ = window;
}

QWidget* ScriptConsole::window()
{
    if (!window_)
        build();
    return window_;
}

ScriptOutputView* ScriptConsole::text()
{
    window();
    return text_;
}

QString ScriptConsole::timestamp(const QTime& time)
{
    // The long style less its time zone is the medium one: hours, minutes and seconds.
    QString format = QLocale::system().timeFormat(QLocale::LongFormat);
    format.remove(QLatin1Char('t'));
    return QLocale::system().toString(time, format.trimmed());
}

void ScriptConsole::append(const QString& text, bool title, bool timestamp)
{
    QString line;
    if (title)
        line += QStringLiteral("Korimado: ");
    if (timestamp)
        line += ScriptConsole::timestamp(clock_()) + QLatin1Char(' ');
    line += text;
    line += QLatin1Char('\n');

    ScriptOutputView* view = this->text();
    view->append(line);
    const qsizetype length = view->textLength();
    if (length > maximumLength) {
        // The oldest text goes, never half a character: from the start of the cluster the first
        // kept unit belongs to.
        const qsizetype start = view->boundaries().graphemeStart(length - maximumLength);
        view->removeLeading(start);
    }
    // On screen and in front, but the keyboard stays where the user is typing.
    QWidget* w = window();
    if (w->isMinimized())
        w->showNormal();
    else
        w->show();
    w->raise();
    view->scrollToEnd();
}

void ScriptConsole::showWindow(MenuItem*)
{
    QWidget* console = window();
    ToolWindow::closeOnEscape(console);
    // A panel of the document window the user works in.
    ToolWindow::present(console, WindowTracker::shared().mainWindow(), ToolWindow::Lifetime::shared);
}

}  // namespace korimado
