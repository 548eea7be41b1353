#include "settings/log_file_writer.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <regex>
#include <string>

#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "settings/registry_functions.h"
#include "support/captured_standard_error.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

// "Thu, 01 Jan 1970 00:00:00 +0000 - ": what every line starts with; 34 bytes.
const std::string kTimeStamp = R"([A-Z][a-z]{2}, \d\d [A-Z][a-z]{2} \d{4} \d\d:\d\d:\d\d [+-]\d{4} - )";
constexpr std::size_t kTimeStampLength = 34;

bool Matches(const std::string& text, const std::string& pattern) {
    return std::regex_match(text, std::regex(pattern));
}

// A message that makes a composed line of exactly `length` bytes.
std::string MessageForLine(std::size_t length, char fill) {
    return std::string(length - kTimeStampLength, fill);
}

class LogFile : public ::testing::Test {
  protected:
    std::string Path() const { return m_folder / "logfile.txt"; }
    std::string Rotated(unsigned number) const { return Path() + "_" + std::to_string(number); }
    static bool Exists(const std::string& path) { return std::filesystem::exists(path); }
    static void Create(const std::string& path, const std::string& content) { WriteWholeFile(path, content); }
    static void SetWriteTime(const std::string& path, TimeValue time) {
        FileItem(FileLocation(path.c_str())).SetLastWriteTime(time);
    }

    TemporaryFolder m_folder;
};

TEST_F(LogFile, WritesTimeStampedLinesAndStatusLinesAfterWhatIsThere) {
    Create(Path(), "earlier\r\n");
    LogFileStatusUpdater log(Path().c_str(), 0);
    log.LogMessage("KVR Relay version 8.0.627.0 starting");
    log.LogStatus("ready");
    EXPECT_TRUE(Matches(ReadWholeFile(Path()), "earlier\r\n" + kTimeStamp +
                                                   "KVR Relay version 8\\.0\\.627\\.0 starting\r\n" +
                                                   "STATUS:" + kTimeStamp + "ready\r\n"))
        << ReadWholeFile(Path());
}

TEST_F(LogFile, WithoutAFileLinesGoToStandardError) {
    for (const char* path : {static_cast<const char*>(nullptr), "", "/nonexistent-folder/logfile.txt"}) {
        LogFileStatusUpdater log(path, 0);
        CapturedStandardError captured;
        log.LogMessage("no file");
        log.LogStatus("still none");
        EXPECT_TRUE(Matches(captured.Text(), kTimeStamp + "no file\nSTATUS:" + kTimeStamp + "still none\n"))
            << captured.Text();
    }
}

TEST_F(LogFile, SetPathMovesTheLogToAnotherFile) {
    LogFileStatusUpdater log(nullptr, 0);
    log.SetPath(Path().c_str());
    log.LogMessage("in the file");
    EXPECT_TRUE(Matches(ReadWholeFile(Path()), kTimeStamp + "in the file\r\n"));
}

TEST_F(LogFile, AFullFileRollsOverAfterTheLineThatFillsIt) {
    LogFileStatusUpdater log(Path().c_str(), 1'000);
    for (int line = 0; line < 9; ++line) log.LogMessage(MessageForLine(100, 'a').c_str());
    EXPECT_FALSE(Exists(Rotated(0)));
    log.LogMessage(MessageForLine(100, 'b').c_str());
    ASSERT_TRUE(Exists(Rotated(0)));
    EXPECT_EQ(std::filesystem::file_size(Rotated(0)), 10 * 102u);
    EXPECT_EQ(ReadWholeFile(Path()), "");
    log.LogMessage("next");
    EXPECT_TRUE(Matches(ReadWholeFile(Path()), kTimeStamp + "next\r\n"));
}

TEST_F(LogFile, TheEleventhRotationReplacesTheFirstFileAgain) {
    LogFileStatusUpdater log(Path().c_str(), 1);
    for (int line = 0; line <= 10; ++line) log.LogMessage(("line " + std::to_string(line)).c_str());
    for (unsigned number = 1; number < 10; ++number)
        EXPECT_TRUE(
            Matches(ReadWholeFile(Rotated(number)), kTimeStamp + "line " + std::to_string(number) + "\r\n"));
    EXPECT_TRUE(Matches(ReadWholeFile(Rotated(0)), kTimeStamp + "line 10\r\n"));
}

TEST_F(LogFile, AWriterResumesTheRotationAnEarlierRunLeft) {
    // Files _0 to _4 exist: the first rotation takes _5, the next _6.
    for (unsigned number = 0; number < 5; ++number) Create(Rotated(number), "old\r\n");
    LogFileStatusUpdater log(Path().c_str(), 1);
    log.LogMessage("first");
    log.LogMessage("second");
    EXPECT_TRUE(Matches(ReadWholeFile(Rotated(5)), kTimeStamp + "first\r\n"));
    EXPECT_TRUE(Matches(ReadWholeFile(Rotated(6)), kTimeStamp + "second\r\n"));
    EXPECT_EQ(ReadWholeFile(Rotated(4)), "old\r\n");
}

TEST_F(LogFile, WithAllTenFilesTheOldestIsReplacedFirst) {
    const TimeValue now = GetCurrentUTCTime();
    for (unsigned number = 0; number < 10; ++number) {
        Create(Rotated(number), "old\r\n");
        SetWriteTime(Rotated(number), now - (number == 3 ? 200 : 100) * kMicrosecondsPerSecond);
    }
    LogFileStatusUpdater log(Path().c_str(), 1);
    log.LogMessage("first");
    log.LogMessage("second");
    EXPECT_TRUE(Matches(ReadWholeFile(Rotated(3)), kTimeStamp + "first\r\n"));
    EXPECT_TRUE(Matches(ReadWholeFile(Rotated(4)), kTimeStamp + "second\r\n"));
    EXPECT_EQ(ReadWholeFile(Rotated(2)), "old\r\n");
}

TEST_F(LogFile, TheReceiverFaceCollectsChunksIntoMessages) {
    LogFileStatusUpdater log(Path().c_str(), 0);
    log.Write(ConstData(std::string_view("abc"))).Write(ConstData(std::string_view("def\nghi")));
    // A buffer filled to the last byte is handed over by its length.
    const std::string full(LogFileStatusUpdater::kLineBufferSize, 'f');
    log.Write(ConstData(std::string_view(full))).Write(ConstData(std::string_view("x")));
    // A chunk longer than the buffer goes on its own, after what was buffered.
    const std::string longer(LogFileStatusUpdater::kLineBufferSize + 1, 'l');
    log.Write(ConstData(std::string_view(longer)));
    EXPECT_TRUE(Matches(ReadWholeFile(Path()), kTimeStamp + "abcdef\nghi\r\n" + kTimeStamp + full + "\r\n" +
                                                   kTimeStamp + "x\r\n" + kTimeStamp + longer + "\r\n"))
        << ReadWholeFile(Path());
}

TEST(LogFileStatusUpdaterLogWriter, TakesCriticalAlwaysAndTheRestOnlyWhenVerbose) {
    LogFileStatusUpdater log(nullptr, 0);
    LogFileStatusUpdaterLogWriter quiet(&log, false);
    LogFileStatusUpdaterLogWriter verbose(&log, true);
    EXPECT_TRUE(quiet.AcceptsCategory("critical"));
    EXPECT_FALSE(quiet.AcceptsCategory("debug"));
    EXPECT_FALSE(quiet.AcceptsCategory("Critical"));
    EXPECT_TRUE(verbose.AcceptsCategory("debug"));
    EXPECT_TRUE(verbose.AcceptsCategory("performance"));
}

// The log as the relay wires it: the file writer, told the "Verbose" setting, on the process-wide
// manager.
class RelayLog : public LogFile {
  protected:
    static void SetVerbose(const char* value) {
        ASSERT_TRUE(WriteRegistryString(
            RegistryRoot::LocalMachine,
            "Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_KVRRelay_Log_Verbose", "value", value));
    }
    // Logs one "debug" and one "critical" message; returns how many were composed.
    int LogBoth() {
        int composed = 0;
        KVR_LOG("debug") << "debug " << ++composed;
        KVR_LOG("critical") << "critical " << ++composed;
        return composed;
    }

    TemporaryRegistry m_registry;
};

// Test labels: RelayLog tsan
TEST_F(RelayLog, NothingIsLoggedBeforeTheManagerStarts) {
    LogFileStatusUpdater file(Path().c_str(), 0);
    LogWriterRegistration registration(LogManager::Instance(),
                                       std::make_unique<LogFileStatusUpdaterLogWriter>(&file, true));
    EXPECT_EQ(LogBoth(), 0);
    StartLogging();
    StopLogging();
    EXPECT_EQ(ReadWholeFile(Path()), "");
}

TEST_F(RelayLog, AVerboseOnlyMessageIsNotComposedWhenVerboseIsOff) {
    for (const char* verbose : {"0", "1"}) {
        SetVerbose(verbose);
        std::filesystem::remove(Path());
        LogFileStatusUpdater file(Path().c_str(), 0);
        StartLogging();
        {
            LogWriterRegistration registration(
                LogManager::Instance(),
                std::make_unique<LogFileStatusUpdaterLogWriter>(&file, ReadVerboseLogSetting()));
            EXPECT_EQ(LogBoth(), verbose[0] == '1' ? 2 : 1) << "Verbose " << verbose;
        }
        StopLogging();
        std::string expected = verbose[0] == '1' ? kTimeStamp + "debug 1\r\n" + kTimeStamp + "critical 2\r\n"
                                                 : kTimeStamp + "critical 1\r\n";
        EXPECT_TRUE(Matches(ReadWholeFile(Path()), expected)) << ReadWholeFile(Path());
    }
}

}  // namespace
