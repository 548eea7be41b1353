#include "crypto/openssl_startup.h"

#include <openssl/crypto.h>
#include <openssl/evp.h>
#include <openssl/provider.h>
#include <openssl/rand.h>

namespace {

// The random generator is asked this often whether it is seeded, polling for more seed in between;
// start-up goes on whatever the last answer.
constexpr int kSeedAttempts = 3;

class ProviderControl : public OpenSSLLibraryControl {
  public:
    void StartLibrary() override {
        const std::uint64_t options = OPENSSL_INIT_LOAD_CRYPTO_STRINGS | OPENSSL_INIT_ADD_ALL_CIPHERS |
                                      OPENSSL_INIT_ADD_ALL_DIGESTS | OPENSSL_INIT_LOAD_CONFIG;
        OPENSSL_init_crypto(options, nullptr);
        for (int attempt = 1; attempt <= kSeedAttempts; ++attempt) {
            if (RAND_status() == 1) break;
            if (attempt < kSeedAttempts) RAND_poll();
        }
    }

    bool IsFIPSEnabled() override { return EVP_default_properties_is_fips_enabled(nullptr) == 1; }

    bool SwitchFIPS(bool on) override {
        if (!on) {
            EVP_default_properties_enable_fips(nullptr, 0);
            UnloadProviders();
            return true;
        }
        // The default provider is loaded explicitly so that it stays once others are loaded (loading
        // any provider ends the library's implicit use of the default one).
        if (!m_default) m_default = OSSL_PROVIDER_load(nullptr, "default");
        if (!m_fips) m_fips = OSSL_PROVIDER_load(nullptr, "fips");
        if (!m_base) m_base = OSSL_PROVIDER_load(nullptr, "base");
        return m_fips && m_base && EVP_default_properties_enable_fips(nullptr, 1) == 1;
    }

  private:
    void UnloadProviders() {
        for (OSSL_PROVIDER** provider : {&m_fips, &m_base}) {
            if (*provider) OSSL_PROVIDER_unload(*provider);
            *provider = nullptr;
        }
    }

    OSSL_PROVIDER* m_default = nullptr;
    OSSL_PROVIDER* m_fips = nullptr;
    OSSL_PROVIDER* m_base = nullptr;
};

}  // namespace

OpenSSLStartup& ProcessOpenSSLStartup() {
    static OpenSSLStartup startup(OpenSSLProviderControl());
    return startup;
}

OpenSSLLibraryControl& OpenSSLProviderControl() {
    static ProviderControl control;
    return control;
}

void OpenSSLStartup::Initialize(bool fipsMode) {
    CriticalSectionGuard guard(m_lock);
    if (!m_initialized) {
        m_control.StartLibrary();
        m_initialized = true;
    }
    if (m_control.IsFIPSEnabled() == fipsMode) return;
    ClearOpenSSLErrors();
    if (!m_control.SwitchFIPS(fipsMode)) {
        KVR_FIPS_mode_set_Failed failure;  // takes the library's reasons before the switch back adds any
        m_control.SwitchFIPS(false);
        throw failure;
    }
}

bool OpenSSLStartup::IsFIPSMode() {
    CriticalSectionGuard guard(m_lock);
    return m_control.IsFIPSEnabled();
}

bool OpenSSLStartup::IsInitialized() {
    CriticalSectionGuard guard(m_lock);
    return m_initialized;
}

void OpenSSLStartup::EnsureInitialized() {
    if (!IsInitialized()) throw OpenSSLNotInitialized();
}

void InitializeOpenSSL(bool fipsMode) { ProcessOpenSSLStartup().Initialize(fipsMode); }
bool IsOpenSSLFIPSMode() { return ProcessOpenSSLStartup().IsFIPSMode(); }
bool IsOpenSSLInitialized() { return ProcessOpenSSLStartup().IsInitialized(); }
void EnsureOpenSSLInitialized() { ProcessOpenSSLStartup().EnsureInitialized(); }
