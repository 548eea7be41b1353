// Downloads through real relays: a parent seeded with action 12 (its download list and two files),
// children that fetch from it over each transport, storms of clients at a child and at the leaf of a
// chain of three, and a download asked of a child through its DownloadRequest plug-in. The parent's
// access log tells how often each file was asked of it.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <thread>
#include <vector>

#include "e2e/download_relays.h"
#include "e2e/relay_process.h"
#include "support/client_settings.h"
#include "support/eventually.h"
#include "support/loopback_sockets.h"
#include "support/port_reservation.h"

using namespace std::chrono_literals;

namespace {

constexpr const char* kList = "/vtmirror/downloads/12/dl_12";
constexpr const char* kFirst = "/vtmirror/downloads/12/1";
constexpr const char* kSecond = "/vtmirror/downloads/12/2";

void StartRelay(RelayProcess& relay) {
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();
}

// A parent holding action 12, with its access log, taken in and serving.
void StartSeededParent(RelayProcess& parent, const std::vector<DownloadFile>& files) {
    KeepAccessLog(parent);
    SeedAction(parent, 12, files);
    StartRelay(parent);
    ASSERT_TRUE(AwaitActionTaken(parent, 12)) << parent.Log();
}

// A child named the parent's child ("Server1"), started and serving.
void StartChildOf(RelayProcess& child, const RelayProcess& parent, bool urlMoniker = true) {
    UseParent(child, LoopbackURL(parent.Port()), urlMoniker);
    StartRelay(child);
}

void ExpectOneGetOfEach(const RelayProcess& parent) {
    for (const char* target : {kList, kFirst, kSecond})
        EXPECT_EQ(CountRequests(parent, "GET", target), 1u) << target;
}

class ChildOfRelayTest : public ::testing::TestWithParam<bool> {};

// The child has nothing at first; the miss sends it to its parent for the list and then for every
// file of the list, once each.
TEST_P(ChildOfRelayTest, AChildFetchesAnActionFromItsParentOnce) {
    const std::vector<DownloadFile> files = MakeDownloadFiles(2, 3000);
    RelayProcess parent;
    StartSeededParent(parent, files);
    RelayProcess child;
    StartChildOf(child, parent, GetParam());

    EXPECT_EQ(StatusLineOf(child.Get(kList)), "HTTP/1.0 404 Not Found");
    EXPECT_EQ(AwaitServed(child, kList), DownloadList(12, files));
    EXPECT_EQ(AwaitServed(child, kFirst), files[0].bytes);
    EXPECT_EQ(AwaitServed(child, kSecond), files[1].bytes);
    EXPECT_EQ(AwaitServed(child, "/vtmirror/downloads/sha1/" + files[0].sha1), files[0].bytes);
    ExpectOneGetOfEach(parent);
    EXPECT_EQ(child.Stop(), 0);
    EXPECT_EQ(parent.Stop(), 0);
}

INSTANTIATE_TEST_SUITE_P(BothTransports, ChildOfRelayTest, ::testing::Values(true, false),
                         [](const ::testing::TestParamInfo<bool>& info) { return info.param ? "Curl" : "SocketClient"; });

// 200 clients at once miss at the child; the child asks its parent once for each file, and serves
// them all afterwards.
TEST(DownloadStormTest, TwoHundredClientsAtAChildCostTheParentOneGetPerFile) {
    const std::vector<DownloadFile> files = MakeDownloadFiles(2, 3000);
    RelayProcess parent;
    StartSeededParent(parent, files);
    RelayProcess child;
    StartChildOf(child, parent);

    // A loaded machine may take long enough over the storm for its last clients to be served.
    for (const std::string& status : Storm(child, kFirst, 200))
        EXPECT_TRUE(status == "HTTP/1.0 404 Not Found" || status == "HTTP/1.0 200 OK") << status;
    EXPECT_EQ(AwaitServed(child, kFirst), files[0].bytes);
    for (const std::string& status : Storm(child, kFirst, 200)) EXPECT_EQ(status, "HTTP/1.0 200 OK");
    EXPECT_EQ(AwaitServed(child, kSecond), files[1].bytes);
    ExpectOneGetOfEach(parent);
    EXPECT_EQ(child.Stop(), 0);
    EXPECT_EQ(parent.Stop(), 0);
}

// The parent has not got the action: its 404 fails the child's download, which is not asked again
// before the retry time, however many clients ask meanwhile.
TEST(DownloadStormTest, AParentsRefusalIsNotAskedAgainWithinTheRetryTime) {
    RelayProcess parent;
    KeepAccessLog(parent);
    StartRelay(parent);
    RelayProcess child;
    StartChildOf(child, parent);

    Storm(child, kFirst, 200);
    ASSERT_TRUE(Eventually([&] { return CountRequests(parent, "GET", kList) != 0; }, 60s));
    ASSERT_EQ(CountRequests(parent, "GET", kList), 1u);
    // Well over two work passes of the child (3 s apart while nothing downloads).
    for (int round = 0; round < 4; ++round) {
        Storm(child, kFirst, 50);
        Storm(child, kList, 50);
        std::this_thread::sleep_for(2s);
    }
    EXPECT_EQ(CountRequests(parent, "GET", kList), 1u);
    EXPECT_EQ(child.Stop(), 0);
    EXPECT_EQ(parent.Stop(), 0);
}

// top <- middle <- leaf. The leaf retries a failed download at once ("_KVRGather_Download_RetryMinutes"
// 0), so it keeps asking the middle while the middle fetches from the top; the top is asked once per
// file all the same.
TEST(DownloadChainTest, AStormAtTheLeafOfThreeRelaysCostsTheTopOneGetPerFile) {
    const std::vector<DownloadFile> files = MakeDownloadFiles(2, 3000);
    RelayProcess top;
    StartSeededParent(top, files);
    RelayProcess middle;
    StartChildOf(middle, top);
    RelayProcess leaf;
    leaf.SetClientSetting("_KVRGather_Download_RetryMinutes", "0");
    StartChildOf(leaf, middle);

    Storm(leaf, kFirst, 200);
    EXPECT_EQ(AwaitServed(leaf, kFirst, 180s), files[0].bytes);
    EXPECT_EQ(AwaitServed(leaf, kSecond, 180s), files[1].bytes);
    ExpectOneGetOfEach(top);
    EXPECT_EQ(leaf.Stop(), 0);
    EXPECT_EQ(middle.Stop(), 0);
    EXPECT_EQ(top.Stop(), 0);
}

// A child relay's request for a file known by its SHA-1 only: the child answers InProcess, asks its
// parent's DownloadRequest, fetches the file by its SHA-1 and pings its clients with type 21.
TEST(DownloadRequestRelayTest, ADynamicDownloadAskedOfAChildIsFetchedFromItsParentAndPinged) {
    const DownloadFile file = MakeDownloadFiles(1, 5000).front();
    RelayProcess parent;
    KeepAccessLog(parent);
    SeedFile(parent, file);
    StartRelay(parent);

    PortReservation clientPort;
    UDPReceiver client("127.0.0.10", clientPort.Port());
    ASSERT_TRUE(client.IsBound());
    RelayProcess child;
    child.SetClientSetting("_Daruravidu Server_ClientRegister_UDPMessagePort", std::to_string(clientPort.Port()));
    WriteWholeFile(child.Folder() + "/registrationlist.txt", RegistrationListLine(11, "127.0.0.10"));
    StartChildOf(child, parent);

    const std::string target = "aid=30,index=null,sha1=" + file.sha1 + ",size=5000,url=http%3A%2F%2Fsite.invalid%2Fd.bin";
    const std::string inProcess = "0\naid=30,index=null,hash=" + file.sha1 + ",status=InProcess\n";
    const std::string reply = child.Post("/cgi-bin/DownloadRequest", "0\n" + target + "\n");
    EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 200 OK") << reply;
    EXPECT_EQ(BodyOf(reply), inProcess);

    // Nothing but the request makes the child fetch the file: the ping comes once it is stored.
    const std::string ping = client.Receive(90s);
    ASSERT_EQ(ping.size(), 21u) << child.Log();
    EXPECT_EQ(ping.substr(0, 5), "KVR10");
    EXPECT_EQ(ping.substr(9, 4), std::string("\0\0\0\x15", 4)) << "type 21";
    const std::string sha1Path = "/vtmirror/downloads/sha1/" + file.sha1;
    EXPECT_EQ(BodyOf(child.Get(sha1Path)), file.bytes);
    EXPECT_GE(CountRequests(parent, "POST", "/DownloadRequest"), 1u);
    EXPECT_EQ(CountRequests(parent, "GET", sha1Path), 1u);

    EXPECT_EQ(BodyOf(child.Post("/cgi-bin/DownloadRequest", "0\n" + target + "\n")),
              "0\naid=30,index=null,hash=" + file.sha1 + ",status=Available\n");
    EXPECT_EQ(child.Stop(), 0);
    EXPECT_EQ(parent.Stop(), 0);
}

}  // namespace
