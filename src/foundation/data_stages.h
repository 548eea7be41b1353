// Small generic stages of the data pipeline: a reader with nothing in it, a receiver that discards,
// receivers that collect into a string, forward to another receiver or to two, a receiver that
// bounds the length of a stream, and a line receiver that collects lines into a list.
//
// None of them owns its target: the caller keeps the string, list or receiver alive while the stage
// is in use. Like every stage they are used by one thread at a time, except the two process-wide
// instances, which hold no state and may be shared by all threads.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/data_pipeline.h"

// A reader that is always at its end.
class EmptyDataReader : public DataReader {
  public:
    static EmptyDataReader& Instance();

    bool AtEnd() override { return true; }
    void ReadSome(OutputRange&) override {}
};

// A receiver that discards everything.
class IgnoreDataReceiver : public DataReceiver, public DataWriter {
  public:
    static IgnoreDataReceiver& Instance();

    void Begin() override {}
    void Receive(const Byte*, const Byte*) override {}
    void End() override {}
};

// Collects a stream into a caller-owned string: Begin clears it, each chunk is appended.
class StringReceiver : public DataReceiver, public DataWriter {
  public:
    StringReceiver() = default;
    explicit StringReceiver(std::string& target) : m_target(&target) {}

    void SetTarget(std::string& target) { m_target = &target; }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override {}

  private:
    std::string* m_target = nullptr;
};

// Passes chunks on to a target without its Begin and End: appends one stream to another that the
// caller has begun and will end.
class DataAppender : public DataReceiver, public DataWriter {
  public:
    DataAppender& SetTarget(DataReceiver& target) {
        m_target = &target;
        return *this;
    }

    void Begin() override {}
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override {}

  private:
    DataReceiver* m_target = nullptr;
};

// Passes every call on to two targets, the first one first: one stream, two consumers.
class DataTee2 : public DataReceiver, public DataWriter {
  public:
    DataTee2& SetTargets(DataReceiver& first, DataReceiver& second) {
        m_first = &first;
        m_second = &second;
        return *this;
    }

    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    void End() override;

  private:
    DataReceiver* m_first = nullptr;
    DataReceiver* m_second = nullptr;
};

// A ByteLimitedReceiver was given more bytes than its limit.
class ByteLimitExceeded : public DebuggableException {};

// Passes a stream on to a target as long as it holds at most `limit` bytes; the chunk that would
// pass the limit throws Exceeded instead of reaching the target. Begin starts the count again.
template <class Exceeded = ByteLimitExceeded>
class ByteLimitedReceiver : public DataReceiver, public DataWriter {
  public:
    ByteLimitedReceiver& SetUp(DataReceiver& target, std::uint64_t limit) {
        m_target = &target;
        m_limit = limit;
        return *this;
    }

    void Begin() override {
        m_count = 0;
        m_target->Begin();
    }
    void Receive(const Byte* begin, const Byte* end) override {
        const auto length = static_cast<std::uint64_t>(end - begin);
        if (length > m_limit - m_count) throw Exceeded();
        m_count += length;
        m_target->Receive(begin, end);
    }
    using DataReceiver::Receive;
    void End() override { m_target->End(); }

  private:
    DataReceiver* m_target = nullptr;
    std::uint64_t m_limit = 0;
    std::uint64_t m_count = 0;
};

// Collects lines into a caller-owned list. The text after the last line end becomes a last entry
// also when it is empty: a text ending with a line end yields an empty last entry, and an empty text
// yields one empty entry.
class LineListMaker : public LineReceiver {
  public:
    LineListMaker() = default;
    explicit LineListMaker(std::vector<std::string>& target) : m_target(&target) {}

    void SetTarget(std::vector<std::string>& target) { m_target = &target; }

    void Begin(std::uint64_t startOffset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t terminatorStart, std::uint64_t terminatorEnd) override;
    void End(std::uint64_t total) override;

  private:
    std::vector<std::string>* m_target = nullptr;
    std::string m_line;
};
