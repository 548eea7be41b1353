// Test stages that record the calls they receive as readable text, and a reader that hands out
// prepared chunks, for checking the calling order and the chunking of pipeline stages.
#pragma once

#include <string>
#include <vector>

#include "base/data_pipeline.h"

// Records "Begin", "Receive(<bytes>)" and "End", one entry per call.
class RecordingReceiver : public DataReceiver, public DataWriter {
  public:
    void Begin() override { calls.push_back("Begin"); }
    void Receive(const Byte* begin, const Byte* end) override {
        calls.push_back("Receive(" + std::string(begin, end) + ")");
    }
    void End() override { calls.push_back("End"); }

    std::vector<std::string> calls;
};

// Records "Begin(0)", "Text(<bytes>)", "EndLine(1,3)" and "End(4)", one entry per call.
class RecordingLineReceiver : public LineReceiver {
  public:
    void Begin(std::uint64_t start) override { calls.push_back("Begin(" + std::to_string(start) + ")"); }
    void ReceiveText(const Byte* begin, const Byte* end) override {
        calls.push_back("Text(" + std::string(begin, end) + ")");
    }
    void EndLine(std::uint64_t start, std::uint64_t end) override {
        calls.push_back("EndLine(" + std::to_string(start) + "," + std::to_string(end) + ")");
    }
    void End(std::uint64_t total) override { calls.push_back("End(" + std::to_string(total) + ")"); }

    std::vector<std::string> calls;
};

// Delivers its chunks one per ReadSome call (cut to the room offered), then is at its end.
class ChunkReader : public DataReader {
  public:
    explicit ChunkReader(std::vector<std::string> chunks) : m_chunks(std::move(chunks)) {}

    bool AtEnd() override { return m_next == m_chunks.size(); }
    void ReadSome(OutputRange& range) override;

  private:
    std::vector<std::string> m_chunks;
    std::size_t m_next = 0;
    std::size_t m_offset = 0;
};
