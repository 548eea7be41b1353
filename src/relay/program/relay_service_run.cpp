#include "relay/program/relay_service_run.h"

#include <sqlite3.h>

#include <cstdint>
#include <exception>
#include <memory>
#include <string>

#include "base/character_classes.h"
#include "base/file_errors.h"
#include "crypto/client_masthead_watcher.h"
#include "crypto/fips_mode_setting.h"
#include "crypto/masthead_signature_policy.h"
#include "crypto/openssl_startup.h"
#include "crypto/reissued_certificates.h"
#include "crypto/revocation_list_file.h"
#include "crypto/revocation_store.h"
#include "foundation/debugger_log_writer.h"
#include "foundation/file_item.h"
#include "foundation/log_manager.h"
#include "foundation/stop_event.h"
#include "net/socket_errors.h"
#include "net/socket_system.h"
#include "relay/download/download_path_serving.h"
#include "relay/download/download_pings.h"
#include "relay/download/download_plugin_manager.h"
#include "relay/download/download_request_file_processor.h"
#include "relay/download/download_request_plugin.h"
#include "relay/download/download_state.h"
#include "relay/download/kvr_mirror_request_plugin.h"
#include "relay/download/relay_downloader.h"
#include "relay/download/relay_upstream_download_requester.h"
#include "relay/download/service_download_manager.h"
#include "relay/gather/download_relay_work.h"
#include "relay/gather/gather_service_loop.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/kvr_gather_mirror_plugin.h"
#include "relay/gather/relay_gather_mirror_new_plugin.h"
#include "relay/gather/url_to_gather_id_map.h"
#include "relay/register/client_register_configuration.h"
#include "relay/post/post_file_plugin.h"
#include "relay/post/post_results_plugin.h"
#include "relay/post/upload_manager.h"
#include "relay/program/relay_diagnostics_plugin.h"
#include "relay/register/client_register_plugin.h"
#include "relay/register/client_registration_list.h"
#include "relay/register/local_notification_actions.h"
#include "relay/register/registration_forwarding.h"
#include "relay/register/relay_notifications.h"
#include "relay/service/parent_relay_configuration.h"
#include "relay/service/relay_http_server.h"
#include "settings/configuration_settings.h"
#include "settings/crash_report.h"
#include "settings/log_file_writer.h"

namespace {

constexpr const char* kRelayComponent = "KVRRelay";
constexpr unsigned kSocketStartRetries = 24;
constexpr std::int64_t kSocketStartRetryMilliseconds = 5'000;
constexpr unsigned kServerStartAttempts = 10;
constexpr std::int64_t kServerRetrySeconds = 30;

// The logging scope of a run: the log manager's thread runs while it lives.
class LoggingScope {
  public:
    LoggingScope() { StartLogging(); }
    ~LoggingScope() { StopLogging(); }
    LoggingScope(const LoggingScope&) = delete;
    LoggingScope& operator=(const LoggingScope&) = delete;
};

bool StartSocketLayer() {
    SocketSystem& sockets = SocketSystem::Instance();
    if (sockets.Start(kSocketStartRetries, kSocketStartRetryMilliseconds,
                      [] { return ProcessStopEvent().Wait(0); }))
        return true;
    KVR_LOG("critical") << "Failed Socket setup! Exiting.";
    KVR_LOG("critical") << sockets.Describe();
    return false;
}

// The agent's action-site masthead, "ActionSite.azqm" in the agent's folder (HKLM "App Paths"
// "KVRClient.exe" "Path"); unset when no agent is installed.
FileLocation FindAgentMasthead() {
    FileLocation masthead;
    try {
        masthead = GetClientActionMastheadPath();
    } catch (const std::exception&) {
        return FileLocation();
    }
    return FileAttributes(masthead).Exists() ? masthead : FileLocation();
}

// Whether the crypto library runs in FIPS mode: the agent's setting when it says, else the agent's
// masthead (read without its signature: the crypto library is not running yet). Throws
// FileNotFoundError when the masthead must decide and the machine has none.
bool ChooseFipsMode() {
    const FipsModeChoice setting = readFipsMode(false);
    const bool settingDecides = setting == kFipsModeRequired || setting == kFipsModeNone;
    if (FindAgentMasthead().IsEmpty()) {
        if (!settingDecides) {
            KVR_LOG("critical") << "No agent action-site masthead, and \"_KVRClient_Cryptography_FipsMode\" is "
                                   "neither \"required\" nor \"none\": the FIPS mode cannot be chosen";
            throw FileNotFoundError();
        }
        KVR_LOG("critical") << "Running without an agent action-site masthead: the FIPS mode follows "
                               "\"_KVRClient_Cryptography_FipsMode\" alone";
        return IsFipsModeOn(setting);
    }
    if (settingDecides) return IsFipsModeOn(setting);
    return IsFipsModeOn(readFipsMode(ClientRequiresFipsCryptography()));
}

bool StartCryptoLibrary() {
    try {
        InitializeOpenSSL(ChooseFipsMode());
    } catch (const KVR_FIPS_mode_set_Failed& error) {
        KVR_LOG("critical") << error.what();
        KVR_LOG("critical") << "Failed FIPS setup! Exiting.";
        return false;
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to initialize OpenSSL. " << error.what() << ". Exiting.";
        return false;
    }
    KVR_LOG("critical") << "OpenSSL Initialized (" << (IsOpenSSLFIPSMode() ? "FIPS Mode)" : "Non-FIPS Mode)");
    return true;
}

// The deployment's built-in certificates: the masthead root ("masthead-root.pem") and the pairs of
// re-issued certificates ("reissued-certificates.txt", optional), in the folder
// "_KVRRelay_Crypto_BuiltInCertificatePath" names (default "certificates" in the working folder). A
// table that does not read ends the start with its error.
void UseBuiltInCertificates() {
    const std::string folderText =
        ConfigurationString(2, kRelayComponent, "Crypto", "BuiltInCertificatePath", "certificates").GetText();
    const FileLocation folder(folderText.c_str());
    SetMastheadRootFolder(folder);
    const FileLocation table = folder.MakeChild("reissued-certificates.txt");
    if (FileAttributes(table).Exists()) LoadReissuedCertificateTable(table, GetReissuedCertificateTable());
}

bool CheckSQLiteThreadSafe() {
    if (sqlite3_threadsafe() != 0) return true;
    KVR_LOG("critical") << "SQLite threadsafe is disabled. Exiting.";
    return false;
}

// No parent: the client-register "ParentRelayURL" is unset and the agent reports to no server. The
// relay then serves what it holds and reaches upward for nothing.
void LogMissingParent() {
    const ClientRegisterConfiguration clientRegister(kClientRegisterComponent);
    if (clientRegister.HasParentRelayURL() || !clientRegister.GetParentRelayConfiguration().GetAgentServer().empty())
        return;
    KVR_LOG("critical") << "Running without a parent: \"ParentRelayURL\" is not set and the agent's "
                           "\"Server1\" is empty; only what is stored here is served";
}

// A relative folder as the relay's working folder resolves it.
std::string AbsoluteFolderText(const FileLocation& folder) {
    const std::string text = folder.GetPathString();
    if (!text.empty() && text.front() == '/') return text;
    return GetCurrentDirectoryLocation().GetPathString() + "/" + text;
}

// The gather-mirror plug-in hands out URLs of the mirrored sites' files below "wwwRootFolder", and
// the server answers them from "ServerRootPath": unless the two are one folder, those URLs find
// nothing.
void LogUnservedMirrorRoot(const GatherOptionsManager& configuration, const HTTPServerSettings& settings) {
    const std::string mirrorRoot = AbsoluteFolderText(configuration.GetWwwRootFolder());
    const std::string servedRoot = AbsoluteFolderText(settings.serverRootPath);
    if (Ascii::EqualIgnoringCase(mirrorRoot, servedRoot)) return;
    KVR_LOG("critical") << "The mirrored sites lie below \"wwwRootFolder\" " << mirrorRoot
                        << ", which the server does not serve (\"ServerRootPath\" is " << servedRoot
                        << "): clients and child relays cannot fetch their files";
}

// Crash dumps follow the machine-wide switch until here; the relay's own "WriteMiniDumps" can only
// turn them off.
void ApplyCrashDumpSwitch() {
    if (ConfigurationNumber(2, kRelayComponent, "HTTPServer", "WriteMiniDumps", 0).GetValue() == 0)
        SuppressMiniDumps();
}

// The carrier of buffered uploads to the parent, running unless "_KVRRelay_UploadManager_ParentURL" is
// set empty; it sends nothing while "_KVRRelay_UploadManager_ParentRelayHost" is empty.
std::unique_ptr<UploadManager> StartUploadManager() {
    if (UploadManagerParentURLIsEmpty()) return nullptr;
    auto manager = std::make_unique<UploadManager>(true, FileLocation());
    manager->SetParentRelayHost(ReadUploadManagerParentRelayHost());
    manager->SetClientSession(ParentRelayConfiguration().MakeHTTPClientSession());
    manager->Resume(UploadManager::kParentChangeSeconds);
    return manager;
}

// The registration list as the plug-ins leave it, written while the log still runs; the write at
// process exit comes too late to report a failure.
void WriteRegistrationList(ClientRegistrationList& registrationList) {
    try {
        registrationList.WriteNow();
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Registration list write at shutdown failed: " << error.what();
    }
}

// Every download stopped and what is still queued marked SUSPENDED for the next start, once: at its
// place in the shutdown (Stop), or, when an exception leaves the run before, as the object goes. The
// download workers use the downloader, the upstream requester, the notifier and the download
// plug-ins, which are destroyed before the manager; the object is built after them, so they are
// stopped first either way. A failure is logged and the shutdown goes on, so the lists after it are
// still written.
class DownloadsShutdown {
  public:
    explicit DownloadsShutdown(ServiceDownloadManager& downloads) : m_downloads(downloads) {}
    ~DownloadsShutdown() { Stop(); }
    DownloadsShutdown(const DownloadsShutdown&) = delete;
    DownloadsShutdown& operator=(const DownloadsShutdown&) = delete;

    void Stop() {
        if (m_stopped) return;
        m_stopped = true;
        try {
            m_downloads.AbortAll();
        } catch (const std::exception& error) {
            KVR_LOG("critical") << "Stopping the downloads failed: " << error.what();
        }
    }

  private:
    ServiceDownloadManager& m_downloads;
    bool m_stopped = false;
};

// The relay's components, each a named local in building order and handed by reference to the ones
// built after it; they are destroyed in reverse when the scope ends. A stand-in holds the place of a
// component whose subsystem is not built yet.
bool RunComponents(HTTPServerSettings& settings) {
    GatherOptionsManager configuration;
    // Every component below keeps its files under the server storage folder: a relay without one
    // stops here, naming the missing setting.
    GetServerStoragePath();
    // The gather ids that name the mirror folders, kept in the inbox's "vtemapfile.xml".
    URLToGatherIDMap gatherMap(configuration);
    // Every download's state, kept in "DownloadState.db": its schema brought up to date and the
    // downloads a stop interrupted set back to be started again.
    OpenDownloadStateDatabase(configuration);
    UseBuiltInCertificates();
    LogMissingParent();
    LogUnservedMirrorRoot(configuration, settings);
    // The download manager, the one place that decides downloads, and the processor of the download
    // request files it runs at every pass; the upstream requester, which asks the parent to make
    // files available, and the relay downloader, which fetches them from the parent (or a file's own
    // URL, or the hash indexes of files held outside the cache).
    ServiceDownloadManager downloads(configuration, ProcessStopEvent());
    DownloadRequestFileProcessor requestFiles(configuration, configuration.GetInboxFolder(), ProcessStopEvent());
    RelayUpstreamDownloadRequester upstreamRequester(downloads, ProcessStopEvent());
    RelayDownloader downloader(configuration, downloads, configuration, ProcessStopEvent());
    DownloadPings downloadPings(downloads);
    DownloadPathServing downloadPaths(configuration, downloads);
    // Every gathered site's state, read from "GatherState.xml"; built before client notification and
    // destroyed after it, it is saved last.
    GatherState gatherState(configuration, gatherMap, ProcessStopEvent());
    // The external download plug-ins registered in "DownloadPlugins.db"; the inbox, where their
    // messages arrive, is kept private to the relay's user from here on.
    DownloadPluginManager downloadPlugins =
        DownloadPluginManager::Open(configuration, configuration.GetInboxFolder(), downloads);
    // The process-wide registration list, loaded at the relay downloader's place (the downloader is
    // handed it); a list file that cannot be read ends the start here, naming the error.
    ClientRegistrationList& registrationList = ClientRegistrationList::Instance();
    RelayNotifications notifications(configuration, gatherState, downloadPings, ProcessStopEvent());
    // Late wiring: the gather state announces the sites it commits through the client notification
    // built after it, until this connection goes (before the notification does).
    const GatherState::NotificationConnection gatherAnnouncements =
        gatherState.ConnectNotifications(notifications.Services(), &registrationList);
    // Late wiring: the download manager pings clients through the notifier built after it.
    downloads.SetCollaborators({
        .upstreamRequester = upstreamRequester,
        .downloader = downloader,
        .notifier = notifications.Notifier(),
        .plugins = downloadPlugins,
        .requestFiles = requestFiles,
    });
    DownloadsShutdown downloadsShutdown(downloads);
    // The CRLs gathered before the last stop: a damaged list ends the start here, naming the error,
    // rather than serving without the revocations it held.
    const FileLocation revocationList = configuration.GetRevocationListFile();
    LoadRevocationStore(revocationList, GetRevocationStore());
    // The agent's masthead, verified once now; a machine without an agent has none (said above).
    if (!FindAgentMasthead().IsEmpty()) GetClientMastheadWatcher().CheckFipsMode();
    ApplyCrashDumpSwitch();
    // Buffered uploads on their way to the parent; destroyed after the plug-ins that fill the buffer.
    const std::unique_ptr<UploadManager> uploadManager = StartUploadManager();
    // Late wiring: a registration that moves the relay to a new parent moves the uploads there too.
    const ParentChangeConnection uploadsFollowParent([&uploadManager](const std::string& newParentBase) {
        if (uploadManager) uploadManager->ChangeParentRelayHost(newParentBase);
    });
    const PostFileOptionsManager postFileOptions;
    // The forwarding buffer's counts, which the post-results plug-in consults before each post.
    LockedCounters resultBufferCounters;

    // The downloads a stop suspended are queued again before the first work pass. The gather service
    // loop runs beside the server, started by the gather-mirror plug-in: it gathers the queued sites,
    // installs inbox archives and drives the download manager's passes. The plug-in's end, once the
    // server has stopped, sets the stop event and waits for every gather; the downloads are then
    // stopped while the notifier is still there, and the gather state is saved after all of them.
    downloads.RequeueFromStore();
    DownloadRelayWork downloadWork(downloads, downloadPlugins);
    const bool served = RegisterPlugInsAndServe({
        .settings = settings,
        .configuration = configuration,
        .resetReceiver = downloads,
        .downloadPaths = downloadPaths,
        .downloads = downloads,
        .notifications = notifications.Services(),
        .resultBufferCounters = resultBufferCounters,
        .postFileOptions = postFileOptions,
        .gatherMap = gatherMap,
        .gatherState = gatherState,
        .gatherLoopWork = downloadWork,
    });
    downloadsShutdown.Stop();
    WriteRegistrationList(registrationList);
    SaveRevocationStore(revocationList, GetRevocationStore());
    KVR_LOG("critical") << "KVR Relay shutting down";
    return served;
}

// Everything after the first log line. The early ends (sockets, crypto, SQLite) log their own lines;
// an exception from any step is logged here, while the log still runs, and fails the run.
bool StartAndServe(HTTPServerSettings& settings) {
    try {
        return RunWithMiniDumpGuard([&] {
            return StartSocketLayer() && StartCryptoLibrary() && CheckSQLiteThreadSafe() && RunComponents(settings);
        });
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "KVR Relay ended on an error: " << error.what();
        return false;
    }
}

}  // namespace

bool RelayServiceRun() {
    HTTPServerSettings settings(kRelayComponent);
    LogFileStatusUpdater logFile(settings.logFilePath.CString(), settings.logFileSizeLimit);
    const bool verbose = ReadVerboseLogSetting();
    LoggingScope logging;
    LogWriterRegistration fileWriter(LogManager::Instance(),
                                     std::make_unique<LogFileStatusUpdaterLogWriter>(&logFile, verbose));
    AddDebuggerLogWriters();

    KVR_LOG("critical") << "KVR Relay version 8.0.627.0 starting";
    return StartAndServe(settings);
}

void RelayServiceStop() {
    KVR_LOG("critical") << "KVR Relay received stop request";
    ProcessStopEvent().Set();
}

bool RegisterPlugInsAndServe(const RelayComponents& components) {
    // The plug-ins in building order (client register, download request, gather mirror, mirror
    // request, post file, post results, gather mirror new, diagnostics), entered into the table in it
    // and destroyed in reverse. Diagnostics is entered only while "_KVRRelay_Diagnostics_Enable"
    // (default 1) is not 0.
    PlugInPathTable plugIns;
    ClientRegisterPlugIn clientRegister(components.configuration, components.notifications, ProcessStopEvent());
    DownloadRequestPlugIn downloadRequest(components.configuration, components.downloads);
    KVRGatherMirrorPlugIn gatherMirror({
        .options = components.configuration,
        .stop = ProcessStopEvent(),
        .gatherMap = components.gatherMap,
        .gatherState = components.gatherState,
        .downloads = components.gatherLoopWork,
    });
    KVRMirrorRequestPlugIn mirrorRequest(components.configuration, components.downloads, ProcessStopEvent());
    PostFilePlugIn postFile(components.postFileOptions, ProcessStopEvent());
    PostResultsPlugIn postResults(components.resultBufferCounters, ProcessStopEvent());
    RelayGatherMirrorNewPlugIn gatherMirrorNew(components.gatherMap, components.gatherState);
    RelayDiagnosticsPlugIn diagnostics({
        .configuration = components.configuration,
        .postFileOptions = components.postFileOptions,
        .serverSettings = components.settings,
        .gatherMap = components.gatherMap,
        .resultBufferCounters = components.resultBufferCounters,
    });
    RegisterPlugInNames(plugIns, clientRegister);
    RegisterPlugInNames(plugIns, downloadRequest);
    RegisterPlugInNames(plugIns, gatherMirror);
    RegisterPlugInNames(plugIns, mirrorRequest);
    RegisterPlugInNames(plugIns, postFile);
    RegisterPlugInNames(plugIns, postResults);
    RegisterPlugInNames(plugIns, gatherMirrorNew);
    if (IsDiagnosticsPageEnabled()) RegisterPlugInNames(plugIns, diagnostics);
    StartPlugIns(plugIns);
    for (unsigned attempt = 1; attempt <= kServerStartAttempts; ++attempt) {
        if (RunRelayHTTPServer(components, plugIns)) return true;
        KVR_LOG("critical") << "Unable to start KVR Relay: socket already in use on port " << components.settings.port
                            << ", attempt " << attempt << " of " << kServerStartAttempts << ", next retry in "
                            << kServerRetrySeconds << " seconds";
        if (ProcessStopEvent().Wait(kServerRetrySeconds * 1'000'000)) return true;
    }
    return false;
}

bool RunRelayHTTPServer(const RelayComponents& components, PlugInPathTable& plugIns) {
    try {
        RelayHTTPServer server(components.settings, plugIns, ProcessStopEvent(), components.configuration,
                               components.resetReceiver, components.downloadPaths);
        if (!FindAgentMasthead().IsEmpty())
            server.SetFipsRecheck([] { GetClientMastheadWatcher().CheckFipsMode(); });
        server.Run();
        return true;
    } catch (const SocketAddrInUse&) {
        return false;
    }
}
