#include "relay/gather/many_version_list.h"

#include <gtest/gtest.h>

#include <vector>

#include "crypto/openssl_startup.h"
#include "foundation/checksum_receiver.h"

TEST(ManyVersionList, TextCRCAndOrderIgnoreTrailingZeros) {
    InitializeOpenSSL(false);
    const ManyVersionList five = ManyVersionFromRange(std::vector<std::uint32_t>{5});
    const ManyVersionList fiveAndZeros = ManyVersionFromRange(std::vector<std::uint32_t>{5, 0, 0, 0});
    EXPECT_EQ(ManyVersionToText(fiveAndZeros), "5");
    EXPECT_EQ(ManyVersionCRC(five), ManyVersionCRC(fiveAndZeros));
    EXPECT_EQ(ManyVersionDigestText(five), ManyVersionDigestText(fiveAndZeros));
    EXPECT_FALSE(IsManyVersionNewer(five, fiveAndZeros));
    EXPECT_FALSE(IsManyVersionNewer(fiveAndZeros, five));

    const ManyVersionList empty{};
    EXPECT_TRUE(IsManyVersionEmpty(empty));
    EXPECT_EQ(ManyVersionToText(empty), "");
    EXPECT_EQ(ManyVersionCRC(empty), 0u);
    // SHA-1 of the empty text.
    EXPECT_EQ(ManyVersionDigestText(empty), "da39a3ee5e6b4b0d3255bfef95601890afd80709");
}

TEST(ManyVersionList, CRCIsBzip2OverLittleEndianEntries) {
    // The bytes 01 00 00 00 02 00 00 00 through CRC-32/BZIP2.
    const ManyVersionList list = ManyVersionFromRange(std::vector<std::uint32_t>{1, 2});
    const Byte bytes[] = {1, 0, 0, 0, 2, 0, 0, 0};
    EXPECT_EQ(ManyVersionCRC(list), ChecksumOfRange(ConstData(bytes, sizeof bytes)));
    EXPECT_NE(ManyVersionCRC(list), ManyVersionCRC(ManyVersionFromRange(std::vector<std::uint32_t>{2, 1})));
}

TEST(ManyVersionList, ReadsAndWritesItsText) {
    struct Case {
        const char* text;
        std::vector<std::uint32_t> entries;
        const char* written;
    };
    const Case cases[] = {
        {"1,2,3", {1, 2, 3}, "1,2,3"},
        {"3,0,17", {3, 0, 17}, "3,0,17"},
        {"", {}, ""},
        {"4,x,9", {4}, "4"},  // the first item that is no number ends the list
        {"7, 8", {7, 8}, "7,8"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const ManyVersionList list = ManyVersionFromText(c.text);
        EXPECT_EQ(list, ManyVersionFromRange(c.entries));
        EXPECT_EQ(ManyVersionToText(list), c.written);
    }
    std::string all;
    for (int i = 0; i < 130; ++i) all += (i ? "," : "") + std::string("4294967295");
    const ManyVersionList full = ManyVersionFromText(all);
    EXPECT_EQ(full.back(), 4'294'967'295u);
    EXPECT_EQ(ManyVersionToText(full).size(), 1407u);
}

TEST(ManyVersionList, NewerAtTheFirstDifference) {
    auto list = [](std::vector<std::uint32_t> entries) { return ManyVersionFromRange(entries); };
    EXPECT_TRUE(IsManyVersionNewer(list({1, 3}), list({1, 2, 9})));
    EXPECT_FALSE(IsManyVersionNewer(list({1, 2, 9}), list({1, 3})));
    EXPECT_TRUE(IsManyVersionNewer(list({1, 2, 0, 1}), list({1, 2})));
    EXPECT_FALSE(IsManyVersionNewer(list({1, 2}), list({1, 2, 0, 1})));
    EXPECT_TRUE(IsManyVersionNewer(list({4'000'000'000u}), list({1})));
}
