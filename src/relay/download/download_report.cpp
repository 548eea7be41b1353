#include "relay/download/download_report.h"

#include <algorithm>

#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "foundation/interruptor.h"
#include "http/cgi_response.h"
#include "relay/download/cached_targets.h"

namespace {

// The target's own size; for an indexed download without one, the size its row keeps.
std::optional<std::uint64_t> TotalBytesOf(const DownloadRequestTarget& target, DownloadState& state) {
    if (target.GetSize() || !target.IsIndexed()) return target.GetSize();
    return state.GetSize(*target.GetActionID(), *target.GetIndex());
}

// How much of the download has reached its file in the active-downloads folder.
std::uint64_t PartialFileSize(const DownloadRequestTarget& target, const DownloadSettingsProvider& settings) {
    FileItem file;
    return file.Lookup(settings.GetDownloadTargetFile(target)) ? file.GetSize() : 0;
}

std::string ErrorLine(const DownloadReportEntry& entry) {
    const std::optional<DownloadError>& error = entry.status.error;
    const std::string text = error && !error->message.empty() ? error->message : "(unspecified)";
    return "Error downloading {" + downloadRequestTargetText(entry.target) + "}: " + text + "\r\n";
}

DownloadMirrorActionStatus SummaryState(const ActionDownload& action, bool anyFailed,
                                        const DownloadSettingsProvider& settings, DownloadState& state) {
    if (action.isActive) return DownloadMirrorActionStatus::InProgress;
    if (anyFailed) return DownloadMirrorActionStatus::Failed;
    if (IsActionCached(action.actionID, settings, state)) return DownloadMirrorActionStatus::Ready;
    return DownloadMirrorActionStatus::Pending;
}

}  // namespace

std::optional<DownloadReportEntry> BuildDownloadReportEntry(const DownloadRequestTarget& target,
                                                            const DownloadSettingsProvider& settings,
                                                            DownloadState& state, TimeValue now) {
    std::optional<DownloadStateRecord> record = state.GetState(target);
    if (!record) return std::nullopt;
    DownloadReportEntry entry{
        .target = target,
        .status = *record,
        .available = IsTargetCached(target, settings, state),
        .bytesDownloaded = std::nullopt,
        .totalBytes = TotalBytesOf(target, state),
        .minutesToNextRetry = std::nullopt,
        .retryLimit = settings.GetRetryLimit(),
    };
    if (entry.available) {
        entry.bytesDownloaded = entry.totalBytes;
    } else if (record->status == DownloadStateStatus::Failed && record->retryCount < entry.retryLimit) {
        const std::int64_t untilRetry = record->lastUpdate + settings.GetRetryInterval() - now;
        entry.minutesToNextRetry = untilRetry / kMicrosecondsPerMinute + 1;
    } else if (record->status == DownloadStateStatus::Downloading) {
        entry.bytesDownloaded = PartialFileSize(target, settings);
    }
    return entry;
}

ActionDownload BuildActionDownload(std::uint32_t actionID, const DownloadSettingsProvider& settings,
                                   DownloadState& state, TimeValue now) {
    ActionDownload action;
    action.actionID = actionID;
    std::vector<DownloadRequestTarget> targets = state.GetActionDownloads(actionID);
    const std::vector<DownloadRequestTarget> dynamic = state.GetDynamicDownloadsByAction(actionID);
    targets.insert(targets.end(), dynamic.begin(), dynamic.end());
    for (const DownloadRequestTarget& target : targets) {
        std::optional<DownloadReportEntry> entry = BuildDownloadReportEntry(target, settings, state, now);
        if (entry) action.downloads.push_back(std::move(*entry));
    }

    bool anyFailed = false;
    for (const DownloadReportEntry& entry : action.downloads) {
        action.date = std::max<std::int64_t>(action.date, entry.status.lastUpdate);
        if (entry.status.status == DownloadStateStatus::Downloading) action.isActive = true;
        if (entry.status.status == DownloadStateStatus::Failed) {
            anyFailed = true;
            action.error += ErrorLine(entry);
        }
    }
    action.state = SummaryState(action, anyFailed, settings, state);
    return action;
}

std::vector<ActionDownload> BuildActionDownloads(const DownloadSettingsProvider& settings, Event& stopEvent) {
    DownloadState state(settings);
    std::vector<std::uint32_t> actionIDs = state.GetActionIDs();
    std::sort(actionIDs.begin(), actionIDs.end());
    std::vector<ActionDownload> actions;
    actions.reserve(actionIDs.size());
    EventInterruptor stop(stopEvent);
    for (std::uint32_t actionID : actionIDs) {
        stop.CheckForInterruption();
        actions.push_back(BuildActionDownload(actionID, settings, state, GetCurrentUTCTime()));
    }
    state.Close();
    return actions;
}

std::string DownloadReportHead(std::string_view contentType) {
    std::string head = "HTTP/1.1 200 OK\r\n";
    char date[64];
    if (FormatCurrentHTTPDate(date, sizeof date, true)) head += std::string("Date: ") + date + "\r\n";
    head += "STATUS: 200\r\nMIME-Version: 1.0\r\nContent-Type: ";
    head += contentType;
    head += "\r\nCache-Control: no-cache\r\nCache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n\r\n";
    return head;
}
