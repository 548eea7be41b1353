// The small HTML replies of the gather-mirror plug-ins, other than site data:
//
// - The configuration message: a CGI reply (SendHTMLResponse) whose extra header lines are
//   "STATUS: <HTTP status>" and, unless the mirror status is 0,
//   "x-kvr-gather-mirror-status: <mirror status>,<detail>"; its body is
//       <HTML><HEAD>
//       <TITLE>Configuration message</TITLE>
//       </HEAD><BODY>
//       <P>
//       <message>
//       </BODY></HTML>
//   (every line ending in CR LF). Header lines and body are each held to 10,240 bytes; a longer one
//   throws BufferWriterOverflow and nothing is sent.
// - The gather status report: every site of the gather map, in URL order, under "Failed" (status
//   code 18, with its error text), "Ready" (3 or 4, with its committed version) or "In Process" (2);
//   a site of any other status is left out. The reply is written as it is made, after the head of
//   DownloadReportHead, and has no length: it ends with the connection.
//
// Site URLs and error texts reach these pages from clients and parents, so every such text is
// HTML-escaped (GatherPageText) before it goes in; the fixed texts are sent byte for byte.
//
// Pure functions over the writer; the gather state and map guard themselves.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "http/cgi_response.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/kvr_gather_error.h"
#include "relay/gather/url_to_gather_id_map.h"

inline constexpr std::size_t kConfigurationMessageBufferSize = 10'240;

// "&", "<", ">", '"' and "'" as character references, unsafe characters as U+FFFD: the text shows
// as itself in an element or a quoted attribute value.
std::string GatherPageText(std::string_view text);

// The configuration message above, with `message` escaped; what SendHTMLResponse answers.
bool SendGatherConfigurationMessage(ClientWriter& writer, std::string_view message, int httpStatus,
                                    std::uint32_t mirrorStatus, std::uint32_t detail = 0);
// "KVRGatherMirrorNew version 8.0.627.0", 200, mirror status 1,0.
bool SendGatherVersionReply(ClientWriter& writer);
// "invalid command", 200, mirror status 6,0.
bool SendGatherInvalidCommandReply(ClientWriter& writer);

// The status line and header block of the report and of the other pages written straight to the
// client: "HTTP/1.1 200 OK", the date, "STATUS: 200", the HTML content type and the no-cache lines.
std::string GatherReportHead();
// The gather status report, ended (writer.End) once it is all written.
void WriteGatherStatusReport(ClientWriter& writer, GatherState& state, const URLToGatherIDMap& gatherMap);
