// FileReplacingDataSink: the DataReceiver that writes a stream into a new temporary file and, at End,
// puts it in the place of its target with one atomic rename (ReplacePath). Readers of the target see
// the old file or the complete new one, never a part, even when the process dies mid-stream. A
// replaced file keeps its permission bits; a new one gets 0600.
//
// A stream that is abandoned (a new Open, or destruction before End) deletes its temporary file and
// leaves the target untouched. One thread at a time.
#pragma once

#include <optional>

#include "base/data_pipeline.h"
#include "base/file_location.h"
#include "foundation/file_writer.h"
#include "foundation/temporary_files.h"

class FileReplacingDataSink : public DataReceiver, public DataWriter {
  public:
    FileReplacingDataSink() = default;
    explicit FileReplacingDataSink(const FileLocation& target, const FileLocation& temporaryFolder = {}) {
        Open(target, temporaryFolder);
    }
    // Abandons a stream in progress; failures ignored.
    ~FileReplacingDataSink() override = default;

    // Abandons a stream in progress and sets the target. The temporary file is made in
    // `temporaryFolder`, or beside the target when that is unset; on another file system than the
    // target it is copied beside the target at End, so the replace stays atomic.
    void Open(const FileLocation& target, const FileLocation& temporaryFolder = {});

    // Makes and opens the temporary file (up to 6 attempts).
    void Begin() override;
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    // Replaces the target. EmptyFileLocationError when no target was set.
    void End() override;

  private:
    FileLocation m_target;
    FileLocation m_temporaryFolder;
    std::optional<TemporaryFile> m_temporary;
    FileWriter m_writer;
};
