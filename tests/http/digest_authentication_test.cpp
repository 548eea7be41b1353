#include "http/digest_authentication.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>

namespace {

// RFC 2617, section 3.5.
const std::string kRfcChallenge =
    R"(realm="testrealm@host.com", qop="auth,auth-int", nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", )"
    R"(opaque="5ccc069c403ebaf9f0171e9517f40e41")";

DigestChallenge Parsed(const std::string& parameters) {
    DigestChallenge challenge;
    EXPECT_TRUE(ParseDigestChallenge(parameters, challenge)) << parameters;
    return challenge;
}

TEST(DigestAuthorization, MatchesTheRfc2617Example) {
    DigestChallenge challenge = Parsed(kRfcChallenge);
    EXPECT_EQ(challenge.qop, "auth");  // "auth,auth-int" is answered with "auth"
    EXPECT_EQ(MakeDigestAuthorization(challenge, "Mufasa", "Circle Of Life", "GET", "/dir/index.html",
                                      "0a4f113b", 1),
              R"(Digest username="Mufasa", realm="testrealm@host.com", uri="/dir/index.html", )"
              R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", qop=auth, nc=00000001, cnonce="0a4f113b", )"
              R"(opaque="5ccc069c403ebaf9f0171e9517f40e41", response="6629fae49393a05397450978507c4ef1")");
}

TEST(DigestAuthorization, VariantsOfTheChallenge) {
    struct Case {
        std::string parameters;
        std::string method;
        std::string uri;
        std::string expected;
    };
    const Case cases[] = {
        // Without qop: no qop, nc or cnonce, and the response over HA1, nonce and HA2 only.
        {R"(realm="testrealm@host.com", nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093")", "GET",
         "/dir/index.html",
         R"(Digest username="Mufasa", realm="testrealm@host.com", uri="/dir/index.html", )"
         R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", response="670fd8c2df070c60b045671b8b24ff02")"},
        // MD5-sess, named in another case, as an unquoted token and sent back unquoted.
        {R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093",realm="testrealm@host.com",algorithm=md5-SESS,qop=auth)",
         "GET", "/dir/index.html",
         R"(Digest username="Mufasa", realm="testrealm@host.com", uri="/dir/index.html", )"
         R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", qop=auth, nc=00000001, cnonce="0a4f113b", )"
         R"(algorithm=md5-SESS, response="8e3825c57e897f5a0dec6c2d4e5059d0")"},
        // A CONNECT names the authority as its uri.
        {R"(realm="testrealm@host.com", nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", algorithm="MD5")",
         "CONNECT", "example.com:443",
         R"(Digest username="Mufasa", realm="testrealm@host.com", uri="example.com:443", )"
         R"(nonce="dcd98b7102dd2f0e8b11d0f600bfb0c093", algorithm=MD5, response="14095671ada3531f81a1dfad0e8c6600")"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(MakeDigestAuthorization(Parsed(c.parameters), "Mufasa", "Circle Of Life", c.method, c.uri,
                                          "0a4f113b", 1),
                  c.expected)
            << c.parameters;
    }
}

TEST(DigestAuthorization, QuotesAndBackslashesInValuesAreEscaped) {
    DigestChallenge challenge = Parsed(R"(realm="a \"b\" \\c", nonce=n)");
    EXPECT_EQ(challenge.realm, R"(a "b" \c)");
    std::string value = MakeDigestAuthorization(challenge, "u\"", "p", "GET", "/", "c", 1);
    EXPECT_NE(value.find(R"(username="u\"")"), std::string::npos) << value;
    EXPECT_NE(value.find(R"(realm="a \"b\" \\c")"), std::string::npos) << value;
}

TEST(DigestChallengeParsing, RefusesWhatCannotBeAnswered) {
    const char* refused[] = {
        R"(realm="r", qop="auth-int", nonce="n")",  // auth-int needs the body's hash
        R"(realm="r", nonce="n", algorithm=SHA-256)",
        R"(realm="r")",            // no nonce
        R"(realm="r, nonce="n")",  // an unterminated quote
        R"(realm)",
    };
    for (const char* parameters : refused) {
        DigestChallenge challenge;
        EXPECT_FALSE(ParseDigestChallenge(parameters, challenge)) << parameters;
    }
    DigestChallenge challenge;
    EXPECT_FALSE(ParseDigestChallenge("nonce=\"" + std::string(1024, 'n') + "\"", challenge));
    EXPECT_TRUE(ParseDigestChallenge("nonce=\"" + std::string(1023, 'n') + "\"", challenge));
}

TEST(DigestNonces, TheClientNonceIsRandomHexAndTheCounterCountsUp) {
    const std::string& nonce = DigestClientNonce();
    EXPECT_EQ(nonce.size(), 32u);
    EXPECT_EQ(nonce.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(&DigestClientNonce(), &nonce);
    std::uint32_t first = NextDigestNonceCount();
    EXPECT_EQ(NextDigestNonceCount(), first + 1);
}

}  // namespace
