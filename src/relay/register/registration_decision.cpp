#include "relay/register/registration_decision.h"

#include <string>
#include <string_view>

#include "base/character_classes.h"
#include "base/exceptions.h"
#include "foundation/critical_section.h"
#include "foundation/process_setup.h"
#include "foundation/stop_event.h"
#include "http/http_server_settings.h"
#include "net/url_info.h"
#include "net/version_quad.h"
#include "platform/network_adapters.h"
#include "relay/register/registration_forwarding.h"
#include "relay/register/registration_replies.h"
#include "relay/register/registration_request.h"
#include "relay/register/wake_on_lan_adapter_selection.h"

namespace {

constexpr std::string_view kUpdatingParent =
    "\r\nRelay is temporarily rejecting registration requests as it updates its parent registration "
    "information.\r\n";
constexpr std::string_view kTakeoverInProgress =
    "\r\nAll registrations rejected.  Server is checking new configuration received from another client on "
    "127.0.0.1.\r\n";
constexpr std::string_view kNoParent = "\r\nError: no parent relay configured\r\n";
constexpr std::string_view kRelayUserAgent = "KVRRelay";

void SendPlain(RegistrationRequest& request, std::string_view body) {
    SendPlainTextResponse(request.writer, body, 200, false, false);
}

void AddPair(NameValueList& list, const char* name, const std::string& value) {
    list.Add({StringPL(name), StringPL(value.data(), static_cast<int>(value.size()))});
}

bool VersionTooLow(const VersionQuad& minimum) {
    VersionQuad own;
    ParseVersionQuad(kRelayVersionText, own);
    return VersionQuadLess(own, minimum);
}

bool OverHopLimits(const RegistrationRequest& request) {
    if (request.clientAddress.IsLoopback()) return false;
    std::uint32_t minLimit = request.configuration.GetMinHopEstimateLimit();
    std::uint32_t maxLimit = request.configuration.GetMaxHopEstimateLimit();
    const RegistrationRequestParameters& parameters = request.parameters;
    return (minLimit > 0 && parameters.minHops > 0 && parameters.minHops > minLimit) ||
           (maxLimit > 0 && parameters.maxHops > 0 && parameters.maxHops > maxLimit);
}

// The deployment's root, "scheme://authority" of the site gather URL; empty when that is unknown or
// malformed, which only turns the deployment check off.
std::string ExpectedRoot(const RegistrationRequest& request) {
    if (!request.siteGatherURL) return {};
    try {
        std::string gatherURL = request.siteGatherURL();
        URLInfo url{ConstData(std::string_view(gatherURL))};
        if (!url.HasScheme() || !url.HasAuthority()) return {};
        return std::string(url.GetScheme().View()) + "://" + std::string(url.GetAuthority().View());
    } catch (const std::exception&) {
        return {};
    }
}

// True when the registration may go on.
bool PassesDeploymentCheck(RegistrationRequest& request) {
    const std::string& root = request.parameters.root;
    if (root.empty()) return true;
    std::string expected = ExpectedRoot(request);
    if (expected.empty() || root == expected) return true;
    if (request.clientAddress.IsLoopback()) {
        request.log.Log("Local client appears to have mismatched root server URL, allowing registration anyway.");
        return true;
    }
    SendDifferentDeploymentReply(request.writer);
    return false;
}

// Relays forward with exactly "KVRRelay"; its first eight characters decide, in any case.
bool IsRelayUserAgent(const std::optional<std::string>& userAgent) {
    if (!userAgent || userAgent->size() < kRelayUserAgent.size()) return false;
    return Ascii::EqualIgnoringCase(ConstData(std::string_view(*userAgent).substr(0, kRelayUserAgent.size())),
                                    ConstData(kRelayUserAgent));
}

bool IsThisMachine(const IPAddress& address) {
    if (address.IsZero() || address.IsLoopback()) return true;
    IPAddress unmapped = address;
    unmapped.UnmapIPv4();
    if (!unmapped.IsIPv6() && unmapped.Bytes()[12] == 127) return true;  // IPv4 is kept in the last four bytes
    try {
        for (const PosixPlatform::AdapterAddress& adapter : PosixPlatform::ListAdapterAddresses(AF_UNSPEC)) {
            IPAddress own(reinterpret_cast<const sockaddr*>(&adapter.address));
            own.UnmapIPv4();
            if (own == unmapped) return true;
        }
    } catch (const std::exception&) {
    }
    return false;
}

// Whether the parent URL leads back into this relay's own listener, so that a forward to it would
// come back as a registration and forward again. Only the host texts "localhost" and address
// literals are judged; a name is taken to be another machine.
bool PointsAtOwnListener(const std::string& parentURL) {
    try {
        URLInfo url{ConstData(std::string_view(parentURL))};
        std::string_view scheme = url.GetScheme().View();
        std::uint32_t port = url.HasPort() ? url.GetPort() : (scheme == "https" ? 443 : 80);
        if (port != (HTTPServerSettings("KVRRelay").port & 0xFFFF)) return false;
        std::string_view host = url.GetUnbracketedHost().View();
        if (host == "localhost") return true;
        IPAddress address = TryParseIPAddress(host);
        return address.IsValid() && IsThisMachine(address);
    } catch (const std::exception&) {
        return false;
    }
}

// No agent Server1 and no usable ParentRelayURL: there is nobody to ask.
bool HasNoParent(const std::string& agentServer, const ClientRegisterConfiguration& configuration) {
    if (!agentServer.empty()) return false;
    return !configuration.HasParentRelayURL() || PointsAtOwnListener(configuration.GetParentRelayURL());
}

// Step 6: the forward's parent fields, its adapter and the forward list's additions.
RegistrationForward PrepareForward(RegistrationRequest& request, bool loopback) {
    RegistrationRequestParameters& parameters = request.parameters;
    const ClientRegisterConfiguration& configuration = request.configuration;
    RegistrationForward forward;
    forward.fromRelay = IsRelayUserAgent(request.userAgent);
    forward.parentID = parameters.parentID;
    forward.isRelay = parameters.isRelay;
    forward.canHandleMVPings = parameters.canHandleMVPings;
    forward.clientAddress = request.clientAddress;
    NameValueList& list = parameters.forwardList;
    if (forward.parentID == 0 && !loopback) {
        forward.parentID = configuration.GetParentRelayConfiguration().GetOwnComputerID();
        forward.parentAdded = true;
        AddPair(list, "ParentID", std::to_string(forward.parentID));
        if (configuration.GetMaxChildCount() > 0)
            AddPair(list, "MaxChildren", std::to_string(configuration.GetMaxChildCount()));
        if (configuration.GetMaxChildRelayCount() > 0)
            AddPair(list, "MaxRelayChildren", std::to_string(configuration.GetMaxChildRelayCount()));
    }
    forward.adapter = SelectWoLAdapter(request.clientAddress, parameters.adapters);
    if (loopback) {
        for (const std::string& text : parameters.adapters) AddPair(list, "AdapterInfo", text);
    } else if (forward.adapter) {
        AddPair(list, "AdapterInfo", std::string(FormatWakeOnLANAdapter(*forward.adapter).View()));
    }
    return forward;
}

Event& StopEventOf(RegistrationRequest& request) {
    return request.stopEvent ? *request.stopEvent : ProcessStopEvent();
}

// A loopback registration that brings a new parent: forwarded there, under the gate, and the parent
// settings moved to it once the parent has answered.
bool TakeOverNewParent(RegistrationRequest& request, RegistrationForward forward, const std::string& parentURL,
                       const std::string& agentServer) {
    URLInfo parent{ConstData(std::string_view(parentURL))};
    forward.url = agentServer + std::string(parent.GetPath().View());
    CriticalSectionLock lock = LockCriticalSection(ClientRegistrationLock());
    if (RegistrationUpdateInProgress().load()) {
        // The gate was checked on the way in: another takeover began in between.
        LogRequirementFailure(__FILE__, __LINE__, "!RegistrationUpdateInProgress");
        SendPlain(request, kTakeoverInProgress);
        return false;
    }
    MakeFlagTrueInScope gate(RegistrationUpdateInProgress());
    AddPair(request.parameters.forwardList, "IsRelay", "1");
    forward.isRelay = true;
    forward.query = EncodeNameValueList(request.parameters.forwardList);
    bool answered =
        ForwardRegisterMe(request.writer, forward, request.configuration, request.list, StopEventOf(request));
    if (answered) RewriteParentURLs(agentServer);
    return answered;
}

}  // namespace

std::atomic<bool>& RegistrationUpdateInProgress() {
    static std::atomic<bool> inProgress{false};
    return inProgress;
}

bool HandleRegistration(RegistrationRequest& request) {
    const ClientRegisterConfiguration& configuration = request.configuration;
    bool loopback = request.clientAddress.IsLoopback();
    if (RegistrationUpdateInProgress().load()) {
        SendPlain(request, kUpdatingParent);
        return false;
    }
    if (VersionTooLow(request.parameters.minRelayVersion)) {
        SendRelayVersionTooLowReply(request.writer);
        return false;
    }
    if (OverHopLimits(request)) {
        SendHopLimitReply(request.writer, configuration.GetMinHopEstimateLimit(),
                          configuration.GetMaxHopEstimateLimit());
        return false;
    }
    if (!PassesDeploymentCheck(request)) return false;

    std::string agentServer = loopback ? configuration.GetParentRelayConfiguration().GetAgentServer() : "";
    if (HasNoParent(agentServer, configuration)) {
        LogRegistrationAlarm(RegistrationAlarm::NoParent,
                             "Registration refused: no parent relay configured (ParentRelayURL is unset or "
                             "points at this relay)");
        SendPlain(request, kNoParent);
        return false;
    }

    RegistrationForward forward = PrepareForward(request, loopback);
    std::string parentURL = configuration.GetParentRelayURL();
    if (!agentServer.empty()) return TakeOverNewParent(request, std::move(forward), parentURL, agentServer);
    forward.url = parentURL;
    forward.query = EncodeNameValueList(request.parameters.forwardList);
    return ForwardRegisterMe(request.writer, forward, configuration, request.list, StopEventOf(request));
}

void ServeVersion(RegistrationRequest& request) {
    SendVersionPage(request.writer, request.siteGatherURL ? request.siteGatherURL() : std::string());
}
