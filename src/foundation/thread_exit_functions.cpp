#include "foundation/thread_exit_functions.h"

#include <mutex>
#include <vector>

namespace {

struct ExitFunctionList {
    std::mutex lock;
    std::vector<ThreadExitFunction> functions;
};

ExitFunctionList& TheList() {
    // Never destroyed: detached threads may still be ending while the process exits.
    static ExitFunctionList* const list = new ExitFunctionList;
    return *list;
}

}  // namespace

void AddThreadExitFunction(ThreadExitFunction function) {
    ExitFunctionList& list = TheList();
    std::lock_guard<std::mutex> guard(list.lock);
    list.functions.push_back(function);
}

void RunThreadExitFunctions() {
    ExitFunctionList& list = TheList();
    std::vector<ThreadExitFunction> functions;
    {
        // A copy, so that a function may register another without dead-locking on the list.
        std::lock_guard<std::mutex> guard(list.lock);
        functions = list.functions;
    }
    for (ThreadExitFunction function : functions) function();
}
