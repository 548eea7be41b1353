#include "relay/register/notification_requests.h"

#include <gtest/gtest.h>

#include <string>

#include "relay/register/registration_request.h"
#include "relay/register/registration_test_support.h"
#include "support/kvrreg_runner.h"

namespace {

using namespace NotificationType;

RegistrationRequestParameters Parameters(const std::string& query) {
    return ReadRegistrationRequestParameters(query, 0);
}

TEST(NotificationRequestsTest, RequestsBuildTheirNotifications) {
    ClientNotification all = NotificationForAllClients(Parameters("Body=gatherhash&Argument=4&Argument2=9&ComputerID=3"));
    EXPECT_EQ(all.type, kGatherHash);
    EXPECT_EQ(all.argument, 4u);
    EXPECT_EQ(all.argument2, 9u);
    EXPECT_FALSE(all.argument1MV);
    EXPECT_FALSE(all.computerID) << "a notification for all clients names no computer";

    ClientNotification defaults = NotificationForAllClients(Parameters("Body=Register&Argument1MV=0"));
    EXPECT_EQ(defaults.argument, 0u);
    EXPECT_EQ(defaults.argument2, 0u);
    EXPECT_EQ(defaults.argument1MV, 0u) << "given, though 0";

    ClientNotification wake =
        NotificationForAllClients(Parameters("Body=WakeOnLanForward&WOLSubnet=10.0.0.0%2F8&WOLPayload=ABEiM0RV&Argument=4"));
    EXPECT_EQ(wake.wolSubnet, ParseIPSubnet("10.0.0.0/8"));
    EXPECT_EQ(wake.wolPayload, "ABEiM0RV");
    EXPECT_FALSE(wake.argument);

    ClientNotification one = NotificationForOneClient(Parameters("Body=ResendReport&Argument=1&Argument2=2"));
    EXPECT_EQ(one.computerID, 0u) << "present, 0 when not given";

    EXPECT_THROW(NotificationForAllClients(Parameters("Body=Nothing")), UnknownClientCommand);
    EXPECT_THROW(NotificationForOneClient(Parameters("")), UnknownClientCommand);
    EXPECT_THROW(NotificationForAllClients(Parameters("Body=WakeOnLanForward&WOLSubnet=10.1.0.0%2F8")),
                 NonCanonicalSubnetAddress);
}

TEST(NotificationRequestsTest, PendingCommandLinesNameEachCommandOnce) {
    EXPECT_EQ(PendingCommandLines(ClientCommandState{}, true), "");
    ClientCommandState state;
    state.registerSequence = 70;
    state.refreshSequence = 41;
    state.refreshArgument = 4;
    state.refreshMVArgument = 6;
    state.resendSequence = 16;
    state.resendLowest = 3;
    state.resendHighest = 12;
    EXPECT_EQ(PendingCommandLines(state, false),
              "x-kvr-command-register: 70\r\nx-kvr-command-forcerefresh: 41 4\r\n"
              "x-kvr-command-resendreport: 16 3 12\r\n");
    EXPECT_EQ(PendingCommandLines(state, true),
              "x-kvr-command-register: 70\r\nx-kvr-command-forcerefresh: 41 6\r\n"
              "x-kvr-command-resendreport: 16 3 12\r\n");
}

// Gathered sites follow the commands; a client with multi-value pings hears of a site's many-version
// when it has one.
TEST(NotificationRequestsTest, PendingCommandLinesListTheGatheredSites) {
    const std::vector<GatheredSiteVersion> sites = {{"http://a.example/site", 12, 0}, {"http://b.example/site", 3, 900}};
    ClientCommandState state;
    state.registerSequence = 70;
    EXPECT_EQ(PendingCommandLines(state, true, sites),
              "x-kvr-command-register: 70\r\n"
              "x-kvr-command-hasiteversion: http://a.example/site 0 12\r\n"
              "x-kvr-command-hasiteversion: http://b.example/site 1 900\r\n");
    EXPECT_EQ(PendingCommandLines(ClientCommandState{}, false, sites),
              "x-kvr-command-siteversion: http://a.example/site 12\r\n"
              "x-kvr-command-siteversion: http://b.example/site 3\r\n");
}

// The requests through the plug-in's dispatch, with the relay's notification services running.
class NotificationRequestDispatchTest : public ::testing::Test {
  protected:
    NotificationRequestDispatchTest() {
        ImportWithKvrreg("[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n\"ComputerID\"=dword:00000005\n\n");
        NotificationDispatcher::Instance().Clear();
    }
    ~NotificationRequestDispatchTest() override { NotificationDispatcher::Instance().Clear(); }

    std::string Serve(const std::string& query) {
        std::string reply = m_requests.Serve("/cgi-bin/vtdaruravidu/ClientRegister.exe?" + query, "GET");
        return reply.substr(reply.find("\r\n\r\n") + 4);
    }

    TemporaryRegistry m_registry;
    DispatchedRequests m_requests{ListLine(10, NowInSecondsForTest())};
};

TEST_F(NotificationRequestDispatchTest, NotifyAllClientsThenFetchCommandsReturnsThePendingCommand) {
    EXPECT_EQ(Serve("RequestType=NotifyAllClients&Body=Register&PingSequenceNumber=42"), "Success\r\n2\r\n");
    EXPECT_EQ(Serve("RequestType=FetchCommands&ComputerID=10"), "x-kvr-command-register: 42\r\n");
    EXPECT_EQ(Serve("RequestType=FetchCommands&ComputerID=10"), "") << "taken by the first fetch";
    EXPECT_EQ(Serve("RequestType=NotifyClient&Body=ForceRefresh&Argument=3&ComputerID=10"), "Success\r\n1\r\n");
    std::string lines = Serve("RequestType=FetchCommands&ComputerID=10");
    EXPECT_EQ(lines.substr(0, 28), "x-kvr-command-forcerefresh: ");
    EXPECT_EQ(lines.substr(lines.size() - 4), " 3\r\n");
}

TEST_F(NotificationRequestDispatchTest, FailuresAreAnsweredWithTheirText) {
    EXPECT_EQ(Serve("RequestType=NotifyAllClients&Body=Register&RelayPath=%215%21"),
              "\r\nError: Client notification relay loop detected.\r\n");
    EXPECT_EQ(Serve("RequestType=NotifyAllClients&Body=Registers"), "\r\nError: class UnknownClientCommand\r\n");
    EXPECT_EQ(Serve("RequestType=NotifyClient&Body=Register&ComputerID=10&DestinationServer=4"), "Success\r\n1\r\n")
        << "a single computer's notification ignores the destination";
    EXPECT_EQ(Serve("RequestType=NotifyAllClients&Body=Register&DestinationServer=4"),
              "\r\nError: Attempt to forward ping to unknown server #4.\r\n");
}

}  // namespace
