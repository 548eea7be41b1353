// RelayHTTPServer: the relay's HTTP server, the server core (http/http_server.h) with the relay's
// hooks.
//
// At construction it listens (SocketAddrInUse when the port is taken) and writes the probe file: "0"
// in the downloads folder (GatherOptionsManager::GetDownloadsFolder, created when missing) holding
// the one character "A", so "/vtmirror/downloads/0" answers "A" while the relay serves. A probe file
// that cannot be written fails the construction with its file error.
//
// The action-site epoch. The endpoint agent on the machine keeps its action site's epoch in HKLM
// "Software\Veltra\DaruraviduClient\GlobalOptions" "ActionSiteEpoch"; the relay keeps the epoch its
// stored actions belong to in "Software\Veltra\KVRRelay\GlobalOptions" "ActionSiteEpoch". Before each
// request the server compares them (a relay without an epoch of its own takes the agent's and changes
// nothing). When they differ, the next passes of the loop reset the actions: the replies still
// sending files are dropped, the reset receiver is asked once to drop its action downloads, and once
// it has answered (or the stop event is set) the action URLs folder is emptied and the agent's epoch
// stored as the relay's. The loop never blocks meanwhile: other requests are served while the
// receiver works. A step that fails is logged at "critical" and tried again at the next pass. A reset
// whose request is out when the loop ends is finished by the destructor: the stop ends the wait.
//
// The FIPS re-check. Before each request, ahead of the epoch compare, the server runs the re-check
// start-up gives it (SetFipsRecheck: the agent masthead watcher's CheckFipsMode, which reads the file
// at most every 15 minutes; none on a machine without an agent masthead). A failed re-check is logged
// at "critical" at most once per 15 minutes and the request goes on.
//
// Download paths. A GET that no plug-in claims is first shown to the download path mapper
// (download_path_mapper.h), which may serve another file in its place or refuse it with a status.
// A mapping that fails otherwise is answered 500 and logged at "critical" as "Download path mapping
// failed: " and its text, each kind of failure at most once a minute.
//
// Every hook catches and logs its own failures, so a failed epoch check, reset or mapping ends
// neither the loop nor another request. The settings, plug-in table, stop event, configuration,
// receiver and mapper must outlive the server; the hooks run on the loop thread only.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "foundation/event.h"
#include "foundation/worker_failure_log.h"
#include "http/http_server.h"
#include "relay/service/action_site_reset_receiver.h"
#include "relay/service/download_path_mapper.h"
#include "relay/service/gather_options_manager.h"

class RelayHTTPServer : public HTTPServer {
  public:
    RelayHTTPServer(HTTPServerSettings& settings, PlugInPathTable& plugIns, Event& stopEvent,
                    GatherOptionsManager& configuration, ActionSiteResetReceiver& resetReceiver,
                    DownloadPathMapper& downloadPaths);
    ~RelayHTTPServer() override;

    // "/vtmirror/downloads/0".
    const std::string& GetProbePath() const { return m_probePath; }
    bool IsResetPending() const { return m_resetPending; }
    void SetFipsRecheck(std::function<void()> recheck) { m_fipsRecheck = std::move(recheck); }

  protected:
    void BeforeRequest() override;
    void OnPump() override;
    void OnFileRequest(std::vector<Byte>& path) override;

  private:
    void WriteProbeFile();
    void RecheckFipsMode();
    // One pass of a pending reset; true when the reset is complete.
    bool AdvanceActionSiteReset();

    Event& m_stopEvent;
    GatherOptionsManager& m_configuration;
    ActionSiteResetReceiver& m_resetReceiver;
    DownloadPathMapper& m_downloadPaths;
    WorkerFailureLog m_mappingFailures{"Download path mapping failed: "};
    bool m_resetPending = false;
    std::shared_ptr<Event> m_resetAnswered;  // the request handed to the receiver, while one is out
    bool m_resetFailureLogged = false;
    std::function<void()> m_fipsRecheck;
    std::optional<std::int64_t> m_fipsFailureLogged;  // monotonic time of the last logged failure
    std::string m_probePath;
};

// Whether the agent's action-site epoch differs from the relay's, byte for byte. When the relay has
// none yet, the agent's is stored as the relay's and the answer is false.
bool ActionSiteEpochChanged();
// Stores the agent's current epoch as the relay's; throws ConfigurationStringWriteError.
void StoreActionSiteEpoch();
// Deletes every stored action URL (the action URLs folder is created when missing, then emptied) and
// stores the agent's epoch: the end of an action reset, once the downloads have let go of the actions.
void ResetActionSite(const GatherOptionsManager& configuration);
