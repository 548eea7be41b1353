// The C++ runtime's throw entry, taken over so that the throwing stack can be recorded before it
// unwinds (throw_backtrace.h). Every throw then goes on to the runtime's own entry, found after this
// program in the symbol search order, so that a sanitizer's interceptor still sees it.
//
// This file must not see <cxxabi.h>: it declares the entry with a std::type_info* where the compiler's
// own declaration, which this definition has to match, takes a void*.

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "platform/throw_backtrace.h"

namespace PosixPlatform {
// Read by every recording, so that a program that records links this entry in even when a library
// named before it (a sanitizer's runtime) already provides one.
extern const bool kThrowEntryLinked = true;
}  // namespace PosixPlatform

namespace {

using ThrowFunction = void (*)(void*, void*, void (*)(void*));

ThrowFunction RuntimeThrow() {
    static const ThrowFunction next = reinterpret_cast<ThrowFunction>(::dlsym(RTLD_NEXT, "__cxa_throw"));
    return next;
}

}  // namespace

extern "C" [[noreturn]] void __cxa_throw(void* object, void* type, void (*destructor)(void*)) {
    PosixPlatform::RecordThrow(object, static_cast<const std::type_info*>(type));
    ThrowFunction runtimeThrow = RuntimeThrow();
    if (!runtimeThrow) {
        std::fputs("The C++ runtime's throw entry cannot be found\n", stderr);
        std::abort();
    }
    runtimeThrow(object, type, destructor);
    __builtin_unreachable();
}
