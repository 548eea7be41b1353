#include "foundation/log_manager.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <stdexcept>
#include <thread>

#include "foundation/critical_log.h"
#include "support/recording_log_writer.h"

namespace {

using Messages = std::vector<std::string>;

// Polls until the condition holds or a few seconds pass (the manager's thread works once a second).
template <class Condition>
bool Eventually(Condition condition) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class ThrowingLogWriter : public LogWriter {
  public:
    bool AcceptsCategory(const std::string&) override { return true; }
    std::string FormatMessage(const std::string&, const std::string& text) override { return text; }
    void WriteMessages(std::vector<std::string>&) override { throw std::runtime_error("disk full"); }
};

TEST(LogManager, NothingIsEnabledOrKeptWhileStopped) {
    LogManager manager;
    RecordingLogWriter writer({"critical"});
    manager.AddWriter(&writer);
    EXPECT_FALSE(manager.IsCategoryEnabled("critical"));
    manager.Post("critical", "before start");

    manager.Start();
    EXPECT_TRUE(manager.IsCategoryEnabled("critical"));
    manager.Stop();
    EXPECT_FALSE(manager.IsCategoryEnabled("critical"));
    manager.Post("critical", "after stop");
    manager.Flush();

    EXPECT_EQ(writer.FormatCount(), 0);
    EXPECT_TRUE(writer.Written().empty());
    manager.RemoveWriter(&writer);
}

TEST(LogManager, RoutesEachCategoryToTheWritersThatTakeIt) {
    LogManager manager;
    RecordingLogWriter file({"critical"});
    RecordingLogWriter debugger({"debug", "critical"});
    manager.AddWriter(&file);
    manager.AddWriter(&debugger);
    manager.Start();

    EXPECT_TRUE(manager.IsCategoryEnabled("debug"));
    EXPECT_FALSE(manager.IsCategoryEnabled("performance"));
    manager.Post("critical", "one");
    manager.Post("debug", "two");
    manager.Post("performance", "three");
    // Formatted at posting time, written only when flushed.
    EXPECT_EQ(file.FormatCount(), 1);
    EXPECT_EQ(debugger.FormatCount(), 2);
    EXPECT_TRUE(file.Written().empty());
    manager.Flush();

    EXPECT_EQ(file.Written(), (Messages{"critical: one"}));
    EXPECT_EQ(debugger.Written(), (Messages{"critical: one", "debug: two"}));
    manager.Stop();
    manager.RemoveWriter(&file);
    manager.RemoveWriter(&debugger);
}

TEST(LogManager, ACategoryFirstAskedForAfterTheWritersWereAddedIsMapped) {
    LogManager manager;
    RecordingLogWriter writer({"performance"});
    manager.AddWriter(&writer);
    manager.Start();
    EXPECT_TRUE(manager.IsCategoryEnabled("performance"));
    // Posting a category nobody asked about maps it too.
    writer.SetCategories({"performance", "timing"});
    manager.RemoveWriter(&writer);
    manager.AddWriter(&writer);
    manager.Post("timing", "unasked");
    manager.Flush();
    EXPECT_EQ(writer.Written(), (Messages{"timing: unasked"}));
    manager.Stop();
    manager.RemoveWriter(&writer);
}

TEST(LogManager, TheThreadFlushesEverySecondAndOnceMoreAtStop) {
    LogManager manager;
    RecordingLogWriter writer({"critical"});
    manager.AddWriter(&writer);
    manager.Start();
    manager.Post("critical", "flushed by the thread");
    EXPECT_TRUE(Eventually([&] { return writer.Written().size() == 1; }));

    manager.Post("critical", "flushed at stop");
    manager.Stop();
    EXPECT_EQ(writer.Written(), (Messages{"critical: flushed by the thread", "critical: flushed at stop"}));
    manager.RemoveWriter(&writer);
}

TEST(LogManager, AWriterWhoseAcceptanceChangesIsAskedAgain) {
    LogManager manager;
    RecordingLogWriter writer({"critical"});
    manager.AddWriter(&writer);
    manager.Start();
    EXPECT_FALSE(manager.IsCategoryEnabled("debug"));
    writer.SetCategories({"critical", "debug"});
    EXPECT_TRUE(Eventually([&] { return manager.IsCategoryEnabled("debug"); }));
    manager.Stop();
    manager.RemoveWriter(&writer);
}

TEST(LogManager, RemovingAWriterHandsItItsQueuedMessages) {
    LogManager manager;
    RecordingLogWriter writer({"critical"});
    manager.AddWriter(&writer);
    manager.Start();
    manager.Post("critical", "queued");
    manager.RemoveWriter(&writer);
    EXPECT_EQ(writer.Written(), (Messages{"critical: queued"}));
    EXPECT_FALSE(manager.IsCategoryEnabled("critical"));
    manager.Stop();
}

TEST(LogManager, AFailingWriterDoesNotKeepTheOthersFromTheirMessages) {
    LogManager manager;
    ThrowingLogWriter failing;
    RecordingLogWriter writer({"critical"});
    manager.AddWriter(&failing);
    manager.AddWriter(&writer);
    manager.Start();
    manager.Post("critical", "kept");
    EXPECT_NO_THROW(manager.Flush());
    EXPECT_EQ(writer.Written(), (Messages{"critical: kept"}));
    EXPECT_NO_THROW(manager.RemoveWriter(&failing));
    manager.Stop();
    manager.RemoveWriter(&writer);
}

TEST(LogManager, ARunningManagerIsTheCriticalSink) {
    LogManager manager;
    RecordingLogWriter writer({"critical"});
    manager.AddWriter(&writer);
    EXPECT_FALSE(CriticalLogEnabled());
    manager.Start();
    EXPECT_TRUE(CriticalLogEnabled());
    LogRequirementFailure("src/a\\b/parser", 12, "x > 0");
    manager.Stop();
    EXPECT_FALSE(CriticalLogEnabled());
    EXPECT_EQ(writer.Written(), (Messages{"critical: REQUIREMENT FAILURE: x > 0 (parser:12)"}));
    manager.RemoveWriter(&writer);
}

// The process-wide manager and the front end that code uses.
class ProcessLog : public ::testing::Test {
  protected:
    void SetUp() override { StartLogging(); }
    void TearDown() override { StopLogging(); }
};

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
