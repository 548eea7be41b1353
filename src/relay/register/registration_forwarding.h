// Forwarding a registration to the parent: ForwardRegisterMe asks the parent relay (or the root
// server) for the registrant's computer ID, records the answer in the registration list and answers
// the client; RewriteParentURLs points this relay's parent settings at a new parent server.
//
// A forward runs on the requesting client's plug-in thread and blocks it for up to
// kForwardTimeOutMicroseconds; the stop event ends it at once. Forwards of different clients run in
// parallel; the registration list locks itself. RewriteParentURLs is called under
// ClientRegistrationLock() (process_setup.h), the registration gate's lock.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "http/cgi_response.h"
#include "net/ip_address.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/wake_on_lan_adapter.h"

class Event;

inline constexpr std::uint64_t kForwardTimeOutMicroseconds = 60'000'000;

// One registration on its way to the parent.
struct RegistrationForward {
    std::string url;    // the parent's client-register URL
    std::string query;  // the encoded forward list
    bool fromRelay = false;
    std::uint64_t parentID = 0;
    bool isRelay = false;
    bool parentAdded = false;  // this relay is the registrant's direct parent
    bool canHandleMVPings = false;
    std::optional<WakeOnLANAdapter> adapter;  // the registrant's chosen adapter
    IPAddress clientAddress{false, true};
};

// For a direct child, a local child-count refusal (HasRoomForChild) answers TooManyChildren or
// TooManyChildRelays without asking the parent. Otherwise a GET of url?query with "User-Agent:
// KVRRelay" and the reply of the parent passed on: an invalid sequence, too many children (relays;
// for a direct child the local count window starts), or the success reply, after the registration
// is recorded. Answers true after every answer. Throws ExceptionPL "(ForwardRegisterMe)\r\n" + the
// parent's error text, or + the HTTP client error's name; the numeral and adapter errors of a bad
// reply and a failed Register pass on; a stop throws StopRequest. A parent that cannot be reached
// is also logged at "critical", at most once a minute.
bool ForwardRegisterMe(ClientWriter& writer, const RegistrationForward& forward,
                       const ClientRegisterConfiguration& configuration, ClientRegistrationList& list, Event& stop);

// "x-veltra-server: <ThisServerID>;<its ServerURL in the replication server list>", without a line
// end; empty when ThisServerID is not in that list (as is usual for a relay).
std::string MakeServerHeaderLine(const ClientRegistrationList& list, const ClientRegisterConfiguration& configuration);

// Points the parent settings at `newParentBase` (a scheme and an authority, such as
// "http://root.example:52311"): the client-register, result-posting, download-mirror and gather
// parent URLs each become the base followed by their present path (their default's when unset),
// and the upload manager's "ParentRelayHost" becomes the base; then the parent-change hook, when one
// is connected, is told the base. All four URLs are read and checked before anything is written; a
// URL without a path throws its URL error and changes nothing. Nothing happens for an empty base. A
// failed write throws ConfigurationStringWriteError.
void RewriteParentURLs(const std::string& newParentBase);

// What else follows the relay to a new parent (the upload manager, which the run routine builds above
// this layer): told the new base by RewriteParentURLs, on the registering client's thread, after the
// settings were written. One hook at a time, connected for the life of a ParentChangeConnection; a
// hook being called holds up the connection's end until it returns.
using ParentChangeHook = std::function<void(const std::string& newParentBase)>;

class ParentChangeConnection {
  public:
    explicit ParentChangeConnection(ParentChangeHook hook);
    ~ParentChangeConnection();
    ParentChangeConnection(const ParentChangeConnection&) = delete;
    ParentChangeConnection& operator=(const ParentChangeConnection&) = delete;
};

// Logs the text at "critical" unless this kind of line was logged less than a minute ago.
enum class RegistrationAlarm { ParentUnreachable, NoParent };
void LogRegistrationAlarm(RegistrationAlarm kind, const std::string& text);
