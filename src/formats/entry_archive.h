// Entry archives: named files and directories with their modification times in one byte stream, as
// downloaded site content and gathered bundles arrive. The stream may be the body of a compressed
// "##SC001" file (compressed_file.h); extraction looks at its first 8 bytes to tell.
//
// The stream is a sequence of entries, each
//     1 byte   type: "_" (4-byte size field) or "1" (8-byte size field)
//     1 byte   name length; 0 ends the archive
//     n bytes  name; a trailing zero byte is not part of it, and "\" stands for "/"
//     1 byte   time length, not 0
//     n bytes  the modification time as time text (time_parser.h)
//     4|8      size, unsigned little-endian
//     size     the file's bytes
// A name ending in "/" is a directory (size 0); the name "/" alone is skipped.
#pragma once

#include <cstdint>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/file_location.h"

// Extracts the archive that `reader` stands at into the directory `destination`, which is created
// when missing. Every name is resolved below the destination: ".." steps, absolute paths and
// backslashes never lead out of it. Each file is written to a temporary file and replaces its
// target only when complete; its modification time is then set from the entry (a time that cannot
// be read or set is ignored).
//
// `byteLimit` (0: none) bounds the content of a compressed archive: producing more than that many
// bytes throws UntrustedByteLimitExceeded. A plain archive is never larger than its input.
//
// Failures: FormatError (a bad type byte, a zero time length, a directory with a size, a file entry
// that names the destination itself), DataOverflow (an empty name), NoMoreData (the stream ends
// inside an entry or before the end mark), IllegalFileName (a name part no file may have), the
// compressed-file and file errors. Files extracted before the failure stay; the one in progress is
// not written.
void ExtractArchive(DataReader& reader, const FileLocation& destination, std::uint64_t byteLimit);
// The same for the archive file at `archive`, read from its start.
void ExtractArchiveFile(const FileLocation& archive, const FileLocation& destination,
                        std::uint64_t byteLimit);

// True for the names of an archive's own control files: "Index.txt", "Archive.dat" and "Index.tmp"
// in any case, and every name beginning with "_".
bool IsArchiveControlName(ConstData name);
