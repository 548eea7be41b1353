// A client's back channel, cut into chunks by the input's own bytes, interleaved with the writes of
// the transfer it reports on: reading it must never crash or throw, and the throttle it feeds must
// keep its debt, reserve, budget and times within their bounds whatever the client claims.

#include <cstdint>
#include <cstdlib>

#include "net/arrival_time.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ArrivalTimeMaker maker;
    TimeDebtDataThrottle& throttle = maker.GetThrottle();
    std::uint64_t now = 1'000'000;
    throttle.Start(now);
    maker.Begin();
    maker.GetPolicy().SetRateFactor(size == 0 ? 1.0 : data[0] / 255.0);
    const Byte* next = data;
    const Byte* end = data + size;
    while (next != end) {
        // Each step: one control byte picks the chunk length and the time passing; a write of the
        // budget follows, the socket taking a share of it that the control byte also picks.
        Byte control = *next++;
        std::size_t length = std::min<std::size_t>(control % 32, static_cast<std::size_t>(end - next));
        now += (control >> 5) * 3'000;
        maker.ReceiveAt(now, ConstData(next, length));
        next += length;
        now = std::max(now, throttle.GetNextTime());
        std::uint32_t budget = throttle.GetBudget();
        Check(budget > 0);
        std::uint64_t written = budget * ((control & 3) + 1) / 4;
        throttle.Account(now, written, budget);
        Check(throttle.GetDebt() >= 0 && throttle.GetDebt() <= ArrivalTimeMaker::kDebtCap);
        Check(throttle.GetReserve() >= 0 && throttle.GetReserve() <= throttle.GetReserveCap());
        Check(throttle.GetNextTime() >= now);
        Check(throttle.GetNextTime() - now <= static_cast<std::uint64_t>(ArrivalTimeMaker::kDebtCap) +
                                                  static_cast<std::uint64_t>(throttle.GetReserveCap()));
        Check(throttle.GetChunkSize() >= ArrivalTimeMaker::kMinimumChunk &&
              throttle.GetChunkSize() <= ArrivalTimeMaker::kMaximumChunk);
    }
    maker.End();
    return 0;
}
