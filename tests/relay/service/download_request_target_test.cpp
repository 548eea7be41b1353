#include "relay/service/download_request_target.h"

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

#include "base/numerals.h"
#include "relay/service/download_status.h"

namespace {

DigestRecord Digest(std::size_t length, Byte fill = 0xab) {
    std::vector<Byte> bytes(length, fill);
    return DigestRecord(bytes.data(), bytes.data() + bytes.size());
}

const std::string kHex40 = "abababababababababababababababababababab";

std::string Text(const DownloadRequestTarget& target) {
    return downloadRequestTargetText(target);
}

TEST(DownloadRequestTarget, EveryTargetHasOneOfThreeShapes) {
    enum Shape { Refused, URLRequest, Indexed, Dynamic };
    const struct {
        const char* name;
        std::function<DownloadRequestTarget()> make;
        Shape shape;
    } cases[] = {
        {"action alone", [] { return DownloadRequestTarget(7, {}, {}, {}, {}); }, URLRequest},
        {"index and URL", [] { return DownloadRequestTarget(7, 0, {}, {}, "u"); }, Indexed},
        {"index, URL, digest and size", [] { return DownloadRequestTarget(7, 0, Digest(20), 5, "u"); }, Indexed},
        {"digest, size and URL", [] { return DownloadRequestTarget(7, {}, Digest(20), 5, "u"); }, Dynamic},
        {"index without URL", [] { return DownloadRequestTarget(7, 0, {}, {}, {}); }, Refused},
        {"digest and URL without size", [] { return DownloadRequestTarget(7, {}, Digest(20), {}, "u"); }, Refused},
        {"URL alone", [] { return DownloadRequestTarget(7, {}, {}, {}, "u"); }, Refused},
        {"size alone", [] { return DownloadRequestTarget(7, {}, {}, 5, {}); }, Refused},
        {"no action", [] { return DownloadRequestTarget({}, 0, Digest(20), 5, "u"); }, Refused},
        {"nothing", [] { return DownloadRequestTarget({}, {}, {}, {}, {}); }, Refused},
        // A digest is a whole SHA-1 or nothing.
        {"dynamic, 19-byte digest", [] { return DownloadRequestTarget(7, {}, Digest(19), 5, "u"); }, Refused},
        {"dynamic, 21-byte digest", [] { return DownloadRequestTarget(7, {}, Digest(21), 5, "u"); }, Refused},
        {"dynamic, empty digest", [] { return DownloadRequestTarget(7, {}, Digest(0), 5, "u"); }, Refused},
        {"indexed, 32-byte digest", [] { return DownloadRequestTarget::Indexed(7, 0, "u", Digest(32)); }, Refused},
        {"URL request", [] { return DownloadRequestTarget::URLRequest(7); }, URLRequest},
        {"indexed", [] { return DownloadRequestTarget::Indexed(7, 0, "u"); }, Indexed},
        {"dynamic", [] { return DownloadRequestTarget::Dynamic(7, Digest(20), 0, ""); }, Dynamic},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        if (c.shape == Refused) {
            EXPECT_THROW(c.make(), NotADownloadRequestTarget);
            continue;
        }
        const DownloadRequestTarget target = c.make();
        EXPECT_EQ(target.IsURLRequest(), c.shape == URLRequest);
        EXPECT_EQ(target.IsIndexed(), c.shape == Indexed);
        EXPECT_EQ(target.IsDynamic(), c.shape == Dynamic);
    }
}

TEST(DownloadRequestTargetText, WritesEveryFieldAndNullForTheAbsent) {
    const struct {
        DownloadRequestTarget target;
        const char* text;
    } cases[] = {
        {DownloadRequestTarget::URLRequest(7), "aid=7,index=null,sha1=null,size=null,url=null"},
        {DownloadRequestTarget::Indexed(12, 0, "a b,c", std::nullopt, 5000),
         "aid=12,index=0,sha1=null,size=5000,url=a%20b%2cc"},
        {DownloadRequestTarget::Dynamic(4294967295u, Digest(20), 18446744073709551615u, "http://h/f~x_y.z-1"),
         "aid=4294967295,index=null,sha1=abababababababababababababababababababab,size=18446744073709551615,"
         "url=http%3a%2f%2fh%2ff~x_y.z-1"},
        {DownloadRequestTarget::Indexed(0, 0, ""), "aid=0,index=0,sha1=null,size=null,url="},
    };
    for (const auto& c : cases) EXPECT_EQ(Text(c.target), c.text);
}

TEST(ParseDownloadRequestTarget, TextsComeBackAsTheTargetsTheyWereWrittenFrom) {
    const std::string nulURL("a\0b", 3);
    const DownloadRequestTarget targets[] = {
        DownloadRequestTarget::URLRequest(7),
        DownloadRequestTarget::Indexed(1, 2, "http://h/a,b=c&d=e%41"),
        DownloadRequestTarget::Indexed(1, 2, "", Digest(20, 0x00), 0),
        DownloadRequestTarget::Dynamic(3, Digest(20, 0xff), 99, nulURL),
        DownloadRequestTarget::Dynamic(3, Digest(20, 0x5c), 99, "\xC3\xA9 null ,,== \x80"),
    };
    for (const DownloadRequestTarget& target : targets) {
        SCOPED_TRACE(Text(target));
        const DownloadRequestTarget parsed = ParseDownloadRequestTarget(Text(target));
        EXPECT_EQ(Text(parsed), Text(target));
        EXPECT_EQ(parsed.GetURL(), target.GetURL());
        EXPECT_FALSE(DownloadRequestTargetLess()(parsed, target));
        EXPECT_FALSE(DownloadRequestTargetLess()(target, parsed));
    }
}

TEST(ParseDownloadRequestTarget, ReadsValuesByPositionWhateverTheKeys) {
    const struct {
        const char* text;
        const char* target;
    } cases[] = {
        {"a=7,b=null,c=null,d=null,e=null", "aid=7,index=null,sha1=null,size=null,url=null"},
        {"aid=7,index=1,sha1=" "ABABABABABABABABABABABABABABABABABABABAB,size=5,url=x",
         "aid=7,index=1,sha1=abababababababababababababababababababab,size=5,url=x"},
        {"aid=7,index=1,sha1=null,size=null,url=x,more=1,and=2", "aid=7,index=1,sha1=null,size=null,url=x"},
        {"aid=7,index=1,sha1=null,size=null,url=", "aid=7,index=1,sha1=null,size=null,url="},
        {"aid=7,index=1,sha1=null,size=null,url=%zz%2", "aid=7,index=1,sha1=null,size=null,url=%25zz"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(Text(ParseDownloadRequestTarget(c.text)), c.target);
    }
}

template <class Failure>
void ExpectParseFailure(const std::string& text) {
    EXPECT_THROW(ParseDownloadRequestTarget(text), Failure);
}

TEST(ParseDownloadRequestTarget, RefusesTextsThatNameNoTarget) {
    const std::string hex39 = kHex40.substr(1);
    const struct {
        std::string text;
        void (*expectFailure)(const std::string&);
    } cases[] = {
        {"aid=7", ExpectParseFailure<NextValueException>},
        {"aid=7,index=null,sha1=null,size=null",
         ExpectParseFailure<NextValueException>},
        {"", ExpectParseFailure<NextValueException>},
        {"aid=NULL,index=null,sha1=null,size=null,url=null",
         ExpectParseFailure<NotANumeral>},
        // A value runs to the next ",": here "7=null=null=null=", which is no number.
        {"=7=null=null=null=", ExpectParseFailure<NotANumeral>},
        {"aid=,index=null,sha1=null,size=null,url=null",
         ExpectParseFailure<NotANumeral>},
        {"aid=-1,index=null,sha1=null,size=null,url=null",
         ExpectParseFailure<NotANumeral>},
        {"aid=4294967296,index=null,sha1=null,size=null,url=null",
         ExpectParseFailure<NumeralTooLarge>},
        {"aid=1,index=4294967296,sha1=null,size=null,url=x",
         ExpectParseFailure<NumeralTooLarge>},
        {"aid=1,index=null,sha1=" + kHex40 + ",size=18446744073709551616,url=x",
         ExpectParseFailure<NumeralTooLarge>},
        {"aid=1,index=null,sha1=" + hex39 + ",size=1,url=x",
         ExpectParseFailure<NotADownloadRequestTarget>},
        {"aid=1,index=null,sha1=" + kHex40 + "a,size=1,url=x",
         ExpectParseFailure<NotADownloadRequestTarget>},
        {"aid=1,index=null,sha1=" + hex39 + "g,size=1,url=x",
         ExpectParseFailure<NotADownloadRequestTarget>},
        {"aid=1,index=null,sha1=" + hex39 + " ,size=1,url=x",
         ExpectParseFailure<NotADownloadRequestTarget>},
        {"aid=1,index=null,sha1=,size=1,url=x",
         ExpectParseFailure<NotADownloadRequestTarget>},
        {"aid=1,index=null,sha1=null,size=1,url=x",
         ExpectParseFailure<NotADownloadRequestTarget>},
        {"aid=1,index=2,sha1=null,size=null,url=null",
         ExpectParseFailure<NotADownloadRequestTarget>},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        c.expectFailure(c.text);
    }
}

TEST(DownloadRequestTargetLess, OrdersByActionDigestSizeIndexAndURL) {
    // In the expected order.
    const std::vector<DownloadRequestTarget> sorted = {
        DownloadRequestTarget::Dynamic(9, Digest(20, 0x01), 5, "b"),
        DownloadRequestTarget::Dynamic(9, Digest(20, 0x02), 1, "a"),
        DownloadRequestTarget::Indexed(9, 7, "z", Digest(20, 0x02), 2),
        // Same digest and size: by index, a present index first.
        DownloadRequestTarget::Indexed(9, 1, "z", Digest(20, 0x03), 2),
        DownloadRequestTarget::Indexed(9, 4, "a", Digest(20, 0x03), 2),
        DownloadRequestTarget::Dynamic(9, Digest(20, 0x03), 2, "a"),
        // Without a digest: after every digest.
        DownloadRequestTarget::Indexed(9, 0, "y", std::nullopt, 1),
        DownloadRequestTarget::Indexed(9, 0, "a"),
        DownloadRequestTarget::Indexed(9, 1, "a"),
        // URLs by unsigned bytes, a prefix first.
        DownloadRequestTarget::Indexed(9, 2, "a"),
        DownloadRequestTarget::Indexed(9, 2, "ab"),
        DownloadRequestTarget::Indexed(9, 2, "b"),
        DownloadRequestTarget::Indexed(9, 2, "\x80"),
        DownloadRequestTarget::URLRequest(9),
        // Actions as numbers, not texts.
        DownloadRequestTarget::URLRequest(10),
        DownloadRequestTarget::URLRequest(4294967295u),
    };
    const DownloadRequestTargetLess less;
    for (std::size_t i = 0; i < sorted.size(); ++i) {
        for (std::size_t j = 0; j < sorted.size(); ++j)
            EXPECT_EQ(less(sorted[i], sorted[j]), i < j) << Text(sorted[i]) << " against " << Text(sorted[j]);
    }
    std::set<DownloadRequestTarget, DownloadRequestTargetLess> set(sorted.rbegin(), sorted.rend());
    set.insert(DownloadRequestTarget::Indexed(9, 2, "ab"));
    EXPECT_EQ(set.size(), sorted.size());
}

TEST(DownloadStatus, NamesOfTheStoredAndReportedValues) {
    const char* const states[] = {"NEW",    "REQUEST_SUBMITTED", "DOWNLOADING", "COMPLETED",
                                  "FAILED", "QUEUED",            "SUSPENDED"};
    for (std::uint32_t number = 0; number < 7; ++number) {
        EXPECT_STREQ(DownloadStateName(static_cast<DownloadStateStatus>(number)), states[number]);
        EXPECT_EQ(DownloadStateStatusFromNumber(number), static_cast<DownloadStateStatus>(number));
    }
    EXPECT_THROW(DownloadStateName(static_cast<DownloadStateStatus>(7)), InvalidDownloadStateStatus);
    EXPECT_THROW(DownloadStateStatusFromNumber(4294967295u), InvalidDownloadStateStatus);

    EXPECT_STREQ(DownloadMirrorActionStatusName(DownloadMirrorActionStatus::Failed), "Failed");
    EXPECT_STREQ(DownloadMirrorActionStatusName(DownloadMirrorActionStatus::Pending), "Pending");
    EXPECT_STREQ(DownloadErrorKindName(DownloadErrorKind::DownloadWhitelistFailure), "DownloadWhitelistFailure");
    EXPECT_STREQ(DownloadErrorKindName(DownloadErrorKind::RemovedFromCache), "RemovedFromCache");
    const DownloadError error;
    EXPECT_EQ(error.kind, DownloadErrorKind::Generic);
    EXPECT_EQ(error.message, "");
}

}  // namespace
