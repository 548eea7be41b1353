// How plug-ins answer: a client writer over the request, complete CGI-style replies with their fixed
// header block, the current date in HTTP form, the query-string and form codecs, and storing a
// request body in a file.
//
// A CGI reply, byte for byte (lines end with CR LF):
//
//     HTTP/1.1 <status> <CGIStatusText>          unless the status line is omitted
//     Date: <FormatCurrentHTTPDate>              unless omitted or the extra headers carry "Date:"
//     MIME-Version: 1.0
//     <content-type line><extra header lines>
//     Cache-Control: no-cache
//     Cache-Control: private
//     Expires: 0
//     Pragma: no-cache
//     Content-Length: <body length>
//     x-veltra-itclient-status: 0 | 1           0 with the client status flag, else 1 for status 200,
//     <empty line>                               else no such line
//     <body>
//
// The head may take at most 8192 bytes. The send routines report failure by their answer and through
// ClientWriter::ReportStatus, never by an exception of their own; a stop still comes through as
// HTTPPlugInAbortException from the writer.
//
// A writer is used by one thread at a time, like the interface it serves; the free functions keep no
// state.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "base/file_location.h"
#include "foundation/list_pl.h"
#include "foundation/string_pl.h"
#include "http/http_plugin.h"

// A write to the client failed (a ClientWriter used as a DataReceiver).
class WriteClientError : public DebuggableException, public NonDumpableException {};

// The request body could not be read.
class CGIUtilityStdinUnavailableException : public ExceptionPL {
  public:
    CGIUtilityStdinUnavailableException()
        : ExceptionPL("The standard input handle is invalid, not open for reading, or locked.") {}
};

// The client of one request: reply bytes out, body bytes in.
class ClientWriter : public DataReceiver, public DataWriter {
  public:
    void Begin() override {}
    // WriteClient, throwing WriteClientError when it fails.
    void Receive(const Byte* begin, const Byte* end) override;
    using DataReceiver::Receive;
    void End() override { FlushClient(); }

    // Writes all bytes; false on failure.
    virtual bool WriteClient(const Byte* data, std::size_t length) = 0;
    // Reads at least one body byte into the buffer; false (count 0) on failure or at the body's end.
    virtual bool ReadClient(Byte* buffer, std::size_t length, std::size_t& count) = 0;
    // Told of each reply's outcome.
    virtual void ReportStatus(int status, std::string_view text) {}
    // Throws when the request must stop.
    virtual void CheckForAbort() {}
    virtual void FlushClient() {}
};

// A ClientWriter over a plug-in's interface. Written bytes reach the socket when the interface's
// buffer fills, at the interface's End or when the interface goes.
class HTTPClientWriter : public ClientWriter {
  public:
    explicit HTTPClientWriter(HTTPPlugInInterface& interface) : m_interface(interface) {}

    bool WriteClient(const Byte* data, std::size_t length) override;
    bool ReadClient(Byte* buffer, std::size_t length, std::size_t& count) override;
    void CheckForAbort() override { m_interface.CheckForAbort(); }

  private:
    HTTPPlugInInterface& m_interface;
};

// 200 "OK", 302 "Object Moved", 400 "Bad Request", 401 "Unauthorized", 403 "Forbidden", 404 "Not
// Found", 405 "Method Not Allowed", 503 "Service Unavailable", any other "Internal Error".
const char* CGIStatusText(int status);
// "<status> <CGIStatusText>".
std::string CGIStatusLine(int status);

// The current UTC time, NUL-terminated: "Sun, 06 Nov 1994 08:49:37 GMT" with `withWeekdayAndGMT`,
// "06 Nov 1994 08:49:37 +0000" without. False when the buffer is null or too small.
bool FormatCurrentHTTPDate(char* buffer, std::size_t capacity, bool withWeekdayAndGMT);

// The reply above. `extraHeaders` is whole lines, each ending with CR LF; `contentTypeLine` too.
bool SendCGIResponse(ClientWriter& writer, std::string_view body, std::string_view extraHeaders, int status,
                     bool omitStatusLine, std::string_view contentTypeLine, bool clientStatusFlag);
// With "Content-Type: text/plain".
bool SendPlainTextResponse(ClientWriter& writer, std::string_view body, int status, bool omitStatusLine,
                           bool clientStatusFlag);
bool SendPlainTextResponseWithHeaders(ClientWriter& writer, std::string_view body,
                                      std::string_view extraHeaders, int status, bool omitStatusLine,
                                      bool clientStatusFlag);
// With "Content-Type: text/html" and the client status flag clear.
bool SendHTMLResponse(ClientWriter& writer, std::string_view body, std::string_view extraHeaders, int status,
                      bool omitStatusLine);

using NameValueList = ListPL<Pair<StringPL, StringPL>>;

// "a=1&b=2;c=3" into pairs, each side through DecodeFormValue. A name without "=" is dropped unless
// it ends the text; a value runs to the next "&" or ";" ("x=1=2" is x and "1=2").
NameValueList ParseNameValueList(std::string_view text);
// The pairs as "name=value" joined by "&", both sides percent-encoded outside A-Z a-z 0-9 - . _ ~.
std::string EncodeNameValueList(const NameValueList& list);
// "+" becomes a space, then percent-escapes are decoded.
std::string DecodeFormValue(std::string_view text);

// The command word of a plug-in request's target (path and query): the path's last component (empty
// after a trailing "/"), percent-decoded and lower-cased. "/x/Plug.exe/-Report?a=1" gives "-report".
std::string PlugInCommandWord(std::string_view target);

// Writes `length` body bytes from the writer into a new file (emptied when it exists), reading at
// most 4098 bytes at a time; CGIUtilityStdinUnavailableException when the body ends first.
void SaveRequestBodyToFile(ClientWriter& writer, const FileLocation& location, std::uint64_t length);

// Reads and drops the rest of a request's body after a failure, until it ends, the client stops
// sending for the request's time-out, or the relay stops; never throws.
void DropRestOfBody(HTTPPlugInInterface& interface);
