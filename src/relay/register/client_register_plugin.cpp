#include "relay/register/client_register_plugin.h"

#include <exception>
#include <optional>
#include <string>

#include "crypto/client_masthead_watcher.h"
#include "foundation/clocks.h"
#include "foundation/worker_failure_log.h"
#include "http/cgi_response.h"
#include "http/get_stop_functor.h"
#include "relay/register/notification_dispatcher.h"
#include "relay/register/registration_request.h"

namespace {

std::optional<std::string> MethodOf(const HTTPRequest& request) {
    if (request.Method().IsEmpty()) return std::nullopt;
    return std::string(request.Method().View());
}

std::optional<std::string> UserAgentOf(const HTTPRequest& request) {
    const std::vector<std::string>* values = request.FindHeaderValues("User-Agent");
    if (!values || values->empty()) return std::nullopt;
    return values->front();
}

}  // namespace

// The notification dispatcher's RunStep takes this place: it sends one batch of queued pings (or
// drops them when DisableChildUDPMessages is set) and returns.
void RunClientRegisterWorkerStep(const ClientRegisterConfiguration& configuration, Event& stopEvent) {
    DispatchSettings settings;
    settings.childMessagesDisabled = configuration.GetDisableChildUDPMessages() != 0;
    settings.batchCount = configuration.GetBatchCount();
    settings.port = static_cast<std::uint16_t>(configuration.GetUDPMessagePort());
    settings.batchDelay = configuration.GetBatchDelay();
    settings.repetitionSetting = configuration.GetPingRepetitionCount();
    NotificationDispatcher::Instance().RunStep(settings, stopEvent);
}

ClientRegisterPlugIn::ClientRegisterPlugIn(GatherOptionsManager& relayConfiguration,
                                           NotificationServices& notifications, Event& stopEvent,
                                           WorkerStep workerStep, std::int64_t retryMicroseconds)
    : HTTPPlugIn("ClientRegister", true),
      m_relayConfiguration(relayConfiguration),
      m_notifications(notifications),
      m_stopEvent(stopEvent),
      m_workerStep(workerStep ? std::move(workerStep) : WorkerStep(RunClientRegisterWorkerStep)),
      m_retryMicroseconds(retryMicroseconds) {
    AddName("cgi-bin/vtdaruravidu/ClientRegister.exe");
}

ClientRegisterPlugIn::~ClientRegisterPlugIn() {
    m_stopEvent.Set();
    m_threads.JoinAll();
}

void ClientRegisterPlugIn::Start() {
    m_threads.Start([this] { WorkerLoop(); });
}

// A step that fails (no socket, say) fails again on every retry: the log hears of each kind of
// failure once a minute, not once every ten seconds.
void ClientRegisterPlugIn::WorkerLoop() {
    const ClientRegisterConfiguration configuration(kClientRegisterComponent);
    WorkerFailureLog failures("ClientRegister worker step failed: ");
    while (!m_stopEvent.Wait(0)) {
        try {
            m_workerStep(configuration, m_stopEvent);
        } catch (...) {
            failures.LogCurrentException();
            if (m_stopEvent.Wait(m_retryMicroseconds)) return;
        }
    }
}

void ClientRegisterPlugIn::HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) {
    HTTPClientWriter writer(*interface);
    PlugInLogFunctor log(*interface, "ClientRegister: ");
    try {
        ServeRequest(*interface, writer, log);
    } catch (const std::exception& error) {
        ReplyWithFailure(*interface, writer, log, error.what());
    } catch (...) {
        ReplyWithFailure(*interface, writer, log, "No diagnostic message available");
    }
}

// A request whose reply has begun gets no second one, and a stop that comes while the failure is
// written ends the request here rather than on the server's thread.
void ClientRegisterPlugIn::ReplyWithFailure(HTTPPlugInInterface& interface, ClientWriter& writer, LogFunctor& log,
                                            const std::string& text) {
    log.Log(text);
    if (interface.Request().ReplyStarted()) return;
    try {
        SendPlainTextResponse(writer, text, 200, false, false);
    } catch (...) {
    }
}

void ClientRegisterPlugIn::ServeRequest(HTTPPlugInInterface& interface, ClientWriter& writer, LogFunctor& log) {
    const ClientRegisterConfiguration configuration(kClientRegisterComponent);
    ClientRegistrationList& list = ClientRegistrationList::Instance();
    EventStopFunctor stop(m_stopEvent);
    const HTTPRequest& request = interface.Request();
    RegistrationRequest registration{
        .writer = writer,
        .body = interface,
        .configuration = configuration,
        .list = list,
        .url = request.URL(),
        .method = MethodOf(request),
        .clientAddress = interface.GetClientAddress(),
        .userAgent = UserAgentOf(request),
        .contentLength = interface.GetContentLength(),
        .log = log,
        .stop = stop,
        .relayConfiguration = m_relayConfiguration,
        .notifications = m_notifications,
        .stopEvent = &m_stopEvent,
        .siteGatherURL = [] { return GetClientMastheadWatcher().GetGatherURL(); },
    };
    HandleRegistrationRequest(registration);
    WriteListWhenDue(list, configuration, log);
}

// The reply has gone out by now: a failed write must not answer the request a second time.
void ClientRegisterPlugIn::WriteListWhenDue(ClientRegistrationList& list,
                                            const ClientRegisterConfiguration& configuration, LogFunctor& log) {
    if (!ClaimListWrite(configuration.GetRegistrationListWritePeriod())) return;
    try {
        list.WriteNow();
    } catch (const std::exception& error) {
        log.Log(std::string("Registration list write failed: ") + error.what());
    } catch (...) {
        log.Log("Registration list write failed: No diagnostic message available");
    }
    FinishListWrite();
}

bool ClientRegisterPlugIn::ClaimListWrite(std::uint32_t period) {
    CriticalSectionGuard guard(m_writeLock);
    if (m_listWriteInProgress || NowInSeconds() - m_lastListWrite <= static_cast<std::int64_t>(period))
        return false;
    m_listWriteInProgress = true;
    return true;
}

void ClientRegisterPlugIn::FinishListWrite() {
    CriticalSectionGuard guard(m_writeLock);
    m_lastListWrite = NowInSeconds();
    m_listWriteInProgress = false;
}
