// The relay's life between the service frame starting it and the frame stopping it.
//
// RelayServiceRun builds, on the calling thread and in a fixed order, everything the relay runs on:
// the HTTP server settings, the log file and its writer, the socket layer, the crypto library, the
// relay configuration and the components of each subsystem; it then registers and starts the HTTP
// plug-ins and runs the relay's HTTP server until the process-wide stop event is set, and destroys
// everything in reverse order. Every component is a named local of the run routine (RunComponents in
// relay_service_run.cpp), handed by reference to the ones built after it; nothing of the run is
// reached through a global. The process-wide singletons it touches (the registration list, the
// revocation store, the client masthead watcher, the log manager) are loaded at their place in that
// order. At shutdown, after the plug-ins are gone and while the log still runs, the registration
// list is written; a failed write is logged at "critical".
//
// A fresh machine (no endpoint agent, no parent) is enough to start and serve: start-up logs at
// "critical", once each, what the relay runs without, and goes on.
//
// RelayServiceStop may be called from any thread, any number of times: it logs "KVR Relay received
// stop request" and sets the stop event, which everything else reacts to.
#pragma once

#include "foundation/locked_counters.h"
#include "http/http_server_settings.h"
#include "http/plugin_path_table.h"
#include "relay/download/service_download_manager.h"
#include "relay/gather/gather_service_loop.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/url_to_gather_id_map.h"
#include "relay/post/post_file_options_manager.h"
#include "relay/register/notification_services.h"
#include "relay/service/action_site_reset_receiver.h"
#include "relay/service/download_path_mapper.h"
#include "relay/service/gather_options_manager.h"

// True when the relay served and stopped on request; false when start-up failed (the reason is in
// the log at "critical") or the server never started.
bool RelayServiceRun();
void RelayServiceStop();

// The components of the run that the plug-ins and the server are given: built by the run routine
// before them, alive until they are gone, none owned. Built with designated initialisers; each
// subsystem adds the members its plug-ins need as it joins the start-up.
struct RelayComponents {
    HTTPServerSettings& settings;
    GatherOptionsManager& configuration;
    // Drops the action downloads when the agent's action site starts a new epoch.
    ActionSiteResetReceiver& resetReceiver;
    // Maps the download paths of unclaimed requests onto the download cache.
    DownloadPathMapper& downloadPaths;
    // The download manager, to which the download-request plug-in hands what child relays ask for and
    // the mirror-request plug-in an action's failed downloads.
    ServiceDownloadManager& downloads;
    // The client notification's services, for the client-register plug-in's notification requests.
    NotificationServices& notifications;
    // The counts of the result forwarding buffer, for the post-results plug-in's overload check.
    LockedCounters& resultBufferCounters;
    // The settings and folders of resumable file uploads, for the post-file plug-in.
    const PostFileOptionsManager& postFileOptions;
    // The gathered sites, for the diagnostics page's site list, the gather status report and the
    // gather-mirror plug-in.
    URLToGatherIDMap& gatherMap;
    // The gather status of every site, for the gather-mirror plug-ins.
    GatherState& gatherState;
    // The download relay's part of each gather loop pass, for the gather-mirror plug-in, which runs
    // the gather service loop.
    GatherLoopDownloadWork& gatherLoopWork;
};

// Builds, registers and starts the plug-ins, runs the server (up to 10 times while the port is taken,
// 30 seconds apart) and destroys the plug-ins. False when all ten attempts failed; a stop request
// during the retries ends them, and the run counts as stopped on request.
bool RegisterPlugInsAndServe(const RelayComponents& components);
// One server: built, run until the stop event is set, destroyed; true. False when the port is taken.
bool RunRelayHTTPServer(const RelayComponents& components, PlugInPathTable& plugIns);
