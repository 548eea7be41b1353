// Download paths through a running relay: files laid into its cache ("wwwroot/vtmirror/downloads")
// and rows into its state database (with the sqlite3 shell), as earlier downloads leave them; the
// relay serves them by SHA-1, by action and index, as an action's list and as the ready marker, and
// asks its download manager for what it lacks.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>

#include "e2e/download_state_shell.h"
#include "e2e/relay_process.h"
#include "support/eventually.h"
#include "support/temporary_registry.h"

using namespace std::chrono_literals;

namespace {

const std::string kContent = "the first download of action 12";
const std::string kContentSha1 = "d3e19e0266c1588305c51bfacb6d8543b4897729";
const std::string kList = "+\n12\nhttp://site/1\nsha1:" + kContentSha1 + "\n";

std::string BodyOf(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

std::string StatusOf(const std::string& reply) {
    return reply.substr(0, reply.find("\r\n"));
}

class RelayProcessDownloads : public ::testing::Test {
  protected:
    void SetUp() override {
        m_relay.Start();
        ASSERT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    }
    void TearDown() override { EXPECT_EQ(m_relay.Stop(), 0); }

    std::string Downloads(const std::string& path) const {
        return m_relay.Folder() + "/wwwroot/vtmirror/downloads/" + path;
    }
    void Lay(const std::string& path, const std::string& content) const {
        std::filesystem::create_directories(std::filesystem::path(Downloads(path)).parent_path());
        WriteWholeFile(Downloads(path), content);
    }
    // Action 12 downloaded whole: its list, its one file and their COMPLETED rows.
    void LayCompleteAction() {
        Lay("sha1/" + kContentSha1, kContent);
        Lay("ActionURLs/dl_12", kList);
        Sqlite3(DownloadStateDatabaseOf(m_relay),
                "insert into URL_REQUESTS values (12, 3, strftime('%s'), 0, NULL, NULL); "
                "insert into INDEXED_DOWNLOADS values (12, 1, 'http://site/1', '" + kContentSha1 + "', " +
                    std::to_string(kContent.size()) + ", NULL, 3, strftime('%s'), 0, NULL, NULL);");
    }

    RelayProcess m_relay;
};

}  // namespace

TEST_F(RelayProcessDownloads, ServesACachedActionByEveryKindOfPath) {
    LayCompleteAction();
    const struct {
        std::string path;
        std::string body;
    } cases[] = {
        {"/vtmirror/downloads/sha1/" + kContentSha1, kContent},
        {"/vtmirror/downloads/12/1", kContent},
        {"/vtmirror/downloads/12/dl_12", kList},
        {"/vtmirror/downloads/12/dl_12_anything", kList},
        {"/vtmirror/downloads/12/0", "A"},
    };
    for (const auto& test : cases) {
        const std::string reply = m_relay.Get(test.path);
        EXPECT_EQ(StatusOf(reply), "HTTP/1.0 200 OK") << test.path;
        EXPECT_EQ(BodyOf(reply), test.body) << test.path;
    }
}

// A miss is answered 404 and leaves the relay a row to work on; an action's folder (what fetched its
// downloads left for the relay to take) is not served, its "0" marker least of all.
TEST_F(RelayProcessDownloads, AMissIsNotFoundAndIsAskedForAndActionFoldersAreNotServed) {
    EXPECT_EQ(StatusOf(m_relay.Get("/vtmirror/downloads/13/1")), "HTTP/1.0 404 Not Found");
    const std::string database = DownloadStateDatabaseOf(m_relay);
    EXPECT_TRUE(Eventually([&] { return !Sqlite3(database, "select ActionID from URL_REQUESTS;").empty(); }, 30s));
    EXPECT_EQ(Sqlite3(database, "select ActionID from URL_REQUESTS;"), "13\n");

    Lay("14/0", "");
    Lay("14/dl_14", "+\n14\n");
    for (const char* path : {"/vtmirror/downloads/14/0", "/vtmirror/downloads/14/dl_14", "/vtmirror/downloads/14/0;x"})
        EXPECT_EQ(StatusOf(m_relay.Get(path)), "HTTP/1.0 404 Not Found") << path;
}
