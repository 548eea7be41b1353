#include "foundation/thread.h"

#include "foundation/thread_exit_functions.h"

namespace {

// noexcept: an exception that leaves a Callable's Run ends the process here, at its source, rather
// than unwinding into the C library's thread start.
void* RunCallable(void* callable) noexcept {
    static_cast<Callable*>(callable)->Run();
    RunThreadExitFunctions();
    return nullptr;
}

}  // namespace

void CallableFunction::Run() {
    try {
        m_call();
    } catch (...) {
        // Work on a thread handles what it can; what it lets out (an empty call included) is dropped
        // here so that it cannot end the process.
    }
}

ThreadHandle& ThreadHandle::operator=(ThreadHandle&& other) {
    if (this != &other) {
        WaitAndCloseThreadHandle(*this);
        m_thread = other.m_thread;
        other.m_thread.reset();
    }
    return *this;
}

// A failed join here (joining the thread from itself) is a programming error that a destructor
// cannot report: it ends the process rather than leave a thread behind.
ThreadHandle::~ThreadHandle() {
    WaitAndCloseThreadHandle(*this);
}

ThreadHandle StartCallableThread(Callable& callable) {
    PosixPlatform::NativeThread thread;
    int error =
        PosixPlatform::StartNativeThread(&RunCallable, &callable, PosixPlatform::kDefaultStackBytes, thread);
    if (error != 0) throw PosixPlatform::ThreadError(error);
    return ThreadHandle(thread);
}

void WaitAndCloseThreadHandle(ThreadHandle& handle) {
    if (handle.IsEmpty()) return;
    PosixPlatform::JoinNativeThread(*handle.m_thread);
    handle.m_thread.reset();
}

bool IsThreadFinished(ThreadHandle& handle) {
    if (handle.IsEmpty()) return true;
    if (!PosixPlatform::TryJoinNativeThread(*handle.m_thread)) return false;
    handle.m_thread.reset();
    return true;
}
