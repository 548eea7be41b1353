#include "foundation/timing_log.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <regex>
#include <thread>

#include "support/recording_log_writer.h"

namespace {

using Messages = std::vector<std::string>;

class TimingLog : public ::testing::Test {
  protected:
    void SetUp() override { StartLogging(); }
    void TearDown() override { StopLogging(); }

    // Starts recording "timing" lines; the registration lives as long as the test.
    RecordingLogWriter& Record() {
        auto writer = std::make_unique<RecordingLogWriter>(std::set<std::string>{"timing"});
        RecordingLogWriter& recorder = *writer;
        m_registration = std::make_unique<LogWriterRegistration>(LogManager::Instance(), std::move(writer));
        return recorder;
    }
    Messages Lines(RecordingLogWriter& recorder) {
        LogManager::Instance().Flush();
        return recorder.Written();
    }

  private:
    std::unique_ptr<LogWriterRegistration> m_registration;
};

// Test labels: TimingLog tsan
TEST_F(TimingLog, NestedScopesAreIndentedAndTimed) {
    RecordingLogWriter& recorder = Record();
    {
        TimingScope outer("ProcessEncryptedReport");
        {
            TimingScope inner("Decrypt");
            std::this_thread::sleep_for(std::chrono::milliseconds(30));
        }
    }
    Messages lines = Lines(recorder);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0], "timing: Entering ProcessEncryptedReport");
    EXPECT_EQ(lines[1], "timing:   Entering Decrypt");
    std::smatch elapsed;
    ASSERT_TRUE(std::regex_match(lines[2], elapsed, std::regex(R"(timing:   Exiting Decrypt \((\d+) ms\))")))
        << lines[2];
    EXPECT_GE(std::stol(elapsed[1]), 30);
    ASSERT_TRUE(std::regex_match(lines[3], elapsed,
                                 std::regex(R"(timing: Exiting ProcessEncryptedReport \((\d+) ms\))")))
        << lines[3];
    EXPECT_GE(std::stol(elapsed[1]), 30);
}

TEST_F(TimingLog, TheDepthMovesWhileTimingIsDisabled) {
    TimingScope unlogged("Outer");
    RecordingLogWriter& recorder = Record();
    { TimingScope inner("Inner"); }
    Messages lines = Lines(recorder);
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "timing:   Entering Inner");
    EXPECT_EQ(lines[1].rfind("timing:   Exiting Inner (", 0), 0u) << lines[1];
}

TEST_F(TimingLog, EachThreadHasItsOwnDepth) {
    RecordingLogWriter& recorder = Record();
    TimingScope outer("Outer");
    std::thread([] { TimingScope other("OtherThread"); }).join();
    Messages lines = Lines(recorder);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[1], "timing: Entering OtherThread");
}

}  // namespace
