#include "support/gssapi_acceptor.h"

#include <dlfcn.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

#include "platform/gssapi_library.h"
#include "platform/leak_check_pause.h"

namespace {

constexpr const char* kMechanismFolder = "/etc/gss/mech.d";
constexpr const char* kNTLMOIDText = "1.3.6.1.4.1.311.2.2.10";

gss_OID_desc kNTLM = {10, const_cast<char*>("\x2b\x06\x01\x04\x01\x82\x37\x02\x02\x0a")};
gss_OID_desc kSPNEGO = {6, const_cast<char*>("\x2b\x06\x01\x05\x05\x02")};

// The acceptor's calls, found in the library the program loads (dlopen gives the same handle again).
struct AcceptorCalls {
    decltype(&gss_acquire_cred) acquireCred;
    decltype(&gss_accept_sec_context) acceptSecContext;
    decltype(&gss_delete_sec_context) deleteSecContext;
    decltype(&gss_release_cred) releaseCred;
    decltype(&gss_release_buffer) releaseBuffer;
    decltype(&gss_display_name) displayName;
    decltype(&gss_release_name) releaseName;
};

template <class Function>
void Find(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    if (!function) throw std::runtime_error(std::string("GSSAPI has no ") + name);
}

const AcceptorCalls& Calls() {
    static const AcceptorCalls calls = [] {
        void* library = ::dlopen(PosixPlatform::SecurityProviderLibraryName(), RTLD_NOW | RTLD_LOCAL);
        if (!library) throw std::runtime_error("GSSAPI does not load");
        AcceptorCalls found;
        Find(library, "gss_acquire_cred", found.acquireCred);
        Find(library, "gss_accept_sec_context", found.acceptSecContext);
        Find(library, "gss_delete_sec_context", found.deleteSecContext);
        Find(library, "gss_release_cred", found.releaseCred);
        Find(library, "gss_release_buffer", found.releaseBuffer);
        Find(library, "gss_display_name", found.displayName);
        Find(library, "gss_release_name", found.releaseName);
        return found;
    }();
    return calls;
}

bool NTLMMechanismConfigured() {
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(kMechanismFolder, error)) {
        std::ifstream file(entry.path());
        std::stringstream text;
        text << file.rdbuf();
        if (text.str().find(kNTLMOIDText) != std::string::npos) return true;
    }
    return false;
}

}  // namespace

std::string MissingNTLMSupport() {
    void* library = ::dlopen(PosixPlatform::SecurityProviderLibraryName(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return "libgssapi_krb5.so.2 is not installed (scripts/deps installs it)";
    ::dlclose(library);
    if (!NTLMMechanismConfigured()) return "gss-ntlmssp is not installed (scripts/deps installs it)";
    return {};
}

NTLMUserFile::NTLMUserFile(const std::string& lines) {
    std::string path = m_folder / "users";
    std::ofstream(path) << lines;
    ::setenv("NTLM_USER_FILE", path.c_str(), 1);
}

NTLMUserFile::~NTLMUserFile() {
    ::unsetenv("NTLM_USER_FILE");
}

GSSAPIAcceptor::GSSAPIAcceptor(Mechanism mechanism)
    : m_mechanism(mechanism == Mechanism::NTLM ? &kNTLM : &kSPNEGO) {
    gss_OID_set_desc mechanisms{1, m_mechanism};
    OM_uint32 minor = 0;
    // gss-ntlmssp 1.2 leaks the name of each acceptor credential and, at each check of an answer,
    // the OpenSSL state it makes for MD4.
    PosixPlatform::LeakCheckPause knownLibraryLeak;
    if (GSS_ERROR(Calls().acquireCred(&minor, GSS_C_NO_NAME, 0, &mechanisms, GSS_C_ACCEPT, &m_credentials,
                                      nullptr, nullptr)))
        throw std::runtime_error("GSSAPIAcceptor: no acceptor credentials");
}

GSSAPIAcceptor::~GSSAPIAcceptor() {
    OM_uint32 minor = 0;
    if (m_context != GSS_C_NO_CONTEXT) Calls().deleteSecContext(&minor, &m_context, GSS_C_NO_BUFFER);
    Calls().releaseCred(&minor, &m_credentials);
}

GSSAPIAcceptor::State GSSAPIAcceptor::Accept(const std::string& token, std::string& reply) {
    gss_buffer_desc input{token.size(), const_cast<char*>(token.data())};
    gss_buffer_desc output{0, nullptr};
    gss_name_t initiator = GSS_C_NO_NAME;
    OM_uint32 minor = 0;
    PosixPlatform::LeakCheckPause knownLibraryLeak;
    OM_uint32 major =
        Calls().acceptSecContext(&minor, &m_context, m_credentials, &input, GSS_C_NO_CHANNEL_BINDINGS,
                                 &initiator, nullptr, &output, nullptr, nullptr, nullptr);
    reply.assign(static_cast<const char*>(output.value), output.length);
    Calls().releaseBuffer(&minor, &output);
    if (initiator != GSS_C_NO_NAME) {
        gss_buffer_desc name{0, nullptr};
        if (!GSS_ERROR(Calls().displayName(&minor, initiator, &name, nullptr))) {
            // gss-ntlmssp counts the terminating NUL in the length.
            m_initiatorName = std::string(static_cast<const char*>(name.value), name.length).c_str();
            Calls().releaseBuffer(&minor, &name);
        }
        Calls().releaseName(&minor, &initiator);
    }
    if (GSS_ERROR(major)) return State::Failed;
    return major & GSS_S_CONTINUE_NEEDED ? State::Continue : State::Complete;
}
