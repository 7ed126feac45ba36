#include "scripting/ScriptConsole.h"

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
    window_.showWindow();
}

}  // namespace korimado
