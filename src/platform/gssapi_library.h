// The GSSAPI library, loaded at run time: the source of NTLM and Negotiate tokens for proxy and
// server authentication. The program does not link against it, so a host without it still runs,
// without those two schemes.
//
// MIT Kerberos' "libgssapi_krb5.so.2" provides Kerberos and SPNEGO itself and dispatches NTLM to the
// gss-ntlmssp mechanism when that is installed (/etc/gss/mech.d).
//
// A loader loads its library on first use, finds every entry point of SecurityFunctionTable and
// keeps the library loaded for the rest of the process. A failure, a library that does not load or
// an entry point it lacks, is remembered: that call and every later one throw NoSuchProcAddress
// without trying again. Thread-safe; concurrent first calls load once.
#pragma once

#include <gssapi/gssapi.h>
#include <gssapi/gssapi_ext.h>

#include <mutex>
#include <string>

#include "base/exceptions.h"

// A library loaded at run time can't be loaded or lacks an entry point the program needs.
class NoSuchProcAddress : public DebuggableException {};

namespace PosixPlatform {

// The GSSAPI calls of the authentication code (RFC 2744, and gss_acquire_cred_with_password of the
// MIT extensions).
struct SecurityFunctionTable {
    decltype(&gss_import_name) importName = nullptr;
    decltype(&gss_release_name) releaseName = nullptr;
    decltype(&gss_acquire_cred_with_password) acquireCredWithPassword = nullptr;
    decltype(&gss_release_cred) releaseCred = nullptr;
    decltype(&gss_init_sec_context) initSecContext = nullptr;
    decltype(&gss_delete_sec_context) deleteSecContext = nullptr;
    decltype(&gss_release_buffer) releaseBuffer = nullptr;
    decltype(&gss_display_status) displayStatus = nullptr;
};

// "libgssapi_krb5.so.2".
const char* SecurityProviderLibraryName();

// The table of the library named by SecurityProviderLibraryName, loaded once per process.
const SecurityFunctionTable& GetSecurityFunctionTable();

// The loader of one library, by a name dlopen understands (a file name looked up in the library
// path, or a path). GetSecurityFunctionTable uses one for the process; tests make their own.
class SecurityLibraryLoader {
  public:
    explicit SecurityLibraryLoader(std::string libraryName) : m_libraryName(std::move(libraryName)) {}
    SecurityLibraryLoader(const SecurityLibraryLoader&) = delete;
    SecurityLibraryLoader& operator=(const SecurityLibraryLoader&) = delete;

    // The entry points; the first call loads the library. Throws NoSuchProcAddress as described above.
    const SecurityFunctionTable& FunctionTable();

  private:
    void Load();

    std::string m_libraryName;
    std::once_flag m_loadOnce;
    bool m_loaded = false;
    SecurityFunctionTable m_table;
};

}  // namespace PosixPlatform
