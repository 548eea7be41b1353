#include "foundation/process_setup.h"

// Never destroyed: a detached thread may still hold one of them while the process exits.

CriticalSection& ClientRegistrationLock() {
    static CriticalSection* const lock = new CriticalSection;
    return *lock;
}

CriticalSection& RegistrationListLock() {
    static CriticalSection* const lock = new CriticalSection;
    return *lock;
}

CriticalSection& MirrorRequestLock() {
    static CriticalSection* const lock = new CriticalSection;
    return *lock;
}
