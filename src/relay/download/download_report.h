// The download report's content: how each action's mirrored downloads stand, read from the download
// state store and the cache. The HTML page (html_download_report.h) and the XML document
// (xml_download_report.h) are two views of the same ActionDownload list.
//
// One DownloadReportEntry per indexed or dynamic download that has a state row: its target and
// stored state, whether its file is in the cache, how far it got, and when it will be retried. One
// ActionDownload per action of the store, summing up its entries:
//
//   InProgress  some entry is DOWNLOADING (the action is then active)
//   Failed      otherwise, some entry is FAILED
//   Ready       otherwise, the action's URL request is COMPLETED and every indexed download is cached
//               (IsActionCached, cached_targets.h)
//   Pending     otherwise
//
// Texts that came from the network (URLs, error messages) are kept as stored; the views make them
// safe for their readers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/time_value.h"
#include "foundation/event.h"
#include "relay/download/download_state.h"
#include "relay/service/download_request_target.h"
#include "relay/service/download_settings_provider.h"
#include "relay/service/download_status.h"

constexpr std::int64_t kMicrosecondsPerMinute = 60'000'000;

struct DownloadReportEntry {
    DownloadRequestTarget target;
    DownloadStateRecord status;
    bool available = false;
    // The size of the partial file while DOWNLOADING; the total bytes once the file is cached.
    std::optional<std::uint64_t> bytesDownloaded;
    std::optional<std::uint64_t> totalBytes;
    // Only for a FAILED download not yet retried as often as the limit allows: whole minutes until
    // the retry interval since its last change has passed, plus one (so 1 or less once it is due).
    std::optional<std::int64_t> minutesToNextRetry;
    std::uint32_t retryLimit = 0;
};

struct ActionDownload {
    std::uint32_t actionID = 0;
    DownloadMirrorActionStatus state = DownloadMirrorActionStatus::Pending;
    // One line per FAILED entry: "Error downloading {<target text>}: <error text or (unspecified)>"
    // followed by CR LF.
    std::string error;
    bool isActive = false;
    // The latest last change of the entries; 0 without entries.
    TimeValue date;
    // Indexed downloads first, then dynamic ones, each in the store's order.
    std::vector<DownloadReportEntry> downloads;
};

// The entry of one download at time `now`; none when the target has no state row.
std::optional<DownloadReportEntry> BuildDownloadReportEntry(const DownloadRequestTarget& target,
                                                            const DownloadSettingsProvider& settings,
                                                            DownloadState& state, TimeValue now);
// The summary of one action at time `now`.
ActionDownload BuildActionDownload(std::uint32_t actionID, const DownloadSettingsProvider& settings,
                                   DownloadState& state, TimeValue now);
// Every action of the store (GetActionIDs), sorted by action id, over a connection of its own that
// is closed at the end. Between actions it throws StopRequest once the stop event is set, so a
// report of a large store does not hold up a stop.
std::vector<ActionDownload> BuildActionDownloads(const DownloadSettingsProvider& settings, Event& stopEvent);

// The head both report replies begin with, written as the reply's first bytes: "HTTP/1.1 200 OK",
// the current date when it formats, the CGI status and the content type ("text/html" or
// "text/plain"), the no-cache lines and the empty line. No length: the body ends with the connection.
std::string DownloadReportHead(std::string_view contentType);
