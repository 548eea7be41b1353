#include "relay/service/parent_relay_configuration.h"

#include <gtest/gtest.h>

#include <string>

#include "support/client_settings.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_registry.h"

namespace {

const std::string kClientSettings = "[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\";
const std::string kAgentOptions = "[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n";

class ParentRelayConfigurationTest : public ::testing::Test {
  protected:
    TemporaryRegistry m_registry;
};

}  // namespace

TEST_F(ParentRelayConfigurationTest, NothingStoredGivesTheDefaults) {
    ParentRelayConfiguration configuration;
    EXPECT_EQ(configuration.GetProxyUser(), "");
    EXPECT_EQ(configuration.GetProxyPassword(), "");
    EXPECT_EQ(configuration.GetProxyServer(), "");
    EXPECT_EQ(configuration.GetProxyPort(), 80u);
    EXPECT_EQ(configuration.GetAddressFamily(), 0);
    EXPECT_EQ(configuration.GetAgentServer(), "");
    EXPECT_EQ(configuration.GetOwnComputerID(), 0u);
}

TEST_F(ParentRelayConfigurationTest, ReadsTheStoredSettings) {
    ImportWithKvrreg(ClientRegisterSetting("ProxyUser", "relay") +
                     ClientRegisterSetting("ProxyPass", "s3cret") +
                     ClientRegisterSetting("ProxyServer", "proxy.example.net") +
                     ClientRegisterSetting("ProxyPort", "3128") + kClientSettings +
                     "__Relay_Control_Server1]\n\"value\"=\"http://root.example.net:52311\"\n\n" +
                     kAgentOptions + "\"ComputerID\"=dword:00bc614e\n");
    ParentRelayConfiguration configuration;
    EXPECT_EQ(configuration.GetProxyUser(), "relay");
    EXPECT_EQ(configuration.GetProxyPassword(), "s3cret");
    EXPECT_EQ(configuration.GetProxyServer(), "proxy.example.net");
    EXPECT_EQ(configuration.GetProxyPort(), 3128u);
    EXPECT_EQ(configuration.GetAgentServer(), "http://root.example.net:52311");
    EXPECT_EQ(configuration.GetOwnComputerID(), 12345678u);

    HTTPClientSession session = configuration.MakeHTTPClientSession();
    EXPECT_EQ(session.ProxyUser(), "relay");
    EXPECT_EQ(session.ProxyHost(), "proxy.example.net");
    EXPECT_EQ(session.ProxyPort(), 3128);
    EXPECT_EQ(session.AddressFamilyChoice(), 0);
}

TEST_F(ParentRelayConfigurationTest, AddressFamilyIgnoresCase) {
    const struct {
        const char* text;
        int expected;
    } cases[] = {{"ipv6thenipv4", 1}, {"ONLYIPV4", 3},  {"OnlyIpv4", 3},
                 {"Ipv6", 0},         {"OnlyIpv4 ", 0}, {"", 0}};
    for (const auto& c : cases) {
        ImportWithKvrreg(ClientRegisterSetting("IPCommunicationFamily", c.text));
        ParentRelayConfiguration configuration;
        EXPECT_EQ(configuration.GetAddressFamily(), c.expected) << c.text;
        EXPECT_EQ(configuration.MakeHTTPClientSession().AddressFamilyChoice(), c.expected) << c.text;
    }
}

// The agent writes its identifier as a DWORD, or as an 8-byte binary once it needs more than 32 bits;
// the DWORD reader does not take the binary.
TEST_F(ParentRelayConfigurationTest, AZeroOrMissing32BitIdentifierFallsBackToThe64BitOne) {
    const struct {
        const char* value;
        std::uint64_t expected;
    } cases[] = {
        {"hex:08,07,06,05,04,03,02,01", 0x0102030405060708},
        {"dword:00000000", 0},
        {"dword:0000002a", 42},
    };
    for (const auto& c : cases) {
        ImportWithKvrreg(kAgentOptions + "\"ComputerID\"=" + c.value + "\n");
        EXPECT_EQ(ParentRelayConfiguration().GetOwnComputerID(), c.expected) << c.value;
    }
}

TEST_F(ParentRelayConfigurationTest, OnlyReloadReadsTheIdentifierAgain) {
    ImportWithKvrreg(kAgentOptions + "\"ComputerID\"=dword:00000007\n");
    ParentRelayConfiguration configuration;
    ImportWithKvrreg(kAgentOptions + "\"ComputerID\"=dword:00000009\n");
    EXPECT_EQ(configuration.GetOwnComputerID(), 7u);
    EXPECT_EQ(configuration.ReloadOwnComputerID(), 9u);
    EXPECT_EQ(configuration.GetOwnComputerID(), 9u);
}

TEST_F(ParentRelayConfigurationTest, ACopyKeepsWhatTheOriginalRead) {
    ImportWithKvrreg(ClientRegisterSetting("IPCommunicationFamily", "OnlyIpv4") +
                     ClientRegisterSetting("ProxyServer", "old-proxy"));
    ParentRelayConfiguration original;
    ImportWithKvrreg(ClientRegisterSetting("IPCommunicationFamily", "Ipv6ThenIpv4") +
                     ClientRegisterSetting("ProxyServer", "new-proxy"));
    ParentRelayConfiguration copy(original);
    EXPECT_EQ(copy.GetAddressFamily(), 3);
    EXPECT_EQ(copy.GetProxyServer(), "old-proxy");
    EXPECT_EQ(ParentRelayConfiguration().GetAddressFamily(), 1);
}
