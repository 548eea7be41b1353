// External download plug-ins through a running relay: the tests' plug-in (support/test_download_plugin.h)
// registered by "add" messages dropped into the relay's inbox, actions' "dl_" files naming URLs of its
// protocols, and what its runs report, seen in the state database (sqlite3 shell), the cache and the
// log. The relay passes every 100 ms and logs its debug lines.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "e2e/download_state_shell.h"
#include "e2e/relay_process.h"
#include "support/eventually.h"
#include "support/file_bytes.h"
#include "support/process_status.h"
#include "support/test_download_plugin.h"

using namespace std::chrono_literals;
using Behaviour = TestDownloadPlugin::Behaviour;

namespace {

const std::string kContent = "fetched by the test plug-in";
const std::string kContentSha1 = "3b734131ac8fa86a7c7632bedd9cd5460b543839";
const std::string kHalfContent = "the first half of the batch";
const std::string kHalfContentSha1 = "68b3d333f5b38c8c58c7cd9916ba85585bfb875f";
const std::string kOtherSha1 = "ebebe4a3c07de4c8a5b211c2b1b6b3049514fc25";
const std::string kThirdSha1 = "11f6ad8ec52a2984abaafd7c3b516503785c2072";
// As the relay names its files: relative to its working folder, where the plug-ins start too.
const std::string kActiveDownloads = "wwwroot/vtmirror/downloads/ActiveDownloads";

std::string BodyOf(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

// A path as the relay's JSON writer writes it inside a string.
std::string JSONEscapedPath(const std::string& path) {
    return std::regex_replace(path, std::regex("/"), "\\u002F");
}

// The text with every "id" number replaced by "N".
std::string WithoutIDs(const std::string& text) {
    return std::regex_replace(text, std::regex("\"id\" : [0-9]+"), "\"id\" : N");
}

// The first number that follows `"<name>" : ` in a downloads file.
std::string NumberAfter(const std::string& text, const std::string& name, std::size_t from = 0) {
    std::smatch match;
    const std::string rest = text.substr(from);
    if (!std::regex_search(rest, match, std::regex("\"" + name + "\" : ([0-9]+)"))) return "";
    return match[1];
}

class RelayProcessDownloadPlugins : public ::testing::Test {
  protected:
    void SetUp() override {
        m_relay.SetClientSetting("_KVRGather_Mirror_ActiveLoopDelayMilliseconds", "100");
        m_relay.SetClientSetting("_KVRGather_Mirror_InactiveLoopDelayMilliseconds", "100");
        m_relay.SetClientSetting("_KVRRelay_Log_Verbose", "1");
        m_relay.Start();
        ASSERT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    }
    void TearDown() override { EXPECT_EQ(m_relay.Stop(), 0); }

    std::string Inbox() const { return m_relay.Folder() + "/storage/Mirror Server/inbox"; }
    std::string Database() const { return DownloadStateDatabaseOf(m_relay); }

    // Puts a whole file into the inbox: written beside it, dated `age` back, then renamed in.
    void Drop(const std::string& name, const std::string& text, std::chrono::seconds age = 0s) {
        const std::string staging = m_relay.Folder() + "/staging-" + name;
        WriteFileBytes(staging, text);
        std::filesystem::last_write_time(staging, std::filesystem::file_time_type::clock::now() - age);
        std::filesystem::rename(staging, Inbox() + "/" + name);
    }
    void Register(const TestDownloadPlugin& plugin, const std::string& protocol) {
        Drop("plugin_add_" + protocol, plugin.AddMessage(protocol));
        ASSERT_TRUE(
            m_relay.AwaitLogLine("DownloadPluginManager: Adding plugin for protocol: \"" + protocol + "\""))
            << m_relay.Log();
    }
    // The action's download list, one download per (URL, SHA-1), dated back so that it is taken at once.
    void DropAction(int action, const std::vector<std::pair<std::string, std::string>>& downloads) {
        std::string list = "+\n" + std::to_string(action) + "\n";
        for (const auto& [url, sha1] : downloads)
            list += url + "\nsize:" + std::to_string(kContent.size()) + "\nsha1:" + sha1 + "\n";
        Drop("dl_" + std::to_string(action), list, 10s);
    }
    // "index|status|error" of each of the action's downloads.
    std::string Rows(int action) const {
        return Sqlite3(Database(),
                       "select DownloadIndex, Status, ErrorString from INDEXED_DOWNLOADS where ActionID = " +
                           std::to_string(action) + " order by DownloadIndex;");
    }
    bool AwaitRows(int action, const std::string& rows) const {
        return Eventually([&] { return Rows(action) == rows; }, 30s);
    }

    RelayProcess m_relay;
};

}  // namespace

// Each way a run can end, one protocol each; the stored error of a failed plug-in download is the
// plug-in's, also after the relay's own downloader was tried.
TEST_F(RelayProcessDownloadPlugins, EachOutcomeOfARunReachesTheStateDatabase) {
    const std::string refusal = "the origin refused";
    // A SHA-1 each, so that no download is found in the cache as another's.
    const struct {
        const char* protocol;
        Behaviour behaviour;
        int action;
        std::string sha1;
        std::string rows;
    } cases[] = {
        {"test", Behaviour::Succeed, 12, kContentSha1, "1|3|\n"},
        {"gone", Behaviour::Exit, 13, kOtherSha1, "1|4|The download plugin exited unexpectedly\n"},
        {"refusing", Behaviour::Fail, 14, kThirdSha1, "1|4|" + refusal + "\n"},
    };
    std::vector<std::unique_ptr<TestDownloadPlugin>> plugins;
    for (const auto& each : cases) {
        plugins.push_back(std::make_unique<TestDownloadPlugin>(m_relay.Folder() + "/" + each.protocol));
        plugins.back()->Configure(each.behaviour, {{"test://a/b", kContent}}, &refusal);
        Register(*plugins.back(), each.protocol);
    }
    for (const auto& each : cases)
        DropAction(each.action, {{each.protocol + std::string("://a/b"), each.sha1}});
    for (const auto& each : cases)
        EXPECT_TRUE(AwaitRows(each.action, each.rows)) << each.protocol << ": " << Rows(each.action);

    EXPECT_EQ(BodyOf(m_relay.Get("/vtmirror/downloads/12/1")), kContent);
    EXPECT_EQ(ReadFileBytes(m_relay.Folder() + "/wwwroot/vtmirror/downloads/sha1/" + kContentSha1), kContent);
    // A failed plug-in download is tried once more without the plug-in; the plug-in's error stays.
    for (const std::string reason : {std::string("The download plugin exited unexpectedly"), refusal})
        EXPECT_TRUE(m_relay.AwaitLogLine("Reason: " + reason + "\r\nAttempting download without plugin"))
            << reason << "\n"
            << m_relay.Log();

    const std::vector<pid_t> runs = plugins[0]->Runs();
    ASSERT_EQ(runs.size(), 1u);
    const std::vector<std::string> lines = {
        "{",
        "  \"id\" : N, ",
        "  \"inbox\" : \"" + JSONEscapedPath(Inbox()) + "\", ",
        "  \"downloads\" : ",
        "    [",
        "",
        "        {",
        "          \"id\" : N, ",
        "          \"file\" : \"" + JSONEscapedPath(kActiveDownloads + "/indexed_12_1") + "\", ",
        "          \"url\" : \"test:\\u002F\\u002Fa\\u002Fb\", ",
        "          \"sha1\" : \"" + kContentSha1 + "\", ",
        "          \"size\" : " + std::to_string(kContent.size()),
        "        }",
        "    ]",
        "}",
    };
    std::string expected;
    for (const std::string& line : lines) expected += (expected.empty() ? "" : "\n") + line;
    EXPECT_EQ(WithoutIDs(plugins[0]->DownloadsFileOf(runs[0])), expected);
}

TEST_F(RelayProcessDownloadPlugins, ProgramsThatOthersCouldChangeAreRefused) {
    TestDownloadPlugin plugin(m_relay.Folder() + "/plugins");
    ::chmod(plugin.Program().c_str(), 0777);
    Drop("plugin_open", plugin.AddMessage("open"));
    Drop("plugin_relative", R"({"message" : "add", "protocol" : "relative", "location" : "plugins/plugin"})");
    for (const std::string refusal :
         {"Failed to process plugin_* file: DownloadPluginManager: Refusing plugin for protocol: \"open\": "
          "The program " +
              plugin.Program() + " may not be run: the file is writable by its group or by others",
          std::string("Failed to process plugin_* file: DownloadPluginManager: Refusing plugin for protocol: "
                      "\"relative\": The program plugins/plugin may not be run: its path is not absolute")})
        EXPECT_TRUE(m_relay.AwaitLogLine(refusal)) << refusal << "\n" << m_relay.Log();
    EXPECT_EQ(Sqlite3(m_relay.Folder() + "/storage/Mirror Server/config/DownloadPlugins.db",
                      "select * from PLUGINS;"),
              "");
}

// A run that hangs: it holds no descriptor of the relay's, takes a status file written in two halves
// 2 s apart, and is killed when its protocol is removed, its other download suspended.
TEST_F(RelayProcessDownloadPlugins, RunningProgramHoldsNoRelayDescriptorAndIsKilledWhenRemoved) {
    TestDownloadPlugin plugin(m_relay.Folder() + "/plugins");
    plugin.Configure(Behaviour::Hang);
    Register(plugin, "slow");
    DropAction(15, {{"slow://a/1", kHalfContentSha1}, {"slow://a/2", kOtherSha1}});
    const pid_t run = plugin.AwaitRuns(1)[0];
    ASSERT_TRUE(Eventually([&] { return IsAsleepRunning(run, "sleep"); }, 20s));

    const std::string fdFolder = "/proc/" + std::to_string(run) + "/fd";
    EXPECT_EQ(OpenDescriptors(run), (std::set<std::string>{"0", "1", "2"}));
    EXPECT_EQ(std::filesystem::read_symlink(fdFolder + "/0"), "/dev/null");
    EXPECT_EQ(std::filesystem::read_symlink(fdFolder + "/1"), "/dev/null");
    EXPECT_EQ(Rows(15), "1|2|\n2|2|\n");

    // The first download, fetched as a plug-in would, reported in a file written in two halves.
    const std::string downloads = plugin.DownloadsFileOf(run);
    const std::size_t first = downloads.find("\"url\" : \"slow:\\u002F\\u002Fa\\u002F1\"");
    const std::size_t firstEntry = downloads.rfind("{", first);
    WriteFileBytes(m_relay.Folder() + "/" + kActiveDownloads + "/indexed_15_1", kHalfContent);
    const std::string status = "{\"message\" : \"status\", \"id\" : " + NumberAfter(downloads, "id") +
                               ", \"status\" : [{\"id\" : " + NumberAfter(downloads, "id", firstEntry) +
                               ", \"success\" : true, \"error\" : null}]}";
    const std::size_t half = status.size() / 2;
    WriteFileBytes(Inbox() + "/plugin_halves", status.substr(0, half));
    std::this_thread::sleep_for(2s);
    std::ofstream(Inbox() + "/plugin_halves", std::ios::app) << status.substr(half);
    EXPECT_TRUE(AwaitRows(15, "1|3|\n2|2|\n")) << Rows(15) << m_relay.Log();

    Drop("plugin_remove", R"({"message" : "remove", "protocol" : "slow"})");
    EXPECT_TRUE(AwaitRows(15, "1|3|\n2|6|\n")) << Rows(15);
    EXPECT_TRUE(Eventually([&] { return !ProcessExists(run); }, 20s)) << "zombie: " << IsZombie(run);
    EXPECT_TRUE(m_relay.AwaitLogLine("DownloadPluginManager: Removing plugin for protocol: slow"));
}
