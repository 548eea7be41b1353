// File lists: one version of a content site as the parent describes it, the site-wide values (the
// header set) and one entry per file. The parent sends them signed; the relay keeps them in its
// dirlist folders and reads them again to check unpacked files and to fill and clean its cache.
//
// The text is a MIME message (message_maker.h; header names arrive lower-cased):
//
//     Content-Type: multipart/x-directory2; boundary="B"    <- or multipart/signed around such a
//     version: 12                                              message, or multipart/mixed around
//     source-versions: 5, 3                                    several (multipart_file_list_maker.h)
//     ...header set...
//
//     --B
//                                                           <- the part's own header section: a part
//     url: http://parent/site/a%20b.txt                        with a "content-type" is skipped
//     name: a%20b.txt
//     type: FILE
//     modified: Thu, 01 Jan 1970 00:00:00 +0000
//     size: 5
//     sha1: 40 hexadecimal digits
//     --B--
//
// Header set (unknown names ignored):
//     version                decimal, 32 bits
//     fullsiteurl            text, cut at 256 bytes
//     fullsiteurlsize        decimal, 64 bits
//     sitediffbaseurl        text, cut at 256 bytes
//     sitedifflist           "0"/"1" text, cut at 256 bytes: which older versions have a difference
//                            (std_file_list.h)
//     unique-id              decimal, 32 bits
//     source-versions        many-version text (many_version_maker.h)
//     actionsiteepoch        time text (time_parser.h), cut at 256 bytes, read when asked for
//     x-relevant-when        text, whole
//     sitedisplayname        text with the RFC 2047 "Q" escapes ("=E9", "_" for a blank) and encoded
//                            words, ISO-8859-1 unless an encoded word names another set; kept as UTF-8
// Entry fields (unknown names ignored; a part without type, url, name or modified gives no entry):
//     url                    text, cut at 256 bytes
//     name                   percent-encoded; the file name is what follows its last "/" or "\"
//     type                   text, cut at 32 bytes: "FILE" or "NONCLIENTFILE"
//     modified               time text, cut at 256 bytes
//     size                   decimal, 32 bits
//     sha1 or hash           40 hexadecimal digits, either case
//     creation-versions      many-version text
//     modification-versions  many-version text; all zero means the creation versions
//     haurlname              the file's name in the gather cache: the entry's lower-case SHA-1 and
//                            ".sha1" is the only name accepted (the cache name never comes from the
//                            network)
//
// What ends a read (every value is untrusted until the signature is checked, and names become
// paths): a header or field value over kMaximumFileListValueBytes (FileListValueTooLong); a decoded
// name over 256 bytes (FileListValueTooLong); a file name that is empty, "." or "..", or holds a byte
// below 32 or 127 (IllegalFileListName); a "sha1"/"hash" that is not 40 hexadecimal digits or a
// "haurlname" other than the cache name (MalformedFileListDigest); a number that is not decimal or
// too large (NotANumeral, NumeralTooLarge); a "modified" that is no time text (time_parser.h); more
// than kMaximumFileListEntries entries (TooManyFileListEntries); a message of another content type
// (NotAFileList). The readers also refuse a list text over kMaximumFileListBytes.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "base/time_value.h"
#include "formats/digest_record.h"
#include "foundation/many_version_maker.h"

// The capacity of the bounded text values; a longer value is cut to it.
inline constexpr std::size_t kFileListTextCapacity = 256;
inline constexpr std::size_t kFileListTypeCapacity = 32;
// The longest header or field value taken at all, as for mastheads.
inline constexpr std::size_t kMaximumFileListValueBytes = 1024 * 1024;
// The longest list text (after decompression) and the most entries a read takes.
inline constexpr std::uint64_t kMaximumFileListBytes = 256ull * 1024 * 1024;
inline constexpr std::uint32_t kMaximumFileListEntries = 1'000'000;

inline constexpr const char* kFileEntryType = "FILE";
inline constexpr const char* kNonClientFileEntryType = "NONCLIENTFILE";
// The suffix of a content file's name in the gather cache.
inline constexpr const char* kCacheNameSuffix = ".sha1";

class NotAFileList : public DebuggableException {};
class FileListValueTooLong : public DebuggableException {};
class IllegalFileListName : public DebuggableException {};
class MalformedFileListDigest : public DebuggableException {};
class TooManyFileListEntries : public DebuggableException {};

// The site-wide values of a list.
struct FileListHeader {
    std::uint32_t version = 0;
    std::string fullSiteURL;
    std::uint64_t fullSiteURLSize = 0;
    std::string siteDiffBaseURL;
    std::string siteDiffList;
    std::uint32_t uniqueID = 0;
    ManyVersionList sourceVersions{};
    std::string actionSiteEpoch;
    std::string relevance;
    std::string displayName;  // UTF-8
};

// One file of a list. The many-versions are kept without their trailing zero components.
struct FileListEntry {
    std::string type;
    std::string name;
    TimeValue modified;
    std::string url;
    std::uint64_t size = 0;
    DigestRecord sha1;
    std::vector<std::uint32_t> creationVersions;
    std::vector<std::uint32_t> modificationVersions;

    bool IsFile() const { return type == kFileEntryType; }
    bool IsNonClientFile() const { return type == kNonClientFileEntryType; }
    // The file's name in the gather cache: its SHA-1 in lower-case hexadecimal and ".sha1"; empty
    // when the entry has no SHA-1.
    std::string CacheName() const;
};

// Byte order of the entries' names, a proper prefix first.
bool FileListEntryNameLess(const FileListEntry& a, const FileListEntry& b);

// What a file-list reader produces: the header set once, before the entries, then the entries in
// list order, then End. Receivers may be handed several lists in a row (file_list_merger.h).
class FileListReceiver {
  public:
    virtual ~FileListReceiver() = default;
    virtual void Header(const FileListHeader& header) = 0;
    virtual void Entry(FileListEntry entry) = 0;
    virtual void End() = 0;
};
