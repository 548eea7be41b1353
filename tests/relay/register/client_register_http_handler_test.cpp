#include "relay/register/client_register_http_handler.h"

#include <gtest/gtest.h>

#include "base/numerals.h"
#include "foundation/event.h"
#include "net/socket_system.h"
#include "http/http_client_session.h"
#include "http/socket_http_client.h"
#include "support/scripted_http_server.h"

namespace {

const std::string kResponseWas = "\r\nThe parent relay's response was as follows:\r\n";

ParentRegistrationReply Read(const std::string& head) {
    ParentRegistrationReply reply;
    ReadParentRegistrationHead(head, reply);
    return reply;
}

std::string ComputerIDHead(const std::string& value) {
    return "HTTP/1.1 200 OK\nx-veltra-itclient-computerid: " + value + "\n";
}

}  // namespace

TEST(ParentRegistrationHead, TheComputerIDHeaderGivesTheGrantOrAnError) {
    const std::string badlyFormatted =
        "Badly formatted x-veltra-itclient-computerid header in response from parent relay server.";
    const struct {
        std::string value;
        std::string error;  // the start of the error text; empty for a grant
        RegistrationGrant grant;
    } cases[] = {
        {"1234,5,52311", "", {1234, 5, false, 0, 0}},
        {" \t1234,5,52311", "", {1234, 5, false, 0, 0}},
        {"1234,5,52311,1", badlyFormatted + kResponseWas, {}},
        {"1234,5,52311,1,7", "", {1234, 5, true, 7, 0}},
        {"1234,5,52311,0,7,9", "", {1234, 5, false, 7, 9}},
        {"18446744073709551615,4294967295,1,1,4294967295,4294967295", "",
         {18446744073709551615u, 4294967295u, true, 4294967295u, 4294967295u}},
        {"1234", badlyFormatted + kResponseWas, {}},
        {"1234,5", badlyFormatted + "  UDPPort is missing." + kResponseWas, {}},
        {"0,5,52311",
         "ComputerID of 0 is invalid in x-veltra-itclient-computerid header in response from parent relay server." +
             kResponseWas,
         {}},
        {"1234,0,52311",
         "LicenseID of 0 is invalid in x-veltra-itclient-computerid header in response from parent relay server." +
             kResponseWas,
         {}},
        {"1234,,52311",
         "LicenseID of 0 is invalid in x-veltra-itclient-computerid header in response from parent relay server." +
             kResponseWas,
         {}},
    };
    for (const auto& c : cases) {
        ParentRegistrationReply reply = Read(ComputerIDHead(c.value));
        EXPECT_EQ(reply.hasError, !c.error.empty()) << c.value;
        if (!c.error.empty()) {
            EXPECT_EQ(reply.errorText, c.error + ComputerIDHead(c.value)) << "the head follows the message";
            continue;
        }
        EXPECT_EQ(reply.grant.computerID, c.grant.computerID) << c.value;
        EXPECT_EQ(reply.grant.slot, c.grant.slot) << c.value;
        EXPECT_EQ(reply.grant.resendReports, c.grant.resendReports) << c.value;
        EXPECT_EQ(reply.grant.lastGoodSequence, c.grant.lastGoodSequence) << c.value;
        EXPECT_EQ(reply.grant.lastBadSequence, c.grant.lastBadSequence) << c.value;
    }
}

TEST(ParentRegistrationHead, AMissingHeaderOrABadNumberFails) {
    ParentRegistrationReply reply = Read("HTTP/1.1 200 OK\nServer: x\n");
    EXPECT_TRUE(reply.hasError);
    EXPECT_EQ(reply.errorText.rfind("Can't find x-veltra-itclient-computerid header", 0), 0u);
    EXPECT_THROW(Read(ComputerIDHead("12a4,5,52311")), NotANumeral);
    EXPECT_THROW(Read(ComputerIDHead("18446744073709551616,5,52311")), NumeralTooLarge);
    EXPECT_THROW(Read("HTTP/1.1 200 OK\nx-veltra-clientregister-toomanychildren: many\n"), NotANumeral);
    EXPECT_THROW(Read(ComputerIDHead("1,2,3") + "x-kvr-wakeonlan-adapterinfo: junk\n"), NotAWakeOnLANAdapterInfo);
}

// Refusals end the reading before the computer ID is looked for; the Date and server lines are kept
// as the parent wrote them, whatever the case of their names.
TEST(ParentRegistrationHead, RefusalsAndThePassedOnLines) {
    ParentRegistrationReply relays = Read(
        "HTTP/1.1 200 OK\nDATE: Fri, 11 Dec 2026 03:00:00 GMT\nX-Veltra-Server: 1;http://root:52311/\n"
        "x-veltra-clientregister-toomanychildrelays:  12 \nx-veltra-clientregister-toomanychildren: 3\n");
    EXPECT_TRUE(relays.tooManyChildRelays);
    EXPECT_FALSE(relays.tooManyChildren);
    EXPECT_EQ(relays.childCount, 12u);
    EXPECT_FALSE(relays.hasError);
    EXPECT_EQ(relays.dateLine, "DATE: Fri, 11 Dec 2026 03:00:00 GMT");
    EXPECT_EQ(relays.serverLine, "X-Veltra-Server: 1;http://root:52311/");

    ParentRegistrationReply children = Read("HTTP/1.1 200 OK\nx-veltra-clientregister-toomanychildren: 3\n");
    EXPECT_TRUE(children.tooManyChildren);
    EXPECT_EQ(children.childCount, 3u);
    EXPECT_TRUE(children.dateLine.empty());

    ParentRegistrationReply invalid =
        Read("HTTP/1.1 200 OK\nx-veltra-clientregister-status: Invalid Sequence Number\n");
    EXPECT_TRUE(invalid.invalidSequence);
    EXPECT_FALSE(invalid.hasError);

    ParentRegistrationReply adapter =
        Read(ComputerIDHead("1,2,3") + "x-kvr-wakeonlan-adapterinfo: 00-1a-2b-3c-4d-5e_10.0.0.0/8_10.1.2.3_1 \n");
    ASSERT_TRUE(adapter.adapter);
    EXPECT_EQ(FormatWakeOnLANAdapter(*adapter.adapter).View(), "00-1a-2b-3c-4d-5e_10.0.0.0/8_10.1.2.3_1");
}

TEST(ParentRegistrationHead, TheErrorTextIsCutAndTheCutMarked) {
    ParentRegistrationReply reply = Read("HTTP/1.1 200 OK\nx-padding: " + std::string(5000, 'p') + "\n");
    ASSERT_TRUE(reply.hasError);
    EXPECT_EQ(reply.errorText.size(), kMaxErrorTextBytes + kErrorTextCutMark.size());
    EXPECT_TRUE(reply.errorText.ends_with(kErrorTextCutMark));
    AppendToErrorText(reply, "more");
    EXPECT_TRUE(reply.errorText.ends_with(kErrorTextCutMark)) << "nothing is added after the cut";
}

TEST(ClientRegisterBodyReceiver, KeepsTheFifthLineWhereverThePiecesBreak) {
    const std::string body = "Success\r\n1234\r\n5\r\n52311\r\n9.1.0.0\r\n0\r\n";
    for (std::size_t cut = 0; cut <= body.size(); ++cut) {
        ClientRegisterBodyReceiver receiver;
        receiver.Receive(std::string_view(body).substr(0, cut));
        receiver.Receive(std::string_view(body).substr(cut));
        EXPECT_EQ(receiver.Line(), "9.1.0.0") << cut;
    }
    ClientRegisterBodyReceiver shortBody;
    shortBody.Receive("Success\n1\n2\n3\n");
    EXPECT_EQ(shortBody.Line(), "");
    ClientRegisterBodyReceiver longLine;
    longLine.Receive("a\nb\nc\nd\n" + std::string(1000, 'v') + "\n");
    EXPECT_EQ(longLine.Line().size(), ClientRegisterBodyReceiver::kMaxLineBytes);
}

// Over the socket client: the handler reads the head as the parent sent it.
TEST(ClientRegisterHttpHandler, ReadsTheParentsAnswerOverTheSocketClient) {
    ScriptedHTTPServer parent([](const std::string&) {
        return ScriptedHTTPServer::Reply{MakeHTTPReply("Success\r\n1\r\n2\r\n3\r\n9.1.0.0\r\n",
                                                       "DATE: Thu, 10 Dec 2026 01:02:03 GMT\r\n"
                                                       "X-Veltra-Itclient-ComputerID: 1,2,3\r\n")};
    });
    ASSERT_TRUE(SocketSystem::Instance().Start(0, 0, {}));
    Event stop;
    ClientRegisterHttpHandler handler("http://127.0.0.1:" + std::to_string(parent.Port()) + "/cgi-bin/x.exe?A=1", stop);
    HTTPClientSession session;
    PerformHTTPRequest(handler, session, 10'000'000, stop);
    EXPECT_FALSE(handler.Reply().hasError) << handler.Reply().errorText;
    EXPECT_EQ(handler.Reply().dateLine, "DATE: Thu, 10 Dec 2026 01:02:03 GMT");
    EXPECT_EQ(handler.Reply().grant.computerID, 1u);
    EXPECT_EQ(handler.Reply().bodyLine, "9.1.0.0");
    ASSERT_EQ(parent.Exchanges().size(), 1u);
    EXPECT_EQ(parent.Exchanges()[0].request.rfind("GET /cgi-bin/x.exe?A=1 HTTP/1.", 0), 0u);
    EXPECT_NE(parent.Exchanges()[0].request.find("User-Agent: KVRRelay\r\n"), std::string::npos);
}
