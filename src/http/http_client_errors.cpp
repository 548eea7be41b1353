#include "http/http_client_errors.h"

#include <string_view>

const char* HttpClientError::Name() const noexcept {
    // what() is "class " and the name, interned for the life of the process.
    static constexpr std::size_t kClassPrefixLength = std::string_view("class ").size();
    return what() + kClassPrefixLength;
}

const char* GetCurrentHttpErrorName() {
    try {
        throw;
    } catch (const HttpClientError& error) {
        return error.Name();
    }
}
