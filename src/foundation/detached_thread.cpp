#include "foundation/detached_thread.h"

#include <memory>

#include "foundation/thread_exit_functions.h"
#include "platform/native_thread.h"

namespace {

struct StartBlock {
    DetachedFunction function;
    void* argument;
};

void* RunDetached(void* block) noexcept {
    {
        std::unique_ptr<StartBlock> start(static_cast<StartBlock*>(block));
        try {
            start->function(start->argument);
        } catch (...) {
            // Nobody waits for this thread, so there is nobody to hand the exception to.
        }
    }
    RunThreadExitFunctions();
    return nullptr;
}

}  // namespace

void StartDetachedThread(DetachedFunction function, void* argument) {
    auto block = std::make_unique<StartBlock>(StartBlock{function, argument});
    if (PosixPlatform::StartDetachedNativeThread(&RunDetached, block.get(),
                                                 PosixPlatform::kDefaultStackBytes) != 0)
        throw ThreadPoolError();
    block.release();  // the thread owns it now
}
