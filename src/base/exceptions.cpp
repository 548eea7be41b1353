#include "base/exceptions.h"

#include <cxxabi.h>

#include <algorithm>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>
#include <string_view>
#include <typeindex>
#include <vector>

#include "base/critical_log.h"

namespace {

// The registry is built on first use with the capture that every process needs, so it is in place
// whatever the order of static initialisation, and the std::exception capture is always the oldest
// entry. It is never destroyed: threads may still capture while the process exits.
struct ExceptionTypeRegistry {
    std::mutex lock;
    std::vector<ExceptionCaptureFunction> captures{CatchCurrentException};
};

ExceptionTypeRegistry& Registry() {
    static auto* registry = new ExceptionTypeRegistry;
    return *registry;
}

std::string_view FileNameOf(const char* path) {
    std::string_view text = path ? path : "";
    std::size_t separator = text.find_last_of("/\\");
    return separator == std::string_view::npos ? text : text.substr(separator + 1);
}

std::string SourcePlace(const char* file, int line) {
    return std::string(FileNameOf(file)) + ":" + std::to_string(line);
}

}  // namespace

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

std::string CurrentExceptionText() {
    if (!std::current_exception()) return "No diagnostic message available";
    try {
        throw;
    } catch (const std::exception& exception) {
        return exception.what();
    } catch (...) {
        return "No diagnostic message available";
    }
}

std::unique_ptr<CaughtException> CatchCurrentException() {
    return CaptureExceptionOfType<std::exception>();
}

void RegisterExceptionType(ExceptionCaptureFunction capture) {
    ExceptionTypeRegistry& registry = Registry();
    std::lock_guard<std::mutex> guard(registry.lock);
    if (std::find(registry.captures.begin(), registry.captures.end(), capture) == registry.captures.end())
        registry.captures.push_back(capture);
}

std::unique_ptr<CaughtException> CaptureCurrentException() {
    ExceptionTypeRegistry& registry = Registry();
    {
        std::lock_guard<std::mutex> guard(registry.lock);
        // Newest first, so that a specific type is taken before the std::exception capture. A
        // capture function that does not recognise the exception lets the rethrown copy escape; it
        // is dropped here and the next one is tried.
        for (auto capture = registry.captures.rbegin(); capture != registry.captures.rend(); ++capture) {
            try {
                if (std::unique_ptr<CaughtException> caught = (*capture)()) return caught;
            } catch (...) {
            }
        }
    }
    return std::make_unique<CaughtExceptionOfType<ExceptionCannotBeCopied>>(ExceptionCannotBeCopied());
}

void LogRequirementFailure(const char* file, int line, const char* text) {
    if (!CriticalLogEnabled()) return;
    WriteCriticalLog(std::string("REQUIREMENT FAILURE: ") + (text ? text : "") + " (" +
                     SourcePlace(file, line) + ")");
}

void RaiseRequirementFailure(const char* file, int line, const char* text) {
    // Logged first, so that the failure is on record even when a caller swallows the exception.
    LogRequirementFailure(file, line, text);
    throw RequirementFailure("Requirement failure at " + SourcePlace(file, line) + " ( " +
                             (text ? text : "") + " )");
}
