#pragma once

#include <QStringList>

namespace korimado {

// Which suite a launch runs: with "--ui-self-test" exactly one, the first flag of this order
// that is present deciding; without it none, whatever else is given.
enum class SelfTestSuite { none, startupLayout, featurePerformance, integration, features, ui };

namespace SelfTestSelection {

SelfTestSuite suiteFor(const QStringList& arguments);
// "--startup-only" and "--performance-only" keep every window in the background, with or
// without "--ui-self-test".
bool keepsWindowsInBackground(const QStringList& arguments);

}  // namespace SelfTestSelection

}  // namespace korimado
