// DownloadSettingsProvider: what the download relay needs to know of the relay's configuration: the
// files and folders of its state and cache, the URL paths and file names it hands out, and its
// limits, retries and throttle. Implemented by GatherOptionsManager, which reads every value afresh
// on each call and may be called from any thread.
#pragma once

#include <cstdint>

#include "base/file_location.h"
#include "base/file_name.h"
#include "formats/digest_record.h"
#include "net/throttle_request.h"
#include "relay/service/download_request_target.h"

class DownloadSettingsProvider {
  public:
    virtual ~DownloadSettingsProvider() = default;

    virtual FileLocation GetDownloadStateDatabaseFile() const = 0;
    virtual FileLocation GetDownloadPluginsDatabaseFile() const = 0;
    virtual FileLocation GetSha1Folder() const = 0;
    virtual FileLocation GetDownloadsFolder() const = 0;
    virtual FileLocation GetActionURLsFolder() const = 0;
    virtual FileLocation GetActiveDownloadsFolder() const = 0;
    virtual FileLocation GetDownloadWhitelistFile() const = 0;
    // The file in the active downloads folder that a running download of the target is written to.
    virtual FileLocation GetDownloadTargetFile(const DownloadRequestTarget& target) const = 0;
    // The name of the download request file of an action.
    virtual FileName GetDownloadRequestFileName(std::uint32_t actionID) const = 0;
    virtual std::string GetDownloadsURLPath() const = 0;
    virtual std::string GetSha1DownloadURLPath(const DigestRecord& sha1) const = 0;
    virtual std::string GetActionURLPath(std::uint32_t actionID) const = 0;
    virtual std::uint32_t GetRetryLimit() const = 0;
    // Microseconds.
    virtual std::int64_t GetRetryInterval() const = 0;
    virtual std::uint32_t GetMaxDownloadJobs() const = 0;
    // Bytes.
    virtual std::uint64_t GetCacheLimit() const = 0;
    // Microseconds.
    virtual std::int64_t GetCacheCleanupAge() const = 0;
    virtual std::int64_t GetCacheCleanupInterval() const = 0;
    virtual bool UseDownloadService() const = 0;
    virtual bool UseUrlMoniker() const = 0;
    virtual bool CheckParentFlag() const = 0;
    virtual bool CheckInternetFlag() const = 0;
    // Microseconds.
    virtual std::int64_t GetInactivityTimeout() const = 0;
    virtual ThrottleRequest GetThrottleSettings() const = 0;
};
