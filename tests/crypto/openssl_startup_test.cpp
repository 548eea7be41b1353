#include "crypto/openssl_startup.h"

#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/evp.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

// Records the library calls of start-up; its FIPS switch can be made to refuse switching on.
class RecordingControl : public OpenSSLLibraryControl {
  public:
    void StartLibrary() override { calls.push_back("start"); }
    bool IsFIPSEnabled() override { return fips; }
    bool SwitchFIPS(bool on) override {
        calls.push_back(on ? "fips on" : "fips off");
        if (on && refuseOn) return false;
        fips = on;
        return true;
    }

    std::vector<std::string> calls;
    bool fips = false;
    bool refuseOn = false;
};

using Calls = std::vector<std::string>;

TEST(OpenSSLStartup, StartsOnceAndSwitchesFIPSOnlyWhenTheModeDiffers) {
    RecordingControl control;
    OpenSSLStartup startup(control);
    EXPECT_FALSE(startup.IsInitialized());
    EXPECT_THROW(startup.EnsureInitialized(), OpenSSLNotInitialized);

    startup.Initialize(false);
    startup.Initialize(false);
    EXPECT_EQ(control.calls, (Calls{"start"}));
    EXPECT_TRUE(startup.IsInitialized());
    EXPECT_NO_THROW(startup.EnsureInitialized());

    startup.Initialize(true);
    EXPECT_TRUE(startup.IsFIPSMode());
    startup.Initialize(false);
    EXPECT_FALSE(startup.IsFIPSMode());
    EXPECT_EQ(control.calls, (Calls{"start", "fips on", "fips off"}));
}

TEST(OpenSSLStartup, ARefusedFIPSSwitchPutsTheLibraryBackAndThrows) {
    RecordingControl control;
    control.refuseOn = true;
    OpenSSLStartup startup(control);
    EXPECT_THROW(startup.Initialize(true), KVR_FIPS_mode_set_Failed);
    EXPECT_EQ(control.calls, (Calls{"start", "fips on", "fips off"}));
    EXPECT_FALSE(startup.IsFIPSMode());
    // Start-up itself completed; the next call does not repeat it.
    EXPECT_TRUE(startup.IsInitialized());
    startup.Initialize(false);
    EXPECT_EQ(control.calls.size(), 3u);
}

bool FIPSProviderInstalled() {
    return std::filesystem::exists(std::filesystem::path(OPENSSL_info(OPENSSL_INFO_MODULES_DIR)) / "fips.so");
}

TEST(OpenSSLStartup, FIPSRequiredFailsClosedWhereNoFIPSProviderIsInstalled) {
    if (FIPSProviderInstalled()) GTEST_SKIP() << "this machine has a FIPS provider";
    InitializeOpenSSL(false);
    EXPECT_TRUE(IsOpenSSLInitialized());
    EXPECT_THROW(InitializeOpenSSL(true), KVR_FIPS_mode_set_Failed);
    EXPECT_FALSE(IsOpenSSLFIPSMode());
    // The library still works in non-FIPS mode, MD5 included.
    EVP_MD* md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
    EXPECT_NE(md5, nullptr);
    EVP_MD_free(md5);
}

}  // namespace
