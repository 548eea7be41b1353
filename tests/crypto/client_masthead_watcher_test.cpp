#include "crypto/client_masthead_watcher.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "crypto/masthead_fixture.h"
#include "crypto/signature_verification.h"
#include "settings/registry_functions.h"
#include "support/captured_log.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

constexpr std::int64_t kMinute = 60'000'000;

// The crypto library's FIPS switch, recorded instead of switched.
class RecordingCryptoControl : public OpenSSLLibraryControl {
  public:
    void StartLibrary() override {}
    bool IsFIPSEnabled() override { return fips; }
    bool SwitchFIPS(bool on) override {
        switches.push_back(on);
        fips = on;
        return true;
    }

    bool fips = false;
    std::vector<bool> switches;
};

const std::string kAppPathsKey = "[HKLM\\SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\KVRClient.exe]\n";

void SetAgentFipsSetting(const std::string& value) {
    ImportWithKvrreg("[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_KVRClient_Cryptography_FipsMode]\n"
                     "\"value\"=\"" + value + "\"\n");
}

class ClientMastheadWatcherTest : public MastheadFixtureTest {
  protected:
    // The agent's masthead file now holds the fixture.
    void AgentMastheadIs(const std::string& fixture) {
        std::filesystem::copy_file(MastheadFixturePath(fixture), m_agentMasthead,
                                   std::filesystem::copy_options::overwrite_existing);
    }
    void CheckAt(std::int64_t time) {
        now = time;
        watcher.CheckFipsMode();
    }
    std::vector<std::string> FipsLines() {
        std::vector<std::string> lines;
        for (const std::string& line : log.Lines())
            if (line.find("FIPS Mode") != std::string::npos) lines.push_back(line);
        return lines;
    }

    TemporaryRegistry registry;
    TemporaryFolder agentFolder;
    std::string m_agentMasthead = agentFolder / "ActionSite.azqm";
    std::int64_t now = 1'000 * kMinute;
    RecordingCryptoControl control;
    OpenSSLStartup crypto{control};
    MastheadStore store;
    CapturedLog log;
    ClientMastheadWatcher watcher{[this] { return now; }, [this] { return FileLocation(m_agentMasthead.c_str()); },
                                  crypto, store};
};

TEST_F(ClientMastheadWatcherTest, ReadsAtMostEveryFifteenMinutes) {
    const std::string customURL = "http://relay.example:8080/cgi-bin/bfgather.exe/actionsite";
    EXPECT_EQ(watcher.GetGatherURL(), "");
    AgentMastheadIs("action.azqm");
    CheckAt(now);
    EXPECT_EQ(watcher.GetGatherURL(), kFixtureActionURL);
    EXPECT_TRUE(store.Contains(ConstData(std::string_view(kFixtureActionURL))));

    const std::int64_t first = now;
    AgentMastheadIs("custom-site.azqm");
    CheckAt(first + 14 * kMinute);
    EXPECT_EQ(watcher.GetGatherURL(), kFixtureActionURL);
    CheckAt(first + 16 * kMinute);
    EXPECT_EQ(watcher.GetGatherURL(), customURL);
    EXPECT_TRUE(store.Contains(ConstData(std::string_view(customURL))));
}

TEST_F(ClientMastheadWatcherTest, EnteringFipsModeIsLoggedOnce) {
    AgentMastheadIs("action-fips.azqm");
    CheckAt(now);
    CheckAt(now + 16 * kMinute);
    EXPECT_TRUE(control.fips);
    EXPECT_EQ(FipsLines(), std::vector<std::string>{"critical: Entered FIPS Mode"});

    AgentMastheadIs("action.azqm");
    CheckAt(now + 16 * kMinute);
    EXPECT_FALSE(control.fips);
    EXPECT_EQ(FipsLines(), (std::vector<std::string>{"critical: Entered FIPS Mode", "critical: Left FIPS Mode"}));
}

TEST_F(ClientMastheadWatcherTest, TheAgentsSettingDecidesBeforeTheMasthead) {
    struct Case {
        const char* setting;  // null: absent
        const char* masthead;
        bool fips;
    };
    const Case cases[] = {
        {"none", "action-fips.azqm", false}, {"NONE", "action-fips.azqm", false},
        {"required", "action.azqm", true},   {"Required", "action.azqm", true},
        {"", "action-fips.azqm", true},      {"maybe", "action.azqm", false},
        {nullptr, "action.azqm", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.setting != nullptr ? c.setting : "(absent)") + " " + c.masthead);
        if (c.setting != nullptr) SetAgentFipsSetting(c.setting);
        AgentMastheadIs(c.masthead);
        CheckAt(now + 16 * kMinute);
        EXPECT_EQ(control.fips, c.fips);
    }
}

TEST_F(ClientMastheadWatcherTest, AForgedMastheadNeverChangesWhatIsServed) {
    AgentMastheadIs("action.azqm");
    CheckAt(now);
    AgentMastheadIs("action-tampered.azqm");
    const std::int64_t failed = now + 16 * kMinute;
    EXPECT_THROW(CheckAt(failed), NoAuthorizedSignature);
    EXPECT_EQ(watcher.GetGatherURL(), kFixtureActionURL);
    EXPECT_FALSE(store.Contains(ConstData(std::string_view("http://relay.example:52311/cgi-bin/bfgather.exe/forgedsite"))));

    // A failed re-check is retried after a minute, not on every call.
    AgentMastheadIs("custom-site.azqm");
    CheckAt(failed + kMinute / 2);
    EXPECT_EQ(watcher.GetGatherURL(), kFixtureActionURL);
    CheckAt(failed + kMinute);
    EXPECT_EQ(watcher.GetGatherURL(), "http://relay.example:8080/cgi-bin/bfgather.exe/actionsite");
}

TEST_F(ClientMastheadWatcherTest, OnlyActionMastheadsAreAccepted) {
    AgentMastheadIs("demo.ezqm");
    EXPECT_EQ(FailureOf([&] { CheckAt(now); }), "class NoAuthorizedSignature (class UnacceptableMastheadType)");
    EXPECT_EQ(watcher.GetGatherURL(), "");
    AgentMastheadIs("action.azqm");
    CheckAt(now + kMinute);
    EXPECT_EQ(watcher.GetGatherURL(), kFixtureActionURL);
}

TEST_F(ClientMastheadWatcherTest, TheEncryptionCertificateIsReadAfresh) {
    AgentMastheadIs("action.azqm");
    EXPECT_TRUE(watcher.GetEncryptionCertificate());
    AgentMastheadIs("action-nocert.azqm");
    EXPECT_FALSE(watcher.GetEncryptionCertificate());
    AgentMastheadIs("action-tampered.azqm");
    EXPECT_THROW(watcher.GetEncryptionCertificate(), NoAuthorizedSignature);
}

TEST(ClientActionMastheadPathTest, TheAgentsFolderFromTheRegistry) {
    TemporaryRegistry registry;
    ImportWithKvrreg(kAppPathsKey + "\"Path\"=\"/opt/agent\"\n");
    EXPECT_EQ(GetClientActionMastheadPath().GetPathString(), "/opt/agent/ActionSite.azqm");
    ImportWithKvrreg(kAppPathsKey + "\"Path\"=\"\"\n");
    EXPECT_THROW(GetClientActionMastheadPath(), Posix::RegistryValueIsEmpty);
    ImportWithKvrreg(kAppPathsKey + "\"Path\"=dword:00000001\n");
    EXPECT_THROW(GetClientActionMastheadPath(), Posix::WrongRegistryType);
}

TEST(ClientActionMastheadPathTest, NoAgentInstalled) {
    TemporaryRegistry registry;
    EXPECT_ANY_THROW(GetClientActionMastheadPath());
    EXPECT_ANY_THROW(ClientRequiresFipsCryptography());
}

TEST(ClientRequiresFipsCryptographyTest, ReadsTheAgentsMasthead) {
    TemporaryRegistry registry;
    TemporaryFolder agent;
    ImportWithKvrreg(kAppPathsKey + "\"Path\"=\"" + agent.Path() + "\"\n");
    std::filesystem::copy_file(MastheadFixturePath("action-fips.azqm"), agent / "ActionSite.azqm");
    EXPECT_TRUE(ClientRequiresFipsCryptography());
    std::filesystem::copy_file(MastheadFixturePath("action.azqm"), agent / "ActionSite.azqm",
                               std::filesystem::copy_options::overwrite_existing);
    EXPECT_FALSE(ClientRequiresFipsCryptography());
}

}  // namespace
