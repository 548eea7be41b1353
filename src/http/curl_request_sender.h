// The libcurl request sender: the second transport of outgoing requests beside the socket client. It
// takes a request as the events of an HTTPRequestReceiver and hands it to libcurl, and delivers the
// response as the events of an HTTPResponseReceiver.
//
// Request events, in order:
// - ReceiveRequestLine(method, url): the URL must name a scheme ("The URL has no protocol"), the
//   scheme must be http, https or ftp in any case ("The only supported protocols are http, https,
//   and ftp"), and libcurl's URL parser must accept it ("Invalid URLMon URL"); each is a
//   CurlRequestError thrown before anything is sent.
// - ReceiveHeaderName, the value, EndHeaderValue: the field is sent, except the dynamic-throttle
//   fields, whose names begin with "x-kvr-dynamic" (byte for byte). A name or value holding CR, LF or
//   NUL (or a name holding ":") throws UnsafeHeaderText. A field named like one libcurl writes
//   itself ("User-Agent", "Host", "Accept") replaces libcurl's.
// - EndHeaders(length): for the method "POST" (exactly) returns the receiver of the body, which is
//   held in memory until the request is sent, cut at `length` bytes; for any other method the body
//   is dropped and the request goes out as a GET.
// - EndRequest: sends the request and delivers the response before it returns.
//
// Response events: ReceiveStatus with the code and reason phrase of the final response, its fields
// (names lower-cased) through ReceiveHeaderName, the value and EndHeaderValue, EndHeaders, then on the
// body receiver it returned Begin, Receive per piece and End, and EndResponse. An ftp response has
// neither status nor fields. Only the final response of an exchange is delivered: the 401 and 407
// rounds of an authentication, an interim 1xx and a proxy tunnel's reply are not; a redirection is
// delivered as it is, not followed.
//
// The proxy and the credentials come from an HTTPClientSession, as for the socket client: the
// session's proxy host and port (never for the local hosts of IsLocalTargetHost), the proxy user and
// password answering a 407, the server user and password answering a 401. Credentials are sent only
// after a challenge (Basic, Digest or NTLM; never Basic when the session refuses it). No proxy of the
// environment applies.
//
// TLS peers are always verified, against the file of SetTrustedCertificateFile (tls_client.h) when
// one is set, else against the system's certificate store; an untrusted or misnamed certificate
// fails the request. The context's time limits bound the connect and the pauses of the exchange,
// and its user agent is sent as "User-Agent". Nothing is cached and no connection outlives the
// request.
//
// Failures: a stop (the context's active interruptor, asked at least every 10 ms and before each
// piece of body is delivered) and any exception a receiver throws end the transfer and come out of
// EndRequest unchanged; any other failure of the transfer is a CurlTransferError with libcurl's
// text. The end of the body (End, EndResponse) is delivered only for a transfer that completed, so
// a body cut short never looks complete to its receiver.
//
// One request per sender, on the calling thread. The receiver, context and session are not owned
// and must outlive the sender.
#pragma once

#include <memory>
#include <string>

#include "base/exceptions.h"
#include "formats/message_receivers.h"

class HTTPClientSession;
class HTTPRequestContext;

// The request was refused before anything was sent.
class CurlRequestError : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// libcurl could not complete the transfer; the text is "curl error <code>: <libcurl's text>".
class CurlTransferError : public ExceptionPL {
  public:
    CurlTransferError(int code, const std::string& text);
};

std::unique_ptr<HTTPRequestReceiver> MakeCurlRequestSender(HTTPResponseReceiver& response,
                                                           HTTPRequestContext& context,
                                                           const HTTPClientSession& session);
