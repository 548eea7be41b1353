#include "relay/post/post_results_configuration.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "crypto/openssl_startup.h"
#include "relay/post/post_results_test_support.h"
#include "support/captured_log.h"

namespace {

class PostResultsConfigurationTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    // A source that hands out the test PKI's certificate and counts the calls.
    PostResultsConfiguration::CertificateSource CountingSource() {
        return [this] {
            ++certificateReads;
            return TestEncryptionCertificate();
        };
    }

    static std::string NameOf(const FileLocation& location) { return location.GetName().CString(); }

    PostResultsMachine machine;
    std::atomic<int> certificateReads{0};
};

}  // namespace

TEST_F(PostResultsConfigurationTest, FoldersLieUnderTheResultsBufferDirectoryAndSettingsHaveTheirDefaults) {
    PostResultsConfiguration configuration(CountingSource());
    EXPECT_EQ(configuration.GetBufferDirectory().GetPathString(), machine.BufferDir());
    EXPECT_EQ(configuration.GetForwardingBufferDirectory().GetPathString(), machine.ForwardingDir());
    EXPECT_EQ(configuration.GetTemporaryDirectory().GetPathString(), machine.TemporaryDir());
    EXPECT_EQ(configuration.GetRejectedDirectory().GetPathString(), machine.RejectedDir());
    EXPECT_FALSE(configuration.GetCarbonCopyDirectory());
    EXPECT_FALSE(configuration.GetRawCarbonCopyDirectory());
    EXPECT_FALSE(configuration.GetNextRawCarbonCopyFile());
    EXPECT_EQ(configuration.GetNextBufferFile().GetPathString(), machine.BufferDir() + "/0000000000000001");
    EXPECT_EQ(configuration.GetNextForwardingFile().GetPathString(),
              machine.ForwardingDir() + "/0000000000000001");

    EXPECT_EQ(configuration.GetResultTimeLimit(), 3'000'000);
    EXPECT_EQ(configuration.GetResultSizeLimit(), 1'048'576u);
    EXPECT_EQ(configuration.GetParentRelayURL(), "");
    EXPECT_EQ(configuration.GetPostTimeout(), 600'000'000);
    EXPECT_EQ(configuration.GetRequestTimeout(), 300'000'000);
    EXPECT_EQ(GetBufferDirectoryMaxSize(), 3'145'728u);
    EXPECT_EQ(GetBufferDirectoryMaxCount(), 10'000u);
    EXPECT_EQ(configuration.GetEnvelopeCipher(), EVP_aes_256_cbc());
}

// The forwarder's settings take effect at its next use; "TimeoutSeconds" only in a new configuration.
TEST_F(PostResultsConfigurationTest, SettingsAreReadAtEveryCallExceptTheRequestTimeOut) {
    PostResultsConfiguration configuration(CountingSource());
    machine.SetNamed("_KVRRelay_PostResults_ResultTimeLimit", "7");
    machine.SetNamed("_KVRRelay_PostResults_ResultSizeLimit", "4096");
    machine.SetNamed("_KVRRelay_PostResults_ParentRelayURL", "http://parent:52311/x");
    machine.SetNamed("_KVRRelay_PostResults_PostTimeoutSeconds", "4294967295");
    machine.SetMachineValue("TimeoutSeconds", "\"TimeoutSeconds\"=dword:0000000a");
    machine.SetMachineValue("BufferDirectoryMaxCount", "\"BufferDirectoryMaxCount\"=dword:00000002");
    EXPECT_EQ(configuration.GetResultTimeLimit(), 7'000'000);
    EXPECT_EQ(configuration.GetResultSizeLimit(), 4096u);
    EXPECT_EQ(configuration.GetParentRelayURL(), "http://parent:52311/x");
    EXPECT_EQ(configuration.GetPostTimeout(), 4'294'967'295'000'000);
    EXPECT_EQ(GetBufferDirectoryMaxCount(), 2u);
    EXPECT_EQ(configuration.GetRequestTimeout(), 300'000'000);
    EXPECT_EQ(PostResultsConfiguration(CountingSource()).GetRequestTimeout(), 10'000'000);
}

// Names in use stay in use: the carbon copies for the buffer, RejectedDir for the forwarding buffer.
TEST_F(PostResultsConfigurationTest, NewNamesFollowTheHighestNameOfTheFoldersThatKeepCopies) {
    const std::string copies = machine.Folder("copies");
    for (const std::string& file :
         {machine.BufferDir() + "/0000000000000004", copies + "/0000000000000010",
          machine.ForwardingDir() + "/0000000000000003", machine.RejectedDir() + "/0000000000000020"}) {
        std::filesystem::create_directories(std::filesystem::path(file).parent_path());
        std::ofstream(file) << "x";
    }
    machine.SetMachineValue("CarbonCopyPath", "\"CarbonCopyPath\"=\"" + copies + "\"");
    PostResultsConfiguration configuration(CountingSource());
    EXPECT_EQ(configuration.GetCarbonCopyDirectory()->GetPathString(), copies);
    EXPECT_EQ(NameOf(configuration.GetNextBufferFile()), "0000000000000011");
    EXPECT_EQ(NameOf(configuration.GetNextForwardingFile()), "0000000000000021");
}

// A folder named while the relay runs is made when first used; it stays the raw copies' folder until
// the setting is emptied.
TEST_F(PostResultsConfigurationTest, TheRawCarbonCopyNumberingIsMadeOnFirstUseAndDroppedWithTheSetting) {
    PostResultsConfiguration configuration(CountingSource());
    const std::string first = machine.Folder("raw/first");
    const std::string second = machine.Folder("raw/second");
    machine.SetNamed("_KVRRelay_PostResults_RawCarbonCopyPath", first);
    EXPECT_EQ(configuration.GetNextRawCarbonCopyFile()->GetPathString(), first + "/0000000000000001");
    EXPECT_TRUE(std::filesystem::is_directory(first));
    machine.SetNamed("_KVRRelay_PostResults_RawCarbonCopyPath", second);
    EXPECT_EQ(configuration.GetNextRawCarbonCopyFile()->GetPathString(), first + "/0000000000000002");
    machine.SetNamed("_KVRRelay_PostResults_RawCarbonCopyPath", "");
    EXPECT_FALSE(configuration.GetNextRawCarbonCopyFile());
    std::filesystem::create_directories(second);
    std::ofstream(second + "/00000000000000aa") << "x";
    machine.SetNamed("_KVRRelay_PostResults_RawCarbonCopyPath", second);
    EXPECT_EQ(configuration.GetNextRawCarbonCopyFile()->GetPathString(), second + "/00000000000000ab");
}

TEST_F(PostResultsConfigurationTest, WithoutKeysThereIsNoCertificateEvenWhenTheMastheadHasOne) {
    PostResultsConfiguration configuration(CountingSource());
    EXPECT_TRUE(std::filesystem::is_directory(machine.KeysDir()));
    EXPECT_TRUE(configuration.GetDecryptionKeys().empty());
    EXPECT_FALSE(configuration.GetEncryptionCertificate());
}

// The keys directory is watched: a key put there while the relay runs is used from the next call on,
// without a restart. The masthead is read once in the first minute.
TEST_F(PostResultsConfigurationTest, AKeyAddedWhileRunningIsLoadedAndTheCertificateIsACopyOfTheMastheads) {
    PostResultsConfiguration configuration(CountingSource());
    EXPECT_FALSE(configuration.GetEncryptionCertificate());
    machine.InstallKey();
    ASSERT_EQ(configuration.GetDecryptionKeys().size(), 1u);
    const X509Holder first = configuration.GetEncryptionCertificate();
    const X509Holder second = configuration.GetEncryptionCertificate();
    ASSERT_TRUE(first && second);
    EXPECT_NE(first.Get(), second.Get());
    EXPECT_EQ(X509_cmp(first.Get(), TestEncryptionCertificate().Get()), 0);
    EXPECT_EQ(certificateReads.load(), 1);
    std::filesystem::remove(machine.KeysDir() + "/encryption.pvk");
    EXPECT_FALSE(configuration.GetEncryptionCertificate());
}

// A masthead that can't be read costs the relay no start: the failure is logged, the old certificate
// (none here) kept.
TEST_F(PostResultsConfigurationTest, AMastheadThatCannotBeReadIsLoggedAndLeavesNoCertificate) {
    machine.InstallKey();
    CapturedLog log;
    PostResultsConfiguration configuration([]() -> X509Holder { throw std::runtime_error("no masthead"); });
    EXPECT_EQ(configuration.GetDecryptionKeys().size(), 1u);
    EXPECT_FALSE(configuration.GetEncryptionCertificate());
    EXPECT_EQ(log.LinesStartingWith(
                     "critical: Unable to load encryption certificate from action masthead: no masthead")
                  .size(),
              1u);
}
