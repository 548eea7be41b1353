// Download pings: a notification that action downloads, or a download known by its SHA-1, are ready
// somewhere above this relay (types 8 and 21, local_notification_actions.h). The relay passes such a
// ping on to its clients only when it holds the downloads itself; otherwise it asks its download
// manager for them, forced, and its own completion pings the clients once they are here.
//
// Each call opens a DownloadState of its own and may run on any thread; the store's failures
// (SQLite::Error) pass to the caller.
#pragma once

#include <cstdint>

#include "relay/download/service_download_manager.h"
#include "relay/register/local_notification_actions.h"
#include "relay/service/download_settings_provider.h"

// True when the whole action is cached. Without a row for the action's URL request nothing is asked
// for (the relay never heard of the action); otherwise the action's targets (ActionTargetsToQueue)
// are handed over. Logs "Download ping: Action <id>" at "debug".
bool HandleDownloadPing(std::uint32_t actionID, const DownloadSettingsProvider& settings,
                        ServiceDownloadManager& manager);

// True when any dynamic download stored under the checksum of its SHA-1 (changed within the last
// seven days) is cached; those not cached whose state is REQUEST_SUBMITTED or FAILED are handed over.
// Logs at "debug" "Dynamic download ping: CRC = <crc>", each target as "Dynamic download ping: {...}",
// and "Received dynamic download notification for unknown CRC: <crc>" when there is none.
bool HandleDynamicDownloadPing(std::uint32_t crc, const DownloadSettingsProvider& settings,
                               ServiceDownloadManager& manager);

// The download side's answer to the client notification: the two pings above, through the manager.
class DownloadPings : public DownloadPingHandler {
  public:
    explicit DownloadPings(ServiceDownloadManager& manager) : m_manager(manager) {}

    bool HandleDownloadPing(std::uint32_t actionID, GatherOptionsManager& options) override;
    bool HandleDynamicDownloadPing(std::uint32_t digestChecksum, GatherOptionsManager& options) override;

  private:
    ServiceDownloadManager& m_manager;
};
