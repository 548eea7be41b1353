#include "crypto/fips_mode_setting.h"

#include <gtest/gtest.h>

#include <string>

#include "support/kvrreg_runner.h"
#include "support/temporary_registry.h"

namespace {

// The agent's setting as the agent stores it: a named client setting with its "value".
void StoreSetting(const std::string& value) {
    ImportWithKvrreg("[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_KVRClient_Cryptography_FipsMode]\n"
                     "\"value\"=\"" + value + "\"\n");
}

TEST(FipsModeSettingTest, TheSettingDecidesAloneWhenItNamesAMode) {
    struct Case {
        const char* value;  // null: the setting is missing
        FipsModeChoice askedOn, askedOff;
    };
    const std::string tooLong(40, 'x');
    const Case cases[] = {
        {"required", kFipsModeRequired, kFipsModeRequired},
        {"Required", kFipsModeRequired, kFipsModeRequired},
        {"NONE", kFipsModeNone, kFipsModeNone},
        {"", kFipsModeAsMastheadAsksOn, kFipsModeAsMastheadAsksOff},
        {"yes", kFipsModeAsMastheadAsksOn, kFipsModeAsMastheadAsksOff},
        {" required", kFipsModeAsMastheadAsksOn, kFipsModeAsMastheadAsksOff},
        {tooLong.c_str(), kFipsModeAsMastheadAsksOn, kFipsModeAsMastheadAsksOff},
        {nullptr, kFipsModeAsMastheadAsksOn, kFipsModeAsMastheadAsksOff},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value ? c.value : "(missing)");
        TemporaryRegistry registry;
        if (c.value) StoreSetting(c.value);
        EXPECT_EQ(readFipsMode(true), c.askedOn);
        EXPECT_EQ(readFipsMode(false), c.askedOff);
    }
}

TEST(FipsModeSettingTest, RequiredAndTheMastheadsAskTurnFipsModeOn) {
    EXPECT_TRUE(IsFipsModeOn(kFipsModeRequired));
    EXPECT_FALSE(IsFipsModeOn(kFipsModeNone));
    EXPECT_TRUE(IsFipsModeOn(kFipsModeAsMastheadAsksOn));
    EXPECT_FALSE(IsFipsModeOn(kFipsModeAsMastheadAsksOff));
}

}  // namespace
