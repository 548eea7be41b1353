// NTLM and Negotiate exchanges through GSSAPI, answered by a GSSAPI acceptor in the same process that
// checks the answers against a gss-ntlmssp user file.
#include "http/security_context_exchange.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "support/gssapi_acceptor.h"

namespace {

using Mechanism = SecurityContextExchange::Mechanism;

constexpr const char* kTarget = "proxy.example";

class SecurityContextExchangeTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string missing = MissingNTLMSupport();
        if (!missing.empty()) GTEST_SKIP() << missing;
    }

    NTLMUserFile m_users{"KVRTEST:relay:s3cret pass\n:plain:open sesame\n"};
};

struct Outcome {
    GSSAPIAcceptor::State state = GSSAPIAcceptor::State::Failed;
    int legs = 0;
    std::string initiator;
};

// Passes tokens between `exchange`, after its first token, and a new acceptor until one side is done.
Outcome RunAgainstAcceptor(SecurityContextExchange& exchange, std::optional<std::string> token,
                           Mechanism mechanism) {
    GSSAPIAcceptor acceptor(mechanism == Mechanism::NTLM ? GSSAPIAcceptor::Mechanism::NTLM
                                                         : GSSAPIAcceptor::Mechanism::SPNEGO);
    Outcome outcome;
    while (token) {
        ++outcome.legs;
        std::string reply;
        outcome.state = acceptor.Accept(*token, reply);
        if (outcome.state != GSSAPIAcceptor::State::Continue) break;
        token = exchange.Continue(ConstData(reply));
    }
    outcome.initiator = acceptor.InitiatorName();
    return outcome;
}

TEST_F(SecurityContextExchangeTest, CompletesWithTheAcceptorWhenTheCredentialsAreRight) {
    struct Case {
        Mechanism mechanism;
        const char* user;
        const char* domain;
        const char* password;
        GSSAPIAcceptor::State state;
        const char* initiator;
    };
    const Case cases[] = {
        {Mechanism::NTLM, "relay", "KVRTEST", "s3cret pass", GSSAPIAcceptor::State::Complete,
         "KVRTEST\\relay"},
        {Mechanism::NTLM, "plain", "", "open sesame", GSSAPIAcceptor::State::Complete, "plain"},
        {Mechanism::Negotiate, "relay", "KVRTEST", "s3cret pass", GSSAPIAcceptor::State::Complete,
         "KVRTEST\\relay"},
        {Mechanism::NTLM, "relay", "KVRTEST", "wrong pass", GSSAPIAcceptor::State::Failed, ""},
        {Mechanism::NTLM, "relay", "OTHER", "s3cret pass", GSSAPIAcceptor::State::Failed, ""},
        {Mechanism::Negotiate, "relay", "KVRTEST", "wrong pass", GSSAPIAcceptor::State::Failed, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.user) + " " + c.domain + " " + c.password);
        SecurityContextExchange exchange;
        std::optional<std::string> first = exchange.Start(c.mechanism, c.user, c.domain, c.password, kTarget);
        ASSERT_TRUE(first);
        if (c.mechanism == Mechanism::NTLM) EXPECT_EQ(first->rfind(std::string("NTLMSSP\0\1", 9), 0), 0u);
        EXPECT_TRUE(exchange.InProgress());
        Outcome outcome = RunAgainstAcceptor(exchange, first, c.mechanism);
        EXPECT_EQ(outcome.state, c.state);
        if (c.state == GSSAPIAcceptor::State::Complete) EXPECT_EQ(outcome.initiator, c.initiator);
        // NTLM ends with the client's third message: nothing is left for another leg.
        if (c.mechanism == Mechanism::NTLM) {
            EXPECT_EQ(outcome.legs, 2);
            EXPECT_FALSE(exchange.InProgress());
        }
    }
}

TEST_F(SecurityContextExchangeTest, LaterExchangesUseTheIdentityTheyAreGiven) {
    SecurityContextExchange exchange;
    for (const char* password : {"s3cret pass", "s3cret pass", "wrong pass", "s3cret pass"}) {
        SCOPED_TRACE(password);
        Outcome outcome = RunAgainstAcceptor(
            exchange, exchange.Start(Mechanism::NTLM, "relay", "KVRTEST", password, kTarget),
            Mechanism::NTLM);
        EXPECT_EQ(outcome.state, std::string(password) == "s3cret pass" ? GSSAPIAcceptor::State::Complete
                                                                        : GSSAPIAcceptor::State::Failed);
    }
    // A moved exchange carries on where the first left off.
    std::optional<std::string> first =
        exchange.Start(Mechanism::NTLM, "relay", "KVRTEST", "s3cret pass", kTarget);
    SecurityContextExchange moved(std::move(exchange));
    EXPECT_FALSE(exchange.InProgress());
    EXPECT_EQ(RunAgainstAcceptor(moved, first, Mechanism::NTLM).state, GSSAPIAcceptor::State::Complete);
}

TEST_F(SecurityContextExchangeTest, ATokenOutsideAnExchangeOrOneTheMechanismRefusesEndsIt) {
    SecurityContextExchange exchange;
    EXPECT_FALSE(exchange.Continue(ConstData(std::string_view("NTLMSSP"))));

    for (std::string_view refused : {std::string_view("not a challenge message"), std::string_view()}) {
        ASSERT_TRUE(exchange.Start(Mechanism::NTLM, "relay", "KVRTEST", "s3cret pass", kTarget));
        EXPECT_FALSE(exchange.Continue(ConstData(refused)));
        EXPECT_FALSE(exchange.InProgress());
        EXPECT_FALSE(exchange.Continue(ConstData(std::string_view("not a challenge message"))));
    }

    // A new start drops the exchange in progress.
    ASSERT_TRUE(exchange.Start(Mechanism::NTLM, "relay", "KVRTEST", "s3cret pass", kTarget));
    std::optional<std::string> again =
        exchange.Start(Mechanism::NTLM, "relay", "KVRTEST", "s3cret pass", kTarget);
    EXPECT_EQ(RunAgainstAcceptor(exchange, again, Mechanism::NTLM).state, GSSAPIAcceptor::State::Complete);
}

// The acceptor's challenge for a new exchange, with the NTLM message inside changed by `edit`.
std::string EditedChallenge(SecurityContextExchange& exchange, Mechanism mechanism, GSSAPIAcceptor& acceptor,
                            const std::function<void(std::string& message)>& edit) {
    std::optional<std::string> first = exchange.Start(mechanism, "relay", "KVRTEST", "s3cret pass", kTarget);
    std::string challenge;
    EXPECT_TRUE(first && acceptor.Accept(*first, challenge) == GSSAPIAcceptor::State::Continue);
    std::size_t at = challenge.find(std::string("NTLMSSP\0\2\0\0\0", 12));
    EXPECT_NE(at, std::string::npos);
    std::string message = challenge.substr(at);
    edit(message);
    return challenge.substr(0, at) + message;
}

void SetFlags(std::string& message, std::uint32_t set, std::uint32_t clear) {
    std::uint32_t flags = 0;
    for (int i = 3; i >= 0; --i) flags = flags << 8 | static_cast<unsigned char>(message[20 + i]);
    flags = (flags | set) & ~clear;
    for (int i = 0; i < 4; ++i) message[20 + i] = static_cast<char>(flags >> (8 * i));
}

TEST_F(SecurityContextExchangeTest, ChallengesTheLibraryWouldMisreadAreRefused) {
    constexpr std::uint32_t kUnicode = 0x1;
    constexpr std::uint32_t kTargetTypeDomain = 0x10000;
    constexpr std::uint32_t kTargetTypeServer = 0x20000;
    // gss-ntlmssp 1.2 writes through a null pointer for an empty Unicode target name of a named type,
    // and reads a message's fixed fields without looking at its length.
    const std::pair<const char*, std::function<void(std::string&)>> refused[] = {
        {"empty domain name",
         [&](std::string& m) {
             m[12] = m[13] = 0, SetFlags(m, kUnicode | kTargetTypeDomain, kTargetTypeServer);
         }},
        {"empty server name",
         [&](std::string& m) {
             m[12] = m[13] = 0, SetFlags(m, kUnicode | kTargetTypeServer, kTargetTypeDomain);
         }},
        {"cut short", [](std::string& m) { m.resize(47); }},
    };
    for (Mechanism mechanism : {Mechanism::NTLM, Mechanism::Negotiate}) {
        for (const auto& [name, edit] : refused) {
            SCOPED_TRACE(name);
            SecurityContextExchange exchange;
            GSSAPIAcceptor acceptor(mechanism == Mechanism::NTLM ? GSSAPIAcceptor::Mechanism::NTLM
                                                                 : GSSAPIAcceptor::Mechanism::SPNEGO);
            std::string challenge = EditedChallenge(exchange, mechanism, acceptor, edit);
            EXPECT_FALSE(exchange.Continue(ConstData(challenge)));
            EXPECT_FALSE(exchange.InProgress());
        }
    }
    // Without a target type the empty name is never read: the exchange goes on.
    SecurityContextExchange exchange;
    GSSAPIAcceptor acceptor(GSSAPIAcceptor::Mechanism::NTLM);
    std::string challenge = EditedChallenge(exchange, Mechanism::NTLM, acceptor, [&](std::string& m) {
        m[12] = m[13] = 0, SetFlags(m, kUnicode, kTargetTypeDomain | kTargetTypeServer);
    });
    EXPECT_TRUE(exchange.Continue(ConstData(challenge)));
}

}  // namespace
