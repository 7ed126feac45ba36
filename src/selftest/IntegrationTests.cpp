#include "selftest/IntegrationTests.h"

#include "selftest/SelfTestFrame.h"

namespace korimado {

SuiteTask<> IntegrationTests::run()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("Integration self-test"), true);
    co_return;
}

SuiteTask<> IntegrationTests::runStartupLayout()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("Startup and pinch checks"), true);
    co_return;
}

}  // namespace korimado
