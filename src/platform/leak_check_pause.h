// LeakCheckPause: in a build with AddressSanitizer, LeakSanitizer overlooks what the current thread
// allocates while a pause is held; in any other build it does nothing.
//
// For a call into a system library whose own leak is known and not ours, so that the leak check of
// the tests keeps watching everything else. Hold it around that one call only.
#pragma once

#if defined(__SANITIZE_ADDRESS__)
#define KVR_LEAK_CHECKED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define KVR_LEAK_CHECKED 1
#endif
#endif

#if defined(KVR_LEAK_CHECKED)
#include <sanitizer/lsan_interface.h>
#endif

namespace PosixPlatform {

class LeakCheckPause {
  public:
#if defined(KVR_LEAK_CHECKED)
    LeakCheckPause() {
        __lsan_disable();
    }
    ~LeakCheckPause() {
        __lsan_enable();
    }
#else
    LeakCheckPause() = default;
#endif
    LeakCheckPause(const LeakCheckPause&) = delete;
    LeakCheckPause& operator=(const LeakCheckPause&) = delete;
};

}  // namespace PosixPlatform
