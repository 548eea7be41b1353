// The messages of the external download plug-ins: JSON files named "plugin_*" that a plug-in (or the
// administrator) drops into the relay's inbox folder. Each holds one JSON object whose member
// "message" selects the kind:
//
//   {"message" : "add", "protocol" : "test", "location" : "/usr/local/lib/kvrrelay/test-plugin"}
//   {"message" : "remove", "protocol" : "test"}
//   {"message" : "status", "id" : 1700000000,
//    "status" : [{"id" : 0, "success" : true, "error" : null},
//                {"id" : 1, "success" : false, "error" : "host not found"}]}
//
// "add" registers the program for the URL protocol, "remove" unregisters it, "status" reports the
// outcome of downloads: "id" is the process id from the plug-in's downloads file, each record's "id"
// a download id from it, and "error" a text or null. Every member named for a kind must be present
// with its type; for "message" and "error" null counts as absent. Any other "message" text (compared
// exactly: "Add" is not "add") is a message of no kind, which the relay discards.
//
// Reading fails, and the file counts as failed, with NoSuchJSONValue (a member is missing),
// JSONTypeMismatch (a value, or the document, has another type) or NullDownloadPluginMessageValue (a
// member that must hold a value is null).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "formats/json_value.h"

// A member that must hold a value is null; the text names it.
class NullDownloadPluginMessageValue : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

enum class DownloadPluginMessageKind : std::uint32_t { Unrecognized = 0, Add = 1, Remove = 2, Status = 3 };

// One download's outcome as a plug-in reports it.
struct DownloadPluginStatus {
    std::uint64_t downloadID = 0;
    bool success = false;
    std::optional<std::string> error;
};

struct DownloadPluginMessage {
    DownloadPluginMessageKind kind = DownloadPluginMessageKind::Unrecognized;
    std::string protocol;                        // "add" and "remove"
    std::string location;                        // "add": the program's path
    std::uint64_t processID = 0;                 // "status"
    std::vector<DownloadPluginStatus> statuses;  // "status", in the file's order
};

// Reads a parsed message document as described above. A negative id is taken as the unsigned value of
// the same bits, which names no process and no download.
DownloadPluginMessage ReadDownloadPluginMessage(JSONValue& document);
