#include "crypto/asn1_time.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

namespace {

struct TimeDeleter {
    void operator()(ASN1_TIME* time) const { ASN1_TIME_free(time); }
};

// The text as an ASN.1 time value, unchecked, as it could arrive in a certificate.
std::unique_ptr<ASN1_TIME, TimeDeleter> TimeOf(const std::string& text) {
    std::unique_ptr<ASN1_TIME, TimeDeleter> time(ASN1_TIME_new());
    ASN1_STRING_set(time.get(), text.data(), static_cast<int>(text.size()));
    return time;
}

TEST(ParseASN1Time, ReadsBothFormsWithTheUTCTimeCenturyRule) {
    struct Case {
        const char* text;
        unsigned year, month, day, hour, minute, second;
    };
    const Case cases[] = {
        {"490630123456Z", 2049, 6, 30, 12, 34, 56},
        {"500101000000Z", 1950, 1, 1, 0, 0, 0},
        {"991231235959Z", 1999, 12, 31, 23, 59, 59},
        {"000229000000Z", 2000, 2, 29, 0, 0, 0},
        {"20500101000000Z", 2050, 1, 1, 0, 0, 0},
        {"19491231235959Z", 1949, 12, 31, 23, 59, 59},
    };
    for (const Case& c : cases) {
        CalendarTime time = ParseASN1Time(TimeOf(c.text).get());
        EXPECT_EQ(time.date.year, c.year) << c.text;
        EXPECT_EQ(time.date.month, c.month) << c.text;
        EXPECT_EQ(time.date.day, c.day) << c.text;
        EXPECT_EQ(time.time.hour, c.hour) << c.text;
        EXPECT_EQ(time.time.minute, c.minute) << c.text;
        EXPECT_EQ(time.time.second, c.second) << c.text;
        EXPECT_EQ(time.zone.seconds, 0) << c.text;
    }
}

TEST(ParseASN1Time, RefusesEveryOtherShape) {
    const char* bad[] = {
        "4906301234567Z",   // 14 characters
        "49063012345Z",     // 12
        "4906301234a6Z",    // a letter before the Z
        "490630123456+",    // no Z
        "4906301234560",
        "491330123456Z",    // month 13
        "490230123456Z",    // 30 February
        "490630243456Z",    // hour 24
        "20490630123460Z",  // second 60
        "",
    };
    for (const char* text : bad) EXPECT_THROW(ParseASN1Time(TimeOf(text).get()), InvalidASN1_TIME) << text;
    EXPECT_THROW(ParseASN1Time(nullptr), InvalidASN1_TIME);
}

}  // namespace
