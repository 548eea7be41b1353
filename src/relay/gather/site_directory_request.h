// The site directory request: the GET with which a site gather asks its parent for the site's
// current file list and where its content can be had (directory_header_handler.h reads the answer).
//
// Its URL is the parent gather URL ("_KVRGather_Comm_ParentRelayURL") followed by a query, in this
// order:
//     ?url=<site URL>
//     &ManyVersionSHA1=<ManyVersionDigestText of the relay's many-version list, also when empty>
//     &ExpectedManyVersionCRC=<n>   the expected version is a CRC, not 0
//     &ExpectedVersion=<n>          the expected version is integral, not 0
//     &Expect404Flag=true           no expected version (or 0), and the relay holds no version of the
//                                   site: neither a local version nor a many-version list
// and the fetch adds "&Time=<now in seconds>" (gather_fetch.h). The parent decodes the query, so the
// site URL goes in with its "&", "#", "+", "%", blanks and control bytes percent-encoded and every
// other byte as it is.
//
// Pure functions; the crypto library must be started (the list's SHA-1).
#pragma once

#include <string>
#include <string_view>

#include "relay/gather/site_gather_params.h"

// The site URL as the query's "url" value.
std::string EscapeSiteURLForQuery(std::string_view siteURL);

// The request URL for the gather request, without its time.
std::string SiteDirectoryRequestURL(std::string_view parentGatherURL, const SiteGatherParams& request);
