// DownloadResponse: a parent's answer for one requested download target, whether its file is
// available, and the list of them that answers a child's "cgi-bin/DownloadRequest" (a versioned
// object list, versioned_object_list.h).
//
// The line form, four values in this order, an absent one written "null":
//
//   aid=<action id>,index=<index>,hash=<SHA-1, 40 hex digits>,status=<Available|InProcess>
//
// The writer writes "Unknown" for a status other than the two. The reader takes the values by
// position (the names before "=" are not compared) and accepts "NotAvailable" as in process. A line
// must name the hash or the action id: an indexed or dynamic target is answered by either, a URL
// request by its action id alone (index "null").
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "formats/digest_record.h"

// A response line that does not read; the message is the whole line.
class NotADownloadResponse : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

enum class DownloadResponseStatus : std::uint32_t {
    Available = 0,
    InProcess = 1,
};

struct DownloadResponse {
    std::optional<DigestRecord> hash;  // a whole SHA-1
    std::optional<std::uint32_t> actionID;
    std::optional<std::uint32_t> index;
    DownloadResponseStatus status = DownloadResponseStatus::InProcess;
};

// The key order of maps of responses: by hash, action id, index and status, the first that differs
// deciding; a present value sorts before an absent one, hashes by their bytes, numbers as unsigned.
struct DownloadResponseLess {
    bool operator()(const DownloadResponse& a, const DownloadResponse& b) const;
};

std::string FormatDownloadResponse(const DownloadResponse& response);
// NotADownloadResponse for fewer than four values, a number or hash that does not read, a status of
// another text, or a line naming neither hash nor action id.
DownloadResponse ParseDownloadResponse(std::string_view line);

// Reads the whole list from the reader: InvalidObjectListVersion, or NotADownloadResponse for the
// first line that does not read.
std::vector<DownloadResponse> ReadDownloadResponseList(DataReader& reader);
void WriteDownloadResponseList(const std::vector<DownloadResponse>& responses, DataReceiver& receiver);
