// The fetches of a site gather: every download of a gather (the directory request, lists, archives,
// difference sites) is one GET into a file through a URLFetcher (url_fetcher.h), paced by the relay's
// download throttle, through the parent link's proxy, and stopped by the service's stop event.
//
// A fetch either succeeds (the destination holds the body) or throws: GatherCancelled when the stop
// event ended it, else GatherFetchFailure with the text
//     "GetURL failure on <url>: <the result's full text>"
// so that a gather's failure names the file it could not have.
//
// Each call reads the settings it needs afresh (throttle settings from the options, the proxy from
// ParentRelayConfiguration). Calls may run on several gather threads at once; the stop event is only
// looked at.
#pragma once

#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "base/file_location.h"

class DirectoryHeaderHandler;
class Event;
class GatherOptionsManager;
class HeaderHandler;

// The stop event ended a fetch.
class GatherCancelled : public DebuggableException, public NonDumpableException {};

class GatherFetchFailure : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// The GET of `url` into `destination` with the handler, after the throttle settings of the options
// have been copied into the handler's pacing fields.
void GatherFetch(std::string_view url, const FileLocation& destination, HeaderHandler& handler,
                 const GatherOptionsManager& options, Event& stop);

// A content fetch, with a plain handler (client name "Veltra KVRGather"). With a local address (the
// parent's "x-kvr-http-local-addr"), the file is fetched from there instead: the local address
// followed by what follows the URL's last "/".
void GatherGetURL(std::string_view url, const FileLocation& destination, std::string_view localAddress,
                  const GatherOptionsManager& options, Event& stop);

// The directory request: `url` (site_directory_request.h) with "Time=<now in seconds>" added to its
// query. Answers the URL as sent, on which the handler's URLs are to be rebuilt.
std::string FetchSiteDirectory(std::string_view url, const FileLocation& destination, DirectoryHeaderHandler& handler,
                               const GatherOptionsManager& options, Event& stop);
