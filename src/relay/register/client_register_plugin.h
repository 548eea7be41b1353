// ClientRegisterPlugIn: the HTTP plug-in through which clients and child relays reach the relay's
// registration service, named "ClientRegister" for the path "cgi-bin/vtdaruravidu/ClientRegister.exe".
//
// Each request runs on a plug-in thread of the server: it reads the settings afresh (a
// ClientRegisterConfiguration of its own), takes the process-wide registration list and is served by
// HandleRegistrationRequest (registration_request.h), which writes the one reply. Afterwards the
// request writes the registration list when no other request is writing it and more than
// RegistrationListWritePeriod seconds have passed since the last write, so the first request after
// start writes it and later ones at most once per period. A failure before the reply (the settings,
// the list) is answered with its text as a status-200 plain-text body; a failed list write after the
// reply is only logged. Registrations learn the deployment from the agent's action-site masthead
// (GetClientMastheadWatcher).
//
// The notification requests reach the relay's notification services (notification_services.h):
// the gather state, the download side and the forwarding pool the run routine built.
//
// The worker thread (Start) runs the worker step again and again until the stop event is set, with
// one configuration read when the loop starts. A step that throws is logged at "critical"
// ("ClientRegister worker step failed: " and its text; each kind of failure at most once a minute,
// worker_failure_log.h) and makes the worker wait 10 seconds before the next; a stop ends that wait
// at once.
//
// Threads: HandleRequest runs on many threads at once; the write lock guards only the time of the
// last list write and the flag of a write in progress, never the write itself. The relay
// configuration, the notification services and the stop event are not owned and outlive the
// plug-in. The destructor sets the stop event and joins the worker.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "foundation/critical_section.h"
#include "foundation/event.h"
#include "foundation/thread_group.h"
#include "http/http_plugin.h"
#include "http/cgi_response.h"
#include "http/plugin_log_functor.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/notification_services.h"
#include "relay/service/gather_options_manager.h"

class ClientRegisterPlugIn : public HTTPPlugIn {
  public:
    static constexpr std::int64_t kWorkerRetryMicroseconds = 10'000'000;

    // One pass of the worker: returns after it has done some work or waited; throws to make the
    // worker pause.
    using WorkerStep = std::function<void(const ClientRegisterConfiguration& configuration, Event& stopEvent)>;

    // The worker runs `workerStep`; without one it runs the relay's own (RunClientRegisterWorkerStep).
    // It pauses `retryMicroseconds` after a failed step.
    ClientRegisterPlugIn(GatherOptionsManager& relayConfiguration, NotificationServices& notifications,
                         Event& stopEvent, WorkerStep workerStep = {},
                         std::int64_t retryMicroseconds = kWorkerRetryMicroseconds);
    ~ClientRegisterPlugIn() override;

    void Start() override;
    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override;

  private:
    void WorkerLoop();
    void ServeRequest(HTTPPlugInInterface& interface, ClientWriter& writer, LogFunctor& log);
    void ReplyWithFailure(HTTPPlugInInterface& interface, ClientWriter& writer, LogFunctor& log,
                          const std::string& text);
    void WriteListWhenDue(ClientRegistrationList& list, const ClientRegisterConfiguration& configuration,
                          LogFunctor& log);
    // Under the write lock: whether this request is to write the list, marking the write in progress.
    bool ClaimListWrite(std::uint32_t period);
    void FinishListWrite();

    GatherOptionsManager& m_relayConfiguration;
    NotificationServices& m_notifications;
    Event& m_stopEvent;
    WorkerStep m_workerStep;
    std::int64_t m_retryMicroseconds;

    CriticalSection m_writeLock;
    std::int64_t m_lastListWrite = 0;  // seconds since 1970
    bool m_listWriteInProgress = false;

    ThreadGroup m_threads;  // the worker; last, so it is joined before the members above go
};

// The worker step of the running relay: one pass of the notification dispatcher
// (notification_dispatcher.h) with the configuration's pacing settings.
void RunClientRegisterWorkerStep(const ClientRegisterConfiguration& configuration, Event& stopEvent);
