#include "platform/native_thread.h"

#include <unistd.h>

#include <cerrno>

#include "platform/system_error.h"

namespace PosixPlatform {
namespace {

// The pthread calls return their error number instead of setting errno.
void CheckErrorNumber(int error) {
    if (error != 0) throw Posix::Error(error);
}

// Returns 0 or the error number of the failed start.
int StartThread(NativeThreadRoutine routine, void* argument, std::size_t stackBytes, bool detached,
                NativeThread& thread) {
    pthread_attr_t attributes;
    int error = ::pthread_attr_init(&attributes);
    if (error != 0) return error;
    if (stackBytes != kDefaultStackBytes) error = ::pthread_attr_setstacksize(&attributes, stackBytes);
    if (error == 0 && detached) error = ::pthread_attr_setdetachstate(&attributes, PTHREAD_CREATE_DETACHED);
    if (error == 0) error = ::pthread_create(&thread, &attributes, routine, argument);
    ::pthread_attr_destroy(&attributes);
    return error;
}

}  // namespace

int StartNativeThread(NativeThreadRoutine routine, void* argument, std::size_t stackBytes,
                      NativeThread& thread) {
    return StartThread(routine, argument, stackBytes, false, thread);
}

int StartDetachedNativeThread(NativeThreadRoutine routine, void* argument, std::size_t stackBytes) {
    NativeThread thread;
    return StartThread(routine, argument, stackBytes, true, thread);
}

void JoinNativeThread(NativeThread thread) {
    CheckErrorNumber(::pthread_join(thread, nullptr));
}

bool TryJoinNativeThread(NativeThread thread) {
    int error = ::pthread_tryjoin_np(thread, nullptr);
    if (error == EBUSY) return false;
    CheckErrorNumber(error);
    return true;
}

ThreadLocalKey::ThreadLocalKey(void (*disposer)(void*)) {
    CheckErrorNumber(::pthread_key_create(&m_key, disposer));
}

ThreadLocalKey::~ThreadLocalKey() {
    ::pthread_key_delete(m_key);
}

void ThreadLocalKey::Set(void* value) {
    CheckErrorNumber(::pthread_setspecific(m_key, value));
}

unsigned long CurrentThreadId() {
    return static_cast<unsigned long>(::gettid());
}

}  // namespace PosixPlatform
