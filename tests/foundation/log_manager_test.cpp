#include "foundation/log_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "base/critical_log.h"
#include "support/eventually.h"
#include "support/recording_log_writer.h"

namespace {

using Messages = std::vector<std::string>;

class ThrowingLogWriter : public LogWriter {
  public:
    bool AcceptsCategory(const std::string&) override { return true; }
    std::string FormatMessage(const std::string&, const std::string& text) override { return text; }
    void WriteMessages(std::vector<std::string>&) override { throw std::runtime_error("disk full"); }
};

// A manager of the test's own; the writers it is given are stopped and removed when the test ends.
class LogManagerTest : public ::testing::Test {
  protected:
    ~LogManagerTest() override {
        m_manager.Stop();
        for (LogWriter* writer : m_added) m_manager.RemoveWriter(writer);
    }
    void Add(LogWriter& writer) {
        m_manager.AddWriter(&writer);
        m_added.push_back(&writer);
    }

    LogManager m_manager;
    RecordingLogWriter m_file{{"critical"}};
    RecordingLogWriter m_debugger{{"debug", "critical"}};
    ThrowingLogWriter m_failing;
    std::vector<LogWriter*> m_added;
};

// Test labels: LogManagerTest tsan
TEST_F(LogManagerTest, NothingIsEnabledOrKeptWhileStopped) {
    Add(m_file);
    EXPECT_FALSE(m_manager.IsCategoryEnabled("critical"));
    m_manager.Post("critical", "before start");

    m_manager.Start();
    EXPECT_TRUE(m_manager.IsCategoryEnabled("critical"));
    m_manager.Stop();
    EXPECT_FALSE(m_manager.IsCategoryEnabled("critical"));
    m_manager.Post("critical", "after stop");
    m_manager.Flush();

    EXPECT_EQ(m_file.FormatCount(), 0);
    EXPECT_TRUE(m_file.Written().empty());
}

TEST_F(LogManagerTest, RoutesEachCategoryToTheWritersThatTakeIt) {
    Add(m_file);
    Add(m_debugger);
    m_manager.Start();

    EXPECT_TRUE(m_manager.IsCategoryEnabled("debug"));
    EXPECT_FALSE(m_manager.IsCategoryEnabled("performance"));
    m_manager.Post("critical", "one");
    m_manager.Post("debug", "two");
    m_manager.Post("performance", "three");
    // Formatted at posting time, written only when flushed.
    EXPECT_EQ(m_file.FormatCount(), 1);
    EXPECT_EQ(m_debugger.FormatCount(), 2);
    EXPECT_TRUE(m_file.Written().empty());
    m_manager.Flush();

    EXPECT_EQ(m_file.Written(), (Messages{"critical: one"}));
    EXPECT_EQ(m_debugger.Written(), (Messages{"critical: one", "debug: two"}));
}

TEST_F(LogManagerTest, ACategoryFirstAskedForOrPostedAfterTheWritersWereAddedIsMapped) {
    m_debugger.SetCategories({"performance", "timing"});
    Add(m_debugger);
    m_manager.Start();
    EXPECT_TRUE(m_manager.IsCategoryEnabled("performance"));
    m_manager.Post("timing", "never asked for");
    m_manager.Flush();
    EXPECT_EQ(m_debugger.Written(), (Messages{"timing: never asked for"}));
}

TEST_F(LogManagerTest, TheThreadFlushesEverySecondAndOnceMoreAtStop) {
    Add(m_file);
    m_manager.Start();
    m_manager.Post("critical", "flushed by the thread");
    EXPECT_TRUE(Eventually([&] { return m_file.Written().size() == 1; }));

    m_manager.Post("critical", "flushed at stop");
    m_manager.Stop();
    EXPECT_EQ(m_file.Written(), (Messages{"critical: flushed by the thread", "critical: flushed at stop"}));
}

TEST_F(LogManagerTest, AWriterWhoseAcceptanceChangesIsAskedAgain) {
    Add(m_file);
    m_manager.Start();
    EXPECT_FALSE(m_manager.IsCategoryEnabled("debug"));
    m_file.SetCategories({"critical", "debug"});
    EXPECT_TRUE(Eventually([&] { return m_manager.IsCategoryEnabled("debug"); }));
}

TEST_F(LogManagerTest, RemovingAWriterHandsItItsQueuedMessages) {
    m_manager.AddWriter(&m_file);
    m_manager.Start();
    m_manager.Post("critical", "queued");
    m_manager.RemoveWriter(&m_file);
    EXPECT_EQ(m_file.Written(), (Messages{"critical: queued"}));
    EXPECT_FALSE(m_manager.IsCategoryEnabled("critical"));
}

// A writer waiting for its disk keeps no thread that logs waiting: the server's loop logs too.
TEST_F(LogManagerTest, PostingDoesNotWaitForAWriterThatIsWriting) {
    class SlowWriter : public RecordingLogWriter {
      public:
        SlowWriter() : RecordingLogWriter({"critical"}) {}
        void WriteMessages(std::vector<std::string>& messages) override {
            writing.Set();
            release.Wait(5'000'000);
            RecordingLogWriter::WriteMessages(messages);
        }
        Event writing;
        Event release;
    } slow;
    Add(slow);
    m_manager.Start();
    m_manager.Post("critical", "first");
    std::thread flusher([&] { m_manager.Flush(); });
    ASSERT_TRUE(slow.writing.Wait(5'000'000));

    const auto start = std::chrono::steady_clock::now();
    m_manager.Post("critical", "second");
    EXPECT_TRUE(m_manager.IsCategoryEnabled("critical"));
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    slow.release.Set();
    flusher.join();
    m_manager.Flush();
    EXPECT_EQ(slow.Written(), (Messages{"critical: first", "critical: second"}));
    m_manager.RemoveWriter(&slow);
    m_added.pop_back();
}

TEST_F(LogManagerTest, AFailingWriterDoesNotKeepTheOthersFromTheirMessages) {
    Add(m_failing);
    Add(m_file);
    m_manager.Start();
    m_manager.Post("critical", "kept");
    EXPECT_NO_THROW(m_manager.Flush());
    EXPECT_EQ(m_file.Written(), (Messages{"critical: kept"}));
    m_manager.Post("critical", "queued for the failing writer");
    EXPECT_NO_THROW(m_manager.RemoveWriter(&m_failing));
}

TEST_F(LogManagerTest, ARunningManagerIsTheCriticalSink) {
    Add(m_file);
    EXPECT_FALSE(CriticalLogEnabled());
    m_manager.Start();
    EXPECT_TRUE(CriticalLogEnabled());
    LogRequirementFailure("src/a\\b/parser", 12, "x > 0");
    m_manager.Stop();
    EXPECT_FALSE(CriticalLogEnabled());
    EXPECT_EQ(m_file.Written(), (Messages{"critical: REQUIREMENT FAILURE: x > 0 (parser:12)"}));
}

// The process-wide manager and the front end that code uses.
class ProcessLog : public ::testing::Test {
  protected:
    void SetUp() override { StartLogging(); }
    void TearDown() override { StopLogging(); }
};

// Test labels: ProcessLog tsan
TEST_F(ProcessLog, AMessageIsComposedOnlyWhenItsCategoryIsEnabled) {
    auto* writer = new RecordingLogWriter({"critical"});
    LogWriterRegistration registration(LogManager::Instance(), std::unique_ptr<LogWriter>(writer));
    int composed = 0;
    auto compose = [&] {
        ++composed;
        return "expensive";
    };
    KVR_LOG("debug") << compose();
    KVR_LOG("critical") << compose() << " " << 42;
    EXPECT_EQ(composed, 1);
    LogManager::Instance().Flush();
    EXPECT_EQ(writer->Written(), (Messages{"critical: expensive 42"}));
}

TEST_F(ProcessLog, ARegistrationWritesWhatIsQueuedAndDeletesItsWriterWhenItGoes) {
    // Written texts and the writer's end are recorded outside the writer, which the registration owns.
    struct Trace {
        Messages written;
        bool deleted = false;
    } trace;
    class TracingWriter : public LogWriter {
      public:
        explicit TracingWriter(Trace& trace) : m_trace(trace) {}
        ~TracingWriter() override { m_trace.deleted = true; }
        bool AcceptsCategory(const std::string& category) override { return category == "critical"; }
        std::string FormatMessage(const std::string&, const std::string& text) override { return text; }
        void WriteMessages(std::vector<std::string>& messages) override {
            m_trace.written.insert(m_trace.written.end(), messages.begin(), messages.end());
        }

      private:
        Trace& m_trace;
    };
    {
        LogWriterRegistration registration(LogManager::Instance(), std::make_unique<TracingWriter>(trace));
        EXPECT_TRUE(IsLogCategoryEnabled("critical"));
        LogStream("critical") << "last words";
    }
    EXPECT_EQ(trace.written, (Messages{"last words"}));
    EXPECT_TRUE(trace.deleted);
    EXPECT_FALSE(IsLogCategoryEnabled("critical"));
}

}  // namespace
