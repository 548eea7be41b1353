#include "relay/service/nt_service.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <deque>
#include <filesystem>
#include <sstream>

#include "support/program_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

using Action = ServiceCommandLine::Action;

struct CommandLineCase {
    std::vector<std::string> words;
    Action action;
    std::string account;
    std::string password;
};

// Answers "is-active" from a script of states (the last one repeats) and every other command with
// its exit status; records each command.
class ScriptedServiceManager : public ServiceManager {
  public:
    PosixPlatform::ChildProcessResult Systemctl(const std::vector<std::string>& arguments) override {
        std::string command;
        for (const std::string& word : arguments) command += (command.empty() ? "" : " ") + word;
        commands.push_back(command);
        if (arguments.front() != "is-active") return {failingCommand == arguments.front() ? 1 : 0, ""};
        const std::string state = states.front();
        if (states.size() > 1) states.pop_front();
        return {state == "active" ? 0 : 3, state + "\n"};
    }
    std::deque<std::string> states{"inactive"};
    std::string failingCommand;
    std::vector<std::string> commands;
};

class TestService : public CNTService {
  public:
    using CNTService::CNTService;
    bool Run() override { return ran = true; }
    void Stop() override {}
    bool ran = false;
};

class NTServiceTest : public ::testing::Test {
  protected:
    NTServiceTest() { ::unsetenv("INVOCATION_ID"); }
    std::string UnitFile() const { return m_units / "kvrrelay.service"; }

    TemporaryRegistry m_registry;
    TemporaryFolder m_units;
    TemporaryFolder m_working;
    ScriptedServiceManager m_manager;
    std::ostringstream m_out;
    ServiceHost m_host{.manager = m_manager, .unitFolder = m_units.Path(), .workingFolder = m_working.Path(),
                       .out = m_out, .pollMilliseconds = 1};
    TestService m_service{"KVRRelay", "Veltra Daruravidu KVRRelay", m_host};
};

}  // namespace

TEST(ServiceCommandLine, OptionsAreTwoCharacterWordsAndTheLastActionWins) {
    const CommandLineCase cases[] = {
        {{}, Action::Dispatch, "", ""},
        {{"-x", "--i", "i", "-ii"}, Action::Dispatch, "", ""},
        {{"-i"}, Action::Install, "", ""},
        {{"-i", "-u"}, Action::Remove, "", ""},
        {{"-s", "-e"}, Action::Stop, "", ""},
        {{"-i", "-d", "-u"}, Action::RunInConsole, "", ""},
        {{"-l", "-u", "-i", "-p", "-d"}, Action::Install, "-u", "-d"},
        {{"-i", "-l", "relay"}, Action::Install, "relay", ""},
        {{"-i", "-l"}, Action::Install, "", ""},
        {{"-p"}, Action::Dispatch, "", ""},
    };
    for (const CommandLineCase& example : cases) {
        const ServiceCommandLine parsed = ParseServiceCommandLine(example.words);
        std::string words;
        for (const std::string& word : example.words) words += word + " ";
        EXPECT_EQ(parsed.action, example.action) << words;
        EXPECT_EQ(parsed.account, example.account) << words;
        EXPECT_EQ(parsed.password, example.password) << words;
    }
}

TEST_F(NTServiceTest, InstallWritesAndEnablesTheUnit) {
    ASSERT_TRUE(m_service.ProcessCommandLine({"-l", "kvr", "-i", "-p", "secret"}));
    const std::string unit = ReadWholeFile(UnitFile());
    EXPECT_NE(unit.find("ExecStart=" + std::filesystem::read_symlink("/proc/self/exe").string() + "\n"),
              std::string::npos) << unit;
    EXPECT_NE(unit.find("User=kvr\n"), std::string::npos);
    EXPECT_NE(unit.find("WorkingDirectory=" + m_working.Path() + "\n"), std::string::npos);
    EXPECT_NE(unit.find("Restart=on-failure\n"), std::string::npos);
    EXPECT_EQ(unit.find("secret"), std::string::npos);
    EXPECT_EQ(m_manager.commands, (std::vector<std::string>{"daemon-reload", "enable kvrrelay.service"}));
    EXPECT_NE(m_out.str().find("is not used"), std::string::npos);
    EXPECT_TRUE(m_out.str().ends_with("Veltra Daruravidu KVRRelay installed.\n")) << m_out.str();
}

TEST_F(NTServiceTest, TheWrittenUnitPassesSystemdAnalyze) {
    if (RunProgram("sh", {"-c", "command -v systemd-analyze"}).exitStatus != 0) GTEST_SKIP();
    ASSERT_TRUE(m_service.Install({}));
    const ProgramRun verify = RunProgram("systemd-analyze", {"verify", UnitFile()});
    EXPECT_EQ(verify.exitStatus, 0) << verify.out << verify.err;
}

TEST_F(NTServiceTest, AFailingSystemctlFailsTheInstall) {
    m_manager.failingCommand = "enable";
    EXPECT_FALSE(m_service.Install({}));
    EXPECT_NE(m_out.str().find("CreateService failed - systemctl enable exited with status 1"), std::string::npos);
}

TEST_F(NTServiceTest, InstallThenRemoveOnOneLineRemoves) {
    ASSERT_TRUE(m_service.Install({}));
    m_manager.commands.clear();
    m_manager.states = {"active", "deactivating", "deactivating", "inactive"};
    EXPECT_TRUE(m_service.ProcessCommandLine({"-i", "-u"}));
    EXPECT_FALSE(std::filesystem::exists(UnitFile()));
    EXPECT_EQ(m_out.str().substr(m_out.str().find("Stopping")),
              "Stopping Veltra Daruravidu KVRRelay....\nVeltra Daruravidu KVRRelay stopped.\n"
              "Veltra Daruravidu KVRRelay removed.\n");
}

TEST_F(NTServiceTest, StartPrintsADotWhileTheServiceComesUp) {
    m_manager.states = {"activating", "activating", "active"};
    EXPECT_TRUE(m_service.ProcessCommandLine({"-s"}));
    EXPECT_EQ(m_out.str(), "Starting up Veltra Daruravidu KVRRelay...\nVeltra Daruravidu KVRRelay started.\n");
    EXPECT_EQ(m_manager.commands.front(), "start --no-block kvrrelay.service");
}

TEST_F(NTServiceTest, AServiceThatEndsFailedDidNotStart) {
    m_manager.states = {"activating", "failed"};
    EXPECT_FALSE(m_service.StartService());
    EXPECT_TRUE(m_out.str().ends_with("Veltra Daruravidu KVRRelay failed to start.\n"));
}

TEST_F(NTServiceTest, StopWaitsForTheServiceToEnd) {
    m_manager.states = {"deactivating", "inactive"};
    EXPECT_TRUE(m_service.ProcessCommandLine({"-e"}));
    EXPECT_EQ(m_out.str(), "Stopping Veltra Daruravidu KVRRelay..\nVeltra Daruravidu KVRRelay stopped.\n");
}

TEST_F(NTServiceTest, WithoutOptionsOnlySystemdMayStartTheService) {
    EXPECT_FALSE(m_service.ProcessCommandLine({}));
    EXPECT_FALSE(m_service.ran);
    ::setenv("INVOCATION_ID", "0123456789abcdef", 1);
    EXPECT_TRUE(m_service.ProcessCommandLine({}));
    EXPECT_TRUE(m_service.ran);
    ::unsetenv("INVOCATION_ID");
}

TEST_F(NTServiceTest, ConsoleRunAnnouncesItselfAndRunsWithoutInstalling) {
    EXPECT_TRUE(m_service.ProcessCommandLine({"-i", "-d"}));
    EXPECT_TRUE(m_service.ran);
    EXPECT_EQ(m_out.str(), "Debugging Veltra Daruravidu KVRRelay.\n");
    EXPECT_FALSE(std::filesystem::exists(UnitFile()));
}
