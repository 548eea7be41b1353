// A relay that starts with a gather state on disk: "vtemapfile.xml" and "GatherState.xml" in its
// inbox. Clients that fetch their commands hear of every site with a committed copy, in the form
// they understand; the state is written back at the stop; and a new site never gets an id that a
// mirror folder already carries.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "e2e/relay_process.h"
#include "support/temporary_registry.h"

namespace {

constexpr const char* kRegisterPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
const std::string kSites = "http://parent:52311/cgi-bin/vtgather.exe/";
// ManyVersionCRC of the list 3,0,17.
const std::string kActionSiteCRC = "3573627328";

std::string Body(const std::string& reply) {
    std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

void WriteFile(const std::string& path, const std::string& content) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteWholeFile(path, content);
}

}  // namespace

TEST(GatherStateRelay, FetchCommandsNamesTheGatheredSitesInBothForms) {
    RelayProcess relay;
    const std::string storage = relay.Folder() + "/storage";
    const std::string inbox = storage + "/Mirror Server/inbox";
    WriteFile(inbox + "/vtemapfile.xml",
              "<?xml version=\"1.0\"?>\r\n<URLtoID NextID=\"4\">\r\n"
              "<UrlToIdPair ID=\"1\">" + kSites + "Updates</UrlToIdPair>\r\n"
              "<UrlToIdPair ID=\"2\">" + kSites + "actionsite</UrlToIdPair>\r\n"
              "<UrlToIdPair ID=\"3\">" + kSites + "CustomSite_New</UrlToIdPair>\r\n</URLtoID>");
    WriteFile(inbox + "/GatherState.xml",
              "<?xml version=\"1.0\"?>\r\n<GatherStatus ActionSiteEpoch=\"Tue, 05 Mar 2024 10:00:00 +0000\">\r\n"
              "<SiteStatus SiteID=\"1\" CommittedLocation=\"/w/daruravidumirror_1_42\" CommittedVersion=\"42\" "
              "Status=\"GatherComplete\" ExpectedVersion=\"43\"></SiteStatus>\r\n"
              "<SiteStatus SiteID=\"2\" CommittedLocation=\"/w/manymirror_2_9_1\" CommittedVersion=\"9\" "
              "CommittedManyVersion=\"3,0,17\" Status=\"GatherComplete\"></SiteStatus>\r\n"
              "<SiteStatus SiteID=\"3\" Status=\"GatherPending\"></SiteStatus>\r\n</GatherStatus>");
    std::filesystem::create_directories(relay.Folder() + "/wwwroot/vtmirror/vtsites/manymirror_7_1_5");
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();

    EXPECT_EQ(Body(relay.Get(std::string(kRegisterPath) + "?RequestType=FetchCommands&ComputerID=21")),
              "x-kvr-command-siteversion: " + kSites + "Updates 43\r\n"
              "x-kvr-command-siteversion: " + kSites + "actionsite 9\r\n");
    EXPECT_EQ(Body(relay.Get(std::string(kRegisterPath) + "?RequestType=FetchCommands&ComputerID=21&CanHandleMVPings=1")),
              "x-kvr-command-hasiteversion: " + kSites + "Updates 0 43\r\n"
              "x-kvr-command-hasiteversion: " + kSites + "actionsite 1 " + kActionSiteCRC + "\r\n");

    EXPECT_EQ(relay.Stop(), 0);
    const std::string saved = ReadWholeFile(inbox + "/GatherState.xml");
    EXPECT_NE(saved.find("SiteID=\"3\" CommittedLocation=\"\" CommittedVersion=\"0\" CommittedManyVersion=\"\" "
                         "Status=\"GatherError\""),
              std::string::npos)
        << saved;
    EXPECT_EQ(saved.find("ExpectedVersion"), std::string::npos);
    EXPECT_NE(ReadWholeFile(inbox + "/vtemapfile.xml").find("<URLtoID NextID=\"8\">"), std::string::npos);
}
