#include "selftest/UITestRunner.h"

#include "selftest/SelfTestFrame.h"

namespace korimado {

void UITestRunner::run()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("UI self-test"),
                                  SelfTestFrame::argumentsContain(QStringLiteral("--exit-after-tests")));
}

}  // namespace korimado
