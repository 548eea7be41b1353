#include "relay/register/client_register_configuration.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "relay/register/registration_list_settings.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_registry.h"

namespace {

const std::string kMachineKey = "[HKLM\\Software\\Veltra\\Daruravidu Server\\ClientRegister]\n";

std::string Setting(const std::string& name, const std::string& value) {
    return "[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_Daruravidu Server_ClientRegister_" +
           name + "]\n\"value\"=\"" + value + "\"\n\n";
}

std::string MachineValue(const std::string& name, const std::string& value) {
    return kMachineKey + "\"" + name + "\"=\"" + value + "\"\n\n";
}

std::string CurrentFolderChild(const char* name) {
    return GetCurrentDirectoryLocation().MakeChild(name).GetPathString();
}

class ClientRegisterConfigurationTest : public ::testing::Test {
  protected:
    TemporaryRegistry m_registry;
};

struct NumberCase {
    const char* name;
    std::function<std::uint64_t(const ClientRegisterConfiguration&)> read;
    std::uint64_t defaultValue;
};

const NumberCase kNumbers[] = {
    {"UDPMessagePort", &ClientRegisterConfiguration::GetUDPMessagePort, 52311},
    {"BatchCount", &ClientRegisterConfiguration::GetBatchCount, 100},
    {"BatchDelay", &ClientRegisterConfiguration::GetBatchDelay, 1000},
    {"RegistrationListWritePeriod", &ClientRegisterConfiguration::GetRegistrationListWritePeriod, 300},
    {"IsDescendantExpirationAge", &ClientRegisterConfiguration::GetIsDescendantExpirationAge, 259200},
    {"DisableCollisionDetection", &ClientRegisterConfiguration::GetDisableCollisionDetection, 0},
    {"MaxRelayPathLength", &ClientRegisterConfiguration::GetMaxRelayPathLength, 32},
    {"ClientRegistrationExpirationPeriod",
     &ClientRegisterConfiguration::GetClientRegistrationExpirationPeriod, 1440},
    {"MaxChildCount", &ClientRegisterConfiguration::GetMaxChildCount, 0},
    {"MaxChildRelayCount", &ClientRegisterConfiguration::GetMaxChildRelayCount, 0},
    {"ChildCountTestPeriod", &ClientRegisterConfiguration::GetChildCountTestPeriod, 300},
    {"ChildRelayCountTestPeriod", &ClientRegisterConfiguration::GetChildRelayCountTestPeriod, 300},
    {"MinHopEstimateLimit", &ClientRegisterConfiguration::GetMinHopEstimateLimit, 0},
    {"MaxHopEstimateLimit", &ClientRegisterConfiguration::GetMaxHopEstimateLimit, 0},
    {"UseRelayTreeForPings", &ClientRegisterConfiguration::GetUseRelayTreeForPings, 1},
    {"DisableChildUDPMessages", &ClientRegisterConfiguration::GetDisableChildUDPMessages, 0},
    {"ThisServerID", &ClientRegisterConfiguration::GetThisServerID, 0},
    {"PingRepetitionCount", &ClientRegisterConfiguration::GetPingRepetitionCount, 1},
    {"PermanentExpirationPeriodDays", &ClientRegisterConfiguration::GetPermanentExpirationPeriodDays, 0},
    {"ThisServerSequence", &ClientRegisterConfiguration::GetThisServerSequence, 0},
};

}  // namespace

TEST_F(ClientRegisterConfigurationTest, NothingStoredGivesTheDefaults) {
    ClientRegisterConfiguration configuration(kClientRegisterComponent);
    for (const NumberCase& c : kNumbers) EXPECT_EQ(c.read(configuration), c.defaultValue) << c.name;
    EXPECT_EQ(configuration.GetPingRequestPort(), 52311u);
    EXPECT_EQ(configuration.GetParentRelayURL(),
              "http://127.0.0.1:52311/cgi-bin/vtdaruravidu/clientregister.exe");
    EXPECT_FALSE(configuration.HasParentRelayURL());
    EXPECT_EQ(configuration.GetDebugOut(), "");
    EXPECT_EQ(configuration.GetParentRelayConfiguration().GetProxyPort(), 80u);
}

TEST_F(ClientRegisterConfigurationTest, EverySettingIsReadUnderItsOwnName) {
    std::string settings;
    std::uint64_t value = 1001;
    for (const NumberCase& c : kNumbers) settings += Setting(c.name, std::to_string(value++));
    settings +=
        Setting("ParentRelayURL", "http://parent.example.net:52311/cgi-bin/vtdaruravidu/clientregister.exe");
    settings += Setting("ProxyServer", "proxy.example.net");
    settings += MachineValue("DebugOut", "yes");
    ImportWithKvrreg(settings);

    ClientRegisterConfiguration configuration(kClientRegisterComponent);
    value = 1001;
    for (const NumberCase& c : kNumbers) EXPECT_EQ(c.read(configuration), value++) << c.name;
    EXPECT_EQ(configuration.GetParentRelayURL(),
              "http://parent.example.net:52311/cgi-bin/vtdaruravidu/clientregister.exe");
    EXPECT_TRUE(configuration.HasParentRelayURL());
    EXPECT_EQ(configuration.GetDebugOut(), "yes");
    EXPECT_EQ(configuration.GetParentRelayConfiguration().GetProxyServer(), "proxy.example.net");
}

TEST_F(ClientRegisterConfigurationTest, PingRequestPortZeroMeansTheUDPMessagePort) {
    const struct {
        const char* pingRequestPort;
        std::uint32_t expected;
    } cases[] = {{"0", 52000}, {"8080", 8080}};
    for (const auto& c : cases) {
        ImportWithKvrreg(Setting("UDPMessagePort", "52000") + Setting("PingRequestPort", c.pingRequestPort));
        EXPECT_EQ(ClientRegisterConfiguration(kClientRegisterComponent).GetPingRequestPort(), c.expected)
            << c.pingRequestPort;
    }
}

TEST_F(ClientRegisterConfigurationTest, ListLocations) {
    const struct {
        const char* situation;
        std::string settings;
        std::string registrationList;
        std::string replicationList;
    } cases[] = {
        {"unset", "", "registrationlist.txt", "./ReplicationServerList.xml"},
        {"registration list empty", MachineValue("RegistrationList Location", ""),
         CurrentFolderChild("RegistrationList.txt"), CurrentFolderChild("ReplicationServerList.xml")},
        {"registration list set", MachineValue("RegistrationList Location", "/srv/register/clients.txt"),
         "/srv/register/clients.txt", "/srv/register/ReplicationServerList.xml"},
        {"both set",
         MachineValue("RegistrationList Location", "/srv/register/clients.txt") +
             Setting("ReplicationServerList Location", "/etc/kvr/replication.xml"),
         "/srv/register/clients.txt", "/etc/kvr/replication.xml"},
        {"replication list empty",
         MachineValue("RegistrationList Location", "/srv/register/clients.txt") +
             Setting("ReplicationServerList Location", ""),
         "/srv/register/clients.txt", "/srv/register/ReplicationServerList.xml"},
    };
    for (const auto& c : cases) {
        TemporaryRegistry registry;
        ImportWithKvrreg(c.settings);
        ClientRegisterConfiguration configuration(kClientRegisterComponent);
        EXPECT_EQ(configuration.GetRegistrationListLocation().GetPathString(), c.registrationList)
            << c.situation;
        EXPECT_EQ(configuration.GetReplicationServerListLocation().GetPathString(), c.replicationList)
            << c.situation;
    }
    m_registry.MakeCurrent();
}

TEST_F(ClientRegisterConfigurationTest, AListAtTheRootHasNoFolderForTheReplicationList) {
    ImportWithKvrreg(MachineValue("RegistrationList Location", "/"));
    EXPECT_THROW(ClientRegisterConfiguration(kClientRegisterComponent).GetReplicationServerListLocation(),
                 RootHasNoParent);
}

TEST_F(ClientRegisterConfigurationTest, ValuesAreReadOnceAndCopiesReadNothing) {
    ImportWithKvrreg(Setting("BatchCount", "5") + Setting("ThisServerID", "9"));
    ClientRegisterConfiguration configuration(kClientRegisterComponent);
    ImportWithKvrreg(Setting("BatchCount", "6") + Setting("ThisServerID", "10"));
    ClientRegisterConfiguration copy(configuration);
    EXPECT_EQ(configuration.GetBatchCount(), 5u);
    EXPECT_EQ(copy.GetBatchCount(), 5u);
    EXPECT_EQ(copy.GetThisServerID(), 9u);
    EXPECT_EQ(ClientRegisterConfiguration(kClientRegisterComponent).GetBatchCount(), 6u);
}

TEST_F(ClientRegisterConfigurationTest, TheServerSequenceIsWrittenAndKept) {
    ClientRegisterConfiguration configuration(kClientRegisterComponent);
    configuration.SetThisServerSequence(0x1'0000'0002);
    EXPECT_EQ(configuration.GetThisServerSequence(), 0x1'0000'0002u);
    EXPECT_EQ(ClientRegisterConfiguration(kClientRegisterComponent).GetThisServerSequence(), 0x1'0000'0002u);
    KvrregRun run = RunKvrreg({"get",
                               "HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_Daruravidu "
                               "Server_ClientRegister_ThisServerSequence",
                               "value"});
    EXPECT_EQ(run.out, "4294967298\n");
}

TEST_F(ClientRegisterConfigurationTest, AFailedSequenceWriteThrowsAndKeepsTheOldValue) {
    ImportWithKvrreg(Setting("ThisServerSequence", "41"));
    ClientRegisterConfiguration configuration(kClientRegisterComponent);
    // A hive that does not parse is never written.
    WriteWholeFile(m_registry.MachineHivePath(), "REGEDIT4\n\n[HKLM\\Software\\Veltra]\n\"broken\n");
    EXPECT_THROW(configuration.SetThisServerSequence(42), ConfigurationNumberWriteError);
    EXPECT_EQ(configuration.GetThisServerSequence(), 41u);
}

// The list itself works with whole paths: its "~" file and the kept invalid list go beside it.
TEST_F(ClientRegisterConfigurationTest, TheListsSettingsTakeARelativeLocationFromTheCurrentFolder) {
    const struct {
        std::string settings;
        std::string registrationList;
    } cases[] = {
        {"", CurrentFolderChild("registrationlist.txt")},
        {MachineValue("RegistrationList Location", "data/clients.txt"), CurrentFolderChild("data") + "/clients.txt"},
        {MachineValue("RegistrationList Location", "/srv/register/clients.txt"), "/srv/register/clients.txt"},
    };
    for (const auto& c : cases) {
        if (!c.settings.empty()) ImportWithKvrreg(c.settings);
        EXPECT_EQ(ReadRegistrationListSettings().listLocation.GetPathString(), c.registrationList);
    }
}
