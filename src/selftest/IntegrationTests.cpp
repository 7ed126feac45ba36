#include "selftest/IntegrationTests.h"

#include "selftest/SelfTestFrame.h"

namespace korimado {

void IntegrationTests::run()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("Integration self-test"), true);
}

void IntegrationTests::runStartupLayout()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("Startup and pinch checks"), true);
}

void IntegrationTests::runFeaturePerformance()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("Feature performance"), true);
}

}  // namespace korimado
