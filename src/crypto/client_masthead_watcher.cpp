#include "crypto/client_masthead_watcher.h"

#include "crypto/fips_mode_setting.h"
#include "crypto/masthead_encryption_certificate.h"
#include "foundation/clocks.h"
#include "foundation/log_manager.h"
#include "settings/registry_functions.h"

namespace {

constexpr const char* kAgentAppPathsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Paths\\KVRClient.exe";
constexpr const char* kAgentFolderValue = "Path";
constexpr const char* kActionMastheadFileName = "ActionSite.azqm";

}  // namespace

ClientMastheadWatcher::ClientMastheadWatcher(Clock monotonicClock, PathFinder mastheadPath, OpenSSLStartup& crypto,
                                             MastheadStore& store)
    : m_clock(std::move(monotonicClock)), m_mastheadPath(std::move(mastheadPath)), m_crypto(&crypto), m_store(&store) {}

void ClientMastheadWatcher::CheckFipsMode() {
    CriticalSectionGuard guard(m_lock);
    const std::int64_t now = m_clock();
    if (m_lastRecheck && now - *m_lastRecheck <= kMastheadRecheckInterval) return;
    // A failing masthead is read and verified again only after a pause: the calls come from the
    // server's loop thread, once per request.
    if (m_lastFailure && now - *m_lastFailure < kFailedRecheckBackOff) return;
    try {
        Recheck();
    } catch (...) {
        m_lastFailure = m_clock();
        throw;
    }
    m_lastFailure.reset();
    m_lastRecheck = m_clock();
}

// The masthead is read into a record of its own: only one that verified as an action masthead
// replaces what the watcher serves.
void ClientMastheadWatcher::Recheck() {
    Masthead fresh;
    fresh.Load(m_mastheadPath(), MastheadKind::kActionOnly);
    m_store->Put(fresh);
    m_masthead = std::move(fresh);
    const bool mastheadAsks = m_masthead.Headers().RequireFipsCryptography != 0;
    SetFipsMode(IsFipsModeOn(readFipsMode(mastheadAsks)));
}

void ClientMastheadWatcher::SetFipsMode(bool on) {
    const bool wasOn = m_crypto->IsFIPSMode();
    m_crypto->Initialize(on);
    const bool isOn = m_crypto->IsFIPSMode();
    if (isOn == wasOn) return;
    KVR_LOG("critical") << (isOn ? "Entered FIPS Mode" : "Left FIPS Mode");
}

std::string ClientMastheadWatcher::GetGatherURL() {
    CriticalSectionGuard guard(m_lock);
    return StringFromConstData(m_masthead.GatherURL());
}

X509Holder ClientMastheadWatcher::GetEncryptionCertificate() {
    try {
        return GetMastheadEncryptionCertificate(m_mastheadPath());
    } catch (const NoEncryptionCertificateFound&) {
        return X509Holder();
    }
}

ClientMastheadWatcher& GetClientMastheadWatcher() {
    static ClientMastheadWatcher watcher(GetMonotonicTime, GetClientActionMastheadPath, ProcessOpenSSLStartup(),
                                         GetMastheadStore());
    return watcher;
}

FileLocation GetClientActionMastheadPath() {
    const Stringy folder = ReadRegistryText(RegistryRoot::LocalMachine, kAgentAppPathsKey, kAgentFolderValue);
    return FileLocation(folder.GetCString()).MakeChild(kActionMastheadFileName);
}

bool ClientRequiresFipsCryptography() { return ReadMastheadRequiresFips(GetClientActionMastheadPath()); }
