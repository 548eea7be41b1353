#include "relay/register/registration_forwarding.h"

#include <array>
#include <atomic>
#include <chrono>
#include <limits>
#include <mutex>
#include <vector>

#include "foundation/event.h"
#include "foundation/log_manager.h"
#include "http/http_client_errors.h"
#include "http/http_client_session.h"
#include "http/socket_http_client.h"
#include "net/url_info.h"
#include "relay/register/client_register_http_handler.h"
#include "relay/register/registration_replies.h"
#include "relay/register/replication_server_list.h"
#include "settings/configuration_settings.h"

namespace {

constexpr std::string_view kForwardErrorPrefix = "(ForwardRegisterMe)\r\n";
constexpr std::int64_t kAlarmIntervalSeconds = 60;

// For a direct child: whether this relay's own child count, while the parent's last too-many answer
// still holds, refuses the registrant without asking the parent; answers it when so.
bool RefusedByLocalChildCount(ClientWriter& writer, const RegistrationForward& forward,
                              const ClientRegisterConfiguration& configuration, ClientRegistrationList& list) {
    std::uint64_t own = configuration.GetParentRelayConfiguration().GetOwnComputerID();
    if (list.HasRoomForChild(own, forward.isRelay)) return false;
    std::string serverLine = MakeServerHeaderLine(list, configuration);
    if (forward.isRelay)
        SendTooManyChildRelaysReply(writer, list.CountChildRelays(own), "", serverLine);
    else
        SendTooManyChildrenReply(writer, list.CountChildren(own), "", serverLine);
    return true;
}

void AskParent(ClientRegisterHttpHandler& handler, const std::string& parentURL,
               const ClientRegisterConfiguration& configuration, Event& stop) {
    HTTPClientSession session = configuration.GetParentRelayConfiguration().MakeHTTPClientSession();
    try {
        PerformHTTPRequest(handler, session, kForwardTimeOutMicroseconds, stop);
    } catch (const HttpClientError& error) {
        std::string text = std::string(kForwardErrorPrefix) + error.Name();
        LogRegistrationAlarm(RegistrationAlarm::ParentUnreachable,
                             "Registration forward to parent " + parentURL + " failed: " + error.Name());
        throw ExceptionPL(text);
    }
}

void RecordAndAnswer(ClientWriter& writer, const RegistrationForward& forward, const ParentRegistrationReply& reply,
                     const ClientRegisterConfiguration& configuration, ClientRegistrationList& list) {
    std::optional<WakeOnLANAdapter> adapter = forward.adapter ? forward.adapter : reply.adapter;
    ClientRegistrationData data;
    data.parentID = forward.parentID;
    data.isRelay = forward.isRelay;
    data.relayAddress = forward.fromRelay;
    data.address = forward.clientAddress;
    data.canHandleMVPings = forward.canHandleMVPings;
    data.wakeOnLAN = adapter;
    list.Register(reply.grant.computerID, reply.grant.slot, data);
    std::string_view version = reply.bodyLine.empty() ? kRelayVersionText : std::string_view(reply.bodyLine);
    SendRegistrationSuccessReply(writer, configuration.GetUDPMessagePort(), reply.grant, reply.dateLine, version,
                                 reply.serverLine, adapter);
}

}  // namespace

bool ForwardRegisterMe(ClientWriter& writer, const RegistrationForward& forward,
                       const ClientRegisterConfiguration& configuration, ClientRegistrationList& list, Event& stop) {
    if (forward.parentAdded && RefusedByLocalChildCount(writer, forward, configuration, list)) return true;

    ClientRegisterHttpHandler handler(forward.url + "?" + forward.query, stop);
    AskParent(handler, forward.url, configuration, stop);
    const ParentRegistrationReply& reply = handler.Reply();
    if (reply.hasError) throw ExceptionPL(std::string(kForwardErrorPrefix) + reply.errorText);

    if (reply.invalidSequence) {
        SendInvalidSequenceNumberReply(writer, reply.dateLine, reply.serverLine);
    } else if (reply.tooManyChildRelays) {
        if (forward.parentAdded) list.StartChildRelayCountWindow();
        SendTooManyChildRelaysReply(writer, reply.childCount, reply.dateLine, reply.serverLine);
    } else if (reply.tooManyChildren) {
        if (forward.parentAdded) list.StartChildCountWindow();
        SendTooManyChildrenReply(writer, reply.childCount, reply.dateLine, reply.serverLine);
    } else {
        RecordAndAnswer(writer, forward, reply, configuration, list);
    }
    return true;
}

std::string MakeServerHeaderLine(const ClientRegistrationList& list, const ClientRegisterConfiguration& configuration) {
    ReplicationServerList servers;
    list.GetReplicationServerList(servers);
    std::uint32_t thisServer = configuration.GetThisServerID();
    if (!servers.Contains(thisServer)) return {};
    return "x-veltra-server: " + std::to_string(thisServer) + ";" + servers.Find(thisServer).serverURL;
}

namespace {

struct ParentURLSetting {
    int mode;
    const char* component;
    const char* section;
    const char* name;
    const char* defaultURL;
};

constexpr std::array kParentURLSettings = {
    ParentURLSetting{2, "Daruravidu Server", "ClientRegister", "ParentRelayURL",
                     "http://localhost:52311/cgi-bin/vtdaruravidu/clientregister.exe"},
    ParentURLSetting{2, "KVRRelay", "PostResults", "ParentRelayURL",
                     "http://localhost:52311/cgi-bin/vtdaruravidu/PostResults.exe"},
    ParentURLSetting{1, "Daruravidu Server", "GatherService", "DownloadMirror URL",
                     "http://localhost:52311/vtmirror/downloads/"},
    ParentURLSetting{2, "KVRGather", "Comm", "ParentRelayURL",
                     "http://localhost:52311/cgi-bin/vtdaruravidu/KVRGatherMirror.exe"},
};

// The connected parent-change hook, called under its lock.
struct ParentChangeHookSlot {
    std::mutex lock;
    ParentChangeHook hook;
};

ParentChangeHookSlot& HookSlot() {
    static ParentChangeHookSlot slot;
    return slot;
}

}  // namespace

ParentChangeConnection::ParentChangeConnection(ParentChangeHook hook) {
    std::lock_guard<std::mutex> guard(HookSlot().lock);
    HookSlot().hook = std::move(hook);
}

ParentChangeConnection::~ParentChangeConnection() {
    std::lock_guard<std::mutex> guard(HookSlot().lock);
    HookSlot().hook = nullptr;
}

void RewriteParentURLs(const std::string& newParentBase) {
    if (newParentBase.empty()) return;
    // Every URL is read and checked first, so that a bad one leaves all four pointing at one parent.
    std::vector<ConfigurationString> settings;
    std::vector<std::string> newURLs;
    for (const ParentURLSetting& entry : kParentURLSettings) {
        settings.emplace_back(entry.mode, entry.component, entry.section, entry.name, entry.defaultURL);
        std::string present = settings.back().GetText();
        URLInfo url{ConstData(std::string_view(present))};
        newURLs.push_back(newParentBase + std::string(url.GetPath().View()));
    }
    for (std::size_t i = 0; i < settings.size(); ++i) settings[i].Set(newURLs[i].c_str());
    ConfigurationString(2, "KVRRelay", "UploadManager", "ParentRelayHost", "").Set(newParentBase.c_str());
    std::lock_guard<std::mutex> guard(HookSlot().lock);
    if (HookSlot().hook) HookSlot().hook(newParentBase);
}

void LogRegistrationAlarm(RegistrationAlarm kind, const std::string& text) {
    static std::array<std::atomic<std::int64_t>, 2> lastLogged{std::numeric_limits<std::int64_t>::min(),
                                                               std::numeric_limits<std::int64_t>::min()};
    std::int64_t now = std::chrono::duration_cast<std::chrono::seconds>(
                           std::chrono::steady_clock::now().time_since_epoch())
                           .count();
    std::atomic<std::int64_t>& last = lastLogged[static_cast<std::size_t>(kind)];
    std::int64_t previous = last.load();
    if (previous != std::numeric_limits<std::int64_t>::min() && now - previous < kAlarmIntervalSeconds) return;
    if (!last.compare_exchange_strong(previous, now)) return;
    KVR_LOG("critical") << text;
}
