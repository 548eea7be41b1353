// Small receivers hung under header values and bodies.
//
// - Uint64Maker: a decimal unsigned 64-bit number (such as a Content-Length). Blanks are skipped
//   wherever they stand ('1 2' is 12); any other non-digit or an overflow makes the text invalid. At
//   End the target gets the value only when a target is set, a digit came and nothing was invalid;
//   otherwise it keeps its previous content.
// - StringAppender: appends a stream to a caller-owned string without clearing it; End forgets the
//   string, so the next use needs SetTarget again.
// - DataCounter: counts the bytes of a stream, sticking at 2^64 - 1 with the overflow flag set.
// - BufferFiller: fills a caller-owned fixed buffer through a DataFilter; bytes beyond its capacity
//   are dropped. Begin empties the buffer; End detaches buffer and filter (the caller's FillBuffer
//   keeps what was filled).
//
// None owns its target. One thread at a time.
#pragma once

#include <cstdint>
#include <string>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "foundation/integer_maker.h"

class Uint64Maker : public DataReceiver, public DataWriter {
  public:
    Uint64Maker& SetTarget(std::uint64_t& target) {
        m_target = &target;
        return *this;
    }

    void Begin() override { m_digits.Begin(); }
    void Receive(const Byte* begin, const Byte* end) override { m_digits.Receive(begin, end); }
    void End() override { m_digits.End(m_target); }

  private:
    std::uint64_t* m_target = nullptr;
    DecimalAccumulator<std::uint64_t> m_digits;
};

class StringAppender : public DataReceiver, public DataWriter {
  public:
    StringAppender() = default;
    explicit StringAppender(std::string& target) : m_target(&target) {}

    StringAppender& SetTarget(std::string& target) {
        m_target = &target;
        return *this;
    }

    void Begin() override {}
    // The bytes may lie inside the target string itself.
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override { m_target = nullptr; }

  private:
    std::string* m_target = nullptr;
};

class DataCounter : public DataReceiver, public DataWriter {
  public:
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override {}

    std::uint64_t Count() const { return m_count; }
    bool Overflowed() const { return m_overflowed; }

  private:
    std::uint64_t m_count = 0;
    bool m_overflowed = false;
};

// A caller-owned fixed buffer: [start, position) holds what was filled, [position, end) is free.
struct FillBuffer {
    Byte* start = nullptr;
    Byte* position = nullptr;
    Byte* end = nullptr;

    FillBuffer() = default;
    FillBuffer(Byte* begin, Byte* finish) : start(begin), position(begin), end(finish) {}
    ConstData Filled() const { return {start, position}; }
};

// A BufferFiller received data while it had no buffer or no filter.
class NullBufferFiller : public DebuggableException {};

class BufferFiller : public DataReceiver, public DataWriter {
  public:
    BufferFiller& SetUp(FillBuffer& buffer, DataFilter& filter) {
        m_buffer = &buffer;
        m_filter = &filter;
        return *this;
    }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override;

  private:
    FillBuffer* m_buffer = nullptr;
    DataFilter* m_filter = nullptr;
};
