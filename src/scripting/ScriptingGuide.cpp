#include "scripting/ScriptingGuide.h"

namespace korimado {

ScriptingGuide& ScriptingGuide::shared()
{
    static ScriptingGuide* guide = new ScriptingGuide;
    return *guide;
}

ScriptingGuide::ScriptingGuide()
    : window_(QStringLiteral("スクリプトについて"), QStringLiteral("スクリプトの手引きと用語辞書はまだ利用できません。"))
{
    registerAction(QStringLiteral("showGuide:"), [this](MenuItem* sender) { showGuide(sender); });
    registerAction(QStringLiteral("showDictionary:"), [this](MenuItem* sender) { showDictionary(sender); });
}

void ScriptingGuide::showGuide(MenuItem*)
{
    window_.showWindow();
}

void ScriptingGuide::showDictionary(MenuItem*)
{
    window_.showWindow();
}

}  // namespace korimado
