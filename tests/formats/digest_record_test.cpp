#include "formats/digest_record.h"

#include <gtest/gtest.h>

#include <vector>

namespace {
DigestRecord RecordOf(std::size_t length, Byte fill) {
    std::vector<Byte> bytes(length, fill);
    return DigestRecord(bytes.data(), bytes.data() + bytes.size());
}
}  // namespace

TEST(DigestRecord, HoldsUpToSixtyFourBytes) {
    DigestRecord sha512 = RecordOf(64, 0xab);
    EXPECT_EQ(sha512.Bytes().Length(), 64u);
    std::string expected;
    for (int i = 0; i < 64; ++i) expected += "ab";
    EXPECT_EQ(sha512.ToHex(), expected);
    EXPECT_TRUE(RecordOf(65, 1).IsEmpty());
    const Byte sha1Start[] = {0xda, 0x39, 0xa3, 0xee, 0x5e};
    EXPECT_EQ(DigestRecord(sha1Start, sha1Start + 5).ToHex(), "da39a3ee5e");
}

TEST(DigestRecord, EmptyRecordsEqualNothing) {
    DigestRecord tooLong = RecordOf(65, 1);
    EXPECT_FALSE(DigestRecordsEqual(tooLong, tooLong));
    EXPECT_FALSE(DigestRecordsEqual(DigestRecord(), DigestRecord()));
    EXPECT_TRUE(DigestRecordsEqual(RecordOf(20, 7), RecordOf(20, 7)));
    EXPECT_FALSE(DigestRecordsEqual(RecordOf(20, 7), RecordOf(20, 8)));
    EXPECT_FALSE(DigestRecordsEqual(RecordOf(20, 7), RecordOf(32, 7)));
}
