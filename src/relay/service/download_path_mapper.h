// DownloadPathMapper: what the relay's HTTP server asks before it serves a path as a file. Download
// paths ("/vtmirror/downloads/..."), which name downloads by action and index or by SHA-1, are mapped
// onto the file of the download cache that holds them, and a download the cache lacks is asked for.
//
// The download side implements it (relay/download/download_path_serving.h); the server calls it on
// its loop thread only, for every request that no plug-in claims, so an implementation needs no lock
// of its own for what it keeps for that thread, and must not wait long: every client waits meanwhile.
#pragma once

#include <optional>
#include <string>

#include "base/const_data.h"

class DownloadPathMapper {
  public:
    virtual ~DownloadPathMapper() = default;

    // The path to serve instead of `path` (the request's path as it came, escapes and all), or none to
    // serve `path` as it stands. `readyMarkerPath` is the server's probe path ("/vtmirror/downloads/0"),
    // served when an action asked for as a whole is complete. Throws HTTPRequestError to answer the
    // request with that status instead; any other exception is a failure of the mapping, which the
    // server answers with 500.
    virtual std::optional<std::string> MapDownloadPath(ConstData path, const std::string& readyMarkerPath) = 0;
};
