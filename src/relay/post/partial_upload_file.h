// PartialUploadFile: an upload being put together, "_<key>" in one of the two "Temp" folders
// (post_file_options_manager.h). Each range a client sends is appended at the file's end; the file's
// size is what the relay holds of the upload, the offset at which the next range must start.
//
// An append keeps every byte that arrived, in the file and in the copy it also feeds (the upload's
// running hash) alike, even when the body breaks off part-way; a write that fails is cut off again
// before the copy sees it. So the file and its hash always cover the same bytes, and an interrupted
// range resumes where the file ends.
//
// A handle on a path, opened per call; the caller makes sure one request at a time appends to one
// file (upload_key_claims.h).
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "base/file_location.h"

class PartialUploadFile {
  public:
    explicit PartialUploadFile(FileLocation location) : m_location(std::move(location)) {}

    const FileLocation& Location() const { return m_location; }
    bool Exists() const;
    // 0 when the file does not exist.
    std::uint64_t Size() const;
    // Appends the next `count` bytes of the body (fewer when it ends first), each also into `copy`
    // when one is given (its Receive only). Creates the file when missing. Answers the new size.
    std::uint64_t Append(DataReader& body, std::uint64_t count, DataReceiver* copy);
    // Deletes the file; nothing when it is missing.
    void Remove() const;

  private:
    FileLocation m_location;
};
