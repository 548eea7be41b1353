#include "http/access_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>

#include "foundation/calendar_time.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

constexpr std::int64_t kDay = 86'400'000'000;
const AccessLogExpirationReader kThreeDays = [] { return 3u; };

// 2024-03-09 14:05:31 UTC.
TimeValue March9th() {
    CalendarTime calendar({9, 3, 2024}, {14, 5, 31}, TimeZoneOffset());
    return TimeValue().SetFromCalendar(calendar);
}

AccessLogRequest GetRequest(const char* url, IPAddress client = IPAddress(192, 0, 2, 7)) {
    return {ConstData(std::string_view("GET")), ConstData(std::string_view(url)), client};
}

std::set<std::string> FilesIn(const std::string& folder) {
    std::set<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename());
    return names;
}

TEST(AccessLog, LineCarriesLocalTimeWithItsOffsetClientMethodAndURL) {
    struct Case {
        std::int32_t zoneSeconds;
        const char* stamp;
    };
    for (const Case& test : {Case{0, "2024-03-09 14:05:31 +0000"}, Case{3600, "2024-03-09 15:05:31 +0100"},
                             Case{-(5 * 3600 + 30 * 60), "2024-03-09 08:35:31 -0530"},
                             Case{14 * 3600, "2024-03-10 04:05:31 +1400"}}) {
        AccessLogTime time{March9th(), TimeZoneOffset(test.zoneSeconds)};
        EXPECT_EQ(FormatAccessLogLine(GetRequest("/a/b.txt?x=1"), time),
                  std::string(test.stamp) + " -- 192.0.2.7 GET /a/b.txt?x=1\n");
    }
    AccessLogTime utc{March9th(), TimeZoneOffset()};
    EXPECT_EQ(FormatAccessLogLine(GetRequest("/", IPv6Loopback()), utc),
              "2024-03-09 14:05:31 +0000 -- ::1 GET /\n");
}

TEST(AccessLog, AppendsToTheFileOfTheLocalDate) {
    TemporaryFolder folder;
    AccessLogPurgeSchedule schedule;
    FileLocation directory(folder.Path().c_str());
    AccessLogTime evening{March9th(), TimeZoneOffset(11 * 3600)};  // already March 10th there
    WriteAccessLogLine(directory, kThreeDays, GetRequest("/first"), evening, schedule);
    WriteAccessLogLine(directory, kThreeDays, GetRequest("/second"), evening, schedule);
    EXPECT_EQ(FilesIn(folder.Path()), std::set<std::string>{"20240310.log"});
    EXPECT_EQ(ReadWholeFile(folder / "20240310.log"),
              "2024-03-10 01:05:31 +1100 -- 192.0.2.7 GET /first\n"
              "2024-03-10 01:05:31 +1100 -- 192.0.2.7 GET /second\n");
}

TEST(AccessLog, NoDirectoryMeansNoLogAndNoError) {
    TemporaryFolder folder;
    AccessLogPurgeSchedule schedule;
    AccessLogTime time{March9th(), TimeZoneOffset()};
    WriteWholeFile(folder / "plain", "x");
    for (const FileLocation& directory : {FileLocation(), FileLocation((folder / "missing").c_str()),
                                          FileLocation((folder / "plain").c_str())}) {
        WriteAccessLogLine(directory, kThreeDays, GetRequest("/x"), time, schedule);
    }
    EXPECT_EQ(FilesIn(folder.Path()), std::set<std::string>{"plain"});
}

class AccessLogPurge : public ::testing::Test {
  protected:
    void SetUp() override {
        for (const char* name :
             {"20240309.log", "20240306.log", "20240305.log", "20240101.log", "20240310.log", "20241309.log",
              "20240230.log", "2024039.log", "20240305.txt", "notes.log", "2024030a.log", "+2024030.log"}) {
            WriteWholeFile(folder / name, "line\n");
        }
        std::filesystem::create_directory(folder / "20240101.log.d");
        std::filesystem::create_directory(folder / "20240102.log");
    }

    TemporaryFolder folder;
    FileLocation directory{folder.Path().c_str()};
    AccessLogPurgeSchedule schedule;
    AccessLogTime today{March9th(), TimeZoneOffset()};
};

TEST_F(AccessLogPurge, DeletesDayFilesOlderThanTheExpirationOrInTheFuture) {
    PurgeExpiredAccessLogs(directory, kThreeDays, today, schedule);
    EXPECT_EQ(FilesIn(folder.Path()),
              (std::set<std::string>{"20240309.log", "20240306.log", "20241309.log", "20240230.log",
                                     "2024039.log", "20240305.txt", "notes.log", "2024030a.log",
                                     "+2024030.log", "20240101.log.d", "20240102.log"}));
}

TEST_F(AccessLogPurge, RunsOnceADayAtMostAndNotAtAllWithZeroDays) {
    PurgeExpiredAccessLogs(
        directory, [] { return 0u; }, today, schedule);  // takes the day's turn, deletes nothing
    EXPECT_TRUE(std::filesystem::exists(folder / "20240101.log"));
    PurgeExpiredAccessLogs(directory, kThreeDays, {today.utc + kDay, today.zone}, schedule);
    EXPECT_TRUE(std::filesystem::exists(folder / "20240101.log"));
    PurgeExpiredAccessLogs(directory, kThreeDays, {today.utc + kDay + 1, today.zone}, schedule);
    EXPECT_FALSE(std::filesystem::exists(folder / "20240101.log"));
}

TEST_F(AccessLogPurge, WritingALinePurgesFirst) {
    WriteAccessLogLine(directory, kThreeDays, GetRequest("/x"), today, schedule);
    EXPECT_FALSE(std::filesystem::exists(folder / "20240305.log"));
    EXPECT_EQ(ReadWholeFile(folder / "20240309.log"),
              "line\n2024-03-09 14:05:31 +0000 -- 192.0.2.7 GET /x\n");
}

}  // namespace
