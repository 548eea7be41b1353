#include "net/dynamic_throttle.h"

#include <gtest/gtest.h>

#include "net/arrival_time.h"

namespace {

constexpr double kUnlimited = 18446744073709551615.0 / 1'000'000;

TEST(DynamicThrottlePolicy, SettersKeepRatesAndFactorsInRange) {
    DynamicThrottlePolicy policy;
    EXPECT_DOUBLE_EQ(policy.GetMaximumRate(), kUnlimited);
    EXPECT_DOUBLE_EQ(policy.GetRateFactor(), 1.0);

    struct RateCase {
        double given, stored;
    };
    for (const RateCase& test : {RateCase{0, 0.0001024}, RateCase{0.00001, 0.0001024},
                                 RateCase{0.0001024, 0.0001024}, RateCase{0.5, 0.5}}) {
        policy.SetMaximumRate(test.given);
        EXPECT_DOUBLE_EQ(policy.GetMaximumRate(), test.stored) << test.given;
    }
    for (const RateCase& test : {RateCase{5, 1}, RateCase{1, 1}, RateCase{0.25, 0.25}, RateCase{0.001, 0.001},
                                 RateCase{0, 0.001}, RateCase{-3, 0.001}}) {
        policy.SetRateFactor(test.given);
        EXPECT_DOUBLE_EQ(policy.GetRateFactor(), test.stored) << test.given;
    }
}

TEST(DynamicThrottlePolicy, StartRestartsTheEstimatesButKeepsTheConnectionsSettings) {
    DynamicThrottlePolicy policy;
    policy.SetMaximumRate(1.0);
    policy.SetRateFactor(0.5);
    policy.Start(0);
    policy.Charge(10, 5000, 5000);
    policy.Start(100);
    EXPECT_DOUBLE_EQ(policy.GetMaximumRate(), 1.0);
    EXPECT_DOUBLE_EQ(policy.GetRateFactor(), 0.5);
    EXPECT_DOUBLE_EQ(policy.GetCapacity(), 0.001024);
    EXPECT_FALSE(policy.IsCapacityMeasured());
    EXPECT_EQ(policy.GetDelayEstimate(), DynamicThrottlePolicy::kUnmeasuredDelay);
    EXPECT_EQ(policy.GetLinkWindow(), std::uint64_t{1} << 30);
    EXPECT_EQ(policy.GetSentTotal(), 0u);
}

TEST(DynamicThrottlePolicy, WithoutReportsEachWriteCostsItsTimeAtTheMaximumRate) {
    DynamicThrottlePolicy policy;
    policy.SetMaximumRate(256 * 1024 / 1e6);
    policy.Start(0);
    for (std::uint64_t now = 0; now < 10'000'000; now += 1'000'000) {
        TimeDebtCharge charge = policy.Charge(now, 65536, 65536);
        EXPECT_EQ(charge.debt, 250'000);
        EXPECT_EQ(charge.reserve, 0);
    }
}

TEST(DynamicThrottlePolicy, SocketTakingLessThanOfferedCostsTheLargestWriteAndReserve) {
    DynamicThrottlePolicy policy;
    policy.SetMaximumRate(1.0);
    policy.Start(0);
    TimeDebtCharge full = policy.Charge(0, 4000, 4000);
    EXPECT_EQ(full.debt, 4000);
    // 1000 of 3000 taken, the largest write being 4000: the write's own time, the largest write's
    // time, the unsent room as reserve, and a hundred largest writes since most of the offer stayed.
    TimeDebtCharge partial = policy.Charge(10, 1000, 3000);
    EXPECT_EQ(partial.debt, 1000 + 4000);
    EXPECT_EQ(partial.reserve, 2000 + 400'000);
}

// A simulated transfer at the throttle's pace: the socket takes every byte offered, and each write
// happens at the earliest time the throttle allows.
std::uint64_t SimulatedTransferTime(ArrivalTimeMaker& maker, std::uint64_t bytes) {
    TimeDebtDataThrottle& throttle = maker.GetThrottle();
    std::uint64_t start = 5'000'000, now = start;
    throttle.Start(now);
    while (bytes != 0) {
        now = std::max(now, throttle.GetNextTime());
        std::uint64_t written = std::min<std::uint64_t>(throttle.GetBudget(), bytes);
        throttle.Account(now, written, written);
        bytes -= written;
    }
    return now - start;
}

TEST(DynamicThrottlePolicy, AMaximumRateOf256KiBPerSecondSendsFiveMebibytesInTwentySeconds) {
    ArrivalTimeMaker maker;
    maker.GetPolicy().SetMaximumRate(256 * 1024 / 1e6);
    std::uint64_t elapsed = SimulatedTransferTime(maker, 5 << 20);
    EXPECT_GT(elapsed, 18'000'000u);
    EXPECT_LT(elapsed, 22'000'000u);
}

// Two writes of 10000 bytes go out together at 1 ms; the client, whose clock runs 5 s ahead of
// ours, gets the first 500 us later and the second 100 us after that (100 bytes per microsecond);
// we read both reports 800 us after the writes.
class ReportedTransfer : public ::testing::Test {
  protected:
    static constexpr std::uint64_t kClockOffset = 5'000'000;

    void SetUp() override {
        policy.Start(0);
        policy.Charge(1000, 10000, 10000);
        policy.Charge(1000, 10000, 10000);
        policy.SetReportTime(1800);
        policy.ReceiveArrival(0, 10000, kClockOffset + 1500);
        policy.ReceiveArrival(10000, 10000, kClockOffset + 1600);
    }

    DynamicThrottlePolicy policy;
};

TEST_F(ReportedTransfer, ReportsMeasureCapacityDelayAndLinkWindow) {
    EXPECT_TRUE(policy.IsCapacityMeasured());
    EXPECT_DOUBLE_EQ(policy.GetCapacity(), 100.0);
    EXPECT_EQ(policy.GetDelayEstimate(), 800);
    EXPECT_EQ(policy.GetLinkWindow(), 80'000u);
    EXPECT_DOUBLE_EQ(policy.GetCurrentRate(), 100.0);
    policy.SetRateFactor(0.25);
    EXPECT_DOUBLE_EQ(policy.GetCurrentRate(), 25.0);
    policy.SetMaximumRate(10.0);
    EXPECT_DOUBLE_EQ(policy.GetCurrentRate(), 10.0);
    EXPECT_EQ(policy.GetReportedTotal(), 20'000u);
}

TEST_F(ReportedTransfer, OnlyABusyLinkMeasuresCapacity) {
    // Written at 3 ms, long after the last report arrived: the gap says nothing of the link.
    policy.Charge(3000, 10000, 10000);
    policy.ReceiveArrival(20000, 10000, kClockOffset + 3510);
    EXPECT_DOUBLE_EQ(policy.GetCapacity(), 100.0);
}

TEST_F(ReportedTransfer, BytesOutstandingBeyondTheWindowCostDebtAndReserve) {
    // Allowance: (window 80000 + largest report 10000) x factor 1.
    policy.Charge(3000, 200'000, 200'000);
    TimeDebtCharge charge = policy.Charge(3100, 1000, 1000);
    // 200000 outstanding before the write: 110000 beyond the allowance, half of it at 100 bytes/us.
    EXPECT_EQ(charge.debt, 10 + 550);
    EXPECT_EQ(charge.reserve, 550);
}

TEST_F(ReportedTransfer, SilenceForFourDelaysCountsAsAStall) {
    // The last report was read at 1.8 ms and the delay is 0.8 ms: after 5 ms the client has stalled.
    EXPECT_EQ(policy.Charge(10'000, 50'000, 50'000).debt, 500);
    TimeDebtCharge stalled = policy.Charge(20'000, 50'000, 50'000);
    // 100000 outstanding, 10000 beyond the allowance: half of it at 100 bytes/us, besides the write.
    EXPECT_EQ(stalled.debt, 500 + 50);
}

TEST_F(ReportedTransfer, LateReportsChargeReserveOnceTheNextWriteIsReported) {
    policy.Charge(2000, 10000, 10000);  // base 20000
    policy.Charge(2000, 10000, 10000);  // base 30000
    // The second report ran 100 us behind the first (the best of its size): 1 x e of 100 us.
    // This one runs 1000 us behind: ten steps of e, capped at 10, so (10 / 1)^2 x 100 us.
    policy.ReceiveArrival(20000, 10000, kClockOffset + 2000 + 500 + 1000);
    EXPECT_EQ(policy.Charge(2100, 0, 0).reserve, 100);  // the second report's, settled by this one
    EXPECT_EQ(policy.Charge(2100, 0, 0).reserve, 0);
    policy.ReceiveArrival(30000, 10000, kClockOffset + 2000 + 500 + 1000 + 100);
    EXPECT_EQ(policy.Charge(2200, 0, 0).reserve, 10'000);
}

TEST(DynamicThrottlePolicy, ReportsBeyondTheHistoryOrWithoutBytesTeachNothing) {
    DynamicThrottlePolicy policy;
    policy.Start(0);
    policy.ReceiveArrival(0, 0, 100);
    policy.ReceiveArrival(0, 5000, 100);  // nothing written yet
    policy.Charge(10, 1000, 1000);
    policy.ReceiveArrival(5000, 5000, 200);  // beyond what was sent
    EXPECT_FALSE(policy.IsCapacityMeasured());
    EXPECT_EQ(policy.GetDelayEstimate(), DynamicThrottlePolicy::kUnmeasuredDelay);
    EXPECT_EQ(policy.GetReportedTotal(), 10000u);
}

TEST(DynamicThrottlePolicy, HistoryKeepsTheLast1024Writes) {
    DynamicThrottlePolicy policy;
    policy.Start(0);
    for (int write = 0; write < 2000; ++write) policy.Charge(write, 100, 100);
    policy.SetReportTime(5000);
    policy.ReceiveArrival(0, 100, 10);  // the first write has left the history
    EXPECT_EQ(policy.GetDelayEstimate(), DynamicThrottlePolicy::kUnmeasuredDelay);
    policy.ReceiveArrival(100'000, 100, 10);  // the last 1024 are there
    EXPECT_EQ(policy.GetDelayEstimate(), 5000 - 1000);
}

}  // namespace
