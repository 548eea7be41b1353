// The commands of the gather-mirror plug-in (kvr_gather_mirror_plugin.h). The request path's last
// component, percent-decoded, names the command when it is one of "-version", "-rootversion" and
// "-siteversion" in any letter case; every other word (the plug-in path itself included) is the site
// directory request "-kvrgather". The word is then looked up case-sensitively in the table of
// gather_mirror_commands.cpp, so "-VERSION" reaches no command and is answered "Unknown command."
// (code 6).
//
//   -kvrgather    ?url=<site URL>[&expectedVersion=n][&localVersion=n][&manyVersionSHA1=<40 hex>]
//                 the site directory reply (gather_mirror_site_directory.h)
//   -siteversion  ?url=<site URL>[&useCRC=n]   "x-kvr-siteversion: <n>", this relay's expected value
//   -rootversion  ?url=<site URL>[&useCRC=n]   "x-kvr-rootserver-siteversion: <n>", asked of the parent
//   -version      the version page, code 1
//
// A refused command throws KVRGatherError; the dispatch answers it with the status page (below) and
// logs its message. Other failures (an unknown site asked for its version, a mirror file missing)
// pass to the caller, which answers 500.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "foundation/event.h"
#include "http/cgi_response.h"
#include "http/http_request.h"
#include "http/plugin_log_functor.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/kvr_gather_error.h"
#include "relay/service/gather_options_manager.h"

// The request headers the commands read. Each is looked up by its dash name and, when that is absent
// or empty, by its underscore name ("x_veltra_client_valid"); empty when both are absent.
struct ClientSiteHeaders {
    std::string clientSiteVersion = {};  // "x-veltra-client-site-version"
    std::string clientValid = {};        // "x-veltra-client-valid"
    std::string directory = {};          // "x-veltra-directory"
    std::string userAgent = {};          // "User-Agent" (no underscore form)
    std::string lastServerDate = {};     // "x-veltra-last-server-date", read by no command
};

ClientSiteHeaders ReadClientSiteHeaders(const HTTPRequest& request);

// One request as the commands see it. Everything but the writer and the log belongs to the plug-in.
struct GatherMirrorRequest {
    ClientWriter& writer;
    const ClientSiteHeaders& headers;
    // The request target: path and query.
    const std::string& url;
    std::string_view method;
    GatherOptionsManager& options;
    GatherState& gatherState;
    Event& stop;
    const std::string& serverBaseURL;
    LogFunctor& log;
};

// "-version", "-rootversion" or "-siteversion" as the path's last component spells it, else
// "-kvrgather".
std::string GatherMirrorCommandWord(const std::string& url);

// The name=value pairs of the request's query (names to be compared ignoring case, a later pair
// overriding an earlier one), for a command that needs one: KVRGatherError "Missing required
// parameter(s)." (7) without a query, "Incorrect submit method." (9) for a method other than GET.
NameValueList RequiredQueryPairs(const GatherMirrorRequest& request);

// A user agent of 6 bytes or more holding "Veltra" (case kept): the product's own agents and relays.
bool IsProductAgent(std::string_view userAgent);

// Runs the command the request names and writes its answer.
void DispatchGatherMirrorCommand(GatherMirrorRequest& request);

// The status page of a command, written whole: "HTTP/1.1 404" for a product agent and any code but 1,
// else "HTTP/1.1 200"; the fixed header block with "x-kvr-gather-mirror-status: <code>" (none for
// code 0); an HTML body with the message, which is put in as it is: callers pass fixed texts.
void WriteGatherMirrorPage(std::string_view message, ClientWriter& writer, bool productAgent,
                           std::uint32_t code);
