#include "net/time_debt_throttle.h"

#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>

#include "net/arrival_time.h"

namespace {

// A policy that charges what the test lines up, and nothing once the line is empty.
class LinedUpPolicy : public TimeDebtPolicy {
  public:
    void LineUp(TimeDebtCharge charge) { m_charges.push_back(charge); }
    TimeDebtCharge Charge(std::uint64_t, std::uint64_t, std::uint64_t) override {
        if (m_charges.empty()) return {};
        TimeDebtCharge charge = m_charges.front();
        m_charges.pop_front();
        return charge;
    }

  private:
    std::deque<TimeDebtCharge> m_charges;
};

// The served transfers' shape, over the given policy.
struct ServedThrottle {
    explicit ServedThrottle(TimeDebtPolicy& policy)
        : throttle(policy, ArrivalTimeMaker::kReserveFactor, ArrivalTimeMaker::kHalfLife,
                   ArrivalTimeMaker::kMinimumChunk, ArrivalTimeMaker::kMaximumChunk,
                   ArrivalTimeMaker::kDebtCap) {
        throttle.Start(kStart);
    }

    // A write at the next allowed time that the socket takes `written` bytes of (the whole budget
    // when omitted).
    void Write(std::uint64_t written = std::numeric_limits<std::uint64_t>::max()) {
        std::uint64_t budget = throttle.GetBudget();
        throttle.Account(throttle.GetNextTime(), std::min(written, budget), budget);
    }

    static constexpr std::uint64_t kStart = 1'000'000;
    TimeDebtDataThrottle throttle;
};

TEST(TimeDebtDataThrottle, StartsWithTheSmallestChunkAndNoWait) {
    TimeDebtPolicy policy;
    ServedThrottle served(policy);
    EXPECT_EQ(served.throttle.GetReserveCap(), 19'476'383);
    EXPECT_EQ(served.throttle.GetBudget(), 2048u);
    EXPECT_EQ(served.throttle.GetNextTime(), ServedThrottle::kStart);
    EXPECT_EQ(served.throttle.GetDebt(), 0);
    EXPECT_EQ(served.throttle.GetReserve(), 0);
}

TEST(TimeDebtDataThrottle, BasePolicyChargesTwentyMillisecondsAWriteThatElapsedTimePays) {
    TimeDebtPolicy policy;
    ServedThrottle served(policy);
    std::uint64_t start = ServedThrottle::kStart;
    served.throttle.Account(start, 2048, 2048);
    EXPECT_EQ(served.throttle.GetNextTime(), start + 20'000);
    // Written early, 5 ms before the debt was paid: the rest of it is carried over.
    served.throttle.Account(start + 15'000, 2048, 2048);
    EXPECT_EQ(served.throttle.GetDebt(), 25'000);
    EXPECT_EQ(served.throttle.GetNextTime(), start + 40'000);
}

TEST(TimeDebtDataThrottle, ChunkDoublesAfterEveryTwentyFullWritesUpToOneMebibyte) {
    TimeDebtPolicy policy;
    ServedThrottle served(policy);
    std::uint32_t expected = 2048;
    for (int stage = 0; stage < 12; ++stage) {
        for (int write = 0; write < 19; ++write) served.Write();
        EXPECT_EQ(served.throttle.GetChunkSize(), expected) << "stage " << stage;
        served.Write();
        expected = std::min<std::uint32_t>(expected * 2, 1 << 20);
        EXPECT_EQ(served.throttle.GetChunkSize(), expected) << "stage " << stage;
        EXPECT_EQ(served.throttle.GetBudget(), expected);
    }
    EXPECT_EQ(served.throttle.GetChunkSize(), 1u << 20);
}

TEST(TimeDebtDataThrottle, ShortWritesOfTheLargestSizeHalveTheChunkAndLowerItsMaximum) {
    TimeDebtPolicy policy;
    ServedThrottle served(policy);
    for (int write = 0; write < 40; ++write) served.Write();  // 2048 -> 4096 -> 8192
    ASSERT_EQ(served.throttle.GetChunkSize(), 8192u);

    // The socket now takes 4096 bytes at a time, the largest write so far: every offer of the whole
    // chunk stops short, and the 20th such write halves the chunk.
    int shortWrites = 0;
    while (served.throttle.GetChunkSize() == 8192u && shortWrites < 100) {
        if (served.throttle.GetBudget() > 4096) ++shortWrites;
        served.Write(4096);
    }
    EXPECT_EQ(shortWrites, 20);
    EXPECT_EQ(served.throttle.GetChunkSize(), 4096u);
    EXPECT_EQ(served.throttle.GetMaximumChunk(), 4096u);

    // Full writes can no longer grow the chunk past the lowered maximum.
    for (int write = 0; write < 60; ++write) served.Write();
    EXPECT_EQ(served.throttle.GetChunkSize(), 4096u);
}

TEST(TimeDebtDataThrottle, ChunkNeverHalvesBelowTheMinimum) {
    TimeDebtPolicy policy;
    ServedThrottle served(policy);
    for (int write = 0; write < 100; ++write) served.Write(1000);
    EXPECT_EQ(served.throttle.GetChunkSize(), 2048u);
    EXPECT_EQ(served.throttle.GetMaximumChunk(), 2048u);
}

TEST(TimeDebtDataThrottle, DebtAndReserveStayWithinTheirCaps) {
    LinedUpPolicy policy;
    ServedThrottle served(policy);
    std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    policy.LineUp({largest, largest});
    served.Write();
    EXPECT_EQ(served.throttle.GetDebt(), 10'000'000);
    EXPECT_EQ(served.throttle.GetReserve(), 19'476'383);
    // The wait never exceeds debt plus reserve, even at both caps.
    EXPECT_LE(served.throttle.GetNextTime() - ServedThrottle::kStart, 10'000'000u + 19'476'383u);
}

TEST(TimeDebtDataThrottle, ALongPauseClearsTheDebtAndEatsIntoTheReserve) {
    LinedUpPolicy policy;
    ServedThrottle served(policy);
    std::uint64_t start = ServedThrottle::kStart;
    policy.LineUp({5'000, 10'000});
    served.throttle.Account(start, 2048, 2048);
    ASSERT_EQ(served.throttle.GetDebt(), 5'000);
    ASSERT_EQ(served.throttle.GetReserve(), 10'000);

    served.throttle.Account(start + 8'000, 0, 2048);  // 3 ms more than the debt
    EXPECT_EQ(served.throttle.GetDebt(), 0);
    EXPECT_EQ(served.throttle.GetReserve(), 7'000);

    served.throttle.Account(start + 100'000, 0, 2048);  // far more than both
    EXPECT_EQ(served.throttle.GetReserve(), 0);
}

// The delay x is the wait after which the debt and the decayed part of the reserve are paid:
// x = T + S (1 - 2^(-x / half-life)), found to within the iteration's precision.
TEST(TimeDebtDataThrottle, DelaySolvesTheDecayEquation) {
    struct Case {
        std::int64_t debt, reserve;
    };
    for (const Case& test : {Case{0, 0}, Case{20'000, 0}, Case{0, 1'000'000}, Case{1'000'000, 10'000'000},
                             Case{10'000'000, 19'476'383}, Case{50, 19'000'000}}) {
        LinedUpPolicy policy;
        ServedThrottle served(policy);
        policy.LineUp({test.debt, test.reserve});
        served.throttle.Account(ServedThrottle::kStart, 2048, 2048);
        double x = static_cast<double>(served.throttle.GetNextTime() - ServedThrottle::kStart);
        double paid = test.debt + test.reserve * (1 - std::exp2(-x / ArrivalTimeMaker::kHalfLife));
        EXPECT_NEAR(x, paid, 100) << test.debt << " " << test.reserve;
        EXPECT_GE(x, test.debt);
        EXPECT_LE(x, test.debt + test.reserve);
    }
}

TEST(TimeDebtDataThrottle, ShortWriteSpendsTheBudgetAndWaitsTheDelay) {
    LinedUpPolicy policy;
    ServedThrottle served(policy);
    policy.LineUp({3'000, 0});
    served.throttle.Account(ServedThrottle::kStart, 500, 2048);
    EXPECT_EQ(served.throttle.GetBudget(), 1548u);
    EXPECT_EQ(served.throttle.GetNextTime(), ServedThrottle::kStart + 3'000);
}

TEST(TimeDebtDataThrottle, MinimumRateBoundsTheWaitAfterAWholeChunk) {
    LinedUpPolicy policy;
    ServedThrottle served(policy);
    served.throttle.SetMinimumRate(1.0);  // 1 byte per microsecond
    policy.LineUp({1'000'000, 0});
    served.throttle.Account(ServedThrottle::kStart, 2048, 2048);
    EXPECT_EQ(served.throttle.GetNextTime(), ServedThrottle::kStart + 2048);

    // A short write is not covered by the minimum rate.
    policy.LineUp({1'000'000, 0});
    served.throttle.Account(ServedThrottle::kStart + 2048, 100, 2048);
    EXPECT_GT(served.throttle.GetNextTime(), ServedThrottle::kStart + 1'000'000);
}

TEST(TimeDebtCharge, SumsSaturate) {
    std::int64_t largest = std::numeric_limits<std::int64_t>::max();
    TimeDebtCharge charge{largest - 1, -largest};
    charge += {5, -10};
    EXPECT_EQ(charge.debt, largest);
    EXPECT_EQ(charge.reserve, std::numeric_limits<std::int64_t>::min());
    EXPECT_EQ(SaturatedMicroseconds(1e300), largest);
    EXPECT_EQ(SaturatedMicroseconds(std::nan("")), 0);
    EXPECT_EQ(SaturatedMicroseconds(2.5), 3);
}

}  // namespace
