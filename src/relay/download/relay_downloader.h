// RelayDownloader: the relay's own Downloader (downloader.h), which fetches a target into its cache
// file from the parent relay and, where allowed, from the target's own URL.
//
// Download first looks the target up in the hash index of files held outside the cache
// (hash_index.h): by SHA-1 when it has one, else (or on a miss) by URL. A file found there is copied
// to the cache file and the target reported a success at once, on the calling thread. Otherwise a
// worker is started on the manager's thread group (DownloadNotStarted when it cannot be), and
// Download returns.
//
// The worker, with a DownloadState of its own:
// - after a SHA-1 miss in a SHA-1 index that is on, asks the indexer to rewrite it (waiting at most
//   the indexer's wait time, 63 seconds by default, ended by the stop event) and copies the file
//   when the rewritten index has it;
// - tries the target's sources (download_source_sequence.h: the parent relay URL, the agent's
//   "Server1", and the target's own URL) one after the other through TransferFromSource
//   (source_transfer.h) until one succeeds: ReportSuccess;
// - reports the last source's failure when every source failed ("Unknown failure" when there was
//   none), each failure logged at "debug" as it happens;
// - reports the target suspended when the stop event or the manager's interruptor stops it, before
//   or during a transfer: a stop never counts as a failed attempt.
// A partial file stays in the cache file for the next attempt to resume.
//
// Built once at start-up; the settings, the manager, the hash index options and the stop event must
// outlive it, and the manager joins its workers (AbortAll) before it goes. Download is called on the
// manager's work-pass thread; the hash index is shared with the workers and locks itself.
#pragma once

#include "base/file_location.h"
#include "foundation/event.h"
#include "foundation/interruptor.h"
#include "foundation/thread_group.h"
#include "relay/download/downloader.h"
#include "relay/download/hash_index.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"
#include "relay/service/hash_index_options.h"

class ServiceDownloadManager;

class RelayDownloader : public Downloader {
  public:
    RelayDownloader(const DownloadSettingsProvider& settings, ServiceDownloadManager& manager,
                    const HashIndexOptions& hashIndexOptions, Event& stopEvent);

    void Download(const DownloadRequestTarget& target, const FileLocation& location, ThreadGroup& threads,
                  ThreadInterruptor& interruptor) override;

    // Copies the file the hash index gives for the target onto the location; false when the index has
    // none or the copy fails.
    bool CopyFromHashIndex(const DownloadRequestTarget& target, const FileLocation& location);

  private:
    void DownloadWorker(const DownloadRequestTarget& target, const FileLocation& location,
                        ThreadInterruptor& interruptor);
    bool CopyAfterRegeneration(const DownloadRequestTarget& target, const FileLocation& location);
    void TrySources(const DownloadRequestTarget& target, const FileLocation& location, Interruptor& interruptor);

    const DownloadSettingsProvider& m_settings;
    ServiceDownloadManager& m_manager;
    Event& m_stopEvent;
    HashIndex m_hashIndex;
};
