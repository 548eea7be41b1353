// UploadManager: carries finished buffered uploads one level up. The post-file plug-in
// (post_file_plugin.h) leaves each finished buffered upload in the buffer's "sha1" folder under its
// SHA-1 text; the manager, a BackgroundWorker, lists that folder and POSTs each file to the parent's
// post-file path in ranges, exactly as a client would, resuming where the parent's copy ends, pacing
// itself, and deleting each file once the parent holds all of it. Settings: upload_manager_settings.h.
//
// One piece of work (DoWork):
// - while the parent host is empty: nothing, again in a second;
// - while files of the last listing remain: one range of the current file (below);
// - otherwise a new listing: the worker waits, at most "CleanupHours", for a change in the "sha1"
//   folder (or a Stop or Pause) unless the last pass had a failure, then lists it: directories and
//   empty files are passed over, "_" files older than "CleanupHours" are removed, the rest is taken
//   oldest first. The next piece of work waits 100 times as long as the listing took, 1 to 100 s.
//
// A range: at offset 0 the first 200 bytes (to learn the parent's offset, throttle and chunk size),
// later "ChunkSize" bytes or the parent's smaller chunk size, never past the file's end; POSTed
// (TransferHTTP, http/http_client.h) as "<ParentURL>?sha1=<name>&range=<first>,<last>,<size>" with
// the parent host in front of a "ParentURL" that does not begin with "http". The parent answers
// "x-kvr-upload-result: Success=<held>,<throttle>,<chunk size>" (upload_result.h): the next range
// starts at <held>, and when that is the file's size the file is removed. The next range waits as long
// as the bytes sent since the file began should have taken at the smaller of the parent's throttle and
// "ThrottleKBPS" (none while "ThrottleKBPS" is 0).
//
// A range that fails (the transfer, a status other than 200, a missing or malformed answer, an answer
// past the file's size, a file that cannot be read) is said in the status text, and the manager goes
// on with the next file after a retry delay that doubles from 1 to 30 s; the failed file, kept, comes
// back with the next listing at offset 0. The delay after a success is 100 ms to 100 s.
//
// The status text, read by the diagnostics page, is "No Progress" at first, then
// "<name>: <held> of <size> bytes in <seconds> seconds" after each success, or one of:
//   "Error: PostHttp function returned error code <c>"
//   "Error: PostHttp function returned HTTP status code <s>"
//   "Error: invalid or missing result header in server response[: <body of at most 511 bytes>]"
//   "Error: invalid result header in server response (first comma not found)"
//   "Error: invalid result header in server response (second comma not found)"
//   "Error: invalid result header in server response (not a number)"
//   "Error: the parent answered <held> of <size> bytes for <name>"
//   "Error: <name>: <the failure's text>"
//
// At most one manager exists at a time; Instance gives it (the post-file plug-in asks whether one runs).
// Stop and Pause also wake a worker waiting for a change, and a transfer in flight breaks off through
// its UploadStopFunctor. The destructor stops and joins the worker before anything goes.
//
// Threads: SetParentRelayHost, GetStatusText and the BackgroundWorker operations may be called from
// any thread; SetClientSession only while the worker is paused (the relay sets it at start-up). DoWork
// is the worker's (tests call it on a manager whose worker stays paused).
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <variant>
#include <vector>

#include "base/file_location.h"
#include "foundation/change_notification.h"
#include "foundation/directory_iterator.h"
#include "foundation/event.h"
#include "foundation/locked_object.h"
#include "foundation/stopwatch.h"
#include "foundation/temporary_files.h"
#include "http/get_stop_functor.h"
#include "http/http_client_session.h"
#include "relay/post/background_worker.h"
#include "relay/post/upload_manager_settings.h"
#include "relay/post/upload_result.h"

class UploadManager : public BackgroundWorker {
  public:
    static constexpr std::uint64_t kFirstRangeBytes = 200;
    static constexpr std::int64_t kIdleDelay = 1'000;  // milliseconds, while there is no parent
    static constexpr std::int64_t kShortestRetryDelay = 1'000;
    static constexpr std::int64_t kLongestRetryDelay = 30'000;
    static constexpr std::int64_t kShortestDelay = 100;
    static constexpr std::int64_t kLongestDelay = 100'000;
    static constexpr std::int64_t kShortestListingDelay = 1'000;
    static constexpr std::uint64_t kTransferTimeOut = 300'000'000;  // microseconds of no progress
    static constexpr std::size_t kLongestQuotedBody = 511;
    static constexpr unsigned kParentChangeSeconds = 30;

    // `temporaryDirectory` holds the request and response files of the transfers; empty means the
    // system's temporary folder.
    UploadManager(bool initiallyPaused, FileLocation temporaryDirectory);
    ~UploadManager() override;

    // The manager that exists now, or null.
    static UploadManager* Instance();

    bool Stop(unsigned seconds) override;
    bool Pause(unsigned seconds) override;

    // "http://host:port"; empty leaves the manager idle.
    void SetParentRelayHost(std::string host);
    void SetClientSession(HTTPClientSession session);
    // The parent changed: pause, take the new host, resume (each wait up to kParentChangeSeconds).
    void ChangeParentRelayHost(const std::string& host);
    std::string GetStatusText();

    // One piece of work; the delay in milliseconds before the next.
    std::int64_t DoWork() override;

  private:
    std::int64_t Rescan(const UploadManagerSettings& settings);
    // False when the wake event ended the wait: the listing is skipped.
    bool WaitForWork(const UploadManagerSettings& settings);
    void ListFiles(const UploadManagerSettings& settings);
    std::int64_t UploadNextRange(const UploadManagerSettings& settings, const std::string& parentHost);
    // Sends the next range; the parent's answer, or the failure's status text.
    std::variant<UploadResult, std::string> SendRange(const UploadManagerSettings& settings,
                                                      const std::string& parentHost,
                                                      const DirectoryEntry& file, std::uint64_t size);
    std::int64_t TakeResult(const UploadManagerSettings& settings, const std::string& name, std::uint64_t size,
                            const UploadResult& result);
    std::int64_t TakeFailure(std::string status);
    std::int64_t PacingDelay(const UploadManagerSettings& settings) const;
    // A new file in the temporary directory, deleted when the last copy goes.
    TemporaryFileLocation NewTransferFile() const;
    void SetStatus(std::string text);

    const FileLocation m_temporaryDirectory;
    UploadManager* const m_previous;
    Guarded<std::string> m_parentHost;
    Guarded<std::string> m_status;
    HTTPClientSession m_session;
    Event m_wake;

    // The worker's own.
    std::vector<DirectoryEntry> m_files;
    std::size_t m_index = 0;
    std::uint64_t m_offset = 0;
    std::uint64_t m_chunkHint = 0;
    std::uint64_t m_parentThrottle = 0;
    Stopwatch m_transferTime;
    std::uint64_t m_bytesSent = 0;
    std::int64_t m_retryDelay = 0;
    bool m_passFailed = false;
    FileLocation m_watchedFolder;
    std::optional<ChangeNotification> m_sha1Watch;  // on m_watchedFolder
};

// A transfer's stop condition: the manager's stop or pause request.
class UploadStopFunctor : public GetStopFunctor {
  public:
    explicit UploadStopFunctor(const BackgroundWorker& worker) : m_worker(worker) {}
    bool ShouldStop() override { return m_worker.IsInterruptRequested(); }

  private:
    const BackgroundWorker& m_worker;
};

// "<parentURL>?sha1=<name>&range=<first>,<last>,<size>", `parentHost` in front of a `parentURL` that
// does not begin with "http"; the name is URL-encoded.
std::string BuildRangeURL(const std::string& parentURL, const std::string& parentHost, const std::string& name,
                          std::uint64_t first, std::uint64_t last, std::uint64_t size);
