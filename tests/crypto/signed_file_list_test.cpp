#include "crypto/signed_file_list.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "crypto/revocation_store.h"
#include "masthead_fixture.h"
#include "role_fixture.h"
#include "signing_fixture.h"
#include "support/site_content.h"
#include "support/temporary_folder.h"

namespace {

const std::vector<SiteFile> kFiles = {{"a.txt", "alpha", 60}, {"b.txt", "beta", 120}};

std::string PlainList(std::uint32_t version = 4) {
    FileListOptions options;
    options.version = version;
    return FileListForFiles(kFiles, options);
}

// Lists as the parent sends them, signed with the command line, read under the policy that the site's
// name picks.
class SignedFileListTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }
    SignedFileListTest() { GetRevocationStore().Clear(); }

    // "" when the list is read under the site's policy, else the failure's text; a failed read leaves
    // the list empty.
    std::string Verdict(const std::string& siteName, const SignatureVerification& masthead, const std::string& bytes) {
        WriteFileBytes(m_folder / "list", bytes);
        std::unique_ptr<PKCS7SignaturePolicy> policy = FileListPolicyForSite(siteName, masthead);
        try {
            ReadSignedFileList(FileLocation((m_folder / "list").c_str()), m_list, *policy);
        } catch (const std::exception& failure) {
            EXPECT_EQ(m_list.Count(), 0u);
            return failure.what();
        }
        EXPECT_EQ(m_list.Count(), kFiles.size());
        return "";
    }

    TemporaryFolder m_folder;
    STDFileList m_list;
    std::unique_ptr<SignatureVerification> m_opsite = VerifiedMasthead();
};

const char* const kDenied = "class NoAuthorizedSignature (class FileListSignatureAuthorizationDenied)";

}  // namespace

TEST_F(SignedFileListTest, AnOperatorSiteAcceptsItsOwnOperator) {
    struct Case {
        const char* title;
        Signer signer;
        const char* site;
        std::string verdict;
    };
    const Case cases[] = {
        {"the operator whose serial the site names", OperatorSigner("op7-typed"), "opsite7", ""},
        {"a typed operator of another serial", OperatorSigner("op8-typed"), "opsite7", kDenied},
        {"an untyped operator", OperatorSigner("op8-untyped"), "opsite7", ""},
        {"a typed operator on a site without a number", OperatorSigner("op7-typed"), "opsite", kDenied},
        {"a typed operator on another kind of site", OperatorSigner("op7-typed"), "BESSupport", kDenied},
        {"the site certificate", SiteSigner(), "opsite7", ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.title);
        EXPECT_EQ(Verdict(c.site, *m_opsite, SignedMessage(PlainList(), c.signer)), c.verdict);
    }
    EXPECT_EQ(m_list.GetVersion(), 4u);
}

TEST_F(SignedFileListTest, ACustomSiteAcceptsItsUsers) {
    std::unique_ptr<SignatureVerification> custom = RoleFixtureMastheadVerification();
    const std::string signedByUser = SignedMessage(PlainList(), CustomSiteUserSigner());
    EXPECT_EQ(Verdict("CustomSite_Fixture", *custom, signedByUser), "");
    // The same signer holds no role that an ordinary site's list policy knows.
    EXPECT_EQ(Verdict("opsite7", *custom, signedByUser), kDenied);
    EXPECT_EQ(Verdict("CustomSite_Other", *custom, signedByUser),
              "class NoAuthorizedSignature (class CustomSiteCertificateChainIsUnauthorized)");
}

TEST_F(SignedFileListTest, OnlyWhatTheSignatureCoversIsRead) {
    const std::string signedList = SignedMessage(PlainList(), OperatorSigner("op7-typed"));
    EXPECT_EQ(Verdict("opsite7", *m_opsite, CompressedFileBytes(signedList)), "");

    std::string tampered = signedList;
    tampered.replace(tampered.find("size: 5"), 7, "size: 6");
    EXPECT_NE(Verdict("opsite7", *m_opsite, tampered).find("PKCS7SignatureVerifyFailed"), std::string::npos);
    EXPECT_EQ(Verdict("opsite7", *m_opsite, PlainList()), "class NotASignedMessage");

    // Every part of a many-part list must pass.
    const std::string good = SignedMessage(PlainList(4), OperatorSigner("op7-typed"));
    const std::string denied = SignedMessage(PlainList(5), OperatorSigner("op8-typed"));
    EXPECT_EQ(Verdict("opsite7", *m_opsite, MixedMessage({good, good})), "");
    EXPECT_EQ(Verdict("opsite7", *m_opsite, MixedMessage({good, denied})), kDenied);
}

// The agent's action-site folder holds the action site's masthead, under which operator and custom
// sites publish.
class SiteFileListTest : public MastheadFixtureTest, public MastheadSearchFolders {
  protected:
    SiteFileListTest() {
        std::filesystem::create_directories(m_folder / "actionsite");
        std::filesystem::copy_file(MastheadFixturePath("action.azqm"), m_folder / "actionsite/action.azqm");
        unsetenv("KVRClientActionMastheadPath");
    }

    FileLocation ClientActionSiteFolder() const override { return FileLocation((m_folder / "actionsite").c_str()); }
    FileLocation MerivantDataFolder() const override { return FileLocation((m_folder / "data").c_str()); }

    void Read(const std::string& siteURL, const std::string& bytes) {
        WriteFileBytes(m_folder / "list", bytes);
        ReadSiteFileList(ConstData(std::string_view(siteURL)), FileLocation((m_folder / "list").c_str()), m_list, 0,
                         *this, m_store);
    }

    TemporaryFolder m_folder;
    MastheadStore m_store;
    STDFileList m_list;
};

TEST_F(SiteFileListTest, TheMastheadComesFromTheAgentsFolders) {
    const Signer actionSite = {MastheadFixturePath("action-site.pem"), MastheadFixturePath("action-site.key"),
                               MastheadFixturePath("action-registrar.pem")};
    const std::string signedList = SignedMessage(PlainList(), actionSite);
    Read("http://relay.example:52311/cgi-bin/bfgather.exe/opsite3", signedList);
    EXPECT_EQ(m_list.Count(), kFiles.size());
    Read("http://relay.example:52311/cgi-bin/bfgather.exe/CustomSite_Fixture", signedList);
    EXPECT_EQ(m_list.Count(), kFiles.size());

    const Signer stranger = {MastheadFixturePath("stranger-site.pem"), MastheadFixturePath("stranger-site.key"),
                             MastheadFixturePath("stranger-registrar.pem")};
    EXPECT_THROW(Read("http://relay.example:52311/cgi-bin/bfgather.exe/opsite3", SignedMessage(PlainList(), stranger)),
                 NoAuthorizedSignature);
    EXPECT_THROW(Read("http://elsewhere.example/cgi-bin/bfgather.exe/opsite3", signedList), NoMastheadMatchesURL);
    EXPECT_EQ(m_list.Count(), 0u);
}
