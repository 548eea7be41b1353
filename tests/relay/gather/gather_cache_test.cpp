#include "relay/gather/gather_cache.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "crypto/openssl_hash.h"
#include "crypto/openssl_startup.h"
#include "foundation/whole_file.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

// The SHA-1 of "one".
constexpr const char* kOneSHA1 = "fe05bcdcdc4928012781a5f1a2a77cbb5398e106";

class GatherCacheTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    GatherCacheTest() {
        std::filesystem::create_directories(m_cache.ToString());
        std::filesystem::create_directories(m_source.ToString());
    }

    void WriteSource(const std::string& name, const std::string& content) {
        WriteWholeFile(m_source.ToString() + "/" + name, content);
    }
    std::set<std::string> CacheNames() const {
        std::set<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(m_cache.ToString()))
            names.insert(entry.path().filename().string());
        return names;
    }
    static DigestRecord SHA1Of(const std::string& path) {
        return HashFile(FileLocation(path.c_str()), ContentHashDigest());
    }
    bool Write(const DigestRecord& expected, const std::string& content) {
        return WriteVerifiedCacheFile(m_cache, expected, [&content](DataReceiver& receiver) {
            receiver.Begin();
            receiver.Receive(ConstData(std::string_view(content)));
            receiver.End();
        });
    }

    TemporaryFolder m_folder;
    FileLocation m_cache{(m_folder / "gathercache").c_str()};
    FileLocation m_source{(m_folder / "site").c_str()};
};

TEST_F(GatherCacheTest, CopiesEachContentFileOnceUnderItsSHA1) {
    WriteSource("a.txt", "one");
    WriteSource("same-as-a.txt", "one");
    WriteSource("b.txt", "two");
    WriteSource("__sdirlist", "a list");
    std::filesystem::create_directories(m_source.ToString() + "/sub");
    CopyFilesIntoGatherCache(m_cache, m_source);

    const std::string two = SHA1Of(m_source.ToString() + "/b.txt").ToHex() + ".sha1";
    EXPECT_EQ(CacheNames(), (std::set<std::string>{std::string(kOneSHA1) + ".sha1", two}));
    EXPECT_EQ(ReadWholeFile(m_cache.ToString() + "/" + kOneSHA1 + ".sha1"), "one");
    EXPECT_TRUE(std::filesystem::exists(m_source.ToString() + "/a.txt")) << "the source stays";
}

TEST_F(GatherCacheTest, ANamePresentIsNeverWrittenAgain) {
    WriteSource("a.txt", "one");
    const std::string cached = m_cache.ToString() + "/" + kOneSHA1 + ".sha1";
    WriteWholeFile(cached, "kept as it is");
    CopyFilesIntoGatherCache(m_cache, m_source);
    EXPECT_EQ(ReadWholeFile(cached), "kept as it is");
    EXPECT_TRUE(Write(SHA1Of(m_source.ToString() + "/a.txt"), "never asked for"));
    EXPECT_EQ(ReadWholeFile(cached), "kept as it is");
}

TEST_F(GatherCacheTest, ContentOfAnotherSHA1LeavesNothing) {
    WriteSource("a.txt", "one");
    const DigestRecord one = SHA1Of(m_source.ToString() + "/a.txt");
    EXPECT_EQ(GatherCacheFileName(one), std::string(kOneSHA1) + ".sha1");
    EXPECT_FALSE(Write(one, "not one"));
    EXPECT_TRUE(CacheNames().empty());
    EXPECT_TRUE(Write(one, "one"));
    EXPECT_EQ(CacheNames(), (std::set<std::string>{std::string(kOneSHA1) + ".sha1"}));
}

TEST_F(GatherCacheTest, AProducerThatFailsLeavesNothing) {
    WriteSource("a.txt", "one");
    const auto failing = [](DataReceiver& receiver) {
        receiver.Begin();
        receiver.Receive(ConstData(std::string_view("on")));
        throw FormatError();
    };
    EXPECT_THROW(WriteVerifiedCacheFile(m_cache, SHA1Of(m_source.ToString() + "/a.txt"), failing), FormatError);
    EXPECT_TRUE(CacheNames().empty());
}

}  // namespace
