#include "crypto/revocation_store.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "crypto/certificate_stacks.h"
#include "crypto/openssl_startup.h"
#include "crypto/pkcs7_objects.h"
#include "crl_editing.h"
#include "support/captured_log.h"

namespace {

class AnsweringPolicy : public IndirectRevocationPolicy {
  public:
    enum Answer { Yes, No, Throws };
    explicit AnsweringPolicy(Answer answer) : m_answer(answer) {}
    bool IsAuthoritative(X509*, X509_CRL*) const override {
        if (m_answer == Throws) throw std::runtime_error("cannot tell");
        return m_answer == Yes;
    }

  private:
    Answer m_answer;
};

// The fixture CRLs of the registrar and variants of them, by name.
class RevocationStoreTest : public ::testing::Test, protected FixtureCertificates {
  protected:
    RevocationStoreTest() {
        EVP_PKEY* key = registrarKey.Get();
        crls["old"] = FixtureCRL("registrar-old");
        crls["new"] = FixtureCRL("registrar-new");
        crls["newest"] = EditedCRL(Get("new"), key, [](X509_CRL* crl) { SetThisUpdate(crl, "20250101000000Z"); });
        crls["old unkeyed"] = EditedCRL(Get("old"), key, [](X509_CRL* crl) {
            RemoveExtension(crl, NID_authority_key_identifier);
        });
        crls["new unkeyed"] = EditedCRL(Get("new"), key, [](X509_CRL* crl) {
            RemoveExtension(crl, NID_authority_key_identifier);
        });
        crls["new critical"] = EditedCRL(Get("new"), key, [](X509_CRL* crl) {
            SetThisUpdate(crl, "20250101000000Z");
            AddCriticalCRLNumber(crl);
        });
        crls["forged"] = EditedCRL(Get("new"), strangerKey.Get(), [](X509_CRL*) {});
        CRLBodyHolder revokingOperator = CRLBodyOf(Get("new"));
        crls["carrier"] = EditedCRL(Get("old"), key, [&](X509_CRL* crl) {
            SetThisUpdate(crl, "20210101000000Z");
            AddIndirectList(crl, revokingOperator.Get());
        });
        crls["new unwritable"] = DecodedCRL(UnwritableCRLEncoding(Get("new"), key));
        PushX509(withRegistrar.Get(), registrar.Get());
    }

    X509_CRL* Get(const std::string& name) { return crls.at(name).Get(); }

    void Add(const std::string& name, bool giveRegistrar = true) {
        store.AddCRL(Get(name), giveRegistrar ? withRegistrar.Get() : nullptr);
    }

    // The store's wire form holding exactly the named CRLs.
    std::vector<Byte> EncodingOf(const std::vector<std::string>& names) {
        RevocationStore expected;
        for (const std::string& name : names) expected.AddCRL(Get(name), withRegistrar.Get());
        return expected.Encode();
    }

    bool OperatorRevoked() { return store.IsRevokedByIssuer(operatorCertificate.Get(), registrar.Get()); }

    PrivateKeyHolder registrarKey = FixtureKey("registrar");
    PrivateKeyHolder strangerKey = FixtureKey("stranger");
    X509StackHolder withRegistrar = CreateX509Stack();
    std::map<std::string, CRLHolder> crls;
    RevocationStore store;
};

struct MergeCase {
    const char* title;
    std::vector<std::string> added;  // in order, each given with the registrar's certificate
    std::vector<std::string> held;
};

TEST_F(RevocationStoreTest, KeepsTheNewestListOfEachSigner) {
    const MergeCase cases[] = {
        {"the same list twice", {"new", "new"}, {"new"}},
        {"an older list after a newer one", {"new", "old"}, {"new"}},
        {"a newer list replacing the older", {"old", "new"}, {"new"}},
        {"three generations", {"old", "new", "newest"}, {"newest"}},
        {"a keyed list replacing an unkeyed one", {"old unkeyed", "new"}, {"new"}},
        {"an unkeyed list replacing a keyed one", {"old", "new unkeyed"}, {"new unkeyed"}},
        {"a list signed by nobody given", {"forged"}, {}},
    };
    for (const MergeCase& merge : cases) {
        SCOPED_TRACE(merge.title);
        store.Clear();
        for (const std::string& name : merge.added) Add(name);
        EXPECT_EQ(store.Count(), merge.held.size());
        EXPECT_EQ(store.Encode(), EncodingOf(merge.held));
    }
}

// Signed by the registrar and newer than its held list, but the library would write it back in a form
// it cannot read: refused before it replaces anything, so the next save, and the start after it, read.
TEST_F(RevocationStoreTest, RefusesAListItCouldNotWriteBack) {
    ASSERT_TRUE(IsCRLSignedBy(registrar.Get(), Get("new unwritable")));
    CapturedLog log;
    Add("old");
    Add("new unwritable");
    EXPECT_EQ(store.Encode(), EncodingOf({"old"}));
    EXPECT_EQ(log.LinesStartingWith("critical: A revocation list was refused: ").size(), 1u);
}

TEST_F(RevocationStoreTest, FindsTheSignerAmongTheSupportingCertificatesFirst) {
    Add("old", false);
    EXPECT_TRUE(store.IsEmpty());  // no supporting certificates, none given
    Add("new", false);             // the registrar travels inside the list
    EXPECT_EQ(store.Count(), 1u);
    X509Holder signer = FindCRLSigner(Get("new"), nullptr, nullptr);
    ASSERT_TRUE(signer);
    EXPECT_EQ(X509_cmp(signer.Get(), registrar.Get()), 0);
    EXPECT_FALSE(FindCRLSigner(Get("forged"), nullptr, withRegistrar.Get()));
    EXPECT_TRUE(IsCRLSignedBy(registrar.Get(), Get("old")));
    EXPECT_FALSE(IsCRLSignedBy(stranger.Get(), Get("old")));
    EXPECT_FALSE(IsCRLSignedBy(nullptr, Get("old")));
}

TEST_F(RevocationStoreTest, RevokesOnlyWithAListSignedByTheIssuer) {
    EXPECT_FALSE(OperatorRevoked());
    Add("new unkeyed");  // matched against every issuer, counts only for its signer
    EXPECT_TRUE(OperatorRevoked());
    EXPECT_FALSE(store.IsRevokedByIssuer(site.Get(), registrar.Get()));
    EXPECT_FALSE(store.IsRevokedByIssuer(operatorCertificate.Get(), stranger.Get()));
    store.Clear();
    Add("new");
    EXPECT_TRUE(OperatorRevoked());
    EXPECT_FALSE(store.IsRevokedByIssuer(operatorCertificate.Get(), root.Get()));
}

TEST_F(RevocationStoreTest, AListWithACriticalExtensionRevokesNothing) {
    Add("new critical");
    EXPECT_EQ(store.Count(), 1u);
    EXPECT_FALSE(OperatorRevoked());
}

TEST_F(RevocationStoreTest, TestsEveryLinkOfAChainButTheRoot) {
    Add("new");
    auto chain = [](std::initializer_list<X509*> certificates) {
        X509StackHolder stack = CreateX509Stack();
        for (X509* certificate : certificates) PushX509(stack.Get(), certificate);
        return stack;
    };
    EXPECT_TRUE(store.IsChainRevoked(chain({operatorCertificate.Get(), registrar.Get(), root.Get()}).Get()));
    EXPECT_FALSE(store.IsChainRevoked(chain({site.Get(), registrar.Get(), root.Get()}).Get()));
    EXPECT_FALSE(store.IsChainRevoked(chain({operatorCertificate.Get()}).Get()));
    EXPECT_FALSE(store.IsChainRevoked(chain({}).Get()));

    X509StackHolder revoked = chain({operatorCertificate.Get(), registrar.Get(), root.Get()});
    try {
        CheckChainNotRevoked(revoked.Get(), store);
        FAIL() << "a revoked chain passed";
    } catch (const CertificateRevoked&) {
        // Kept for a later rethrow with its own type, as a verification across signers does.
        std::unique_ptr<CaughtException> caught = CaptureCurrentException();
        EXPECT_THROW(caught->Rethrow(), CertificateRevoked);
    }
    EXPECT_NO_THROW(CheckChainNotRevoked(chain({site.Get(), registrar.Get(), root.Get()}).Get(), store));
}

TEST_F(RevocationStoreTest, IndexesIndirectListsWhileTheirCRLIsHeld) {
    const AnsweringPolicy yes(AnsweringPolicy::Yes), no(AnsweringPolicy::No), throws(AnsweringPolicy::Throws);
    Add("carrier");
    EXPECT_TRUE(store.IsIndirectlyRevoked(operatorCertificate.Get(), yes));
    EXPECT_FALSE(store.IsIndirectlyRevoked(operatorCertificate.Get(), no));
    EXPECT_FALSE(store.IsIndirectlyRevoked(operatorCertificate.Get(), throws));
    EXPECT_FALSE(store.IsIndirectlyRevoked(site.Get(), yes));
    EXPECT_THROW(store.CheckNotIndirectlyRevoked(operatorCertificate.Get(), yes), CertificateIndirectlyRevoked);
    EXPECT_NO_THROW(store.CheckNotIndirectlyRevoked(operatorCertificate.Get(), no));

    Add("new");  // replaces the carrier; its own indirect list revokes nobody
    EXPECT_EQ(store.Count(), 1u);
    EXPECT_FALSE(store.IsIndirectlyRevoked(operatorCertificate.Get(), yes));
}

TEST_F(RevocationStoreTest, BeyondItsCapTakesOnlyReplacements) {
    RevocationStore small(1);
    CRLHolder rootList = EditedCRL(Get("old unkeyed"), FixtureKey("root").Get(), [&](X509_CRL* crl) {
        X509_CRL_set_issuer_name(crl, X509_get_subject_name(root.Get()));
    });
    X509StackHolder both = CreateX509Stack();
    PushX509(both.Get(), registrar.Get());
    PushX509(both.Get(), root.Get());
    small.AddCRL(Get("old"), both.Get());
    small.AddCRL(rootList.Get(), both.Get());
    EXPECT_EQ(small.Count(), 1u);
    small.AddCRL(Get("new"), both.Get());
    EXPECT_EQ(small.Count(), 1u);
    EXPECT_TRUE(small.IsRevokedByIssuer(operatorCertificate.Get(), registrar.Get()));

    RevocationStore tiny(10, 100);
    tiny.AddCRL(Get("old"), both.Get());
    EXPECT_TRUE(tiny.IsEmpty());
}

TEST_F(RevocationStoreTest, TakesTheListsOfASignedMessage) {
    PKCS7Holder message(PKCS7_new());
    ASSERT_EQ(PKCS7_set_type(message.Get(), NID_pkcs7_signed), 1);
    ASSERT_EQ(PKCS7_add_crl(message.Get(), Get("old")), 1);
    ASSERT_EQ(PKCS7_add_crl(message.Get(), Get("new")), 1);
    AddSignedDataCRLs(message.Get(), withRegistrar.Get(), store);
    EXPECT_EQ(store.Encode(), EncodingOf({"new"}));

    PKCS7Holder data(PKCS7_new());
    PKCS7_set_type(data.Get(), NID_pkcs7_data);
    EXPECT_THROW(AddSignedDataCRLs(data.Get(), nullptr, store), WrongPKCS7Type);
}

TEST(RevocationStoreSingleton, IsOneStoreOnceTheLibraryIsStarted) {
    InitializeOpenSSL(false);
    EXPECT_EQ(&GetRevocationStore(), &GetRevocationStore());
}

}  // namespace
