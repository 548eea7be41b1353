#include "net/time_debt_throttle.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr std::int64_t kLargest = std::numeric_limits<std::int64_t>::max();
constexpr std::int64_t kSmallest = std::numeric_limits<std::int64_t>::min();

// The delay's iteration stops once a step moves it by less than this.
constexpr double kDelayPrecision = 10.0;

// Chunks change size after this many writes in a row that call for it.
constexpr std::uint32_t kWritesBeforeAdapting = 20;

}  // namespace

std::int64_t SaturatedMicroseconds(double microseconds) {
    if (std::isnan(microseconds)) return 0;
    if (microseconds >= 9.2e18) return kLargest;
    if (microseconds <= -9.2e18) return kSmallest;
    return std::llround(microseconds);
}

std::int64_t SaturatedAdd(std::int64_t a, std::int64_t b) {
    std::int64_t sum;
    if (!__builtin_add_overflow(a, b, &sum)) return sum;
    return b > 0 ? kLargest : kSmallest;
}

TimeDebtCharge& TimeDebtCharge::operator+=(const TimeDebtCharge& other) {
    debt = SaturatedAdd(debt, other.debt);
    reserve = SaturatedAdd(reserve, other.reserve);
    return *this;
}

TimeDebtDataThrottle::TimeDebtDataThrottle(TimeDebtPolicy& policy, double k, std::int64_t halfLife,
                                           std::uint32_t minimumChunk, std::uint32_t maximumChunk,
                                           std::int64_t debtCap)
    : m_decayRate(-std::log(2.0) / static_cast<double>(halfLife)),
      m_reserveCap(
          static_cast<std::int64_t>((1.0 - 1.0 / k) / (std::log(2.0) / static_cast<double>(halfLife)))),
      m_minimumChunk(minimumChunk),
      m_maximumChunk(maximumChunk),
      m_debtCap(debtCap),
      m_policy(policy),
      m_chunk(minimumChunk),
      m_budget(minimumChunk) {}

void TimeDebtDataThrottle::Start(std::uint64_t now) {
    m_debt = m_reserve = 0;
    m_chunk = m_minimumChunk;
    m_lastTime = m_nextTime = now;
    m_budget = m_chunk;
    m_largestWrite = 0;
    m_largestWriteCount = 0;
    m_fullChunkCount = 0;
    m_policy.Start(now);
}

// Time already paid beyond the debt eats into the reserve.
void TimeDebtDataThrottle::Adjust(std::int64_t debt, std::int64_t reserve) {
    m_debt = SaturatedAdd(m_debt, debt);
    m_reserve = SaturatedAdd(m_reserve, reserve);
    if (m_debt < 0) {
        m_reserve = SaturatedAdd(m_reserve, m_debt);
        m_debt = 0;
    }
    m_debt = std::min(m_debt, m_debtCap);
    m_reserve = std::clamp<std::int64_t>(m_reserve, 0, m_reserveCap);
}

// The debt T is paid by elapsed time one-for-one, while the reserve S pays itself off as it decays:
// after a wait x, S * (1 - e^(λx)) of it is gone. The next write may go when the debt and the
// decayed part of the reserve are paid: x = T + S * (1 - e^(λx)). Iterating from x = T climbs to
// that x; it converges because the reserve's cap keeps the slope S * |λ| * e^(λx) at most 1 - 1/k.
std::int64_t TimeDebtDataThrottle::Delay() const {
    double debt = static_cast<double>(m_debt);
    double reserve = static_cast<double>(m_reserve);
    double total = debt + reserve;
    double x = debt;
    double y = total - reserve * std::exp(m_decayRate * x);
    while (y - x >= kDelayPrecision) {
        x = y;
        y = total - reserve * std::exp(m_decayRate * x);
    }
    return SaturatedMicroseconds(std::min(total, y));
}

void TimeDebtDataThrottle::AdaptChunk(std::uint64_t written) {
    if (written > m_largestWrite) {
        m_largestWrite = written;
        m_largestWriteCount = 0;
    }
    if (written < m_budget && written == m_largestWrite && ++m_largestWriteCount >= kWritesBeforeAdapting) {
        if (m_chunk / 2 >= m_minimumChunk) m_chunk /= 2;
        m_maximumChunk = m_chunk;
        m_largestWriteCount = 0;
    }
    if (written == m_chunk && ++m_fullChunkCount >= kWritesBeforeAdapting) {
        if (m_chunk <= m_maximumChunk / 2) m_chunk *= 2;
        m_fullChunkCount = 0;
    }
}

void TimeDebtDataThrottle::Account(std::uint64_t now, std::uint64_t written, std::uint64_t offered) {
    Adjust(static_cast<std::int64_t>(m_lastTime - now), 0);
    m_lastTime = now;
    TimeDebtCharge charge = m_policy.Charge(now, written, offered);
    Adjust(charge.debt, charge.reserve);
    std::int64_t delay = Delay();

    AdaptChunk(written);
    if (written < m_budget) {
        m_budget -= static_cast<std::uint32_t>(written);
        m_nextTime = now + static_cast<std::uint64_t>(delay);
        return;
    }
    m_budget = m_chunk;
    // With a minimum rate, a whole chunk never waits longer than that rate allows for it.
    if (m_minimumRate > 0) {
        double allowed = static_cast<double>(delay) * m_minimumRate;
        if (allowed > static_cast<double>(written) || allowed > static_cast<double>(UINT32_MAX)) {
            delay = SaturatedMicroseconds(static_cast<double>(written) / m_minimumRate);
        }
    }
    m_nextTime = now + static_cast<std::uint64_t>(delay);
}
