#include "relay/register/wake_on_lan_adapter_selection.h"

#include <gtest/gtest.h>

#include "support/captured_log.h"

namespace {

const std::string kMatching = "00-1a-2b-3c-4d-5e_192.168.64.0/20_192.168.70.12_1";
const std::string kOther = "00-1a-2b-3c-4d-5f_10.0.0.0/8_10.1.2.3_0";
const std::string kUnparsable = "00-1a-2b-3c-4d-5e_192.168.64.0/20";
const std::string kHostBitsSet = "00-1a-2b-3c-4d-5d_192.168.64.1/20_192.168.70.12_1";

std::string ChosenText(const std::optional<WakeOnLANAdapter>& adapter) {
    return adapter ? std::string(FormatWakeOnLANAdapter(*adapter).View()) : "none";
}

}  // namespace

TEST(SelectWoLAdapter, ChoosesTheClientsOwnAdapterOrTheOnlyOne) {
    const IPAddress client(192, 168, 70, 12);
    const struct {
        std::set<std::string> texts;
        std::string chosen;
    } cases[] = {
        {{kOther}, kOther},  // the only adapter, whatever its address
        {{kOther, kMatching}, kMatching},
        {{kUnparsable, kMatching}, kMatching},
        {{kOther, "00-1a-2b-3c-4d-60_10.0.0.0/8_10.1.2.4_1"}, "none"},
        {{kUnparsable}, "none"},
        {{kHostBitsSet, kOther}, "none"},
        {{}, "none"},
    };
    for (const auto& c : cases) EXPECT_EQ(ChosenText(SelectWoLAdapter(client, c.texts)), c.chosen);
}

TEST(SelectWoLAdapter, ABadTextIsLoggedWithTheClientAndTheParsersFailure) {
    CapturedLog log;
    EXPECT_EQ(ChosenText(SelectWoLAdapter(IPAddress(192, 168, 70, 12), {kUnparsable, kHostBitsSet, kMatching})),
              kMatching);
    std::vector<std::string> lines = log.LinesStartingWith("critical: Bad adapter info in SelectWoLAdapter for ");
    ASSERT_EQ(lines.size(), 2u) << ::testing::PrintToString(log.Lines());
    EXPECT_NE(lines[0].find("192.168.70.12 (" + kHostBitsSet + "): class NotAWakeOnLANAdapterInfo"), std::string::npos)
        << lines[0];
    EXPECT_NE(lines[1].find("(" + kUnparsable + "): class NotAWakeOnLANAdapterInfo"), std::string::npos) << lines[1];
}
