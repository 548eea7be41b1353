// The URLs under which the relay hands out its mirror files: the server's base URL joined with the
// file's path below the web root, which the relay's file serving answers.
//
// The base URL is the local server's "Hostname" (ReadLocalServerURLText, net/local_server_url.h): the
// address and port at which clients and child relays reach this relay. The gather-mirror plug-in
// reads it once, when it is built.
#pragma once

#include <string>

#include "base/exceptions.h"
#include "base/file_location.h"

// A mirror file that does not lie below the web root has no URL.
class MirrorFileOutsideWebRoot : public DebuggableException {};

// The URL of `location`, which must lie below (or be) `webRoot`: the location's names from below the
// root joined by "/", resolved against `serverBaseURL`; with `trailingSlash` (a folder) the path ends
// in "/". Locations match the root by their text, ignoring letter case. MirrorFileOutsideWebRoot when
// the walk up from `location` reaches "/" (or a text without folder) without meeting the root.
std::string MirrorFileURL(const FileLocation& webRoot, const FileLocation& location, bool trailingSlash,
                          const std::string& serverBaseURL);
