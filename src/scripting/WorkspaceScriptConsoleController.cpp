#include "scripting/WorkspaceScriptConsoleController.h"

namespace korimado {

WorkspaceScriptConsoleController::WorkspaceScriptConsoleController(std::optional<QString> workingDirectory)
    : workingDirectory_(std::move(workingDirectory)),
      window_(QStringLiteral("スクリプト"), QStringLiteral("スクリプトの実行はまだ利用できません。"))
{
}

void WorkspaceScriptConsoleController::showWindow(MenuItem*)
{
    window_.showWindow();
}

}  // namespace korimado
