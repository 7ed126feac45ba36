#include "selftest/SVGTreeTests.h"

#include "selftest/SelfTestFrame.h"

namespace korimado {

SuiteTask<> SVGTreeTests::run()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("Features self-test"),
                                  SelfTestFrame::argumentsContain(QStringLiteral("--exit-after-tests")));
    co_return;
}

}  // namespace korimado
