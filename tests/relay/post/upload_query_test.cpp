#include "relay/post/upload_query.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string RefusalOf(const std::string& query) {
    try {
        ParseUploadQuery(query);
    } catch (const UploadRefused& refused) {
        return refused.what();
    }
    return "";
}

}  // namespace

TEST(UploadQuery, ReadsTheKeysAndTheRanges) {
    const struct {
        std::string query;
        std::uint64_t start, end, total;
    } cases[] = {
        {"sha1=ab&range=5,9,20", 5, 9, 20},
        {"sha1=ab&chunkrange=5,9&totalsize=20", 5, 9, 20},
        {"sha1=ab&totalsize=20&range=,,", 0, 0, 0},  // a later key overrides an earlier one
        {"sha1=ab&range=0,0,1;other=ignored", 0, 0, 1},
        {"sha1=ab&range=0,18446744073709551614,18446744073709551615", 0, 18446744073709551614ull,
         18446744073709551615ull},
    };
    for (const auto& each : cases) {
        const UploadQuery query = ParseUploadQuery(each.query);
        EXPECT_EQ(query.start, each.start) << each.query;
        EXPECT_EQ(query.end, each.end) << each.query;
        EXPECT_EQ(query.total, each.total) << each.query;
    }
    const UploadQuery web = ParseUploadQuery("wwwname=a%20b.txt&sha1=AB&guid=g-1&sha1=CD");
    EXPECT_TRUE(web.IsWebUpload());
    EXPECT_EQ(web.wwwname, "a b.txt");
    EXPECT_EQ(web.sha1, "CD");
    EXPECT_EQ(web.Key(), "g-1");
    EXPECT_EQ(ParseUploadQuery("sha1=CD").Key(), "CD");
    EXPECT_FALSE(ParseUploadQuery("sha1=CD").IsWebUpload());
    EXPECT_EQ(ParseUploadQuery("sha1=CD&range=3,7,10").ChunkLength(), 5u);
}

TEST(UploadQuery, RefusesMalformedRangesAndNamesThatLeaveTheirFolder) {
    const std::string longest(255, 'g');
    const struct {
        std::string query;
        std::string refusal;
    } cases[] = {
        {"", "no query parameters specified -- no hash value specified"},
        {"sha1=ab&range=1", "invalid range specification (first comma not found)"},
        {"sha1=ab&range=1,2", "invalid range specification (second comma not found)"},
        {"sha1=ab&chunkrange=1", "invalid range specification (comma not found)"},
        {"sha1=ab&range=1,x,3", "invalid range value (not a decimal number)"},
        {"sha1=ab&range=-1,2,3", "invalid range value (not a decimal number)"},
        {"sha1=ab&totalsize=18446744073709551616", "invalid range value (not a decimal number)"},
        {"sha1=ab&range=3,2,10", "invalid range value (start > end)"},
        {"sha1=ab&range=0,10,10", "invalid range value (end >= total size)"},
        {"sha1=ab&chunkrange=0,10&totalsize=5", "invalid range value (end >= total size)"},
        {"sha1=..%5C..%5Cx", "the hash value contained a character which is not allowed."},
        {"sha1=a.b", "the hash value contained a character which is not allowed."},
        {"sha1=a:b", "the hash value contained a character which is not allowed."},
        {"sha1=a%2Fb", "the hash value contained a character which is not allowed."},
        {"sha1=a%01b", "the hash value contained a character which is not allowed."},
        {"sha1=" + longest + "g", "the hash value contained a character which is not allowed."},
        {"sha1=ab&guid=", "the guid value contained a character which is not allowed."},
        {"sha1=ab&guid=..", "the guid value contained a character which is not allowed."},
        {"sha1=ab&guid=a%2F..%2Fb", "the guid value contained a character which is not allowed."},
        {"sha1=ab&guid=a%5Cb", "the guid value contained a character which is not allowed."},
        {"sha1=ab&guid=" + longest + "g", "the guid value contained a character which is not allowed."},
        {"wwwname=..", "the wwwname value contained a character which is not allowed."},
        {"wwwname=%2Fetc%2Fpasswd", "the wwwname value contained a character which is not allowed."},
        {"wwwname=a%0Ab", "the wwwname value contained a character which is not allowed."},
    };
    for (const auto& each : cases) EXPECT_EQ(RefusalOf(each.query), each.refusal) << each.query;
    // "_" and the longest key still name one file.
    EXPECT_EQ(RefusalOf("sha1=" + longest + "&guid=" + longest), "");
}

TEST(UploadQuery, AnUploadThatIsStoredNeedsItsHashAndSize) {
    const struct {
        std::string query;
        std::string refusal;
    } cases[] = {
        {"sha1=ab&range=0,0,1", ""},
        {"wwwname=a&range=0,0,1", "no hash value specified"},
        {"sha1=&range=0,0,1", "no hash value specified"},
        {"sha1=ab&range=0,0,", "total size of file cannot be 0 (possibly invalid or missing range value)"},
    };
    for (const auto& each : cases) {
        std::string refusal;
        try {
            CheckHashAndSize(ParseUploadQuery(each.query));
        } catch (const UploadRefused& refused) {
            refusal = refused.what();
        }
        EXPECT_EQ(refusal, each.refusal) << each.query;
    }
}
