#include "crypto/reissued_certificates.h"

#include <gtest/gtest.h>

#include <fstream>

#include "crypto/certificate_stacks.h"
#include "crypto/certificate_stores.h"
#include "crypto/x509_verify_errors.h"
#include "pki_fixture.h"
#include "support/temporary_folder.h"

namespace {

std::string Base64Of(const std::string& der) {
    std::string text(4 * ((der.size() + 2) / 3) + 1, '\0');
    int length = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(text.data()),
                                 reinterpret_cast<const unsigned char*>(der.data()), static_cast<int>(der.size()));
    text.resize(static_cast<std::size_t>(length));
    return text;
}

// The registrar and its re-issue under a new name, paired in the process-wide table for each test.
class ReissuedCertificatesTest : public ::testing::Test, protected FixtureCertificates {
  protected:
    void SetUp() override {
        WriteTable("# the registrar, re-issued\n\n" + Base64Of(ReadTestPKIFile("registrar.der")) + "  " +
                   Base64Of(ReadTestPKIFile("registrar-reissued.der")) + "\r\n");
        LoadReissuedCertificateTable(Table(), GetReissuedCertificateTable());
    }
    void TearDown() override { GetReissuedCertificateTable().Replace({}); }

    void WriteTable(const std::string& text) { std::ofstream(folder / "pairs.txt", std::ios::binary) << text; }
    FileLocation Table() const { return FileLocation((folder / "pairs.txt").c_str()); }

    // The chain the store builds for the certificate, as subject names, leaf first.
    std::vector<std::string> Chain(X509_STORE* store, X509* certificate, STACK_OF(X509)* untrusted = nullptr) {
        X509StackHolder chain = VerifyCertificateChain(store, certificate, untrusted, X509_PURPOSE_ANY);
        std::vector<std::string> names;
        for (int i = 0; i < sk_X509_num(chain.Get()); ++i) {
            char* text = X509_NAME_oneline(X509_get_subject_name(sk_X509_value(chain.Get(), i)), nullptr, 0);
            names.emplace_back(text);
            OPENSSL_free(text);
        }
        return names;
    }

    TrustedStoreHolder StoreOf(std::initializer_list<X509*> certificates) {
        TrustedStoreHolder store = NewTrustedStore();
        for (X509* certificate : certificates) AddCertificateToStore(store.Get(), certificate);
        return store;
    }

    TemporaryFolder folder;
    X509Holder reissued = FixtureCertificate("registrar-reissued");  // site was issued under the old name
    X509Holder reissuedLeaf = FixtureCertificate("reissued-leaf");  // issued under the new name
};

const char* const kRoot = "/O=Fixture/CN=Fixture Root";
const char* const kOldName = "/O=Fixture/CN=Fixture Registrar";
const char* const kNewName = "/O=Fixture/CN=Fixture Registrar Reissued";

TEST_F(ReissuedCertificatesTest, PairedSubjectsAreEquivalent) {
    EXPECT_EQ(GetReissuedCertificateTable().Size(), 1u);
    const X509_NAME* oldName = X509_get_subject_name(registrar.Get());
    const X509_NAME* newName = X509_get_subject_name(reissued.Get());
    EXPECT_EQ(NamesEquivalent(oldName, newName), 0);
    EXPECT_EQ(NamesEquivalent(newName, oldName), 0);
    EXPECT_NE(NamesEquivalent(oldName, X509_get_subject_name(root.Get())), 0);
    GetReissuedCertificateTable().Replace({});
    EXPECT_NE(NamesEquivalent(oldName, newName), 0);
}

TEST_F(ReissuedCertificatesTest, ChainsEitherWayThroughTheStore) {
    TrustedStoreHolder withNew = StoreOf({root.Get(), reissued.Get()});
    EXPECT_EQ(Chain(withNew.Get(), site.Get()), (std::vector<std::string>{
                                                    "/O=Fixture Site Org/CN=Fixture Site/name=site:main/name=role:writer",
                                                    kNewName, kRoot}));
    TrustedStoreHolder withOld = StoreOf({root.Get(), registrar.Get()});
    EXPECT_EQ(Chain(withOld.Get(), reissuedLeaf.Get()),
              (std::vector<std::string>{"/O=Fixture/CN=Fixture Reissued Leaf", kOldName, kRoot}));
    // Found among the untrusted certificates as well.
    TrustedStoreHolder rootOnly = StoreOf({root.Get()});
    X509StackHolder untrusted = CreateX509Stack();
    PushX509(untrusted.Get(), reissued.Get());
    EXPECT_EQ(Chain(rootOnly.Get(), site.Get(), untrusted.Get()).at(1), kNewName);
    // The store still finds issuers under their own names.
    EXPECT_EQ(Chain(withOld.Get(), site.Get()).at(1), kOldName);
}

TEST_F(ReissuedCertificatesTest, WithoutThePairTheNamesDoNotChain) {
    GetReissuedCertificateTable().Replace({});
    TrustedStoreHolder withNew = StoreOf({root.Get(), reissued.Get()});
    EXPECT_THROW(Chain(withNew.Get(), site.Get()), X509VerifyGenericError);
    EXPECT_EQ(CheckIssuedCompatible(nullptr, site.Get(), reissued.Get()), 0);
}

TEST_F(ReissuedCertificatesTest, TheIssuerCheckRelaxesOnlyTheName) {
    EXPECT_EQ(CheckIssuedCompatible(nullptr, site.Get(), reissued.Get()), 1);
    EXPECT_EQ(CheckIssuedCompatible(nullptr, site.Get(), registrar.Get()), 1);
    EXPECT_EQ(CheckIssuedCompatible(nullptr, site.Get(), root.Get()), 0);
    EXPECT_EQ(CheckIssuedCompatible(nullptr, reissuedLeaf.Get(), registrar.Get()), 1);
}

TEST_F(ReissuedCertificatesTest, ABadTableFileNamesItsLineAndChangesNothing) {
    std::string registrarText = Base64Of(ReadTestPKIFile("registrar.der"));
    std::string siteText = Base64Of(ReadTestPKIFile("site.der"));
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {"\n" + registrarText + "\n", "line 2: expected two Base64 certificates"},
        {registrarText + " " + registrarText + " " + registrarText, "line 1: expected two Base64 certificates"},
        {"#\n" + registrarText + " AAAA", "line 2: not a certificate"},
        {registrarText + " " + siteText, "line 1: the certificates differ in issuer, serial number or key"},
    };
    for (const auto& test : cases) {
        SCOPED_TRACE(test.message);
        WriteTable(test.text);
        try {
            LoadReissuedCertificateTable(Table(), GetReissuedCertificateTable());
            ADD_FAILURE() << "accepted";
        } catch (const BadReissuedCertificateTable& error) {
            EXPECT_NE(std::string(error.what()).find(test.message), std::string::npos) << error.what();
        }
        EXPECT_EQ(GetReissuedCertificateTable().Size(), 1u);
    }
    WriteTable("# no pairs\n");
    LoadReissuedCertificateTable(Table(), GetReissuedCertificateTable());
    EXPECT_EQ(GetReissuedCertificateTable().Size(), 0u);
}

}  // namespace
