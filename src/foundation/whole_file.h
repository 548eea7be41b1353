// Whole-file operations: each opens the file itself, reads or writes it completely, and closes it
// again, also when an exception passes.
//
// A read that fails part-way has already delivered the earlier chunks to its receiver (which has had
// Begin but no End). Chunks are 4,096 bytes; the size is taken when the read starts, so bytes appended
// meanwhile are not read and a file that shrinks is FileReadingLoopEndOfFileError.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/file_location.h"

// Begin, the bytes from `start` to the end of the file, End.
void FeedFileToReceiver(const FileLocation& location, DataReceiver& receiver, std::uint64_t start = 0);
// Begin, the bytes [start, end), End.
void FeedFileSectionToReceiver(const FileLocation& location, DataReceiver& receiver, std::uint64_t start,
                               std::uint64_t end);
// Begin, the bytes from `start` to the end of the file cut into lines by a LineMaker, End.
void ReadFileLines(const FileLocation& location, LineReceiver& receiver, std::uint64_t start = 0);
std::vector<Byte> ReadWholeFile(const FileLocation& location);
std::string ReadFileText(const FileLocation& location);
// Writes `data` as the whole content of the file, through a temporary file beside it that replaces
// it only when complete: the file holds the old content or all of the new, never a part.
void WriteWholeFile(ConstData data, const FileLocation& location);
void WriteWholeFile(const std::vector<Byte>& data, const FileLocation& location);
