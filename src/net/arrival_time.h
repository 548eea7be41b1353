// The back channel of a served transfer: what a client sends back to tell when the reply's bytes
// arrived, so that the server can pace the transfer to the client's link.
//
// Format: one version byte, 0, then records of 8 bytes: the bytes received since the previous
// record and the client's arrival time (microseconds of the client's own clock), each an unsigned
// 32-bit big-endian number. A time smaller than the one before counts as one wrap of the 32-bit
// clock. A stream whose version byte is not 0 is ignored entirely.
//
// - ArrivalTimeWriter writes reports in this format into a DataReceiver (the client's side).
// - ArrivalTimeReader reads them into an ArrivalTimeReceiver; records may be split anywhere across
//   chunks, and a trailing partial record waits for the rest.
// - ArrivalTimeMaker is a served connection's back channel: a reader that feeds its
//   DynamicThrottlePolicy, which paces the connection through the TimeDebtDataThrottle it also holds.
//
// Each serves one stream at a time, on one thread. The writer and the reader do not own their
// targets, which must outlive them.
#pragma once

#include <array>
#include <cstdint>

#include "base/data_pipeline.h"
#include "net/arrival_time_receiver.h"
#include "net/dynamic_throttle.h"
#include "net/time_debt_throttle.h"

class ArrivalTimeWriter : public ArrivalTimeReceiver {
  public:
    // The target must outlive the writer.
    explicit ArrivalTimeWriter(DataReceiver& target) : m_target(target) {}

    // Begins the target and writes the version byte.
    void StartArrivals() override;
    // Writes one record (several when the bytes do not fit 32 bits), the time cut to 32 bits.
    void ReceiveArrival(std::uint64_t offset, std::uint64_t bytes, std::uint64_t arrivalTime) override;
    // Ends the target.
    void FinishArrivals() override;

    std::uint64_t GetTotal() const { return m_total; }

  private:
    DataReceiver& m_target;
    std::uint64_t m_total = 0;
};

class ArrivalTimeReader : public DataReceiver, public DataWriter {
  public:
    explicit ArrivalTimeReader(ArrivalTimeReceiver& target) : m_target(target) {}

    // A new stream: its version byte comes first. Starts the target's arrivals.
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    // Finishes the target's arrivals.
    void End() override;

    // The bytes reported so far.
    std::uint64_t GetTotal() const { return m_total; }

  private:
    void ReceiveRecord();

    static constexpr std::size_t kRecordSize = 8;

    ArrivalTimeReceiver& m_target;
    std::array<Byte, kRecordSize> m_record{};
    std::size_t m_recordLength = 0;
    bool m_versionSeen = false;
    Byte m_version = 0;
    std::uint64_t m_total = 0;
    std::uint32_t m_lastTime = 0;
    std::uint64_t m_wraps = 0;
};

class ArrivalTimeMaker : public DataReceiver, public DataWriter {
  public:
    // The shape of every served transfer's throttle.
    static constexpr double kReserveFactor = 10.0;
    static constexpr std::int64_t kHalfLife = 15'000'000;
    static constexpr std::uint32_t kMinimumChunk = 2048;
    static constexpr std::uint32_t kMaximumChunk = 1 << 20;
    static constexpr std::int64_t kDebtCap = 10'000'000;

    ArrivalTimeMaker();
    ArrivalTimeMaker(const ArrivalTimeMaker&) = delete;
    ArrivalTimeMaker& operator=(const ArrivalTimeMaker&) = delete;

    DynamicThrottlePolicy& GetPolicy() { return m_policy; }
    TimeDebtDataThrottle& GetThrottle() { return m_throttle; }

    // Back-channel bytes read at `now` (monotonic clock).
    void ReceiveAt(std::uint64_t now, ConstData bytes);
    // The bytes the client has reported arrived so far.
    std::uint64_t GetReportedTotal() const { return m_reader.GetTotal(); }

    // A new back channel.
    void Begin() override { m_reader.Begin(); }
    void Receive(const Byte* begin, const Byte* end) override { m_reader.Receive(begin, end); }
    using DataReceiver::Receive;
    void End() override { m_reader.End(); }

  private:
    DynamicThrottlePolicy m_policy;
    TimeDebtDataThrottle m_throttle;
    ArrivalTimeReader m_reader;
};
