#include "relay/register/registration_request.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

#include "relay/register/local_registration_requests.h"
#include "relay/register/registration_test_support.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_registry.h"

namespace {

constexpr const char* kPath = "/cgi-bin/vtdaruravidu/ClientRegister.exe";
const std::string kAgentOptions = "[HKLM\\Software\\Veltra\\DaruraviduClient\\GlobalOptions]\n";
const std::string kVersionLine = "x-veltra-clientregister-version: 8.0.627.0\r\n";

std::string ErrorBody(const std::string& text) { return "\r\nError: " + text + "\r\n"; }

class RegistrationRequestTest : public ::testing::Test {
  protected:
    // The reply (its Date replaced) to a request of the URL and method, with the body given.
    std::string Serve(const std::string& url, std::optional<std::string> method, const std::string& body = "") {
        return WithoutDate(m_requests.Serve(url, std::move(method), body, &m_served));
    }

    TemporaryRegistry m_registry;
    DispatchedRequests m_requests{ListLine(5, NowInSecondsForTest())};
    bool m_served = false;
};

}  // namespace

// The method rule comes before the request type: an unknown type must be a GET.
TEST_F(RegistrationRequestTest, QueryMethodAndTypeAreCheckedInOrder) {
    const std::string onlyGet = ErrorBody("this request type only accepts GET operations");
    const std::string onlyPost = ErrorBody("this request type only accepts POST operations");
    const std::string unknown = ErrorBody("unknown request type");
    const struct {
        std::string query;
        std::optional<std::string> method;
        std::string body;
    } cases[] = {
        {"", "GET", ErrorBody("no query parameters specified -- unknown request type")},
        {"?", "GET", unknown},
        {"?RequestType=Nonsense", "GET", unknown},
        {"?RequestType=Nonsense", "POST", onlyGet},
        {"?RequestType=registerme", "GET", unknown},
        {"?RequestType=Version", "POST", onlyGet},
        {"?RequestType=GetComputerID", std::nullopt, onlyGet},
        {"?RequestType=Replicate", "GET", onlyPost},
        {"?RequestType=Replicate", "post", ErrorBody("Only root servers will provide client registration replication data.")},
        {"?RequestType=TriggerReplicate", "GET", onlyPost},
        {"?RequestType=UpdateSequenceNumbers", "GET", onlyPost},
        {"?RequestType=NotifyClient", "POST", onlyGet},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Serve(kPath + c.query, c.method), PlainTextReply(c.body)) << c.query << " " << c.method.value_or("-");
        EXPECT_FALSE(m_served) << c.query;
    }
}

TEST_F(RegistrationRequestTest, ALowerCaseGetServesTheRequest) {
    EXPECT_EQ(Serve(std::string(kPath) + "?RequestType=IsDescendant&ComputerID=5", "get"),
              PlainTextReply("Success\r\ntrue\r\n", "x-veltra-itclient-isdescendant-result: true\r\n" + kVersionLine));
    EXPECT_TRUE(m_served);
}

TEST_F(RegistrationRequestTest, IsDescendantAnswersForListedRecentComputersOnly) {
    const struct {
        const char* query;
        const char* answer;
    } cases[] = {
        {"?RequestType=IsDescendant&ComputerID=5", "true"},
        {"?RequestType=IsDescendant&ComputerID=6", "false"},
        {"?RequestType=IsDescendant", "false"},
        {"?RequestType=IsDescendant&ComputerID=five", "false"},
        {"?RequestType=IsDescendant&ComputerID=6&ComputerID=5", "true"},
    };
    for (const auto& c : cases) {
        const std::string answer = c.answer;
        EXPECT_EQ(Serve(kPath + std::string(c.query), "GET"),
                  PlainTextReply("Success\r\n" + answer + "\r\n",
                                 "x-veltra-itclient-isdescendant-result: " + answer + "\r\n" + kVersionLine))
            << c.query;
    }
}

// The age is counted in whole seconds: a registration exactly IsDescendantExpirationAge old is no
// longer a descendant.
TEST(IsRecentDescendant, TheAgeLimitIsExclusive) {
    constexpr std::uint32_t kNow = 1'700'000'000;
    constexpr std::uint32_t kAge = 259'200;
    ListInFolder list(ListLine(1, kNow - 259'199) + ListLine(2, kNow - 259'200, 2) + ListLine(3, kNow - 300'000, 3) +
                      ListLine(4, kNow + 60, 4));
    const struct {
        std::uint64_t id;
        bool expected;
    } cases[] = {{1, true}, {2, false}, {3, false}, {4, true}, {9, false}, {0, false}};
    for (const auto& c : cases) EXPECT_EQ(IsRecentDescendant(list.List(), c.id, kAge, kNow), c.expected) << c.id;
}

TEST_F(RegistrationRequestTest, GetComputerIDPrefersTheAgents32BitIdentifier) {
    const struct {
        const char* value;
        const char* id;
    } cases[] = {
        {nullptr, "0"},
        {"dword:0000002a", "42"},
        {"dword:00000000", "0"},
        {"hex:08,07,06,05,04,03,02,01", "72623859790382856"},
    };
    for (const auto& c : cases) {
        if (c.value) ImportWithKvrreg(kAgentOptions + "\"ComputerId\"=" + c.value + "\n");
        const std::string id = c.id;
        EXPECT_EQ(Serve(std::string(kPath) + "?RequestType=GetComputerID", "GET"),
                  PlainTextReply("Success\r\n" + id + "\r\n",
                                 "x-veltra-itclient-getcomputerid-result: " + id + "\r\n" + kVersionLine))
            << id;
        EXPECT_TRUE(m_served);
    }
}

// A failure of the request type's work becomes the error body and a log line.
TEST_F(RegistrationRequestTest, ABadSequenceBodyIsAnsweredWithItsErrorAndLogged) {
    const std::string url = std::string(kPath) + "?RequestType=UpdateSequenceNumbers";
    EXPECT_EQ(Serve(url, "POST", "KVRSequenceUpdate 2.0\0\0\0\0"),
              PlainTextReply(ErrorBody("Unsupported sequence update header.")));
    EXPECT_FALSE(m_served);
    EXPECT_EQ(m_requests.LoggedLines(), std::vector<std::string>{ErrorBody("Unsupported sequence update header.")});

    EXPECT_EQ(Serve(url, "POST", std::string("KVRSequenceUpdate 1.0\0\0\0\1", 25) + std::string("\0\0\0\5\0\0\0\11", 8)),
              PlainTextReply("Sequence number update successful."));
    EXPECT_TRUE(m_served);
    EXPECT_EQ(m_requests.Item(5).updateSequence, 9u);
}
