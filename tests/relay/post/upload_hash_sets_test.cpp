#include "relay/post/upload_hash_sets.h"

#include <gtest/gtest.h>

#include <string>

#include "crypto/openssl_startup.h"
#include "relay/post/upload_test_support.h"

namespace {

constexpr std::int64_t kHour = 3'600'000'000;

class HashSetMapTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    // The map's clock, stepped by the test.
    std::int64_t now = 1'000'000;
    UploadMachine machine;  // "CleanupHours" as the test sets it, 72 by default
    HashSetMap map{[this] { return now; }};
};

void Feed(LockedHashSet& hash, const std::string& bytes) {
    hash.Receive(ConstData(std::string_view(bytes)));
}

std::string Finished(HashSetMap& map, const std::string& key) {
    auto hash = map.Lock(key);
    hash->End();
    return DigestRecordToText(hash->GetDigest());
}

}  // namespace

// First chunk, later chunks, final check: the digest is the SHA-1 of every byte in order.
TEST_F(HashSetMapTest, HashesAnUploadAcrossItsChunks) {
    {
        auto first = map.Create("guid");
        first->Begin();
        Feed(*first, "hello ");
    }
    {
        auto later = map.Lock("guid");
        Feed(*later, "world");
    }
    EXPECT_EQ(Finished(map, "guid"), Sha1Hex("hello world"));
    EXPECT_EQ(map.Count(), 0u);
    EXPECT_THROW(map.Lock("guid"), GUIDNotInHashMap);
    EXPECT_THROW(map.Finish("guid"), GUIDNotInHashMap);
}

// While one request holds an entry nobody else can take it, nor start it over; letting it go frees it.
TEST_F(HashSetMapTest, AnEntryHasOneHolderAtATime) {
    auto holder = map.Create("guid");
    holder->Begin();
    EXPECT_THROW(map.Lock("guid"), LockedHashSetInUse);
    EXPECT_THROW(map.Create("guid"), LockedHashSetInUse);
    EXPECT_THROW(holder->GetDigest(), HashCalculationNotFinished);
    holder.reset();
    EXPECT_NO_THROW(map.Lock("guid"));
}

// A client that starts over at offset 0 gets a fresh hash.
TEST_F(HashSetMapTest, CreateStartsAKnownKeyOver) {
    {
        auto first = map.Create("guid");
        first->Begin();
        Feed(*first, "stale bytes");
    }
    {
        auto again = map.Create("guid");
        again->Begin();
        Feed(*again, "fresh");
    }
    EXPECT_EQ(map.Count(), 1u);
    EXPECT_EQ(Finished(map, "guid"), Sha1Hex("fresh"));
}

// An entry unused for longer than "CleanupHours" goes when another upload finishes, not before; one
// held at that moment stays.
TEST_F(HashSetMapTest, StaleEntriesGoWhenAnotherUploadFinishes) {
    map.Create("abandoned")->Begin();
    auto held = map.Create("held");
    held->Begin();
    map.Create("finishing")->Begin();
    now += 73 * kHour;
    EXPECT_EQ(map.Count(), 3u);
    Finished(map, "finishing");
    EXPECT_EQ(map.Count(), 1u);
    EXPECT_THROW(map.Lock("abandoned"), GUIDNotInHashMap);
    held.reset();
    EXPECT_NO_THROW(map.Lock("held"));
}

TEST_F(HashSetMapTest, TheStaleAgeIsTheCleanupSetting) {
    machine.SetNamed("_KVRRelay_UploadManager_CleanupHours", "1");
    map.Create("abandoned")->Begin();
    map.Create("finishing")->Begin();
    now += 2 * kHour;
    Finished(map, "finishing");
    EXPECT_EQ(map.Count(), 0u);
}
