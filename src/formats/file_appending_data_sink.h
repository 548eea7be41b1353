// FileAppendingDataSink: the DataReceiver that appends each stream to the end of a file, creating the
// file when it is missing. A stream that is abandoned (a new Open, or destruction before End) is cut
// off again: the file goes back to the length it had at Begin, so no half stream stays appended.
//
// One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "base/file_location.h"
#include "foundation/file_writer.h"
#include "platform/file_paths.h"

class FileAppendingDataSink : public DataReceiver, public DataWriter {
  public:
    FileAppendingDataSink() = default;
    explicit FileAppendingDataSink(const FileLocation& location) { Open(location); }
    // Abandons a stream in progress; failures ignored.
    ~FileAppendingDataSink() override;

    // Abandons a stream in progress and sets the file that the next stream goes to.
    void Open(const FileLocation& location);

    // Opens the file (created when missing) and positions the writer at its end.
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override { m_writer.Write(begin, end); }
    using DataReceiver::Receive;
    // Flushes the file to the disk and closes it.
    void End() override;

  private:
    void Abandon();

    FileLocation m_location;
    PosixPlatform::FileWritingPath m_path;
    FileWriter m_writer;
    std::uint64_t m_lengthAtBegin = 0;
};
