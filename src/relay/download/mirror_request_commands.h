// The commands of the mirror-request plug-in (kvr_mirror_request_plugin.h): the word after the
// plug-in's path picks one, looked up in the table in mirror_request_commands.cpp.
//
//   "" "-report" "kvrmirrorrequest" "kvrmirrorrequest.exe"   the HTML download report
//   "-textreport" / "-compressedtextreport"                   the XML report, plain / zlib
//   "-retry?id=<action id>"                                   the action's failed downloads again
//   "-version"                                                the plug-in's version
//   "-request"                                                refused: a relay takes no requests
//   anything else                                             "invalid command"
//
// The word is the request path's last component, percent-decoded and lower-cased, so
// ".../KVRMirrorRequest.exe/-TEXTREPORT" and ".../KVRMirrorRequest.exe/" are commands too.
//
// Every answer but a report is a small HTML message page whose header "x-kvr-download-mirror-status"
// tells programs the outcome (MirrorStatusCode); its HTTP status is 200 also for a refused command.
// A command that is refused throws MirrorDownloadError, which the dispatch answers with its page and
// logs. Other failures pass to the caller.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "foundation/event.h"
#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/download/download_report_cache.h"
#include "relay/service/download_settings_provider.h"

enum class MirrorStatusCode : std::uint32_t {
    Success = 1,           // the version page; a retry's outcome
    InvalidCommand = 9,    // a word not in the table
    RequestsRefused = 10,  // "-request"
    IncorrectMethod = 11,  // "-retry" other than GET
    MissingParameter = 14  // "-retry" without a usable action id
};

// A refused command: the message of its page and its status.
class MirrorDownloadError : public ExceptionPL {
  public:
    MirrorDownloadError(const char* message, MirrorStatusCode code) : ExceptionPL(message), m_code(code) {}
    MirrorStatusCode Code() const { return m_code; }

  private:
    MirrorStatusCode m_code;
};

// One request as the commands see it. The settings, cache and stop event belong to the plug-in.
struct MirrorRequest {
    ClientWriter& writer;
    // The request target: path and query.
    const std::string& url;
    std::string_view method;
    const DownloadSettingsProvider& settings;
    DownloadReportCache& reportCache;
    Event& stopEvent;
    // Hands the action's FAILED downloads back to the download manager; true when there was any.
    std::function<bool(std::uint32_t actionID)> retryFailedActionDownloads;
    LogFunctor& log;
};

// Runs the command the request names (the table above) and writes its answer.
void DispatchMirrorCommand(MirrorRequest& request);

// The action id of a retry: the value of the last "id" pair of the query, a decimal number other than
// 0. MirrorDownloadError (MissingParameter): "Missing required parameter(s)." without a query, "Missing
// action id." without an "id" value or with an empty one, "Invalid action id." for anything else.
std::uint32_t ParseRetryActionID(const std::string& url);

// The message page: a CGI reply (SendHTMLResponse) with the header lines "STATUS: <httpStatus>" and
// "x-kvr-download-mirror-status: <code>", and the message in a small HTML body. The message is put in
// as it is: callers pass fixed texts.
void SendMirrorMessagePage(std::string_view message, int httpStatus, ClientWriter& writer,
                           MirrorStatusCode code);
