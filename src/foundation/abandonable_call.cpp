#include "foundation/abandonable_call.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "foundation/thread_exit_functions.h"
#include "platform/native_thread.h"

AbandonableCall::Pointer AbandonableCall::Create(Function function, void* argument) {
    if (function == nullptr) return nullptr;
    return Create([function, argument] { function(argument); });
}

AbandonableCall::Pointer AbandonableCall::Create(Work work) {
    if (!work) return nullptr;
    std::unique_ptr<AbandonableCall> call(new AbandonableCall(std::move(work)));
    int error = PosixPlatform::StartDetachedNativeThread(&AbandonableCall::Run, call.get(),
                                                         kAbandonableCallStackBytes);
    if (error != 0) {
        std::fprintf(stderr, "Unable to _beginthreadex (%d)\n", error);
        return nullptr;
    }
    return Pointer(call.release());
}

void* AbandonableCall::Run(void* argument) noexcept {
    auto* call = static_cast<AbandonableCall*>(argument);
    try {
        call->m_work();
    } catch (...) {
        // The caller may be long gone; there is nobody to hand the exception to.
    }
    call->m_finished.store(true, std::memory_order_release);
    // The caller may still be reading m_finished; the call is freed only after it let go.
    while (!call->m_released.load(std::memory_order_acquire))
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    delete call;
    RunThreadExitFunctions();
    return nullptr;
}
