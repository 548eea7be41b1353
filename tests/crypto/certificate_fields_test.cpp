#include "crypto/certificate_fields.h"

#include <gtest/gtest.h>

#include <string>

#include "crypto/certificate_stacks.h"
#include "signing_fixture.h"

namespace {

std::string Text(ConstData field) { return StringFromConstData(field); }

TEST(CertificateFieldsTest, ReadTheLabelledNameEntries) {
    X509Holder site = FixtureCertificate("opsite");
    EXPECT_EQ(Text(GetSitenameField(site.Get())), "opsite7");
    EXPECT_EQ(Text(GetGatherURLField(site.Get())), "http://sites.example.test:52311/cgi-bin/opsite7");
    EXPECT_EQ(Text(GetServerField(site.Get())), "sites.example.test");
    EXPECT_EQ(Text(GetTypeField(site.Get())), "");
    EXPECT_EQ(Text(GetTypeField(FixtureCertificate("op7-typed").Get())), "Operator");
    // The older fixture's "name" entries carry other labels ("site:main"), which are not fields.
    EXPECT_EQ(Text(GetSitenameField(FixtureCertificate("site").Get())), "");
    EXPECT_EQ(Text(GetSitenameField(nullptr)), "");
}

TEST(CertificateFieldsTest, OnlyAnEmptyOrExactAdministratorTypeIsAdministrator) {
    const std::pair<const char*, bool> cases[] = {
        {"op8-untyped", true}, {"op-admin", true}, {"op-lower-admin", false}, {"op8-typed", false},
    };
    for (const auto& [name, expected] : cases) EXPECT_EQ(IsAdministratorOrUntyped(FixtureCertificate(name).Get()), expected) << name;
    EXPECT_TRUE(IsAdministratorOrUntyped(nullptr));
}

TEST(CertificateFieldsTest, ChainPositionsCountFromTheRootAndAreNullWhereTheChainIsShort) {
    X509StackHolder chain = FixtureCertificateStack({"op8-untyped", "opsite", "registrar", "root"});
    X509Holder root = FixtureCertificate("root");
    EXPECT_EQ(X509_cmp(ChainRoot(chain.Get()), root.Get()), 0);
    EXPECT_EQ(ChainRegistrar(chain.Get()), sk_X509_value(chain.Get(), 2));
    EXPECT_EQ(ChainSiteCertificate(chain.Get()), sk_X509_value(chain.Get(), 1));

    X509StackHolder shortChain = FixtureCertificateStack({"registrar", "root"});
    EXPECT_NE(ChainRegistrar(shortChain.Get()), nullptr);
    EXPECT_EQ(ChainSiteCertificate(shortChain.Get()), nullptr);
    X509StackHolder empty = CreateX509Stack();
    EXPECT_EQ(ChainRoot(empty.Get()), nullptr);
    EXPECT_EQ(ChainRoot(nullptr), nullptr);
}

}  // namespace
