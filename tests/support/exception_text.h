// Test helper: the message of the ExceptionPL a call throws, to compare with the text a caller sees.
#pragma once

#include <functional>
#include <string>

#include "base/exceptions.h"

// The text of the ExceptionPL the call throws; "no error" when it returns. Other exceptions pass.
inline std::string ErrorOf(const std::function<void()>& call) {
    try {
        call();
    } catch (const ExceptionPL& error) {
        return error.what();
    }
    return "no error";
}
