// The downloads file: what the relay hands one download plug-in process, whose only argument is
// "--downloads=" followed by the file's path. UTF-8 JSON, written by JSONTextWriter's indented layout,
// one object with its members in this order:
//
//   {
//     "id" : 1700000000,                    the process id, to name in "status" messages
//     "inbox" : "\u002Fsrv\u002F...inbox",   the folder for the plug-in's "plugin_*" messages
//     "downloads" :
//       [
//           {
//             "id" : 0,                      the download id, to name in a status record
//             "file" : "...",                where the downloaded file goes
//             "url" : "test:\u002F\u002Fa\u002Fb",   the URL, or null
//             "sha1" : "0a1b...",            40 lower-case hexadecimal digits, or null
//             "size" : 5000                  the size in bytes, or null
//           }
//       ]
//   }
//
// Strings are escaped by the JSON writer ("/" as \u002F among others); a JSON reader gives the texts
// back as they were.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "base/file_location.h"
#include "relay/service/download_request_target.h"

// One download handed to a plug-in: the target and the file the plug-in writes it to.
struct PluginDownload {
    DownloadRequestTarget target;
    FileLocation destination;
};

// By download id.
using PluginDownloads = std::map<std::uint64_t, PluginDownload>;

// The file's text. Throws NumeralTooLarge for an id or size at or above 2^63, which JSON integers of
// the relay cannot carry.
std::string DownloadPluginDownloadsText(std::uint64_t processID, const FileLocation& inboxFolder,
                                        const PluginDownloads& downloads);
