// ClientMastheadWatcher: the relay's verified copy of the endpoint agent's action-site masthead.
//
// The agent's action-site masthead is the deployment's word on three things: whether the crypto
// library must run in FIPS mode, which action-site gather URL this deployment uses, and which
// certificate encrypts what the relay sends upward. The watcher re-reads the file
// ("ActionSite.azqm" in the agent's folder, GetClientActionMastheadPath) at most every 15 minutes,
// accepts it only as a verified action masthead, stores it in the masthead store, and switches the
// crypto library in or out of FIPS mode when the answer changes ("Entered FIPS Mode" / "Left FIPS
// Mode" at "critical").
//
// Re-check timing runs on the monotonic clock, so that a wall-clock jump neither stops re-checks nor
// forces one. The first CheckFipsMode always reads. A re-check that fails (missing file, a masthead
// that does not verify or is not an action masthead, a refused FIPS switch) throws, keeps the record
// the watcher had, and is tried again after kFailedRecheckBackOff, not on every call.
//
// Thread-safe: one lock serialises re-checks and GetGatherURL; a re-check holds it across the file
// read, the store update and the FIPS switch. The masthead store's lock is taken inside it, never the
// other way.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

#include "base/file_location.h"
#include "crypto/auto_openssl_object.h"
#include "crypto/masthead.h"
#include "crypto/masthead_store.h"
#include "crypto/openssl_startup.h"
#include "foundation/critical_section.h"

inline constexpr std::int64_t kMastheadRecheckInterval = 900'000'000;  // 15 minutes, in microseconds
inline constexpr std::int64_t kFailedRecheckBackOff = 60'000'000;      // one minute

class ClientMastheadWatcher {
  public:
    using Clock = std::function<std::int64_t()>;
    using PathFinder = std::function<FileLocation()>;

    // The process-wide watcher uses the monotonic clock, GetClientActionMastheadPath, the process's
    // crypto library and the process's masthead store; tests give their own.
    ClientMastheadWatcher(Clock monotonicClock, PathFinder mastheadPath, OpenSSLStartup& crypto, MastheadStore& store);
    ClientMastheadWatcher(const ClientMastheadWatcher&) = delete;
    ClientMastheadWatcher& operator=(const ClientMastheadWatcher&) = delete;

    // Re-reads the masthead and sets the FIPS mode from it and the agent's FIPS setting, unless the
    // last re-check is less than 15 minutes (a failed one less than a minute) old.
    void CheckFipsMode();
    // The gather URL of the last masthead read; empty before the first successful re-check.
    std::string GetGatherURL();
    // The agent masthead's encryption certificate, read and verified afresh (the watcher's record is
    // not used); an empty holder when the masthead has none.
    X509Holder GetEncryptionCertificate();

  private:
    void Recheck();
    void SetFipsMode(bool on);

    Clock m_clock;
    PathFinder m_mastheadPath;
    OpenSSLStartup* m_crypto;
    MastheadStore* m_store;
    CriticalSection m_lock;
    Masthead m_masthead;
    std::optional<std::int64_t> m_lastRecheck;
    std::optional<std::int64_t> m_lastFailure;
};

// The process-wide watcher, built on first use.
ClientMastheadWatcher& GetClientMastheadWatcher();

// "ActionSite.azqm" in the folder of the registry value "Path" of HKLM
// "SOFTWARE\Microsoft\Windows\CurrentVersion\App Paths\KVRClient.exe". Throws
// Posix::RegistryValueIsEmpty for an empty value, Posix::WrongRegistryType for a value that is no
// text, and the registry's error when the key or value cannot be read.
FileLocation GetClientActionMastheadPath();

// Whether the agent's masthead asks for FIPS mode, read without checking its signature: for the
// start-up, before the crypto library runs.
bool ClientRequiresFipsCryptography();
