// Optional values: OptionalValue<T> holds a T or nothing (copies duplicate the value); OptionalText
// is a borrowed text range that may be absent, made from a C string where null means absent.
#pragma once

#include <cstring>
#include <optional>

#include "base/const_data.h"

template <class T>
using OptionalValue = std::optional<T>;

struct OptionalText {
    ConstData text;
    bool present = false;

    OptionalText() = default;
    // Borrows the text; a null pointer gives an absent text.
    OptionalText(const char* cString)
        : text(cString ? ConstData(cString, std::strlen(cString)) : ConstData()),
          present(cString != nullptr) {}
    explicit OptionalText(ConstData range) : text(range), present(true) {}
};
