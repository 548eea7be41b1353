// RunGuardedStep: one step of a background loop behind its own failure barrier, so that a failing step
// is logged and the loop goes on with the next.
//
//     RunGuardedStep("Exception in SweepDeadPlugins: ", [&] { plugins.SweepDeadPlugins(); });
//
// Every exception is caught. When "critical" is enabled, one line is logged there: the step's text
// followed by the exception's text (CurrentExceptionText: what() of a standard exception, else "No
// diagnostic message available").
#pragma once

#include <utility>

#include "base/exceptions.h"
#include "foundation/log_manager.h"

// Answers whether the step ended normally.
template <class Step>
bool RunGuardedStep(const char* failureText, Step&& step) {
    try {
        std::forward<Step>(step)();
        return true;
    } catch (...) {
        KVR_LOG("critical") << failureText << CurrentExceptionText();
        return false;
    }
}
