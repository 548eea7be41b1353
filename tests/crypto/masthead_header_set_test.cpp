#include "crypto/masthead_header_set.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

struct HeaderLine {
    std::string name;
    std::string value;
};

// Runs the lines through a fresh maker, each value cut into single bytes as a reader may deliver it.
MastheadHeaderSet ReadHeaders(const std::vector<HeaderLine>& lines, DataReceiver* companion = nullptr) {
    MastheadHeaderSet headers;
    MastheadHeaderSetMaker maker(headers, companion);
    maker.Begin();
    for (const HeaderLine& line : lines) {
        DataReceiver& value = maker.Header(ConstData(std::string_view(line.name)));
        value.Begin();
        for (char c : line.value) value.Receive(ConstData(&c, 1));
        value.End();
    }
    return headers;
}

constexpr std::uint64_t kSecond = 1'000'000;

TEST(MastheadHeaderSetMakerTest, PeriodWords) {
    struct Case {
        const char* value;
        std::uint64_t seconds;
    };
    const Case cases[] = {
        {"Two Weeks", 1'209'600},     {"fifteen minutes", 900}, {"half hour", 1'800},
        {"TWO MONTHS", 5'184'000},    {"week", 604'800},        {"fortnight", 86'400},
        {"", 86'400},                 {"hour ", 86'400},  // the word is looked up exactly
        {"fifteen minutesX", 86'400}, {"two weeks and more than sixteen", 86'400},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        EXPECT_EQ(ReadHeaders({{"x-mendle-site-update-frequency", c.value}}).UpdateFrequency, c.seconds * kSecond);
    }
    EXPECT_EQ(ReadHeaders({}).UpdateFrequency, 86'400 * kSecond);
}

TEST(MastheadHeaderSetMakerTest, DecimalFields) {
    struct Case {
        const char* value;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {"12 34", 1234}, {"4294967295", 4294967295u}, {"4294967296", 0}, {"12a", 0}, {"", 0}, {"\t7", 7},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.value);
        const MastheadHeaderSet headers = ReadHeaders({{"x-mendle-site-serial-number", c.value},
                                                       {"x-mendle-site-unique-site-id", c.value},
                                                       {"x-kvr-require-fips-cryptography", c.value}});
        EXPECT_EQ(headers.SerialNumber, c.expected);
        EXPECT_EQ(headers.UniqueSiteID, c.expected);
        EXPECT_EQ(headers.RequireFipsCryptography, c.expected);
    }
    // A bad repeat keeps the good value before it.
    EXPECT_EQ(ReadHeaders({{"x-mendle-site-serial-number", "5"}, {"x-mendle-site-serial-number", "x"}}).SerialNumber,
              5u);
}

TEST(MastheadHeaderSetMakerTest, VersionComparison) {
    struct Case {
        std::vector<const char*> values;
        std::uint32_t expected;
    };
    const Case cases[] = {
        {{"3"}, MastheadVersion::kHigher},
        {{"2"}, MastheadVersion::kEqual},
        {{"1"}, MastheadVersion::kLower},
        {{"0"}, MastheadVersion::kLower},
        {{"two"}, MastheadVersion::kNone},
        {{}, MastheadVersion::kNone},
        {{"1", "3"}, MastheadVersion::kLower},  // the first mismatch stands
        {{"1", "2"}, MastheadVersion::kEqual},  // a match always wins
    };
    for (const Case& c : cases) {
        std::vector<HeaderLine> lines;
        for (const char* value : c.values) lines.push_back({"x-mendle-site-masthead-version", value});
        EXPECT_EQ(ReadHeaders(lines).VersionComparison, c.expected) << testing::PrintToString(c.values);
    }
}

TEST(MastheadHeaderSetMakerTest, TextsAreCutAtTheirCapacity) {
    const MastheadHeaderSet headers = ReadHeaders({
        {"x-mendle-site-name", std::string(300, 'n')},
        {"x-mendle-site-assertion", std::string(600, 'a')},
        {"x-kvr-action-lock-controller", std::string(40, 'c')},
        {"X-Mendle-Site-Gather-URL", "http://relay.example:52311/cgi-bin/bfgather.exe/actionsite"},
        {"x-unknown-header", "ignored"},
    });
    EXPECT_EQ(headers.SiteName.Text(), std::string(256, 'n'));
    EXPECT_EQ(headers.Assertion.Text(), std::string(512, 'a'));
    EXPECT_EQ(headers.ActionLockController.Text(), std::string(32, 'c'));
    EXPECT_EQ(headers.GatherURL.Text(), "http://relay.example:52311/cgi-bin/bfgather.exe/actionsite");
}

TEST(MastheadHeaderSetMakerTest, RepeatedOmitSiteLinesCollectAllButTheLast) {
    const MastheadHeaderSet headers = ReadHeaders({{"x-kvr-action-lock-omit-site", "A"},
                                                   {"x-kvr-action-lock-omit-site", "B"},
                                                   {"x-kvr-action-lock-omit-site", "C"}});
    EXPECT_EQ(headers.OmittedSites, (std::vector<std::string>{"A", "B"}));
    EXPECT_EQ(headers.ActionLockOmitSite.Text(), "C");
}

TEST(MastheadHeaderSetMakerTest, BeginForgetsAnEarlierMastheadButKeepsTheExpectedVersion) {
    MastheadHeaderSet headers;
    headers.ExpectedVersion = 5;
    MastheadHeaderSetMaker maker(headers);
    maker.Begin();
    for (const HeaderLine& line : std::vector<HeaderLine>{{"x-mendle-site-name", "old"},
                                                          {"x-kvr-action-lock-omit-site", "A"},
                                                          {"x-kvr-action-lock-omit-site", "B"},
                                                          {"x-mendle-site-update-frequency", "week"},
                                                          {"x-relevant-when", "true"},
                                                          {"x-mendle-site-masthead-version", "5"}}) {
        DataReceiver& value = maker.Header(ConstData(std::string_view(line.name)));
        value.Begin();
        value.Receive(ConstData(std::string_view(line.value)));
        value.End();
    }
    EXPECT_EQ(headers.VersionComparison, MastheadVersion::kEqual);
    maker.Begin();
    EXPECT_TRUE(headers.SiteName.IsEmpty());
    EXPECT_TRUE(headers.ActionLockOmitSite.IsEmpty());
    EXPECT_TRUE(headers.OmittedSites.empty());
    EXPECT_TRUE(headers.Relevance.empty());
    EXPECT_EQ(headers.UpdateFrequency, 86'400 * kSecond);
    EXPECT_EQ(headers.VersionComparison, MastheadVersion::kNone);
    EXPECT_EQ(headers.ExpectedVersion, 5);
}

TEST(MastheadHeaderSetMakerTest, RelevanceIsKeptWholeAndSharedWithTheCompanion) {
    const std::string relevance = "exists file \"" + std::string(5000, 'x') + "\"";
    std::string companionCopy;
    StringReceiver companion(companionCopy);
    const MastheadHeaderSet headers = ReadHeaders({{"x-relevant-when", relevance}}, &companion);
    EXPECT_EQ(headers.Relevance, relevance);
    EXPECT_EQ(companionCopy, relevance);
}

TEST(MastheadHeaderSetMakerTest, AnOutsizedRelevanceIsRefusedNotCut) {
    MastheadHeaderSet headers;
    MastheadHeaderSetMaker maker(headers);
    maker.Begin();
    DataReceiver& value = maker.Header(ConstData(std::string_view("x-relevant-when")));
    value.Begin();
    const std::string chunk(64 * 1024, 'r');
    EXPECT_THROW(
        for (std::size_t sent = 0; sent <= kMaximumRelevanceBytes; sent += chunk.size())
            value.Receive(ConstData(std::string_view(chunk))),
        MastheadRelevanceTooLong);
    EXPECT_LE(headers.Relevance.size(), kMaximumRelevanceBytes);
}

}  // namespace
