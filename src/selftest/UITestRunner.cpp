#include "selftest/UITestRunner.h"

#include "selftest/SelfTestFrame.h"

namespace korimado {

SuiteTask<> UITestRunner::run()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("UI self-test"),
                                  SelfTestFrame::argumentsContain(QStringLiteral("--exit-after-tests")));
    co_return;
}

}  // namespace korimado
