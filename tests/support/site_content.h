// Site content as a parent relay serves it, made for tests from version trees: file lists (plain, or
// signed with the openssl command line and the test PKI of support/test_pki.h), compressed files, site
// archives (full and update) and binary differences. Written from the formats as the relay's parent
// writes them, independently of the relay's own code, so that tests of the relay's readers compare
// against a second implementation.
//
// Usage:
//     std::vector<SiteFile> v1 = {{"a.txt", "one", 0}, {"b.bin", "two", 60}};
//     std::vector<SiteFile> v2 = ReadSiteTree(folder);              // or the files of a folder
//     FileListOptions options;
//     options.version = 2;
//     std::string list = FileListForFiles(v2, options);             // multipart/x-directory2 text
//     std::string signedList = SignedMessage(list, OperatorSigner("op7-typed"));
//     WriteFileBytes(path, CompressedFileBytes(signedList));        // as "__sdirlistc" is kept
//     WriteFileBytes(archive, UpdateArchiveBytes(v1, v2));          // "__dif_" members for changes
//     std::string diff = DifferenceBytes(oldBytes, newBytes);       // a separate difference file
//
// Everything throws std::runtime_error on failure. Thread-safe (no shared state; signing runs a
// process).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "support/file_bytes.h"

// One file of a site version: its name, content and modification time (seconds since 1970, UTC).
struct SiteFile {
    std::string name;
    std::string content;
    std::int64_t modified = 0;
};

// The plain files directly in the folder, by name, with their modification times.
std::vector<SiteFile> ReadSiteTree(const std::string& folder);
// Writes each file into the folder (created when missing) with its modification time.
void WriteSiteTree(const std::string& folder, const std::vector<SiteFile>& files);

// Header or entry fields of a list, in order: ("name", "value").
using ListFields = std::vector<std::pair<std::string, std::string>>;

struct FileListOptions {
    std::uint32_t version = 1;
    std::string sourceVersions;  // the "source-versions" value; no such line when empty
    std::string urlBase = "http://parent.example.test/site/";
    ListFields extraHeaders;  // further header lines, after those above
};

// The lower-case hexadecimal SHA-1 of the bytes.
std::string Sha1Hex(std::string_view bytes);
// CRC-32/BZIP2 of the bytes (all ones in and out): the checksum of a site URL in notifications.
std::uint32_t TextChecksum(std::string_view bytes);
// The CRC of a many-version list ("3,0,17"): TextChecksum of its entries up to the last non-zero one,
// each as 4 bytes little-endian.
std::uint32_t ManyVersionListCRC(const std::string& manyVersion);
// "Thu, 01 Jan 1970 00:00:00 +0000".
std::string TimeText(std::int64_t seconds);
// Every byte but letters, digits and "-._~" as "%XX".
std::string PercentEncoded(std::string_view text);

// The entry fields of a file: url, name, type FILE, modified, size, sha1.
ListFields EntryFieldsOf(const SiteFile& file, const std::string& urlBase);
// A multipart/x-directory2 list with CRLF line ends: the header lines, then one part per entry.
std::string FileListText(const FileListOptions& options, const std::vector<ListFields>& entries);
std::string FileListForFiles(const std::vector<SiteFile>& files, const FileListOptions& options);
// A multipart/mixed message around several lists (or signed lists); a message nested in another
// needs a boundary of its own.
std::string MixedMessage(const std::vector<std::string>& parts, const std::string& boundary = "filelist-mixed");

// Who signs: PEM files of the test PKI's folder (certificate, key, further certificates to carry).
struct Signer {
    std::string certificate;
    std::string key;
    std::string carried;  // "" for none
};
// The site certificate of "opsite7" (tests/pki/pki-signed.sh).
Signer SiteSigner();
// An operator of "opsite7", such as "op7-typed" or "op8-typed".
Signer OperatorSigner(const std::string& name);
// The "Type:Operator" operator of "CustomSite_Fixture" holding the user role (tests/pki/pki-roles.sh).
Signer CustomSiteUserSigner();
// `openssl smime -sign -md sha1 -binary`: the content as a multipart/signed S/MIME message.
std::string SignedMessage(const std::string& content, const Signer& signer);

// A compressed file: "##SC001", a zero byte, the CRC-32/BZIP2 of the content big-endian, zlib data.
std::string CompressedFileBytes(std::string_view content);

// One record of a site archive; a directory record has a name ending in "/" and no data.
struct ArchiveMember {
    std::string name;
    std::string data;
    std::int64_t modified = 0;
};
// The uncompressed records and the end mark.
std::string SiteArchiveContent(const std::vector<ArchiveMember>& members);
// The same inside a compressed file.
std::string SiteArchiveBytes(const std::vector<ArchiveMember>& members);
// The full site: one member per file.
std::string FullSiteArchiveBytes(const std::vector<SiteFile>& files);
// From one version to the next: a "__dif_" member for each changed file, a plain member for each new
// one, nothing for unchanged files.
std::vector<ArchiveMember> UpdateArchiveMembers(const std::vector<SiteFile>& from, const std::vector<SiteFile>& to);
std::string UpdateArchiveBytes(const std::vector<SiteFile>& from, const std::vector<SiteFile>& to);

// A difference from old to new: copy of the common start, skip and insert of the middle, copy of the
// common end.
std::string DifferenceBytes(std::string_view oldBytes, std::string_view newBytes);
// One record: the tag's operation (0x10 insert, 0x20 skip, 0x40 copy), the length in the fewest
// bytes, and the literal bytes of an insert.
std::string DifferenceRecord(unsigned operation, std::uint32_t length, std::string_view literal = {});
