#include "relay/service/relay_http_server.h"

#include <exception>

#include "base/const_data.h"
#include "foundation/clocks.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "foundation/whole_file.h"
#include "settings/configuration_settings.h"

namespace {

constexpr const char* kProbeFileName = "0";
constexpr const char* kProbeFileContent = "A";
// A failing FIPS re-check is logged at most this often (microseconds): the re-check's own interval.
constexpr std::int64_t kFipsFailureLogInterval = 900'000'000;

// Both epochs are HKLM registry values (settings mode 1), texts, empty when missing.
std::string ReadAgentActionSiteEpoch() {
    return ConfigurationString(1, "DaruraviduClient", "GlobalOptions", "ActionSiteEpoch", "").GetText();
}

ConfigurationString RelayActionSiteEpoch() {
    return ConfigurationString(1, "KVRRelay", "GlobalOptions", "ActionSiteEpoch", "");
}

void StoreRelayActionSiteEpoch(const std::string& epoch) { RelayActionSiteEpoch().Set(epoch.c_str()); }

}  // namespace

bool ActionSiteEpochChanged() {
    const std::string agentEpoch = ReadAgentActionSiteEpoch();
    const std::string relayEpoch = RelayActionSiteEpoch().GetText();
    if (relayEpoch.empty()) {
        // With no epoch on either side (no agent beside the relay) there is nothing to store: storing
        // the empty text again would write the registry, and wait for the disk, at every request.
        if (!agentEpoch.empty()) StoreRelayActionSiteEpoch(agentEpoch);
        return false;
    }
    return agentEpoch != relayEpoch;
}

void StoreActionSiteEpoch() { StoreRelayActionSiteEpoch(ReadAgentActionSiteEpoch()); }

void ResetActionSite(const GatherOptionsManager& configuration) {
    const FileLocation actionURLs = configuration.GetActionURLsFolder();
    CreateDirectoryTree(actionURLs);
    RemoveDirectoryContents(actionURLs);
    StoreActionSiteEpoch();
}

RelayHTTPServer::RelayHTTPServer(HTTPServerSettings& settings, PlugInPathTable& plugIns, Event& stopEvent,
                                 GatherOptionsManager& configuration, ActionSiteResetReceiver& resetReceiver,
                                 DownloadPathMapper& downloadPaths)
    : HTTPServer(settings, plugIns, stopEvent, true),
      m_stopEvent(stopEvent),
      m_configuration(configuration),
      m_resetReceiver(resetReceiver),
      m_downloadPaths(downloadPaths) {
    WriteProbeFile();
    m_probePath = configuration.GetDownloadsURLPath() + "/" + kProbeFileName;
}

RelayHTTPServer::~RelayHTTPServer() {
    if (!m_resetAnswered) return;
    try {
        ResetActionSite(m_configuration);
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Action site reset failed: " << error.what();
    }
}

// The downloads folder is below the server root, which a fresh machine does not have yet.
void RelayHTTPServer::WriteProbeFile() {
    const FileLocation downloads = m_configuration.GetDownloadsFolder();
    CreateDirectoryTree(downloads);
    WriteWholeFile(ConstData(kProbeFileContent), downloads.MakeChild(kProbeFileName));
}

// A failed check leaves the request alone: it is served, and the next request checks again.
void RelayHTTPServer::BeforeRequest() {
    RecheckFipsMode();
    if (m_resetPending) return;
    try {
        m_resetPending = ActionSiteEpochChanged();
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Action site epoch check failed: " << error.what();
    }
}

void RelayHTTPServer::RecheckFipsMode() {
    if (!m_fipsRecheck) return;
    try {
        m_fipsRecheck();
    } catch (const std::exception& error) {
        const std::int64_t now = GetMonotonicTime();
        if (m_fipsFailureLogged && now - *m_fipsFailureLogged < kFipsFailureLogInterval) return;
        m_fipsFailureLogged = now;
        KVR_LOG("critical") << "FIPS mode re-check failed: " << error.what();
    }
}

// The reset runs over as many passes as the receiver takes to answer; a failure is logged once per
// reset and the step is tried again at the next pass.
void RelayHTTPServer::OnPump() {
    if (!m_resetPending) return;
    try {
        if (!AdvanceActionSiteReset()) return;
        m_resetPending = false;
        m_resetFailureLogged = false;
    } catch (const std::exception& error) {
        if (m_resetFailureLogged) return;
        m_resetFailureLogged = true;
        KVR_LOG("critical") << "Action site reset failed: " << error.what();
    }
}

bool RelayHTTPServer::AdvanceActionSiteReset() {
    if (!m_resetAnswered) {
        DropWritingConnections();
        KVR_LOG("debug") << "The action site epoch changed.  Deleting all actions.";
        auto answered = std::make_shared<Event>();
        m_resetReceiver.RequestActionSiteReset(answered);
        m_resetAnswered = std::move(answered);
    }
    if (!m_resetAnswered->Wait(0) && !m_stopEvent.Wait(0)) return false;
    ResetActionSite(m_configuration);
    m_resetAnswered.reset();
    return true;
}

// A failed mapping would otherwise leave the loop as an exception that ends the connection without a
// reply.
void RelayHTTPServer::OnFileRequest(std::vector<Byte>& path) {
    std::optional<std::string> mapped;
    try {
        mapped = m_downloadPaths.MapDownloadPath(ConstData(path.data(), path.size()), m_probePath);
    } catch (const HTTPRequestError&) {
        throw;
    } catch (...) {
        m_mappingFailures.LogCurrentException();
        throw HTTPRequestError(500);
    }
    if (mapped) path.assign(mapped->begin(), mapped->end());
}
