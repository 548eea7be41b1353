// Bringing OpenSSL up once per process and switching its FIPS mode.
//
// InitializeOpenSSL(fips) runs the one-time start-up on its first successful call and then puts
// FIPS mode on or off as asked; later calls only switch FIPS mode when it differs. The service's
// run routine calls it at start-up and the masthead watcher again whenever the wanted mode changes.
// Operations that need the library started call EnsureOpenSSLInitialized first.
//
// On OpenSSL 3 FIPS mode is a provider: switching it on loads the "fips" and "base" providers and
// makes the FIPS property the default for every algorithm fetched afterwards; switching it off
// drops that property and unloads them. Where no FIPS provider is installed, switching on fails:
// the library is put back to non-FIPS and KVR_FIPS_mode_set_Failed is thrown, so a caller that
// requires FIPS fails closed.
//
// The library needs no lock or memory callbacks, no per-thread or exit-time clean-up and no reset
// after FIPS is switched off: OpenSSL 3 does all of that itself.
//
// All functions are thread-safe; one process-wide lock serialises them.
#pragma once

#include "crypto/openssl_error.h"
#include "foundation/critical_section.h"

OPENSSL_FAILURE(KVR_FIPS_mode_set_Failed);
// A crypto operation ran before InitializeOpenSSL had completed.
class OpenSSLNotInitialized : public DebuggableException {};

// Throws KVR_FIPS_mode_set_Failed; the library stays started and in non-FIPS mode then.
void InitializeOpenSSL(bool fipsMode);
bool IsOpenSSLFIPSMode();
bool IsOpenSSLInitialized();
// Returns when start-up has completed, else throws OpenSSLNotInitialized.
void EnsureOpenSSLInitialized();

// The library calls behind start-up, a seam so that tests can exercise every path of the switch.
class OpenSSLLibraryControl {
  public:
    virtual ~OpenSSLLibraryControl() = default;
    // The one-time start-up: error texts, algorithm tables, a seeded random generator.
    virtual void StartLibrary() = 0;
    virtual bool IsFIPSEnabled() = 0;
    // False when the library refused.
    virtual bool SwitchFIPS(bool on) = 0;
};

// OpenSSL's own calls (the process-wide instance).
OpenSSLLibraryControl& OpenSSLProviderControl();

// The start-up state of one library. The free functions above use one process-wide instance over
// OpenSSLProviderControl(); tests build their own over a control of theirs.
class OpenSSLStartup {
  public:
    explicit OpenSSLStartup(OpenSSLLibraryControl& control) : m_control(control) {}
    OpenSSLStartup(const OpenSSLStartup&) = delete;
    OpenSSLStartup& operator=(const OpenSSLStartup&) = delete;

    void Initialize(bool fipsMode);
    bool IsFIPSMode();
    bool IsInitialized();
    void EnsureInitialized();

  private:
    OpenSSLLibraryControl& m_control;
    CriticalSection m_lock;
    bool m_initialized = false;
};

// The process-wide start-up state behind InitializeOpenSSL and IsOpenSSLFIPSMode.
OpenSSLStartup& ProcessOpenSSLStartup();
