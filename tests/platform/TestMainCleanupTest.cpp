#include "platform/foundation/UserDefaults.h"
#include "support/TestSupport.h"

#include <gtest/gtest.h>

using namespace korimado;

// Run alone by check-cleanup: the standard store saves this change while the program ends, after
// the last test, and the test main must still remove its folders afterwards.
TEST(TestMainCleanup, WritesIntoTheConfigHomeWhileExiting)
{
    UserDefaults::standard().setBool(QStringLiteral("test.writtenWhileExiting"), true);
    EXPECT_TRUE(UserDefaults::standard().filePath().startsWith(test::testConfigHome()));
}
