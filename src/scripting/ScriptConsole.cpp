#include "scripting/ScriptConsole.h"

#include "platform/ui/ToolWindow.h"
#include "platform/ui/WindowTracker.h"

#include <QWidget>

namespace korimado {

ScriptConsole& ScriptConsole::shared()
{
    // Never released: the console lives as long as the process.
    static ScriptConsole* console = new ScriptConsole;
    return *console;
}

ScriptConsole::ScriptConsole()
    : window_(QStringLiteral("コンソール"), QStringLiteral("スクリプトコンソールはまだ利用できません。"))
{
}

void ScriptConsole::showWindow(MenuItem*)
{
    QWidget* console = window_.window();
    ToolWindow::closeOnEscape(console);
    // A panel of the document window the user works in.
    ToolWindow::present(console, WindowTracker::shared().mainWindow(), ToolWindow::Lifetime::shared);
}

}  // namespace korimado
