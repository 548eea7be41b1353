#include "crypto/openssl_hash.h"

#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <string>

#include "crypto/openssl_startup.h"
#include "foundation/endian.h"
#include "support/temporary_folder.h"

namespace {

class Digests : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }
};

std::string HexOf(OpenSSLHash& hash, std::initializer_list<std::string_view> pieces) {
    hash.Begin();
    for (std::string_view piece : pieces) hash.Receive(ConstData(piece));
    hash.End();
    return hash.GetDigest().ToHex();
}

TEST_F(Digests, ComputesTheStandardVectorsWithOneStageReused) {
    OpenSSLHash hash;
    hash.Start(GetFirstDigest());
    EXPECT_EQ(HexOf(hash, {}), "d41d8cd98f00b204e9800998ecf8427e");
    EXPECT_EQ(HexOf(hash, {"abc"}), "900150983cd24fb0d6963f7d28e17f72");
    // A message fed in pieces digests like the whole.
    EXPECT_EQ(HexOf(hash, {"message ", "", "digest"}), "f96b697d7cb7938d525a2f31aaf161d0");
    hash.Start(ContentHashDigest());
    EXPECT_EQ(HexOf(hash, {"abc"}), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hash.GetDigest().Bytes().Length(), 20u);
}

// The digest can be read at any point of a message, again and again, and input goes on after it.
TEST_F(Digests, GetDigestAnswersTheRunningDigestWithoutEndingTheMessage) {
    OpenSSLHash hash;
    hash.Start(ContentHashDigest());
    hash.Begin();
    hash.Receive(ConstData(std::string_view("a")));
    const DigestRecord ofA = hash.GetDigest();
    EXPECT_EQ(ofA.ToHex(), "86f7e437faa5a7fce15d1ddcb9eaeaea377667b8");
    EXPECT_TRUE(DigestRecordsEqual(hash.GetDigest(), ofA));
    hash.Receive(ConstData(std::string_view("bc")));
    hash.End();
    EXPECT_EQ(hash.GetDigest().ToHex(), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(hash.GetDigest().ToHex(), "a9993e364706816aba3e25717850c26c9cd0d89d");
    ASSERT_NE(hash.GetBIO(), nullptr);
    EXPECT_EQ(BIO_method_type(hash.GetBIO()), BIO_TYPE_MD);
}

TEST_F(Digests, RefusesAMessageBeforeStartOrBegin) {
    OpenSSLHash hash;
    EXPECT_THROW(hash.Begin(), DigestFailed);
    hash.Start(GetFirstDigest());
    EXPECT_THROW(hash.GetDigest(), DigestFailed);
    EXPECT_THROW(hash.Receive(ConstData(std::string_view("x"))), DigestFailed);
    EXPECT_THROW(hash.End(), DigestFailed);
}

TEST_F(Digests, HashFileDigestsTheContentFromTheOffset) {
    TemporaryFolder folder;
    std::ofstream(folder / "f", std::ios::binary) << "xyabc";
    const FileLocation file((folder / "f").c_str());
    EXPECT_EQ(HashFile(file, ContentHashDigest(), 2).ToHex(), "a9993e364706816aba3e25717850c26c9cd0d89d");
    EXPECT_EQ(HashFile(file, GetFirstDigest()).Bytes().Length(), 16u);
}

TEST_F(Digests, DualHashReceiverComputesTheSelectedDigestsInOnePass) {
    struct Case {
        std::uint32_t flags;
        const char* md5;
        const char* sha1;
    };
    for (const Case& c :
         {Case{0, nullptr, nullptr}, Case{1, "900150983cd24fb0d6963f7d28e17f72", nullptr},
          Case{2, nullptr, "a9993e364706816aba3e25717850c26c9cd0d89d"},
          Case{3, "900150983cd24fb0d6963f7d28e17f72", "a9993e364706816aba3e25717850c26c9cd0d89d"}}) {
        DualHashReceiver dual;
        DataReceiver& receiver = dual.SelectDigests(c.flags);
        receiver.Begin();
        receiver.Receive(ConstData(std::string_view("a")));
        receiver.Receive(ConstData(std::string_view("bc")));
        receiver.End();
        EXPECT_EQ(dual.GetFirstHash() != nullptr, c.md5 != nullptr) << c.flags;
        EXPECT_EQ(dual.GetContentHash() != nullptr, c.sha1 != nullptr) << c.flags;
        if (c.md5) {
            EXPECT_EQ(dual.GetFirstHash()->GetDigest().ToHex(), c.md5);
        }
        if (c.sha1) {
            EXPECT_EQ(dual.GetContentHash()->GetDigest().ToHex(), c.sha1);
        }
    }
    EXPECT_NE(DualHashReceiver().GetContentHash(), nullptr);
}

TEST_F(Digests, RecordsFromHexCompareAsByteStrings) {
    const DigestRecord ab = DigestRecordFromHex("ABcd");
    EXPECT_EQ(DigestRecordToText(ab), "abcd");
    EXPECT_THROW(DigestRecordFromHex(std::string(130, '0')), DataOverflow);
    EXPECT_EQ(DigestRecordFromHex(std::string(128, 'f')).Bytes().Length(), 64u);
    // A proper prefix orders first; a map keyed by digest finds equal records.
    EXPECT_TRUE(DigestLess(DigestRecordFromHex("ab"), ab));
    EXPECT_FALSE(DigestLess(ab, DigestRecordFromHex("ab")));
    EXPECT_TRUE(DigestLess(ab, DigestRecordFromHex("ac")));
    std::map<DigestRecord, int, decltype(&DigestLess)> byDigest(&DigestLess);
    byDigest[ab] = 1;
    EXPECT_EQ(byDigest.count(DigestRecordFromHex("abcd")), 1u);
    EXPECT_FALSE(DigestRecordsEqual(DigestRecord(), DigestRecord()));
}

}  // namespace
