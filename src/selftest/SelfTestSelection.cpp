#include "selftest/SelfTestSelection.h"

namespace korimado::SelfTestSelection {

SelfTestSuite suiteFor(const QStringList& arguments)
{
    if (!arguments.contains(QStringLiteral("--ui-self-test"))) return SelfTestSuite::none;
    if (arguments.contains(QStringLiteral("--startup-only"))) return SelfTestSuite::startupLayout;
    if (arguments.contains(QStringLiteral("--performance-only"))) return SelfTestSuite::featurePerformance;
    if (arguments.contains(QStringLiteral("--integration-only"))) return SelfTestSuite::integration;
    if (arguments.contains(QStringLiteral("--features-only"))) return SelfTestSuite::features;
    return SelfTestSuite::ui;
}

bool keepsWindowsInBackground(const QStringList& arguments)
{
    return arguments.contains(QStringLiteral("--startup-only")) || arguments.contains(QStringLiteral("--performance-only"));
}

}  // namespace korimado::SelfTestSelection
