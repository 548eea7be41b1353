#include "net/dynamic_throttle.h"

#include <algorithm>
#include <cmath>
#include <limits>

// How the reports are read. The client's clock has an origin of its own, so an arrival time means
// nothing by itself; what is measured is:
//
// - Transit of a report: its arrival time less the time of the write that holds its last byte. It
//   carries the unknown clock offset, which cancels wherever two transits are subtracted. The
//   smallest transit seen (overall, and per report size) is the most favourable pair of times.
// - Lateness of a report: its transit less the smallest transit of its size bucket: the time its
//   bytes spent queued somewhere beyond what the best of its size needed.
// - Capacity: when the write behind a report went out early enough that, at the best transit, its
//   bytes could have arrived before the previous report did, the link was busy between the two
//   reports, and the report's bytes over the time between the two arrivals is a capacity sample.
//   The estimate is the largest sample; idle gaps only ever make a sample smaller.
// - Delay: the shortest time from a write to the reading of a report that covers it, on our own
//   clock: the round trip of the link, which is what the bytes outstanding (sent but not yet
//   reported) have to cover.
// - Link window: capacity x delay, at least 552 bytes.
//
// The starting capacity of 1 KiB per second is only a placeholder, which the first sample replaces
// whatever its size (later samples only when larger). Until then the rate stays the maximum rate
// and the link window stays 2^30 bytes, so that a client whose link was never busy enough to
// measure is paced by the configured rate rather than stalled at 1 KiB per second.

namespace {

constexpr double kUnlimitedRate = static_cast<double>(std::numeric_limits<std::uint64_t>::max()) / 1'000'000;
constexpr std::int64_t kLargestPenaltyStep = 10;
// No report for this many delays means the client or its link has stalled.
constexpr std::int64_t kStallDelays = 4;
constexpr double kUnsentReserveWeight = 100.0;

std::int64_t TimeToSend(double bytes, double rate) {
    if (bytes <= 0) return 0;
    return SaturatedMicroseconds(bytes / rate);
}

}  // namespace

DynamicThrottlePolicy::DynamicThrottlePolicy()
    : m_maximumRate(kUnlimitedRate) {
    StartArrivals();
}

void DynamicThrottlePolicy::SetMaximumRate(double bytesPerMicrosecond) {
    m_maximumRate = std::max(bytesPerMicrosecond, kSmallestMaximumRate);
}

void DynamicThrottlePolicy::SetRateFactor(double factor) {
    m_rateFactor = factor > 1 ? 1.0 : factor <= kSmallestRateFactor ? kSmallestRateFactor : factor;
}

double DynamicThrottlePolicy::GetCurrentRate() const {
    if (!m_capacityMeasured) return m_maximumRate;
    return std::min(m_maximumRate, m_rateFactor * m_capacity);
}

void DynamicThrottlePolicy::Start(std::uint64_t now) {
    m_start = now;
    m_firstWrite = m_writeCount = 0;
    m_sentTotal = m_largestWrite = 0;
    m_previousChargeTime = 0;
    m_capacity = kStartingCapacity;
    m_capacityMeasured = false;
    m_delay = kUnmeasuredDelay;
    m_linkWindow = kStartingLinkWindow;
    StartArrivals();
}

void DynamicThrottlePolicy::StartArrivals() {
    m_anyReport = false;
    m_lastReportTime = 0;
    m_reportedTotal = 0;
    m_largestReport = 0;
    m_anyMatched = false;
    m_bestTransit = 0;
    m_havePreviousArrival = false;
    m_previousArrival = 0;
    if (m_history) m_history->bestTransit.fill(std::numeric_limits<std::int64_t>::max());
    m_heldPenaltyBase = 0;
    m_heldPenalty = 0;
    m_penalties = {};
}

// The history (some 26 KiB) is made at the first write a throttle accounts: a reply that nothing
// paces never needs it, and most replies are such.
DynamicThrottlePolicy::History& DynamicThrottlePolicy::WriteHistory() {
    if (!m_history) {
        m_history = std::make_unique_for_overwrite<History>();
        m_history->bestTransit.fill(std::numeric_limits<std::int64_t>::max());
    }
    return *m_history;
}

void DynamicThrottlePolicy::RecordWrite(std::uint64_t written, std::uint64_t time) {
    if (written != 0) {
        WriteHistory();
        if (m_writeCount == kHistorySize) {
            m_firstWrite = (m_firstWrite + 1) % kHistorySize;
            --m_writeCount;
        }
        m_history->writes[(m_firstWrite + m_writeCount) % kHistorySize] = {m_sentTotal, written, time};
        ++m_writeCount;
    }
    m_sentTotal += written;
    m_largestWrite = std::max(m_largestWrite, written);
}

// The writes are kept in the order they were sent, so their bases ascend: a binary search finds the
// last write that starts before the byte end, which holds it when the end lies within it.
const DynamicThrottlePolicy::WriteRecord* DynamicThrottlePolicy::FindWrite(std::uint64_t byteEnd) const {
    std::size_t low = 0, high = m_writeCount;
    while (low < high) {
        std::size_t middle = (low + high) / 2;
        if (m_history->writes[(m_firstWrite + middle) % kHistorySize].base < byteEnd) {
            low = middle + 1;
        } else {
            high = middle;
        }
    }
    if (low == 0) return nullptr;
    const WriteRecord& write = m_history->writes[(m_firstWrite + low - 1) % kHistorySize];
    return byteEnd - write.base <= write.bytes ? &write : nullptr;
}

std::int64_t DynamicThrottlePolicy::ExcessTime(double outstanding) const {
    double allowance = static_cast<double>(m_linkWindow + m_largestReport) * m_rateFactor;
    if (outstanding <= allowance) return 0;
    return SaturatedMicroseconds((outstanding - allowance) / m_capacity / 2);
}

TimeDebtCharge DynamicThrottlePolicy::Charge(std::uint64_t now, std::uint64_t written,
                                             std::uint64_t offered) {
    std::uint64_t time = now - m_start;
    RecordWrite(written, time);
    TimeDebtCharge charge = m_penalties;
    m_penalties = {};

    double outstanding = static_cast<double>(m_sentTotal) - static_cast<double>(m_reportedTotal);
    std::int64_t silence = SaturatedAdd(kStallDelays * m_delay, static_cast<std::int64_t>(m_lastReportTime));
    if (m_anyReport && silence < static_cast<std::int64_t>(m_previousChargeTime)) {
        charge.debt = SaturatedAdd(charge.debt, ExcessTime(outstanding));
    }

    double rate = GetCurrentRate();
    charge.debt = SaturatedAdd(charge.debt, TimeToSend(static_cast<double>(written), rate));

    // The socket took less than it was offered: the link is full for now.
    if (offered > written && written != m_largestWrite) {
        std::uint64_t unsent = offered - written;
        double largest = static_cast<double>(m_largestWrite);
        charge.debt = SaturatedAdd(charge.debt, TimeToSend(largest, rate));
        charge.reserve =
            SaturatedAdd(charge.reserve,
                         TimeToSend(static_cast<double>(std::min(unsent, m_largestWrite - written)), rate));
        if (unsent >= written && offered <= m_largestWrite) {
            charge.reserve = SaturatedAdd(charge.reserve, TimeToSend(kUnsentReserveWeight * largest, rate));
        }
    }

    if (m_anyReport) {
        std::int64_t inTransit = ExcessTime(outstanding - static_cast<double>(written));
        charge.debt = SaturatedAdd(charge.debt, inTransit);
        charge.reserve = SaturatedAdd(charge.reserve, inTransit);
    }
    m_previousChargeTime = time;
    return charge;
}

void DynamicThrottlePolicy::MeasureCapacity(const WriteRecord& write, std::uint64_t bytes,
                                            std::uint64_t arrivalTime) {
    if (!m_havePreviousArrival || arrivalTime <= m_previousArrival) return;
    std::int64_t earliestArrival = SaturatedAdd(static_cast<std::int64_t>(write.time), m_bestTransit);
    if (earliestArrival > static_cast<std::int64_t>(m_previousArrival)) return;
    double sample = static_cast<double>(bytes) / static_cast<double>(arrivalTime - m_previousArrival);
    if (!m_capacityMeasured || sample > m_capacity) {
        m_capacity = sample;
        m_capacityMeasured = true;
    }
}

void DynamicThrottlePolicy::MeasureDelay(const WriteRecord& write) {
    std::uint64_t sent = m_start + write.time;
    if (m_reportTime < sent) return;
    std::int64_t roundTrip = std::max<std::int64_t>(1, static_cast<std::int64_t>(m_reportTime - sent));
    m_delay = std::min(m_delay, roundTrip);
}

// e is the time the link needs for the write's bytes reported so far. A report later than twice
// that against the best of its size costs reserve, growing with the square of how many times e it
// is late, and more the smaller the share of the link the transfer may use.
std::int64_t DynamicThrottlePolicy::LatenessPenalty(const WriteRecord& write, std::int64_t lateness) const {
    double e = std::max(1.0, static_cast<double>(m_reportedTotal - write.base) / m_capacity);
    double steps = std::min(std::floor(2.0 * static_cast<double>(lateness) / e) - 1,
                            static_cast<double>(kLargestPenaltyStep));
    if (steps <= 0) return 0;
    double scaled = steps / m_rateFactor;
    return SaturatedMicroseconds(scaled * scaled * e);
}

void DynamicThrottlePolicy::ReceiveArrival(std::uint64_t offset, std::uint64_t bytes,
                                           std::uint64_t arrivalTime) {
    if (bytes == 0) return;
    m_reportedTotal = offset + bytes < offset ? std::numeric_limits<std::uint64_t>::max() : offset + bytes;
    m_largestReport = std::max(m_largestReport, bytes);
    m_anyReport = true;
    m_lastReportTime = m_reportTime > m_start ? m_reportTime - m_start : 0;

    const WriteRecord* write = FindWrite(m_reportedTotal);
    if (write != nullptr) {
        std::int64_t transit =
            static_cast<std::int64_t>(arrivalTime) - static_cast<std::int64_t>(write->time);
        if (m_anyMatched) MeasureCapacity(*write, bytes, arrivalTime);
        m_bestTransit = m_anyMatched ? std::min(m_bestTransit, transit) : transit;
        m_anyMatched = true;
        std::int64_t& bucketBest =
            m_history->bestTransit[std::min<std::uint64_t>(bytes / kBucketWidth, kBucketCount - 1)];
        bucketBest = std::min(bucketBest, transit);

        MeasureDelay(*write);
        if (m_capacityMeasured && m_delay != kUnmeasuredDelay) {
            double held = m_capacity * static_cast<double>(m_delay);
            m_linkWindow = held >= 1.8e19 ? std::numeric_limits<std::uint64_t>::max()
                                          : std::max(kSmallestLinkWindow, static_cast<std::uint64_t>(held));
        }

        // Only the last penalty computed for a write counts, once a report about a later write shows
        // how that write fared.
        if (write->base != m_heldPenaltyBase) {
            m_penalties.reserve = SaturatedAdd(m_penalties.reserve, m_heldPenalty);
            m_heldPenaltyBase = write->base;
        }
        m_heldPenalty = LatenessPenalty(*write, transit - bucketBest);
    }
    m_havePreviousArrival = true;
    m_previousArrival = arrivalTime;
}
