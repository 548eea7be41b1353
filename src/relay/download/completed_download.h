// The check every successfully downloaded file passes before it enters the download cache: its size
// and SHA-1 against what was asked for. A file that fails is deleted at once, so it never reaches the
// cache, and the failure says what differed.
#pragma once

#include <cstdint>
#include <optional>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "formats/digest_record.h"
#include "relay/download/download_state.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"

// "Requested SHA1 <expected> does not match actual SHA1 <actual>", digests in lower-case hexadecimal.
class DownloadSHA1Failure : public ExceptionPL {
  public:
    DownloadSHA1Failure(const DigestRecord& expected, const DigestRecord& actual);
};

// "Requested size <expected> does not match actual size <actual>", in decimal.
class DownloadSizeFailure : public ExceptionPL {
  public:
    DownloadSizeFailure(std::uint64_t expected, std::uint64_t actual);
};

struct DownloadedFileFacts {
    DigestRecord sha1;
    std::uint64_t size = 0;
};

// Hashes the file and reads its size. When an expected value is given and differs, the file is
// deleted (a failure to delete is ignored) and DownloadSHA1Failure or, for a matching SHA-1,
// DownloadSizeFailure is thrown: a SHA-1 mismatch wins over a size mismatch. File errors of a file
// that cannot be read pass.
DownloadedFileFacts VerifyDownloadedFile(const FileLocation& file,
                                         const std::optional<DigestRecord>& expectedSha1,
                                         std::optional<std::uint64_t> expectedSize);

// Stores a finished download of the target into the cache:
// - a URL request: the file must read as the action's download request file
//   (ReadDownloadRequestFileOfAction); one that does not is deleted and its error thrown, so a bad
//   list is never served to children. It then goes into the "ActionURLs" folder as "dl_<action id>".
// - an indexed or dynamic download: VerifyDownloadedFile against the target's own SHA-1 and size
//   (dynamic) or those stored for its action and index (indexed); an indexed target's row then gets
//   the file's SHA-1 and size; the file goes into the sha1 folder under its SHA-1.
// The file is moved, replacing an entry of the same name. The state of the target is the caller's.
void StoreCompletedDownload(const DownloadRequestTarget& target, const FileLocation& file,
                            const DownloadSettingsProvider& settings, DownloadState& state);
