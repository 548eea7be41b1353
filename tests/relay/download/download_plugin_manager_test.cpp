#include "relay/download/download_plugin_manager.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <regex>
#include <string>
#include <vector>

#include "download_test_support.h"
#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "relay/download/download_plugin_inbox.h"
#include "support/captured_log.h"
#include "support/eventually.h"
#include "support/file_bytes.h"
#include "support/process_status.h"
#include "support/test_download_plugin.h"

using namespace std::chrono_literals;

namespace {

// Every report in order: "success <aid>/<index or sha1 byte>", "failure ...: <text>", "suspended ...".
class RecordingReports : public DownloadCompletionReports {
  public:
    void ReportSuccess(const DownloadRequestTarget& target) override {
        reports.push_back("success " + Name(target));
    }
    void ReportFailure(const DownloadRequestTarget& target, const DownloadError& error) override {
        EXPECT_EQ(error.kind, DownloadErrorKind::Generic);
        reports.push_back("failure " + Name(target) + ": " + error.message);
    }
    void ReportSuspended(const DownloadRequestTarget& target) override {
        reports.push_back("suspended " + Name(target));
    }

    // The reports so far, which are forgotten.
    std::vector<std::string> Take() { return std::exchange(reports, {}); }

    std::vector<std::string> reports;

  private:
    static std::string Name(const DownloadRequestTarget& target) { return *target.GetURL(); }
};

class DownloadPluginManagerTest : public DownloadSettingsFixture {
  protected:
    DownloadPluginManagerTest()
        : m_plugin(m_folder / "plugins"),
          m_inbox(m_settings.GetInboxFolder()),
          m_plugins(DownloadPluginManager::Open(m_settings, m_inbox, m_reports)) {}
    ~DownloadPluginManagerTest() override { m_plugins.StopAll(); }

    void Drop(const std::string& name, const std::string& text) { WriteFileBytes(InboxPath(name), text); }
    std::string InboxPath(const std::string& name) const { return m_inbox.GetPathString() + "/" + name; }
    void Serve() { ServeDownloadPlugins(m_plugins, m_inbox); }
    void Register(const std::string& protocol) {
        Drop("plugin_add_" + protocol, m_plugin.AddMessage(protocol));
        Serve();
    }
    // A dynamic download of the URL, to be written under the test's folder.
    void Add(const std::string& url) {
        m_plugins.AddToBatch(DownloadRequestTarget::Dynamic(12, FilledDigest(1), 5, url),
                             FileLocation((m_folder / "download-" + std::to_string(m_added++)).c_str()));
    }
    // The process id that a run's downloads file names.
    std::uint64_t ProcessIDOf(pid_t run) const {
        std::smatch match;
        const std::string text = m_plugin.DownloadsFileOf(run);
        EXPECT_TRUE(std::regex_search(text, match, std::regex("\"id\" : ([0-9]+)")));
        return std::stoull(match[1]);
    }
    void DropStatus(const std::string& name, std::uint64_t processID, const std::string& records) {
        Drop(name, "{\"message\" : \"status\", \"id\" : " + std::to_string(processID) + ", \"status\" : [" +
                       records + "]}");
    }

    CapturedLog m_log;
    TestDownloadPlugin m_plugin;
    FileLocation m_inbox;
    RecordingReports m_reports;
    DownloadPluginManager m_plugins;
    int m_added = 0;
};

using Behaviour = TestDownloadPlugin::Behaviour;

}  // namespace

TEST_F(DownloadPluginManagerTest, RegistersTrustedProgramsOnlyAndKeepsTheInboxPrivate) {
    EXPECT_EQ(std::filesystem::status(m_inbox.GetPathString()).permissions(),
              std::filesystem::perms::owner_all);

    WriteFileBytes(m_plugin.Folder() + "/open", "#!/bin/sh\n");
    ::chmod((m_plugin.Folder() + "/open").c_str(), 0777);
    Drop("plugin_relative", R"({"message" : "add", "protocol" : "test", "location" : "plugins/plugin"})");
    Drop("plugin_open",
         R"({"message" : "add", "protocol" : "test", "location" : ")" + m_plugin.Folder() + "/open\"}");
    Serve();
    EXPECT_FALSE(m_plugins.HasPluginForURL("test://a/b"));
    const std::vector<std::string> refusals = m_log.LinesStartingWith(
        "critical: Failed to process plugin_* file: DownloadPluginManager: Refusing plugin for protocol: "
        "\"test\": "
        "The program ");
    ASSERT_EQ(refusals.size(), 2u);
    for (const char* reason : {"plugins/plugin may not be run: its path is not absolute",
                               "/open may not be run: the file is writable by its group or by others"})
        EXPECT_TRUE(refusals[0].find(reason) != std::string::npos ||
                    refusals[1].find(reason) != std::string::npos)
            << reason;

    Register("test");
    EXPECT_EQ(
        m_log.LinesStartingWith("critical: DownloadPluginManager: Adding plugin for protocol: "),
        std::vector<std::string>{"critical: DownloadPluginManager: Adding plugin for protocol: \"test\" "
                                 "Plugin file: " +
                                 m_plugin.Program()});
    EXPECT_TRUE(m_plugins.HasPluginForURL("test://a/b"));
    EXPECT_FALSE(m_plugins.HasPluginForURL("TEST://a/b"));
    EXPECT_FALSE(m_plugins.HasPluginForURL("/a/b"));
    EXPECT_TRUE(std::filesystem::is_empty(m_inbox.GetPathString()));
}

TEST_F(DownloadPluginManagerTest, OneRunPerProtocolAndTheUnreportedFailWhenItEnds) {
    m_plugin.Configure(Behaviour::Exit);
    Register("test");
    Register("other");
    Add("test://a/0");
    Add("test://a/1");
    Add("other://b/2");
    m_plugins.StartBatches();
    const std::vector<pid_t> runs = m_plugin.AwaitRuns(2);
    ASSERT_EQ(runs.size(), 2u);
    EXPECT_TRUE(m_reports.Take().empty());

    // Protocols start in their order: "other" first, with the first process id.
    std::uint64_t first = 0, second = 0;
    for (pid_t run : runs)
        (m_plugin.DownloadsFileOf(run).find("other:") != std::string::npos ? first : second) =
            ProcessIDOf(run);
    EXPECT_EQ(second, first + 1);
    for (pid_t run : runs) {
        const std::string text = m_plugin.DownloadsFileOf(run);
        const bool other = text.find("other:") != std::string::npos;
        EXPECT_EQ(text.find("\"id\" : 0, ") != std::string::npos, !other) << text;
        EXPECT_EQ(text.find("\"id\" : 1, ") != std::string::npos, !other) << text;
        EXPECT_EQ(text.find("\"id\" : 2, ") != std::string::npos, other) << text;
    }
    EXPECT_EQ(m_log.LinesStartingWith("debug: DownloadPluginManager: About to start plugins for batch of "),
              std::vector<std::string>{
                  "debug: DownloadPluginManager: About to start plugins for batch of 2 downloads"});
    EXPECT_EQ(m_log
                  .LinesStartingWith("debug: DownloadPluginProcess: About to run plugin " +
                                     m_plugin.Program() + " with argument --downloads=/")
                  .size(),
              2u);

    for (pid_t run : runs) ASSERT_TRUE(Eventually([&] { return IsZombie(run); }, 20s));
    Serve();
    EXPECT_EQ(m_reports.Take(), (std::vector<std::string>{
                                    "failure other://b/2: The download plugin exited unexpectedly",
                                    "failure test://a/0: The download plugin exited unexpectedly",
                                    "failure test://a/1: The download plugin exited unexpectedly",
                                }));
    for (pid_t run : runs) EXPECT_FALSE(ProcessExists(run));
}

TEST_F(DownloadPluginManagerTest, StatusRecordsReportEachDownloadOnce) {
    m_plugin.Configure(Behaviour::Hang);
    Register("test");
    for (int download = 0; download < 3; ++download) Add("test://a/" + std::to_string(download));
    m_plugins.StartBatches();
    const pid_t run = m_plugin.AwaitRuns(1)[0];
    const std::uint64_t processID = ProcessIDOf(run);

    DropStatus(
        "plugin_1", processID,
        R"({"id" : 1, "success" : false, "error" : "disk full"}, {"id" : 0, "success" : true, "error" : null},)"
        R"({"id" : 0, "success" : false, "error" : "again"}, {"id" : 99, "success" : true, "error" : null})");
    DropStatus("plugin_2", processID + 1, R"({"id" : 2, "success" : true, "error" : null})");
    Serve();
    std::vector<std::string> reports = m_reports.Take();
    std::sort(reports.begin(), reports.end());
    EXPECT_EQ(reports, (std::vector<std::string>{"failure test://a/1: disk full", "success test://a/0"}));

    // The last outstanding download goes; the entry with it, while its program still runs.
    DropStatus("plugin_3", processID, R"({"id" : 2, "success" : false, "error" : null})");
    Serve();
    EXPECT_EQ(m_reports.Take(), std::vector<std::string>{"failure test://a/2: No error specified"});
    EXPECT_TRUE(ProcessExists(run) && !IsZombie(run));
    m_plugins.StopAll();
    EXPECT_FALSE(ProcessExists(run));
    EXPECT_TRUE(m_reports.Take().empty());
}

TEST_F(DownloadPluginManagerTest, ProgramThatOutlivesItsLastStatusIsReapedWhenItEnds) {
    m_plugin.Configure(Behaviour::Linger, {{"test://a/0", "content"}});
    Register("test");
    Add("test://a/0");
    m_plugins.StartBatches();
    const pid_t run = m_plugin.AwaitRuns(1)[0];
    ASSERT_TRUE(Eventually(
        [&] { return std::filesystem::exists(InboxPath("plugin_status_" + std::to_string(run))); }, 20s));
    Serve();
    EXPECT_EQ(m_reports.Take(), std::vector<std::string>{"success test://a/0"});
    EXPECT_EQ(ReadFileBytes(m_folder / "download-0"), "content");
    EXPECT_TRUE(ProcessExists(run));
    ASSERT_TRUE(Eventually([&] { return IsZombie(run); }, 20s));
    Serve();
    EXPECT_FALSE(ProcessExists(run));
}

TEST_F(DownloadPluginManagerTest, StatusOfAProgramThatHasEndedStillCounts) {
    m_plugin.Configure(Behaviour::Exit);
    Register("test");
    Add("test://a/0");
    Add("test://a/1");
    m_plugins.StartBatches();
    const pid_t run = m_plugin.AwaitRuns(1)[0];
    ASSERT_TRUE(Eventually([&] { return IsZombie(run); }, 20s));
    DropStatus("plugin_last", ProcessIDOf(run), R"({"id" : 0, "success" : true, "error" : null})");
    Serve();
    EXPECT_EQ(m_reports.Take(), (std::vector<std::string>{
                                    "success test://a/0",
                                    "failure test://a/1: The download plugin exited unexpectedly",
                                }));
}

TEST_F(DownloadPluginManagerTest, RemoveKillsTheProtocolsProgramsAndSuspendsTheirDownloads) {
    m_plugin.Configure(Behaviour::Hang);
    Register("test");
    Register("other");
    Add("test://a/0");
    Add("other://b/1");
    m_plugins.StartBatches();
    const std::vector<pid_t> runs = m_plugin.AwaitRuns(2);
    const pid_t testRun =
        m_plugin.DownloadsFileOf(runs[0]).find("test:") != std::string::npos ? runs[0] : runs[1];
    const pid_t otherRun = testRun == runs[0] ? runs[1] : runs[0];

    Drop("plugin_remove", R"({"message" : "remove", "protocol" : "test"})");
    Serve();
    EXPECT_EQ(m_reports.Take(), std::vector<std::string>{"suspended test://a/0"});
    EXPECT_FALSE(ProcessExists(testRun));
    EXPECT_TRUE(ProcessExists(otherRun) && !IsZombie(otherRun));
    EXPECT_FALSE(m_plugins.HasPluginForURL("test://a/0"));
    EXPECT_EQ(
        m_log.LinesStartingWith("critical: DownloadPluginManager: Removing plugin for protocol: "),
        std::vector<std::string>{"critical: DownloadPluginManager: Removing plugin for protocol: test"});

    Add("other://b/2");
    m_plugins.StopAll();
    EXPECT_EQ(m_reports.Take(), (std::vector<std::string>{"suspended other://b/2", "suspended other://b/1"}));
    EXPECT_FALSE(ProcessExists(otherRun));
}

TEST_F(DownloadPluginManagerTest, BatchThatCannotStartFailsWithTheReason) {
    Register("test");
    const struct {
        const char* name;
        std::function<void()> spoil;
        std::string failure;
    } cases[] = {
        {"removed since",
         [&] {
             Drop("plugin_remove", R"({"message" : "remove", "protocol" : "test"})");
             Serve();
         },
         "The download plugin has been deleted."},
        {"writable by others", [&] { ::chmod(m_plugin.Program().c_str(), 0777); },
         "The program " + m_plugin.Program() +
             " may not be run: the file is writable by its group or by others"},
        {"not executable", [&] { ::chmod(m_plugin.Program().c_str(), 0644); },
         "System Error: 13: Permission denied"},
    };
    for (const auto& each : cases) {
        Register("test");
        ::chmod(m_plugin.Program().c_str(), 0755);
        Add("test://a");
        each.spoil();
        m_plugins.StartBatches();
        EXPECT_EQ(m_reports.Take(), std::vector<std::string>{"failure test://a: " + each.failure})
            << each.name;
        Serve();
        m_plugins.StopAll();
        EXPECT_TRUE(m_reports.Take().empty()) << each.name;
    }
    EXPECT_TRUE(m_plugin.Runs().empty());
}

TEST_F(DownloadPluginManagerTest, MessageFileIsReadOnceCompleteAndOnlyWhenRegular) {
    m_plugin.Configure(Behaviour::Hang);
    Register("test");
    Add("test://a/0");
    m_plugins.StartBatches();
    const std::string status =
        "{\"message\" : \"status\", \"id\" : " + std::to_string(ProcessIDOf(m_plugin.AwaitRuns(1)[0])) +
        ", \"status\" : [{\"id\" : 0, \"success\" : true, \"error\" : null}]}";
    const std::string firstHalf = status.substr(0, status.size() / 2);
    const auto writtenAgo = [&](const std::string& name, std::int64_t microseconds) {
        FileItem(FileLocation(InboxPath(name).c_str())).SetLastWriteTime(GetCurrentUTCTime() - microseconds);
    };

    // Half written 2 s ago: left for a later pass, which finds it whole.
    Drop("plugin_halves", firstHalf);
    writtenAgo("plugin_halves", 2'000'000);
    Serve();
    EXPECT_TRUE(std::filesystem::exists(InboxPath("plugin_halves")));
    EXPECT_TRUE(m_reports.Take().empty());
    Drop("plugin_halves", status);
    Serve();
    EXPECT_EQ(m_reports.Take(), std::vector<std::string>{"success test://a/0"});
    EXPECT_FALSE(std::filesystem::exists(InboxPath("plugin_halves")));

    // Unparsable for longer than the settle time, a link, a FIFO, folders, an unknown kind, other names.
    Drop("plugin_stale", firstHalf);
    writtenAgo("plugin_stale", 6'000'000);
    WriteFileBytes(m_folder / "elsewhere", R"({"message" : "remove", "protocol" : "test"})");
    std::filesystem::create_symlink(m_folder / "elsewhere", InboxPath("plugin_link"));
    ASSERT_EQ(::mkfifo(InboxPath("plugin_fifo").c_str(), 0600), 0);
    std::filesystem::create_directory(InboxPath("plugin_empty"));
    std::filesystem::create_directories(InboxPath("plugin_full/inside"));
    Drop("plugin_capital", R"({"message" : "Add", "protocol" : "other", "location" : "/usr/bin/env"})");
    Drop("dl_5", "not a plug-in message");
    Serve();

    std::vector<std::string> failures =
        m_log.LinesStartingWith("critical: Failed to process plugin_* file: ");
    std::sort(failures.begin(), failures.end());
    EXPECT_EQ(
        failures,
        (std::vector<std::string>{
            "critical: Failed to process plugin_* file: File error \"FilePermissionError\" on \"" +
                InboxPath("plugin_fifo") + "\": System Error: 13: Permission denied",
            "critical: Failed to process plugin_* file: Not a regular file: " + InboxPath("plugin_link"),
            "critical: Failed to process plugin_* file: class InvalidJSON",
        }));
    EXPECT_EQ(m_log.LinesStartingWith(
                  "debug: DownloadPluginManager: Unrecognized plugin message in inbox; discarding "),
              std::vector<std::string>{
                  "debug: DownloadPluginManager: Unrecognized plugin message in inbox; discarding " +
                  InboxPath("plugin_capital")});
    std::vector<std::string> left;
    for (const auto& entry : std::filesystem::directory_iterator(m_inbox.GetPathString()))
        left.push_back(entry.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string>{"dl_5", "plugin_full"}));
    EXPECT_TRUE(std::filesystem::exists(m_folder / "elsewhere"));
    EXPECT_TRUE(m_plugins.HasPluginForURL("test://a"));
    EXPECT_FALSE(m_plugins.HasPluginForURL("other://a"));
}

TEST_F(DownloadPluginManagerTest, ManagerThatGoesWithoutStopAllLeavesNoProgramBehind) {
    m_plugin.Configure(Behaviour::Hang);
    Register("test");
    pid_t run = 0;
    {
        DownloadPluginManager plugins = DownloadPluginManager::Open(m_settings, m_inbox, m_reports);
        plugins.AddToBatch(DownloadRequestTarget::Dynamic(12, FilledDigest(1), 5, "test://a"),
                           FileLocation((m_folder / "download").c_str()));
        plugins.StartBatches();
        run = m_plugin.AwaitRuns(1)[0];
    }
    EXPECT_FALSE(ProcessExists(run));
    EXPECT_TRUE(m_reports.Take().empty());
}
