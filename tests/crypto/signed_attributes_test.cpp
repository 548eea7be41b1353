#include "crypto/signed_attributes.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "crypto/openssl_startup.h"
#include "crypto/own_object_identifiers.h"
#include "signing_fixture.h"

namespace {

class SignedAttributesTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    // The signer info of a fresh signature carrying the attributes; kept alive by the test.
    PKCS7_SIGNER_INFO* SignerWith(const std::vector<FixtureAttribute>& attributes) {
        signatures.push_back(SignAsFixture("op8-untyped", attributes));
        return sk_PKCS7_SIGNER_INFO_value(PKCS7_get_signer_info(signatures.back().Get()), 0);
    }

    std::vector<PKCS7Holder> signatures;
};

// "" when the check passes, else the class name text of what it threw.
std::string Outcome(const std::function<void()>& check) {
    try {
        check();
        return "";
    } catch (const std::exception& error) {
        return error.what();
    }
}

TEST_F(SignedAttributesTest, TheIntendedSiteMustMatchWhenPresent) {
    struct Case {
        const char* name;
        std::vector<FixtureAttribute> attributes;
        const char* whenOptional;
        const char* whenRequired;
    };
    const int nid = GetIntendedSiteNID();
    const Case cases[] = {
        {"same name", {{nid, V_ASN1_OCTET_STRING, "opsite7"}}, "", ""},
        {"other name", {{nid, V_ASN1_OCTET_STRING, "opsite8"}}, "class IntendedSiteDoesNotMatch", "class IntendedSiteDoesNotMatch"},
        {"longer name", {{nid, V_ASN1_OCTET_STRING, "opsite77"}}, "class IntendedSiteDoesNotMatch", "class IntendedSiteDoesNotMatch"},
        {"other case", {{nid, V_ASN1_OCTET_STRING, "OPSITE7"}}, "class IntendedSiteDoesNotMatch", "class IntendedSiteDoesNotMatch"},
        {"absent", {}, "", "class IntendedSiteNotPresent"},
        {"not an octet string", {{nid, V_ASN1_UTF8STRING, "opsite8"}}, "", "class IntendedSiteNotPresent"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PKCS7_SIGNER_INFO* signer = SignerWith(c.attributes);
        EXPECT_EQ(Outcome([&] { CheckIntendedSite(signer, "opsite7", false); }), c.whenOptional);
        EXPECT_EQ(Outcome([&] { CheckIntendedSite(signer, "opsite7", true); }), c.whenRequired);
    }
    EXPECT_EQ(Outcome([] { CheckIntendedSite(nullptr, "opsite7", false); }), "class GetKVRIntendedSiteFailed");
}

TEST_F(SignedAttributesTest, OnlyABooleanAuthorizesOrRefusesTheAction) {
    struct Case {
        const char* name;
        std::vector<FixtureAttribute> attributes;
        bool lenient;  // IsActionAuthorized with default true
        bool strict;   // with default false
    };
    const int nid = GetActionAuthorizedNID();
    const Case cases[] = {
        {"true", {{nid, V_ASN1_BOOLEAN, "yes"}}, true, true},
        {"false", {{nid, V_ASN1_BOOLEAN, ""}}, false, false},
        {"absent", {}, true, false},
        {"not a boolean", {{nid, V_ASN1_OCTET_STRING, ""}}, true, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PKCS7_SIGNER_INFO* signer = SignerWith(c.attributes);
        EXPECT_EQ(IsActionAuthorized(signer, true), c.lenient);
        EXPECT_EQ(IsActionAuthorized(signer, false), c.strict);
        EXPECT_EQ(Outcome([&] { RequireActionAuthorized(signer, false); }), c.lenient ? "" : "class ActionAuthorizationDenied");
        EXPECT_EQ(Outcome([&] { RequireActionAuthorized(signer, true); }), c.strict ? "" : "class ActionAuthorizationDenied");
    }
    EXPECT_THROW(IsActionAuthorized(nullptr, true), GetKVRActionAuthorizationFailed);
}

// A refusal kept by a verification is thrown again later with its own type.
TEST_F(SignedAttributesTest, RefusalsCanBeCapturedWithTheirOwnType) {
    PKCS7_SIGNER_INFO* signer = SignerWith({{GetActionAuthorizedNID(), V_ASN1_BOOLEAN, ""}});
    std::unique_ptr<CaughtException> caught;
    try {
        RequireActionAuthorized(signer, false);
    } catch (...) {
        caught = CaptureCurrentException();
    }
    ASSERT_NE(caught, nullptr);
    EXPECT_THROW(caught->Rethrow(), ActionAuthorizationDenied);
}

}  // namespace
