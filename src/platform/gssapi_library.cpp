#include "platform/gssapi_library.h"

#include <dlfcn.h>

namespace PosixPlatform {

namespace {

template <class Function>
bool FindEntryPoint(void* library, const char* name, Function& function) {
    function = reinterpret_cast<Function>(::dlsym(library, name));
    return function != nullptr;
}

}  // namespace

const char* SecurityProviderLibraryName() {
    return "libgssapi_krb5.so.2";
}

const SecurityFunctionTable& GetSecurityFunctionTable() {
    // Built on first use and kept, with its library, until the process ends.
    static SecurityLibraryLoader loader(SecurityProviderLibraryName());
    return loader.FunctionTable();
}

const SecurityFunctionTable& SecurityLibraryLoader::FunctionTable() {
    // The first call loads under std::call_once, so callers on several threads may be the first: the
    // authentication code runs on whichever thread makes a request.
    std::call_once(m_loadOnce, [this] { Load(); });
    if (!m_loaded) throw NoSuchProcAddress();
    return m_table;
}

void SecurityLibraryLoader::Load() {
    // RTLD_LOCAL keeps GSSAPI's symbols out of the global scope. A complete library is never closed,
    // so the entry points stay valid for the life of the process.
    void* library = ::dlopen(m_libraryName.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) return;
    SecurityFunctionTable table;
    m_loaded = FindEntryPoint(library, "gss_import_name", table.importName) &&
               FindEntryPoint(library, "gss_release_name", table.releaseName) &&
               FindEntryPoint(library, "gss_acquire_cred_with_password", table.acquireCredWithPassword) &&
               FindEntryPoint(library, "gss_release_cred", table.releaseCred) &&
               FindEntryPoint(library, "gss_init_sec_context", table.initSecContext) &&
               FindEntryPoint(library, "gss_delete_sec_context", table.deleteSecContext) &&
               FindEntryPoint(library, "gss_release_buffer", table.releaseBuffer) &&
               FindEntryPoint(library, "gss_display_status", table.displayStatus);
    if (m_loaded)
        m_table = table;
    else
        ::dlclose(library);
}

}  // namespace PosixPlatform
