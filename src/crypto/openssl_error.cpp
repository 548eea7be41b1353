#include "crypto/openssl_error.h"

#include <openssl/err.h>

namespace {

// The longest text OpenSSL composes for one code is well below this; ERR_error_string_n cuts to it.
constexpr std::size_t kErrorTextBufferSize = 256;

std::string TextOfCode(unsigned long code) {
    char buffer[kErrorTextBufferSize];
    ERR_error_string_n(code, buffer, sizeof buffer);
    return buffer;
}

}  // namespace

OpenSSLError::OpenSSLError() {
    while (unsigned long code = ERR_get_error()) m_codes.push_back(code);
}

OpenSSLError::OpenSSLError(const OpenSSLError& other)
    : DebuggableException(other),
      m_codes(other.m_codes),
      m_text(other.m_text ? std::make_unique<std::string>(*other.m_text) : nullptr) {}

OpenSSLError& OpenSSLError::operator=(const OpenSSLError& other) {
    if (this != &other) {
        m_codes = other.m_codes;
        m_text = other.m_text ? std::make_unique<std::string>(*other.m_text) : nullptr;
    }
    return *this;
}

OpenSSLError::~OpenSSLError() = default;

const char* OpenSSLError::what() const noexcept {
    if (m_text) return m_text->c_str();
    try {
        std::string className = DebuggableException::what();
        std::string text;
        for (unsigned long code : m_codes) {
            if (!text.empty()) text += "; ";
            text += TextOfCode(code);
        }
        m_text = std::make_unique<std::string>(text.empty() ? className : text + " (" + className + ")");
        return m_text->c_str();
    } catch (...) {
        // Out of memory while composing: the class name is interned and always available.
        return DebuggableException::what();
    }
}

void ClearOpenSSLErrors() { ERR_clear_error(); }
