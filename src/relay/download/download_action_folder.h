// Action folders: what fetched an action's downloads for the relay leaves in the downloads folder, one
// folder per action named by the action id in decimal (downloads/<action id>/). The relay only reads
// them (download_request_file_processor.h); their entries:
//
//   dl_<action id>              the action's download request file (download_request_file.h)
//   0                           the action's downloads succeeded
//   pending                     the action's downloads are still pending
//   lastFailure                 the text of the last failure
//   sha1_<index>_<40 hex>       the downloaded file of the download numbered <index>, named with the
//                               SHA-1 its producer found; its size is its size on disk
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "base/file_location.h"
#include "formats/digest_record.h"

// How the action's downloads ended, by the folder's markers.
enum class ActionFolderStatus {
    Succeeded = 0,  // "0"
    Pending = 2,    // "pending" without "0"
    Failed = 3,     // neither
};

ActionFolderStatus ReadActionFolderStatus(const FileLocation& folder);
// The whole of "lastFailure"; empty when the folder has none.
std::string ReadLastFailure(const FileLocation& folder);

struct DownloadedFile {
    FileLocation location;
    // The SHA-1 of the name: none when the text after the last "_" is not 40 hexadecimal digits.
    std::optional<DigestRecord> nameSha1;
    std::uint64_t size = 0;
};

// The first plain file of the folder named "sha1_<index>_..." (names compared ignoring case); none
// when there is none.
std::optional<DownloadedFile> FindDownloadedFile(const FileLocation& folder, std::uint32_t index);
