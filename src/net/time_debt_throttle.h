// Pacing by time debt: every write runs up a debt of microseconds that elapsed time pays off, and the
// next write waits until the debt is paid.
//
// - TimeDebtPolicy says what a write costs: a debt, paid off one-for-one by elapsed time, and a
//   reserve, a slower debt that decays with the throttle's half-life. The base policy charges a
//   fixed debt of 20 ms per write.
// - TimeDebtDataThrottle is the DataThrottle over such a policy. It keeps the debt and the reserve
//   within their caps, turns them into the delay before the next write, and adapts the size of the
//   writes it allows: the chunk doubles after 20 writes that filled it (up to the maximum chunk) and
//   halves after 20 writes that stopped short at the same size (down to the minimum chunk, lowering
//   the maximum chunk with it). A minimum rate, when set, bounds the delay after a whole chunk.
//
// Times are microseconds of the monotonic clock; rates are bytes per microsecond. The throttle does
// not own its policy, which must outlive it. One transfer at a time, on one thread.
#pragma once

#include <cstdint>

#include "net/throttle.h"

// What one write costs, in microseconds.
struct TimeDebtCharge {
    std::int64_t debt = 0;
    std::int64_t reserve = 0;

    TimeDebtCharge& operator+=(const TimeDebtCharge& other);
};

class TimeDebtPolicy {
  public:
    static constexpr std::int64_t kDebtPerWrite = 20'000;

    virtual ~TimeDebtPolicy() = default;

    virtual void Start(std::uint64_t now) {}
    // The cost of a write at `now` that took `written` of the `offered` bytes.
    virtual TimeDebtCharge Charge(std::uint64_t now, std::uint64_t written, std::uint64_t offered) {
        return {kDebtPerWrite, 0};
    }
    virtual void Finish() {}
};

class TimeDebtDataThrottle : public DataThrottle {
  public:
    // The reserve's cap is (1 - 1/k) / (ln 2 / half-life), which keeps the delay's equation solvable
    // by plain iteration. Half-life and debt cap in microseconds, chunks in bytes.
    TimeDebtDataThrottle(TimeDebtPolicy& policy, double k, std::int64_t halfLife, std::uint32_t minimumChunk,
                         std::uint32_t maximumChunk, std::int64_t debtCap);

    void Start(std::uint64_t now) override;
    std::uint64_t GetNextTime() const override { return m_nextTime; }
    std::uint32_t GetBudget() const override { return m_budget; }
    void Account(std::uint64_t now, std::uint64_t written, std::uint64_t offered) override;
    void Finish() override { m_policy.Finish(); }

    // Bytes per microsecond that a transfer keeps at least (0: none); survives Start.
    void SetMinimumRate(double bytesPerMicrosecond) { m_minimumRate = bytesPerMicrosecond; }

    std::int64_t GetDebt() const { return m_debt; }
    std::int64_t GetReserve() const { return m_reserve; }
    std::int64_t GetReserveCap() const { return m_reserveCap; }
    std::uint32_t GetChunkSize() const { return m_chunk; }
    std::uint32_t GetMaximumChunk() const { return m_maximumChunk; }

  private:
    void Adjust(std::int64_t debt, std::int64_t reserve);
    std::int64_t Delay() const;
    void AdaptChunk(std::uint64_t written);

    double m_decayRate;  // per microsecond, negative
    std::int64_t m_reserveCap;
    std::uint32_t m_minimumChunk;
    std::uint32_t m_maximumChunk;
    std::int64_t m_debtCap;
    double m_minimumRate = 0;
    TimeDebtPolicy& m_policy;

    std::int64_t m_debt = 0;
    std::int64_t m_reserve = 0;
    std::uint32_t m_chunk;
    std::uint64_t m_lastTime = 0;
    std::uint64_t m_nextTime = 0;
    std::uint32_t m_budget;
    std::uint64_t m_largestWrite = 0;
    std::uint32_t m_largestWriteCount = 0;
    std::uint32_t m_fullChunkCount = 0;
};

// Microseconds as a whole count, saturating at the limits of a signed 64-bit value; NaN counts as 0.
std::int64_t SaturatedMicroseconds(double microseconds);
// a + b, saturating at the limits of a signed 64-bit value.
std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b);
