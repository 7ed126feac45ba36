#include "selftest/SVGTreeTests.h"

#include "selftest/SelfTestFrame.h"

namespace korimado {

void SVGTreeTests::run()
{
    SelfTestFrame::reportNotBuilt(QStringLiteral("Features self-test"),
                                  SelfTestFrame::argumentsContain(QStringLiteral("--exit-after-tests")));
}

}  // namespace korimado
