// A download state store and cache of the test's own, and the standard mix of actions the report
// tests read: one action in each report state, with cached, partial, failed and dynamic downloads.
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "foundation/clocks.h"
#include "relay/download/directory_cache.h"
#include "relay/download/download_state.h"
#include "relay/download/download_test_support.h"
#include "support/temporary_registry.h"

class DownloadReportFixture : public DownloadSettingsFixture {
  protected:
    using Status = DownloadStateStatus;

    static constexpr std::int64_t kMinute = 60'000'000;

    DownloadReportFixture() {
        OpenDownloadStateDatabase(m_settings);
        m_state = std::make_unique<DownloadState>(m_settings);
    }

    DownloadState& State() { return *m_state; }

    // The target's row in the state, dated `lastUpdate`, with the error when one is given.
    void Put(const DownloadRequestTarget& target, Status status, TimeValue lastUpdate = GetCurrentUTCTime(),
             std::optional<DownloadError> error = std::nullopt) {
        DownloadStateRecord record;
        record.status = status;
        record.lastUpdate = lastUpdate;
        record.error = std::move(error);
        State().SetState(target, record);
    }
    void Retried(const DownloadRequestTarget& target, unsigned times) {
        for (unsigned i = 0; i < times; ++i) State().IncrementRetryCount(target);
    }
    // A file of the digest in the sha1 folder.
    void CacheSha1(const DigestRecord& sha1) {
        WriteCacheFile(m_settings.GetSha1Folder(), DirectoryCache::NameForSHA1(sha1).ToString(), "content");
    }
    // The action's "dl_" list in the ActionURLs folder.
    void CacheActionList(std::uint32_t actionID) {
        WriteCacheFile(m_settings.GetActionURLsFolder(), "dl_" + std::to_string(actionID), "list");
    }
    // The target's partial file in the active-downloads folder, `bytes` long.
    void Partial(const DownloadRequestTarget& target, std::size_t bytes) {
        const std::string path = m_settings.GetDownloadTargetFile(target).GetPathString();
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteWholeFile(path, std::string(bytes, 'p'));
    }

    // One action of each kind:
    //   12 Ready       URL request COMPLETED with its list, both indexed files cached
    //   13 Pending     its indexed file cached, but the URL request only REQUEST_SUBMITTED
    //   14 InProgress  one download DOWNLOADING (300 of 1000 bytes, 5 minutes ago), one FAILED
    //   16 Failed      indexed FAILED "HTTP 404" 2 minutes ago; dynamic FAILED without a text
    //                  3 minutes ago, retried 5 times (the default limit)
    //   17 Pending     only a cached dynamic download, no URL request
    void SeedEachState() {
        const TimeValue now = GetCurrentUTCTime();
        Put(DownloadRequestTarget::URLRequest(12), Status::Completed, now);
        CacheActionList(12);
        Put(DownloadRequestTarget::Indexed(12, 0, "http://site/a.zip", FilledDigest(0xa0), 7),
            Status::Completed, now);
        Put(DownloadRequestTarget::Indexed(12, 1, "http://site/b.zip", FilledDigest(0xa1)), Status::Completed,
            now);
        CacheSha1(FilledDigest(0xa0));
        CacheSha1(FilledDigest(0xa1));

        Put(DownloadRequestTarget::URLRequest(13), Status::RequestSubmitted, now);
        Put(DownloadRequestTarget::Indexed(13, 0, "http://site/a.zip", FilledDigest(0xa0)), Status::Completed,
            now);

        const DownloadRequestTarget downloading =
            DownloadRequestTarget::Indexed(14, 0, "http://site/c.zip", std::nullopt, 1000);
        Put(downloading, Status::Downloading, now - 5 * kMinute);
        Partial(downloading, 300);
        Put(DownloadRequestTarget::Indexed(14, 1, "http://site/d.zip"), Status::Failed, now - 9 * kMinute,
            DownloadError{DownloadErrorKind::Generic, "timed out"});

        Put(DownloadRequestTarget::Indexed(16, 0, "http://site/e.zip"), Status::Failed, now - 2 * kMinute,
            DownloadError{DownloadErrorKind::Generic, "HTTP 404"});
        const DownloadRequestTarget dynamic =
            DownloadRequestTarget::Dynamic(16, FilledDigest(0xd6), 42, "http://site/f.bin");
        Put(dynamic, Status::Failed, now - 3 * kMinute,
            DownloadError{DownloadErrorKind::RemovedFromCache, ""});
        Retried(dynamic, 5);

        Put(DownloadRequestTarget::Dynamic(17, FilledDigest(0xd7), 7, "http://site/g.bin"), Status::Completed,
            now);
        CacheSha1(FilledDigest(0xd7));
    }

  private:
    static void WriteCacheFile(const FileLocation& folder, const std::string& name,
                               const std::string& content) {
        std::filesystem::create_directories(folder.GetPathString());
        WriteWholeFile(folder.GetPathString() + "/" + name, content);
    }

    std::unique_ptr<DownloadState> m_state;
};
