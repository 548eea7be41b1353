#include "foundation/exceptions.h"

#include <cxxabi.h>

#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <typeindex>

std::string ClassNameText(const std::type_info& type) {
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> demangled(
        abi::__cxa_demangle(type.name(), nullptr, nullptr, &status), &std::free);
    return std::string("class ") + (status == 0 && demangled ? demangled.get() : type.name());
}

const char* DebuggableException::what() const noexcept {
    // what() must return a text that outlives the call, and an exception object has no room of its
    // own for it: the name of each class is built once and kept for the life of the process.
    static std::mutex lock;
    static auto* names = new std::map<std::type_index, std::string>;
    try {
        std::lock_guard<std::mutex> guard(lock);
        auto [entry, added] = names->try_emplace(std::type_index(typeid(*this)));
        if (added) entry->second = ClassNameText(typeid(*this));
        return entry->second.c_str();
    } catch (...) {
        return "class DebuggableException";
    }
}

ExceptionPL::ExceptionPL(const char* message) : m_message(message ? message : "") {}
