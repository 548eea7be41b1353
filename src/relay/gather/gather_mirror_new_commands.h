// The commands of the gather status report plug-in (relay_gather_mirror_new_plugin.h). The command is
// the request path's last component, percent-decoded and compared ignoring case:
//
//   "-gatherall"                                   queue the latest version of every site in the gather
//                                                  map; a page naming each site as it is queued
//   "-gatherlatest?url=<site>"                     queue the latest version of the site
//   "-gatherversion?url=<site>&version=<n>[&useCRC=<n>]"
//                                                  queue version n (a many-version CRC when useCRC is
//                                                  a non-zero number)
//   "" "-report" "kvrgathermirrornew.exe"          the gather status report (gather_mirror_pages.h)
//   "-version"                                     the version reply
//   anything else                                  the "invalid command" reply
//
// Query names are compared ignoring case; of a repeated name the last value counts. The queueing
// commands answer with a configuration message (mirror status 1); a missing "url" or "version" is
// answered with mirror status 7 and queues nothing. A queueing request that the gather state declines
// (already pending or queued) is answered as queued: its debug log tells the difference.
//
// A refused command throws KVRGatherError, which the dispatch answers with its configuration message
// (HTTP status 200) and logs. Every other failure (a version that is not a 32-bit decimal, a URL the
// gather state refuses with UnableToGenerateSiteID) passes to the caller; "-gatherall", whose page is
// under way by then, says a refused site on its own line and goes on with the next.
#pragma once

#include <string>

#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/url_to_gather_id_map.h"

// One request as the commands see it; the state and map are the plug-in's.
struct GatherMirrorNewRequest {
    ClientWriter& writer;
    // The request target: path and query.
    const std::string& url;
    GatherState& state;
    URLToGatherIDMap& gatherMap;
    LogFunctor& log;
};

// Runs the command the request names and writes its answer.
void DispatchGatherMirrorNewCommand(GatherMirrorNewRequest& request);
