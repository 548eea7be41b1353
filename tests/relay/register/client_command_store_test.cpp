#include "relay/register/client_command_store.h"

#include <gtest/gtest.h>

namespace {

using namespace NotificationType;

class ClientCommandStoreTest : public ::testing::Test {
  protected:
    ClientCommandStore m_store{[this] { return m_now; }, 3};
    std::int64_t m_now = 1000;
};

ClientNotification For(std::uint64_t id, std::uint32_t type, std::optional<std::uint32_t> argument = {},
                       std::optional<std::uint32_t> argument1MV = {}, std::optional<std::uint32_t> argument2 = {}) {
    return ClientNotification(type, argument, argument1MV, argument2, id);
}

TEST_F(ClientCommandStoreTest, RecordsTheLatestOfEachCommand) {
    m_store.Update(kRegister, For(1, kRegister), 70);
    m_store.Update(kForceRefresh, For(1, kForceRefresh, 4u), 40);
    m_store.Update(kForceRefreshMV, For(1, kForceRefreshMV, 5u, 6u), 41);
    m_store.Update(kResendReport, For(1, kResendReport, 5u, {}, 10u), 12);
    m_store.Update(kResendReport, For(1, kResendReport, 3u, {}, 12u), 14);
    m_store.Update(kResendReport, For(1, kResendReport, 7u, {}, 11u), 16);
    m_store.Update(kGatherAction, For(1, kGatherAction, 99u), 2);

    ClientCommandState expected;
    expected.registerSequence = 70;
    expected.refreshSequence = 41;
    expected.refreshArgument = 4;
    expected.refreshMVArgument = 6;
    expected.resendSequence = 16;
    expected.resendLowest = 3;
    expected.resendHighest = 12;
    EXPECT_EQ(m_store.Take(1), expected);
    EXPECT_EQ(m_store.Take(1), ClientCommandState{}) << "taken states are gone";
}

TEST_F(ClientCommandStoreTest, RefreshMVFallsBackToArgumentThenZero) {
    m_store.Update(kForceRefreshMV, For(1, kForceRefreshMV, 5u), 1);
    m_store.Update(kForceRefreshMV, For(2, kForceRefreshMV), 1);
    EXPECT_EQ(m_store.Take(1).refreshMVArgument, 5u);
    EXPECT_EQ(m_store.Take(2).refreshMVArgument, 0u);
}

TEST_F(ClientCommandStoreTest, WithoutComputerIDNothingIsRecorded) {
    m_store.Update(kRegister, ClientNotification(kRegister), 7);
    EXPECT_EQ(m_store.Size(), 0u);
}

TEST_F(ClientCommandStoreTest, RemoveForgetsAState) {
    m_store.Update(kRegister, For(1, kRegister), 7);
    m_store.Remove(1);
    EXPECT_EQ(m_store.Take(1), ClientCommandState{});
}

TEST_F(ClientCommandStoreTest, IsCappedByPushingOutTheLeastRecentlyUpdated) {
    for (std::uint64_t id = 1; id <= 3; ++id) {
        m_store.Update(kRegister, For(id, kRegister), static_cast<std::uint32_t>(id));
        ++m_now;
    }
    m_store.Update(kRegister, For(1, kRegister), 11);  // 1 is now the youngest
    ++m_now;
    m_store.Update(kRegister, For(4, kRegister), 4);
    EXPECT_EQ(m_store.Size(), 3u);
    EXPECT_EQ(m_store.Take(2).registerSequence, 0u);
    EXPECT_EQ(m_store.Take(1).registerSequence, 11u);
    EXPECT_EQ(m_store.Take(3).registerSequence, 3u);
    EXPECT_EQ(m_store.Take(4).registerSequence, 4u);
}

TEST_F(ClientCommandStoreTest, StatesAgeOut) {
    m_store.Update(kRegister, For(1, kRegister), 1);
    m_now += ClientCommandStore::kStateLifetime - 1;
    m_store.Update(kRegister, For(2, kRegister), 2);
    EXPECT_EQ(m_store.Size(), 2u);
    m_now += 1;
    EXPECT_EQ(m_store.Take(1).registerSequence, 0u) << "a day without update";
    EXPECT_EQ(m_store.Take(2).registerSequence, 2u);
}

}  // namespace
