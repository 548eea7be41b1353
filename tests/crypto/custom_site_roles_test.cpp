#include "crypto/custom_site_roles.h"

#include <gtest/gtest.h>

#include <string>

#include "crypto/own_asn1_types.h"
#include "role_fixture.h"

namespace {

struct ExtensionCase {
    const char* certificate;
    bool owner;  // else the user role
    const char* siteName;
    bool held;
};

TEST(CustomSiteRoles, AreHeldByAnOctetStringNamingTheSiteExactly) {
    const ExtensionCase cases[] = {
        {"typed-owner-by-site", true, kRoleFixtureSite, true},
        {"typed-user-by-site", false, kRoleFixtureSite, true},
        {"typed-owner-by-site", false, kRoleFixtureSite, false},  // another role's extension
        {"typed-user-by-site", true, kRoleFixtureSite, false},
        {"typed-owner-by-site", true, "customsite_fixture", false},
        {"typed-owner-lower-case", true, kRoleFixtureSite, false},
        {"typed-owner-lower-case", true, "customsite_fixture", true},
        {"typed-owner-by-site", true, "CustomSite_Fixtur", false},
        {"typed-owner-by-site", true, "CustomSite_Fixture2", false},
        {"typed-owner-utf8", true, kRoleFixtureSite, false},  // the right text, not an OCTET STRING
        {"typed", true, kRoleFixtureSite, false},
    };
    for (const ExtensionCase& c : cases) {
        SCOPED_TRACE(std::string(c.certificate) + (c.owner ? " owner " : " user ") + c.siteName);
        X509Holder certificate = RoleCertificate(c.certificate);
        Role role = c.owner ? CustomSiteOwnerRole(c.siteName) : CustomSiteUserRole(c.siteName);
        EXPECT_EQ(HasRoleExtension(certificate.Get(), role), c.held);
    }
    EXPECT_FALSE(HasRoleExtension(nullptr, CustomSiteOwnerRole(kRoleFixtureSite)));
}

TEST(CustomSiteRoles, AreEqualByKindAndSiteName) {
    EXPECT_EQ(CustomSiteOwnerRole("CustomSite_A"), CustomSiteOwnerRole("CustomSite_A"));
    EXPECT_NE(CustomSiteOwnerRole("CustomSite_A"), CustomSiteUserRole("CustomSite_A"));
    EXPECT_NE(CustomSiteOwnerRole("CustomSite_A"), CustomSiteOwnerRole("customsite_a"));
    EXPECT_EQ(CustomSiteOwnerRole("x").kind, GetCustomSiteOwnerNID());
    EXPECT_EQ(CustomSiteUserRole("x").kind, GetCustomSiteUserNID());
}

struct ValueCase {
    const char* title;
    std::string der;
    int type;  // 0: refused
};

TEST(CustomSiteRoles, DecodeOnePrimitiveStringAsTheirValue) {
    const ValueCase cases[] = {
        {"OCTET STRING", std::string("\x04\x03" "abc", 5), V_ASN1_OCTET_STRING},
        {"UTF8String", std::string("\x0c\x03" "abc", 5), V_ASN1_UTF8STRING},
        {"empty OCTET STRING", std::string("\x04\x00", 2), V_ASN1_OCTET_STRING},
        {"INTEGER", std::string("\x02\x01\x07", 3), 0},
        {"SEQUENCE", std::string("\x30\x05\x04\x03" "abc", 7), 0},
        {"OCTET STRING in BER's constructed form", std::string("\x24\x05\x04\x03" "abc", 7), V_ASN1_OCTET_STRING},
        {"truncated", std::string("\x04\x05" "abc", 5), 0},
        {"empty", std::string(), 0},
    };
    for (const ValueCase& c : cases) {
        SCOPED_TRACE(c.title);
        const unsigned char* cursor = reinterpret_cast<const unsigned char*>(c.der.data());
        ASN1StringHolder value(DecodeRoleValue(&cursor, static_cast<long>(c.der.size())));
        EXPECT_EQ(value ? ASN1_STRING_type(value.Get()) : 0, c.type);
    }
}

}  // namespace
