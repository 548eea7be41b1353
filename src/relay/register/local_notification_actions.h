// What a notification does on this relay itself before it is passed on (NotifyClients): the gather
// state learns of new site versions (types 2 and 9), the download side of finished downloads (types
// 8 and 21), the registration list of a client's resend request (type 12).
//
// The gather state (relay/gather/gather_state.h) and the download side (relay/download/
// download_pings.h) implement the interfaces below. PassingDownloadPings stands in for a download side
// where there is none: it answers true ("pass the notification on") and does nothing else.
//
// Implementations guard themselves: they are called from request threads and from the threads of
// the download and gather code at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "relay/register/client_notification.h"

class ClientRegistrationList;
class GatherOptionsManager;
struct NotificationServices;

// One gathered site as a client that fetches its commands is told of it.
struct GatheredSiteVersion {
    std::string siteURL;
    std::uint32_t version = 0;
    std::uint32_t manyVersion = 0;  // 0 when the site has none
};

class GatherStateNotifications {
  public:
    virtual ~GatherStateNotifications() = default;
    // A new version of the action sites; answers whether clients are to be told.
    virtual bool NotifyGatherAction(std::uint32_t version, bool multiValue) = 0;
    // A new version of the site whose URL has the checksum; answers whether clients are to be told.
    virtual bool NotifyGatherHash(std::uint32_t version, std::uint32_t urlChecksum, bool multiValue) = 0;
    // Every gathered site with its versions, in the gather state's order.
    virtual std::vector<GatheredSiteVersion> ListSiteVersions() = 0;
};

class DownloadPingHandler {
  public:
    virtual ~DownloadPingHandler() = default;
    // A download of the action is ready; answers whether clients are to be told.
    virtual bool HandleDownloadPing(std::uint32_t actionID, GatherOptionsManager& options) = 0;
    // A download known by the checksum of its digest is ready; the same answer.
    virtual bool HandleDynamicDownloadPing(std::uint32_t digestChecksum, GatherOptionsManager& options) = 0;
};

class PassingDownloadPings : public DownloadPingHandler {
  public:
    bool HandleDownloadPing(std::uint32_t, GatherOptionsManager&) override { return true; }
    bool HandleDynamicDownloadPing(std::uint32_t, GatherOptionsManager&) override { return true; }
};

// The local action of the type; answers whether the notification is to be passed on:
//   2   the gather state's NotifyGatherAction with Argument, and, when Argument1MV is present, AND
//       with Argument1MV as multi-value (both called)
//   8   HandleDownloadPing with Argument
//   9   NotifyGatherHash with Argument and Argument2, and with Argument1MV likewise
//   12  false for all clients (a resend request is never broadcast); else MarkPendingNotification
//       of the list with ComputerID, Argument and Argument2, and true
//   21  HandleDynamicDownloadPing with Argument
//   other types: true, nothing done.
// A missing argument throws ExceptionPL before anything is done, e.g. "NotifyClients: GatherAction
// notification must have an argument value.".
bool NotifyClients(std::uint32_t type, const ClientNotification& notification, bool allClients,
                   ClientRegistrationList& list, NotificationServices& services);
