// Site archives: the files of one gathered site version, or the changes from an older version, in one
// file that a relay serves to its child relays whole (the full-site and difference-site files of the
// dirlist folders). SiteArchiveWriter writes them; crypto/site_archive_unpacker.h applies them.
//
// The file is a compressed file (compressed_file.h: "##SC001", the checksum, zlib data; or the stored
// "##SN001" form when written uncompressed) whose content is a sequence of records and an end mark:
//     1 byte   kind: "_" (0x5F) for a 4-byte size, "1" (0x31) for an 8-byte size
//     1 byte   L, the length of the name field: the name and its terminating 0x00; 2 to 255
//     L bytes  the member name, then 0x00
//     1 byte   T, the length of the time text, at least 1
//     T bytes  the modification time as time text in UTC, "Thu, 01 Jan 1970 00:00:00 +0000"
//     4|8      the size, unsigned little-endian
//     size     the file's bytes
// and the end mark "_" 0x00 (a record with name length 0). The writer uses kind "1" exactly for a
// size of 4 GiB or more. A directory is its name with "/" appended and size 0. A member whose name
// begins with "__dif_" holds, instead of the file, a binary difference (binary_difference.h) from the
// old copy of the file named by the rest of the name.
//
// Reading, record by record: ReadSiteArchiveMemberHead and ReadSiteArchiveData over the archive's
// content (a CompressedFileReader past the file's header). Unpacking checked against a file list is
// crypto/site_archive_unpacker.h; plain extraction site_archive_extraction.h.
//
// One thread at a time. A failed archive is left for the caller to delete.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "base/file_location.h"
#include "base/time_value.h"
#include "formats/compressed_file.h"
#include "foundation/file_writer.h"
#include "platform/file_paths.h"

// A record without a name, or with a name of 255 bytes or more.
class ArchiveWriterError : public DebuggableException {};
// A file at or above the writer's size limit.
class ArchiveWriterFileTooBigError : public ArchiveWriterError {};

// The prefix of a member that holds a difference.
inline constexpr const char* kDifferenceMemberPrefix = "__dif_";

// Writes the head of a file record (everything before the data) into `records`. The size limit: below
// 2^64 - 1 when large files are allowed, else below 4,294,967,295. ArchiveWriterError,
// ArchiveWriterFileTooBigError.
void WriteSiteArchiveRecordHead(DataReceiver& records, ConstData name, TimeValue modified, std::uint64_t size,
                                bool largeFilesAllowed);

// One record's head, as the archive gives it.
struct SiteArchiveMemberHead {
    // What follows the last "/" or "\" of the member's name, without "__dif_" for a difference: empty
    // for a directory record.
    std::string fileName;
    bool difference = false;
    std::uint64_t size = 0;
};

// Reads the next record's head; false at the end mark. FormatError for a kind other than "_" (the
// reader takes 4-byte sizes only) or a time length of 0, the time parser's errors for a time text
// that is none (it is read, not kept), NoMoreData for a short archive.
bool ReadSiteArchiveMemberHead(DataReader& content, SiteArchiveMemberHead& member);
// Reads the `size` data bytes of the member whose head was read last, through the buffer, handing
// each chunk to `take`, or dropping it when `take` is empty. NoMoreData for a short archive.
void ReadSiteArchiveData(DataReader& content, std::uint64_t size, OutputRange buffer,
                         const std::function<void(ConstData chunk)>& take = {});

class SiteArchiveWriter {
  public:
    SiteArchiveWriter() = default;
    SiteArchiveWriter(const SiteArchiveWriter&) = delete;
    SiteArchiveWriter& operator=(const SiteArchiveWriter&) = delete;

    // Creates (or empties) the file and writes the compressed file's header.
    void Open(const FileLocation& location, bool uncompressed, bool largeFilesAllowed);
    // A directory record for a directory, else a file record with the file's current content. The
    // time is microseconds since 1970-01-01 UTC.
    void AddPath(const FileLocation& path, ConstData memberName, TimeValue modified);
    // Writes the end mark and completes the file, checksum included.
    void Finish();

  private:
    void AddFile(const FileLocation& path, ConstData memberName, TimeValue modified);

    PosixPlatform::FileWritingPath m_file;
    std::optional<FileDataSink> m_sink;
    std::optional<CompressedFileWriter> m_compressed;
    std::optional<UncompressedFileWriter> m_uncompressed;
    DataReceiver* m_records = nullptr;
    bool m_largeFilesAllowed = false;
};
