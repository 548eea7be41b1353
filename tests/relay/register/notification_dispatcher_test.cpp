#include "relay/register/notification_dispatcher.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace {

using namespace NotificationType;

IPAddress AddressOf(std::uint64_t id) {
    return IPAddress(10, 0, 0, static_cast<Byte>(id));
}

// Sends nothing: writes "send <last address byte>:<type>" (once per repetition) and "pause <ms>" into
// one log, so pacing shows as the places of the pauses; destinations in `failing` throw.
class RecordingSender : public NotificationSender {
  public:
    explicit RecordingSender(std::vector<std::string>& log, unsigned repetitions = 1)
        : m_log(log), m_repetitions(repetitions) {}

    unsigned Repetitions() const override { return m_repetitions; }
    std::uint32_t Send(std::uint32_t type, const ClientNotification&, const IPAddress& destination,
                       std::uint32_t& sent, std::uint32_t sequence) override {
        Byte host = destination.Bytes()[15];
        if (failing.count(host)) throw UDPSocketError();
        for (unsigned copy = 0; copy < m_repetitions; ++copy) {
            m_log.push_back("send " + std::to_string(host) + ":" + std::to_string(type));
            ++sent;
        }
        return sequence;
    }

    std::set<Byte> failing;

  private:
    std::vector<std::string>& m_log;
    unsigned m_repetitions;
};

class NotificationDispatcherTest : public ::testing::Test {
  protected:
    // Computers 1 to 99 have routes 10.0.0.<id>; others none.
    NotificationDispatcher m_dispatcher{[](std::uint64_t id) {
        if (id == 0 || id >= 100) throw ExceptionPL("Unknown client id");
        return AddressOf(id);
    }};
    std::vector<std::string> m_log;
    DispatchPause m_pause = [this](std::uint32_t milliseconds) { m_log.push_back("pause " + std::to_string(milliseconds)); };

    void Queue(std::uint64_t id, std::uint32_t type = kRegister, std::uint32_t argument = 0) {
        m_dispatcher.Queue(type, ClientNotification(type, argument, {}, {}, id), 2);
    }
    static std::vector<std::uint64_t> IDs(const NotificationDispatcher::Batch& batch) {
        std::vector<std::uint64_t> ids;
        for (const auto& [address, record] : batch) ids.push_back(address.Bytes()[15]);
        return ids;
    }
};

TEST_F(NotificationDispatcherTest, BatchesResumeWhereTheLastStoppedAndWrapRound) {
    for (std::uint64_t id : {1, 2, 3, 4, 5}) Queue(id);
    EXPECT_EQ(IDs(m_dispatcher.TakeBatch(2)), (std::vector<std::uint64_t>{1, 2}));
    Queue(1);
    EXPECT_EQ(IDs(m_dispatcher.TakeBatch(2)), (std::vector<std::uint64_t>{3, 4}));
    EXPECT_EQ(IDs(m_dispatcher.TakeBatch(3)), (std::vector<std::uint64_t>{5, 1})) << "wraps round once";
    EXPECT_TRUE(m_dispatcher.TakeBatch(3).empty());
}

TEST_F(NotificationDispatcherTest, ARecordIsNeverSplitAndComputersWithoutRouteAreDropped) {
    Queue(1, kDownloadAvailable, 1);
    Queue(1, kDownloadAvailable, 2);
    Queue(1, kDownloadAvailable, 3);
    Queue(150);
    Queue(2);
    NotificationDispatcher::Batch batch = m_dispatcher.TakeBatch(1);
    ASSERT_EQ(IDs(batch), (std::vector<std::uint64_t>{1}));
    EXPECT_EQ(batch[0].second.Expand().size(), 3u);
    EXPECT_EQ(IDs(m_dispatcher.TakeBatch(5)), (std::vector<std::uint64_t>{2})) << "150 had no route";
    EXPECT_TRUE(m_dispatcher.TakeBatch(5).empty());
}

TEST_F(NotificationDispatcherTest, NotificationsWithoutComputerAreNotQueued) {
    m_dispatcher.Queue(kRegister, ClientNotification(kRegister), 2);
    EXPECT_TRUE(m_dispatcher.TakeBatch(10).empty());
}

TEST_F(NotificationDispatcherTest, PausesAfterThePacketThatPassesBatchCount) {
    for (std::uint64_t id = 1; id <= 7; ++id) Queue(id);
    RecordingSender sender(m_log);
    DispatchSettings settings;
    settings.batchCount = 3;
    settings.batchDelay = 250;
    for (int pass = 0; pass < 4; ++pass) m_dispatcher.RunStep(settings, sender, m_pause);
    EXPECT_EQ(m_log, (std::vector<std::string>{"send 1:7", "send 2:7", "send 3:7", "send 4:7", "pause 250",
                                               "send 5:7", "send 6:7", "send 7:7", "pause 250"}))
        << "the counter runs on across passes; an empty batch pauses";
}

TEST_F(NotificationDispatcherTest, RepetitionsShrinkTheBatchButNeverToNothing) {
    EXPECT_EQ(PingRepetitions(0), 1u);
    EXPECT_EQ(PingRepetitions(20), 8u);
    EXPECT_EQ(PingRepetitions(256), 1u);
    EXPECT_EQ(PingRepetitions(3), 3u);
    const struct {
        std::uint32_t batchCount;
        unsigned repetitions;
        std::size_t computers;
    } cases[] = {{16, 8, 2}, {4, 8, 1}, {0, 1, 1}, {100, 1, 10}};
    for (const auto& c : cases) {
        for (std::uint64_t id = 1; id <= 10; ++id) Queue(id);
        std::vector<std::string> log;
        RecordingSender sender(log, c.repetitions);
        DispatchSettings settings;
        settings.batchCount = c.batchCount;
        m_dispatcher.RunStep(settings, sender, [](std::uint32_t) {});
        std::set<std::string> computers;
        for (const std::string& line : log) computers.insert(line);
        EXPECT_EQ(computers.size(), c.computers) << c.batchCount << " / " << c.repetitions;
        m_dispatcher.Clear();
    }
}

TEST_F(NotificationDispatcherTest, AFailingDestinationDoesNotStopTheBatch) {
    Queue(1);
    Queue(2, kDownloadAvailable, 1);
    Queue(2, kDownloadAvailable, 2);
    Queue(3);
    RecordingSender sender(m_log);
    sender.failing = {2};
    DispatchSettings settings;
    m_dispatcher.RunStep(settings, sender, m_pause);
    EXPECT_EQ(m_log, (std::vector<std::string>{"send 1:7", "send 3:7"}));
}

TEST_F(NotificationDispatcherTest, DisabledChildMessagesDropTheQueueAndPause) {
    Queue(1);
    RecordingSender sender(m_log);
    DispatchSettings settings;
    settings.childMessagesDisabled = true;
    m_dispatcher.RunStep(settings, sender, m_pause);
    EXPECT_EQ(m_log, (std::vector<std::string>{"pause 1000"}));
    EXPECT_TRUE(m_dispatcher.TakeBatch(10).empty());
}

TEST_F(NotificationDispatcherTest, SendToComputerMarksTheSequenceAndRecordsCommands) {
    ClientCommandStore commands;
    EXPECT_EQ(SendToComputer(kRegister, ClientNotification(kRegister, {}, {}, {}, 5u), 0x101, m_dispatcher, commands),
              0x100u);
    EXPECT_EQ(SendToComputer(kForceRefreshMV, ClientNotification(kForceRefreshMV, 1u, {}, {}, 5u), 0x100, m_dispatcher,
                             commands),
              0x101u);
    std::uint32_t drawn = SendToComputer(kGatherHashMV, ClientNotification(kGatherHashMV, 1u, {}, 3u, 6u), 0,
                                         m_dispatcher, commands);
    EXPECT_EQ(drawn & 1, 1u);
    EXPECT_NE(drawn, 0xFFFFFFFFu);
    std::uint32_t redrawn =
        SendToComputer(kGatherAction, ClientNotification(kGatherAction, 1u, {}, {}, 7u), 1, m_dispatcher, commands);
    EXPECT_NE(redrawn, 0u) << "1 would become 0, the mark of an empty slot";
    EXPECT_EQ(redrawn & 1, 0u);
    ClientCommandState state = commands.Take(5);
    EXPECT_EQ(state.registerSequence, 0x100u);
    EXPECT_EQ(state.refreshSequence, 0x101u);
    NotificationDispatcher::Batch batch = m_dispatcher.TakeBatch(10);
    ASSERT_EQ(IDs(batch), (std::vector<std::uint64_t>{5, 6, 7}));
    EXPECT_EQ(batch[2].second.Expand().size(), 1u) << "the GatherAction is sent";
}

TEST_F(NotificationDispatcherTest, SendToComputersSetsEachComputerAndDrawsEachSequence) {
    ClientCommandStore commands;
    SendToComputers(kRegister, ClientNotification(kRegister), {3, 4}, 0, m_dispatcher, commands);
    NotificationDispatcher::Batch batch = m_dispatcher.TakeBatch(10);
    ASSERT_EQ(IDs(batch), (std::vector<std::uint64_t>{3, 4}));
    EXPECT_EQ(batch[1].second.Expand()[0].notification.computerID, 4u);
    EXPECT_NE(commands.Take(3).registerSequence, 0u);
}

}  // namespace
