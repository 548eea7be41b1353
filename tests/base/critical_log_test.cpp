#include "base/critical_log.h"

#include <gtest/gtest.h>

#include "support/capturing_critical_log.h"

TEST(CriticalLog, DisabledUntilASinkIsInstalled) {
    EXPECT_FALSE(CriticalLogEnabled());
    WriteCriticalLog("dropped");
    {
        CapturingCriticalLog log;
        EXPECT_TRUE(CriticalLogEnabled());
        WriteCriticalLog("kept");
        CapturingCriticalLog disabled(false);
        EXPECT_FALSE(CriticalLogEnabled());
        WriteCriticalLog("dropped too");
        EXPECT_TRUE(disabled.entries.empty());
        EXPECT_EQ(log.entries, std::vector<std::string>{"kept"});
    }
    EXPECT_FALSE(CriticalLogEnabled());
}
