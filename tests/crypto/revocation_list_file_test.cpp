#include "crypto/revocation_list_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

#include "crypto/certificate_stacks.h"
#include "crl_editing.h"
#include "foundation/whole_file.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"

namespace {

std::string ReadBytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream content;
    content << file.rdbuf();
    return content.str();
}

void WriteBytes(const std::string& path, const std::string& content) {
    std::ofstream(path, std::ios::binary) << content;
}

// The elements of the file's outer set, as openssl asn1parse finds them.
std::vector<std::string> SetElements(const std::string& path) {
    ProgramRun run = RunProgram("openssl", {"asn1parse", "-inform", "DER", "-in", path});
    EXPECT_EQ(run.exitStatus, 0) << run.err;
    std::string content = ReadBytes(path);
    std::vector<std::string> elements;
    std::regex element(R"((\d+):d=1\s+hl=(\d+)\s+l=\s*(\d+))");
    for (std::sregex_iterator match(run.out.begin(), run.out.end(), element), end; match != end; ++match) {
        std::size_t offset = std::stoul((*match)[1]);
        std::size_t length = std::stoul((*match)[2]) + std::stoul((*match)[3]);
        elements.push_back(content.substr(offset, length));
    }
    return elements;
}

class RevocationListFileTest : public ::testing::Test, protected FixtureCertificates {
  protected:
    RevocationListFileTest() {
        PushX509(signers.Get(), registrar.Get());
        PushX509(signers.Get(), root.Get());
        // A list of the root without a key identifier: held beside the registrar's keyed one.
        rootList = EditedCRL(older.Get(), FixtureKey("root").Get(), [&](X509_CRL* crl) {
            X509_CRL_set_issuer_name(crl, X509_get_subject_name(root.Get()));
            RemoveExtension(crl, NID_authority_key_identifier);
        });
    }

    FileLocation File() const { return FileLocation(path.c_str()); }

    X509StackHolder signers = CreateX509Stack();
    CRLHolder older = FixtureCRL("registrar-old");
    CRLHolder newer = FixtureCRL("registrar-new");
    CRLHolder rootList;
    TemporaryFolder folder;
    std::string path = folder / "RevocationList.pem";
};

TEST_F(RevocationListFileTest, SavedListsLoadBackAndAreEachARealCRL) {
    RevocationStore store;
    store.AddCRL(newer.Get(), signers.Get());
    store.AddCRL(rootList.Get(), signers.Get());
    ASSERT_EQ(store.Count(), 2u);
    SaveRevocationStore(File(), store);

    std::string saved = ReadBytes(path);
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(static_cast<unsigned char>(saved[0]), 0xA1);
    std::vector<std::string> elements = SetElements(path);
    ASSERT_EQ(elements.size(), 2u);
    EXPECT_LT(elements[0], elements[1]);  // DER SET OF order, whatever the order of adding
    for (std::size_t i = 0; i < elements.size(); ++i) {
        std::string part = folder / ("element" + std::to_string(i));
        WriteBytes(part, elements[i]);
        ProgramRun check = RunProgram("openssl", {"crl", "-inform", "DER", "-in", part, "-noout"});
        EXPECT_EQ(check.exitStatus, 0) << check.err;
    }

    RevocationStore loaded;
    LoadRevocationStore(File(), loaded);
    EXPECT_EQ(loaded.Count(), 2u);
    EXPECT_TRUE(loaded.IsRevokedByIssuer(operatorCertificate.Get(), registrar.Get()));
    // Saved again into a folder nothing has made yet: the folder is made and the bytes are the same.
    const std::string again = folder / "first/RevocationList.pem";
    SaveRevocationStore(FileLocation(again.c_str()), loaded);
    EXPECT_EQ(ReadBytes(again), saved);

    // Loaded lists merge as added ones do: the older list changes nothing.
    loaded.AddCRL(older.Get(), signers.Get());
    EXPECT_EQ(loaded.Count(), 2u);
}

TEST_F(RevocationListFileTest, AnEmptyStoreWritesNothing) {
    RevocationStore empty;
    SaveRevocationStore(File(), empty);
    EXPECT_FALSE(std::filesystem::exists(path));
    WriteBytes(path, "kept");
    SaveRevocationStore(File(), empty);
    EXPECT_EQ(ReadBytes(path), "kept");
}

TEST_F(RevocationListFileTest, LoadingReplacesTheContentOrLeavesItAsTheFileSays) {
    RevocationStore store;
    store.AddCRL(newer.Get(), signers.Get());
    LoadRevocationStore(File(), store);  // no file
    EXPECT_EQ(store.Count(), 1u);

    WriteBytes(path, "");
    LoadRevocationStore(File(), store);
    EXPECT_TRUE(store.IsEmpty());

    store.AddCRL(newer.Get(), signers.Get());
    WriteBytes(path, "\xA1\x03\x30\x01\x00");
    EXPECT_THROW(LoadRevocationStore(File(), store), ReadX509_CRLStackFailed);
    EXPECT_TRUE(store.IsEmpty());

    // A list the library reads but would write back unreadable: the file could not be saved again.
    store.AddCRL(newer.Get(), signers.Get());
    const std::string unwritable = UnwritableCRLEncoding(newer.Get(), FixtureKey("registrar").Get());
    ASSERT_LT(unwritable.size(), 0x10000u);
    WriteBytes(path, std::string{'\xA1', '\x82', static_cast<char>(unwritable.size() >> 8),
                                 static_cast<char>(unwritable.size() & 0xFF)} + unwritable);
    EXPECT_THROW(LoadRevocationStore(File(), store), ReadX509_CRLStackFailed);
    EXPECT_TRUE(store.IsEmpty());

        store.AddCRL(newer.Get(), signers.Get());
    std::filesystem::resize_file(path, std::uintmax_t{1} << 32);  // sparse: no disk is used
    EXPECT_THROW(LoadRevocationStore(File(), store), RevocationStoreTooLarge);
    EXPECT_EQ(store.Count(), 1u);
}

}  // namespace
