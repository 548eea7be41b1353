// ClientRegisterHttpHandler: the registration a relay forwards to its parent (a GET of the parent's
// client-register URL with "User-Agent: KVRRelay") and the reading of the parent's answer into a
// ParentRegistrationReply.
//
// The answer is read from the head as the parent sent it (case kept), so that its "Date:" and
// "x-veltra-server:" lines can be passed on to the client unchanged. In this order:
//   - a status holding "Invalid Sequence Number" ends the reading;
//   - "x-veltra-clientregister-toomanychildrelays", else "x-veltra-clientregister-toomanychildren",
//     gives the child count (a bad number throws the numeral error) and ends the reading;
//   - "x-kvr-wakeonlan-adapterinfo" is parsed (its parser's failure is thrown);
//   - "x-veltra-itclient-computerid": "id,slot,port[,resend,good[,bad]]". A missing or badly formed
//     header, an ID of 0 or a slot of 0 is kept as an error, with the head after its message; body
//     bytes that follow are added to it. The error text is cut at kMaxErrorTextBytes, the cut marked.
// The body's fifth line (counting from one) is kept as the parent's version text.
//
// One request, on one thread. Once the stop event is set, CheckForStop throws
// HTTPPlugInAbortException.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "http/http_handlers.h"
#include "relay/register/registration_replies.h"
#include "relay/register/wake_on_lan_adapter.h"

class Event;

struct ParentRegistrationReply {
    RegistrationGrant grant;
    bool invalidSequence = false;
    bool tooManyChildren = false;
    bool tooManyChildRelays = false;
    std::uint32_t childCount = 0;
    std::optional<WakeOnLANAdapter> adapter;
    std::string dateLine;    // the whole "Date:" line without its line end; empty when absent
    std::string serverLine;  // the whole "x-veltra-server:" line, likewise
    bool hasError = false;
    std::string errorText;
    std::string bodyLine;  // the body's fifth line
};

inline constexpr std::size_t kMaxErrorTextBytes = 4096;
inline constexpr std::string_view kErrorTextCutMark = "\r\n(cut: the rest of the parent's response is left out)\r\n";

// The head of the parent's answer into `reply`, as above. Throws the numeral errors and the adapter
// parser's failures.
void ReadParentRegistrationHead(std::string_view head, ParentRegistrationReply& reply);
// Adds text to the error text, up to kMaxErrorTextBytes, marking the first cut.
void AppendToErrorText(ParentRegistrationReply& reply, std::string_view text);

// Keeps the fifth line of a body that arrives in pieces; a line end is LF, a CR is dropped. At most
// kMaxLineBytes of the line are kept.
class ClientRegisterBodyReceiver {
  public:
    static constexpr std::size_t kMaxLineBytes = 256;
    void Receive(std::string_view bytes);
    const std::string& Line() const { return m_line; }

  private:
    std::size_t m_lineNumber = 0;
    std::string m_line;
};

class ClientRegisterHttpHandler : public HttpHandlerBase {
  public:
    // Neither is owned; both outlive the handler.
    ClientRegisterHttpHandler(std::string url, Event& stop);

    const ParentRegistrationReply& Reply() const { return m_reply; }

    ByteString GetURL() override;
    void WriteRequestHeaders(MessageReceiver& request) override;
    void ReceiveResponseHeadAsSent(const char* head) override;
    void ReceiveResponseHeaders(const char*) override {}
    void ReceiveStatusCode(int) override {}
    void ReceiveContentLength(std::uint64_t) override {}
    void EndResponseHeaders() override {}
    void BeginBody() override {}
    void ReceiveBody(ConstData bytes) override;
    void EndBody() override {}
    void Progress(const char*) override {}
    void CheckForStop() override;

  private:
    std::string m_url;
    Event& m_stop;
    ParentRegistrationReply m_reply;
    ClientRegisterBodyReceiver m_body;
};
