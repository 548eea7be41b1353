// Writing an open file (platform/file_paths.h) through the pipeline: FileWriter writes byte ranges at
// its own 64-bit position, FileDataSink is the DataReceiver stage that writes a stream from a start
// position and flushes it to the disk at End.
//
// Neither owns or closes the path, which must outlive them. One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "platform/file_paths.h"

class FileWriter : public DataWriter {
  public:
    FileWriter() = default;
    FileWriter(PosixPlatform::FileWritingPath& path, std::uint64_t position) { Attach(path, position); }

    void Attach(PosixPlatform::FileWritingPath& path, std::uint64_t position) {
        m_path = &path;
        m_position = position;
    }
    // Writes the range at the position and advances it; an empty range does nothing.
    void Write(const Byte* begin, const Byte* end);
    void Write(ConstData data) { Write(data.begin, data.end); }

    std::uint64_t GetPosition() const { return m_position; }

  private:
    PosixPlatform::FileWritingPath* m_path = nullptr;
    std::uint64_t m_position = 0;
};

class FileDataSink : public DataReceiver, public DataWriter {
  public:
    // `flushAtEnd` false leaves the data to the kernel's own pace (for files that need no durability).
    FileDataSink(PosixPlatform::FileWritingPath& path, std::uint64_t start, bool flushAtEnd = true)
        : m_path(&path), m_start(start), m_flushAtEnd(flushAtEnd) {}

    void Begin() override { m_writer.Attach(*m_path, m_start); }
    void Receive(const Byte* begin, const Byte* end) override { m_writer.Write(begin, end); }
    using DataReceiver::Receive;
    void End() override;

  private:
    PosixPlatform::FileWritingPath* m_path;
    std::uint64_t m_start;
    bool m_flushAtEnd;
    FileWriter m_writer;
};
