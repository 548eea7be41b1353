// DynamicThrottlePolicy: the time-debt policy of a served transfer, which paces it at a configured
// maximum rate and, when the client reports back when its bytes arrived (the back channel), at a
// share of the link's measured capacity, backing off when reports come late or stop coming.
//
// Without arrival reports each write costs written / maximum rate: a plain rate limit. With them the
// policy keeps the last 1024 writes, matches each report to the write that holds the report's last
// byte, and estimates from these pairs the link's capacity, its round-trip delay and the bytes the
// link holds (the link window); bytes outstanding beyond the window, reports later than the best
// seen for their size, and a silent client all cost extra time.
//
// The rate factor (the share of the link, 0.001 to 1) and the maximum rate are set by the connection
// and survive Start. Times are microseconds of the monotonic clock, rates bytes per microsecond. One
// transfer at a time, on one thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "net/arrival_time_receiver.h"
#include "net/time_debt_throttle.h"

class DynamicThrottlePolicy : public TimeDebtPolicy, public ArrivalTimeReceiver {
  public:
    static constexpr std::size_t kHistorySize = 1024;
    // Reports are told apart by size, in buckets this wide; larger ones share the last bucket.
    static constexpr std::uint64_t kBucketWidth = 64;
    static constexpr std::size_t kBucketCount = 256;
    static constexpr double kSmallestMaximumRate = 1024.0 / 1'000'000 / 10;  // 102.4 bytes per second
    static constexpr double kSmallestRateFactor = 0.001;
    static constexpr double kStartingCapacity = 1024.0 / 1'000'000;  // 1 KiB per second
    static constexpr std::uint64_t kStartingLinkWindow = std::uint64_t{1} << 30;
    static constexpr std::uint64_t kSmallestLinkWindow = 552;
    static constexpr std::int64_t kUnmeasuredDelay = 3'600'000'000;  // one hour

    DynamicThrottlePolicy();

    void Start(std::uint64_t now) override;
    TimeDebtCharge Charge(std::uint64_t now, std::uint64_t written, std::uint64_t offered) override;

    // Clears what the reports taught (not the write history).
    void StartArrivals() override;
    void ReceiveArrival(std::uint64_t offset, std::uint64_t bytes, std::uint64_t arrivalTime) override;
    // When the reports about to be received were read (monotonic clock); the round trip is measured
    // from the write to this time.
    void SetReportTime(std::uint64_t now) { m_reportTime = now; }

    // Stores at least kSmallestMaximumRate.
    void SetMaximumRate(double bytesPerMicrosecond);
    // Stores the factor within [kSmallestRateFactor, 1].
    void SetRateFactor(double factor);

    double GetMaximumRate() const { return m_maximumRate; }
    double GetRateFactor() const { return m_rateFactor; }
    // The rate a write is charged at now.
    double GetCurrentRate() const;
    double GetCapacity() const { return m_capacity; }
    bool IsCapacityMeasured() const { return m_capacityMeasured; }
    // Microseconds; kUnmeasuredDelay until a report measured it.
    std::int64_t GetDelayEstimate() const { return m_delay; }
    std::uint64_t GetLinkWindow() const { return m_linkWindow; }
    std::uint64_t GetSentTotal() const { return m_sentTotal; }
    std::uint64_t GetReportedTotal() const { return m_reportedTotal; }

  private:
    struct WriteRecord {
        std::uint64_t base;  // bytes sent before the write
        std::uint64_t bytes;
        std::uint64_t time;  // since the transfer's start
    };
    struct History {
        std::array<WriteRecord, kHistorySize> writes;
        std::array<std::int64_t, kBucketCount> bestTransit;  // per report size
    };

    History& WriteHistory();
    void RecordWrite(std::uint64_t written, std::uint64_t time);
    const WriteRecord* FindWrite(std::uint64_t byteEnd) const;
    void MeasureCapacity(const WriteRecord& write, std::uint64_t bytes, std::uint64_t arrivalTime);
    void MeasureDelay(const WriteRecord& write);
    std::int64_t LatenessPenalty(const WriteRecord& write, std::int64_t lateness) const;
    // The time the link needs to drain half of the outstanding bytes beyond the allowance; 0 when
    // there are none.
    std::int64_t ExcessTime(double outstanding) const;

    double m_rateFactor = 1.0;
    double m_maximumRate;
    double m_capacity = kStartingCapacity;
    bool m_capacityMeasured = false;
    std::uint64_t m_start = 0;
    std::unique_ptr<History> m_history;  // made at the first write recorded
    std::size_t m_firstWrite = 0;
    std::size_t m_writeCount = 0;
    std::uint64_t m_sentTotal = 0;
    std::uint64_t m_largestWrite = 0;
    std::uint64_t m_previousChargeTime = 0;

    bool m_anyReport = false;
    std::uint64_t m_reportTime = 0;
    std::uint64_t m_lastReportTime = 0;  // since the start
    std::uint64_t m_reportedTotal = 0;
    std::uint64_t m_largestReport = 0;
    bool m_anyMatched = false;
    std::int64_t m_bestTransit = 0;  // the smallest arrival time less write time seen
    bool m_havePreviousArrival = false;
    std::uint64_t m_previousArrival = 0;
    std::int64_t m_delay = kUnmeasuredDelay;
    std::uint64_t m_linkWindow = kStartingLinkWindow;

    std::uint64_t m_heldPenaltyBase = 0;
    std::int64_t m_heldPenalty = 0;
    TimeDebtCharge m_penalties;
};
