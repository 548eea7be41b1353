#include "crypto/own_object_identifiers.h"

#include <gtest/gtest.h>
#include <openssl/objects.h>

#include <string>

#include "crypto/certificates.h"
#include "pki_fixture.h"

namespace {

std::string Dotted(int nid) {
    char text[80];
    OBJ_obj2txt(text, sizeof text, OBJ_nid2obj(nid), 1);
    return text;
}

const std::string kArc = "1.3.6.1.4.1." + std::to_string(kEnterpriseArc);

// Each test runs in a process of its own, so this one sees the table before any own object.
TEST(OwnObjectIdentifiers, TheCustomSiteUserAddsTheRoleFirst) {
    int user = GetCustomSiteUserNID();
    int role = GetRoleNID();
    EXPECT_LT(role, user);
    EXPECT_EQ(GetRoleNID(), role);
    EXPECT_EQ(GetCustomSiteUserNID(), user);
    EXPECT_EQ(Dotted(role), kArc + ".6");
    EXPECT_EQ(Dotted(user), kArc + ".6.2");
}

TEST(OwnObjectIdentifiers, CarryTheirNamesAndEncodings) {
    struct Case {
        int (*nid)();
        const char* longName;
        const char* shortName;
        const char* subArc;
        int encodedLength;
    };
    const Case cases[] = {
        {GetIndirectRevocationListNID, "KVR Indirect Revocation List", "kvr indirect revocation list", ".4", 9},
        {GetActionAuthorizedNID, "KVR Action Authorized", "kvr action authorized", ".5", 9},
        {GetRoleNID, "KVR Role", "kvr role", ".6", 9},
        {GetCRLSupportingCertificatesNID, "KVR CRL Supporting Certificates", "kvr crl supporting certificates", ".7", 9},
        {GetIntendedSiteNID, "KVR Intended Site", "kvr intended site", ".9", 9},
        {GetCustomSiteOwnerNID, "KVR Custom Site Owner", "kvr custom site owner", ".6.1", 10},
        {GetCustomSiteUserNID, "KVR Custom Site User", "kvr custom site user", ".6.2", 10},
    };
    for (const Case& c : cases) {
        int nid = c.nid();
        EXPECT_STREQ(OBJ_nid2ln(nid), c.longName);
        EXPECT_STREQ(OBJ_nid2sn(nid), c.shortName);
        EXPECT_EQ(Dotted(nid), kArc + c.subArc);
        EXPECT_EQ(OBJ_length(OBJ_nid2obj(nid)), static_cast<std::size_t>(c.encodedLength)) << c.longName;
        EXPECT_EQ(OBJ_ln2nid(c.longName), nid);
    }
}

std::string ExtensionText(X509* certificate, int nid) {
    int index = X509_get_ext_by_NID(certificate, nid, -1);
    if (index < 0) return "(none)";
    // The fixture's values are UTF8String: tag, short length, text.
    ConstData value = ASN1StringData(X509_EXTENSION_get_data(X509_get_ext(certificate, index)));
    return std::string(value.View().substr(2));
}

TEST(OwnObjectIdentifiers, FindTheOwnExtensionsOfTheFixtureCertificates) {
    X509Holder site = FixtureCertificate("site");
    EXPECT_EQ(ExtensionText(site.Get(), GetIntendedSiteNID()), "http://sites.example.test:52311/cgi-bin/site");
    EXPECT_EQ(ExtensionText(site.Get(), GetActionAuthorizedNID()), "actionsite");
    EXPECT_EQ(ExtensionText(site.Get(), GetRoleNID()), "(none)");
    X509Holder operatorCertificate = FixtureCertificate("operator");
    EXPECT_EQ(ExtensionText(operatorCertificate.Get(), GetRoleNID()), "operator");
    EXPECT_EQ(ExtensionText(operatorCertificate.Get(), GetCustomSiteOwnerNID()), "owner-of-custom");
    EXPECT_EQ(ExtensionText(operatorCertificate.Get(), GetCustomSiteUserNID()), "user-of-custom");
}

TEST(OwnExtensions, RegisterTheirMethodsOnce) {
    int supporting = CRLSupportingCertificatesExtension();
    EXPECT_EQ(supporting, GetCRLSupportingCertificatesNID());
    EXPECT_EQ(CRLSupportingCertificatesExtension(), supporting);
    EXPECT_NE(X509V3_EXT_get_nid(supporting), nullptr);
    int indirect = IndirectRevocationExtension();
    EXPECT_EQ(indirect, GetIndirectRevocationListNID());
    EXPECT_NE(X509V3_EXT_get_nid(indirect), nullptr);
    for (int (*role)() : {CustomSiteOwnerExtension, CustomSiteUserExtension}) {
        int nid = role();
        EXPECT_EQ(role(), nid);
        EXPECT_NE(X509V3_EXT_get_nid(nid), nullptr);
    }
    EXPECT_EQ(CustomSiteOwnerExtension(), GetCustomSiteOwnerNID());
    EXPECT_EQ(CustomSiteUserExtension(), GetCustomSiteUserNID());
}

}  // namespace
