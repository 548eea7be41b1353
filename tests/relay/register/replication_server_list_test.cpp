#include "relay/register/replication_server_list.h"

#include <gtest/gtest.h>

#include <string>

#include "support/temporary_folder.h"
#include "support/temporary_registry.h"
#include "formats/xml_tree_parser.h"

namespace {

// A server list document whose root holds the given elements.
std::string Document(const std::string& elements) {
    return "<?xml version=\"1.0\"?>\n<ReplicationServerList>\n" + elements + "</ReplicationServerList>\n";
}

class ReplicationServerListTest : public ::testing::Test {
  protected:
    FileLocation At(const std::string& name) const { return FileLocation((m_folder / name).c_str()); }
    void Write(const std::string& name, const std::string& content) const { WriteWholeFile(m_folder / name, content); }
    std::string Read(const std::string& name) const { return ReadWholeFile(m_folder / name); }

    TemporaryFolder m_folder;
};

TEST_F(ReplicationServerListTest, ElementAttributesAndTheirDefaults) {
    struct Case {
        const char* element;
        const char* url;
        const char* name;
        std::uint32_t port;
        bool connected;
    } cases[] = {
        {"<S ServerID='1' ServerName='root'/>", "http://root:52311/", "root", 52311, false},
        {"<S ServerID='1' ServerName='root' ServerPort='8080' Connected='yes'/>", "http://root:8080/", "root", 8080, true},
        {"<S ServerID='1' ServerURL='http://a.example' ServerPort='8080' Connected='YES'/>", "http://a.example/",
         "a.example", 80, true},
        {"<S ServerID='1' ServerURL='http://a.example:52311/' ServerName='b' Connected='1'/>",
         "http://a.example:52311/", "a.example", 52311, false},
        {"<S ServerID='1' ServerURL='https://[2001:db8::1]:443' Connected='true'/>", "https://[2001:db8::1]:443/",
         "[2001:db8::1]", 443, false},
    };
    for (const Case& c : cases) {
        XMLTreeParserPL parser;
        parser.Receive(ConstData(std::string_view(c.element)));
        ReplicationServer server = ReadReplicationServer(*parser.Root());
        EXPECT_EQ(server.serverURL, c.url) << c.element;
        EXPECT_EQ(server.serverName, c.name) << c.element;
        EXPECT_EQ(server.serverPort, c.port) << c.element;
        EXPECT_EQ(server.connected, c.connected) << c.element;
        EXPECT_EQ(server.lastUpdateServerID, 0u);
        EXPECT_EQ(server.lastUpdateTime, 0);
    }
}

TEST_F(ReplicationServerListTest, LoadsEveryServerWithItsTimesAndRoute) {
    Write("ReplicationServerList.xml",
          Document("<Server ServerID='7' ServerName='b' LastUpdateServerID='3' RefreshInterval='2 days'"
                   " LastUpdateTime='Thu, 01 Jan 1970 00:01:00 +0000' Unknown='x'/>\n"
                   "<Other ServerID='3' ServerName='a' Connected='Yes'><child/></Other>\n"));
    ReplicationServerList list;
    list.Load(At("ReplicationServerList.xml"));
    EXPECT_EQ(list.GetServerIDs(), (std::set<std::uint32_t>{3, 7}));
    const ReplicationServer& routed = list.Find(7);
    EXPECT_EQ(routed.lastUpdateServerID, 3u);
    EXPECT_EQ(routed.refreshInterval, 172'800'000'000);
    EXPECT_EQ(routed.lastUpdateTime, 60'000'000);
    EXPECT_TRUE(list.Find(3).connected);
    EXPECT_FALSE(list.Contains(4));
    try {
        list.Find(4);
        FAIL();
    } catch (const ExceptionPL& error) {
        EXPECT_STREQ(error.what(), "ReplicationServerList Error: ID Not Found");
    }
}

TEST_F(ReplicationServerListTest, BrokenFilesAndTheirErrors) {
    struct Case {
        const char* content;
        const char* error;
        std::size_t serversLeft;
    } cases[] = {
        {"<List><S ServerID='1' ServerName='a'/>", "Invalid ReplicationServerList File: parsing error\n", 0},
        {"", "Invalid ReplicationServerList File: parsing error\n", 0},
        {"<L><S ServerID='1' ServerName='a'/><S ServerID='1' ServerName='b'/></L>",
         "Invalid ReplicationServerList File: duplicate server id\n", 0},
        {"<L><S ServerID='1' ServerName='a'/><S ServerID='2'/></L>",
         "No serverURL, nor ServerName, specified in ReplicationServerList XML", 1},
        {"<L><S ServerID='1' ServerName='a'/><S ServerID='x' ServerName='b'/></L>", "class NotANumeral", 1},
        {"<L><S ServerID='1' ServerName='a'/><S ServerName='b'/></L>", "class NotANumeral", 1},
        {"<L><S ServerID='1' ServerName='a' ServerPort='99999999999'/></L>", "class NumeralTooLarge", 0},
        {"<L><S ServerID='1' ServerURL='nohost'/></L>", "URLInfo: Attempt to use missing Host.", 0},
        {"<L><S ServerID='1' ServerName='a' LastUpdateTime='yesterday'/></L>", "class ParsingFailure", 0},
    };
    for (const Case& c : cases) {
        Write("ReplicationServerList.xml", c.content);
        ReplicationServerList list;
        try {
            list.Load(At("ReplicationServerList.xml"));
            ADD_FAILURE() << c.content;
        } catch (const std::exception& error) {
            EXPECT_STREQ(error.what(), c.error) << c.content;
        }
        EXPECT_EQ(list.GetServerIDs().size(), c.serversLeft) << c.content;
    }
}

TEST_F(ReplicationServerListTest, AMissingFileIsRestoredFromItsBackupOrGivesAnEmptyList) {
    ReplicationServerList list;
    list.Load(At("ReplicationServerList.xml"));
    EXPECT_TRUE(list.GetServerIDs().empty());

    std::string backup = Document("<S ServerID='5' ServerName='e'/>");
    Write("ReplicationServerList.bak", backup);
    list.Load(At("ReplicationServerList.xml"));
    EXPECT_TRUE(list.Contains(5));
    EXPECT_EQ(Read("ReplicationServerList.xml"), backup);
}

TEST_F(ReplicationServerListTest, InstallReplacesTheFileAndTheServersOnlyWhenTheReceivedFileIsValid) {
    std::string installed = Document("<S ServerID='1' ServerName='a'/>");
    Write("ReplicationServerList.xml", installed);
    ReplicationServerList list;
    list.Load(At("ReplicationServerList.xml"));

    const char* bad[] = {
        "<L><S ServerID='2' ServerName='b'/>",
        "<L><S ServerID='2' ServerName='b'/><S ServerID='2' ServerName='c'/></L>",
        "<L><S ServerID='2' ServerName='b'/><S ServerID='3'/></L>",
    };
    for (const char* content : bad) {
        Write("received.xml", content);
        EXPECT_ANY_THROW(list.Install(At("received.xml"), At("ReplicationServerList.xml"))) << content;
        EXPECT_EQ(list.GetServerIDs(), std::set<std::uint32_t>{1}) << content;
        EXPECT_EQ(Read("ReplicationServerList.xml"), installed) << content;
    }
    EXPECT_ANY_THROW(list.Install(At("missing.xml"), At("ReplicationServerList.xml")));

    std::string good = Document("<S ServerID='2' ServerName='b'/><S ServerID='3' ServerName='c'/>");
    Write("received.xml", good);
    list.Install(At("received.xml"), At("ReplicationServerList.xml"));
    EXPECT_EQ(list.GetServerIDs(), (std::set<std::uint32_t>{2, 3}));
    EXPECT_EQ(Read("ReplicationServerList.xml"), good);
}

}  // namespace
