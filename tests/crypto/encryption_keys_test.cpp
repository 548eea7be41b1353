#include "crypto/encryption_keys.h"

#include <gtest/gtest.h>
#include <openssl/x509.h>

#include <fstream>
#include <string>

#include "crypto/openssl_startup.h"
#include "settings/configuration_settings.h"
#include "support/captured_log.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

class EncryptionKeys : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    // A key without a pass phrase and its self-signed certificate, as "<name>.key" and "<name>.crt".
    void MakeKeyPair(const std::string& name) {
        const ProgramRun made = RunProgram(
            "openssl", {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", keys / (name + ".key"),
                        "-out", keys / (name + ".crt"), "-subj", "/CN=" + name, "-days", "2"});
        ASSERT_EQ(made.exitStatus, 0) << made.err;
    }
    void Concatenate(const std::string& name, const std::vector<std::string>& parts) {
        std::ofstream out(folder / name, std::ios::binary);
        for (const std::string& part : parts) out << std::ifstream(keys / part, std::ios::binary).rdbuf();
    }
    void WriteMachineHive(const std::string& keysAndValues) {
        std::ofstream(registry.MachineHivePath(), std::ios::binary) << "REGEDIT4\n\n" + keysAndValues;
    }

    TemporaryRegistry registry;
    TemporaryFolder keys;    // where the pairs are made
    TemporaryFolder folder;  // the keys directory
};

TEST_F(EncryptionKeys, TheDirectoryDefaultsToEncryptionKeysInTheServerStorageFolder) {
    const std::string section = "[HKLM\\Software\\Veltra\\Daruravidu Server\\";
    EXPECT_THROW(GetEncryptionKeysDirectory(), MissingRegistrySetting);
    WriteMachineHive(section + "GlobalOptions]\n\"StoragePath\"=\"/srv/store\"\n");
    EXPECT_EQ(GetEncryptionKeysDirectory().GetPathString(), "/srv/store/Encryption Keys");
    WriteMachineHive(section + "GlobalOptions]\n\"StoragePath\"=\"/srv/store\"\n\n" + section +
                     "PostResults]\n\"Encryption Keys Directory\"=\"/etc/keys\"\n");
    EXPECT_EQ(GetEncryptionKeysDirectory().GetPathString(), "/etc/keys");
}

// The good file's extension is written in capitals: the match ignores case.
TEST_F(EncryptionKeys, OnlyTheGoodKeyFileLoadsAndEachBadOneIsLogged) {
    MakeKeyPair("good");
    Concatenate("good.PVK", {"good.key", "good.crt"});
    Concatenate("certificate-first.pvk", {"good.crt", "good.key"});
    std::ofstream(folder / "bad.pvk") << "not a key\n";
    Concatenate("ignored.pem", {"good.key", "good.crt"});

    CapturedLog log;
    std::vector<CertificateAndKey> loaded;
    LoadEncryptionKeys(loaded, FileLocation(folder.Path().c_str()));
    ASSERT_EQ(loaded.size(), 1u);
    EXPECT_EQ(X509_check_private_key(loaded[0].certificate.Get(), loaded[0].key.Get()), 1);

    const std::vector<std::string> lines =
        log.LinesStartingWith("critical: Could not load encryption key from ");
    ASSERT_EQ(lines.size(), 2u);
    std::string both = lines[0] + "\n" + lines[1];
    EXPECT_NE(both.find(folder / "bad.pvk" + ": "), std::string::npos) << both;
    EXPECT_NE(both.find(folder / "certificate-first.pvk" + ": "), std::string::npos) << both;
    EXPECT_NE(both.find("ReadPrivateKeyFailed"), std::string::npos) << both;
}

TEST_F(EncryptionKeys, AMissingDirectoryLoadsNothingQuietly) {
    CapturedLog log;
    std::vector<CertificateAndKey> loaded;
    LoadEncryptionKeys(loaded, FileLocation((folder / "absent").c_str()));
    EXPECT_TRUE(loaded.empty());
    EXPECT_TRUE(log.Lines().empty());
}

}  // namespace
