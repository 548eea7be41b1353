#include "platform/throw_backtrace.h"

#include <cxxabi.h>
#include <execinfo.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cstdlib>
#include <exception>
#include <memory>
#include <string_view>
#include <typeinfo>

namespace PosixPlatform {

// Defined with the throw entry (throw_entry.cpp).
extern const bool kThrowEntryLinked;

namespace {

constexpr int kFramesPerThrow = 64;
constexpr int kThrowsKept = 4;
// The frame of the throw entry, below this module's own at the top of every recorded stack.
constexpr std::string_view kThrowEntryFrame = "(__cxa_throw+";

struct RecordedThrow {
    const void* object = nullptr;
    const std::type_info* type = nullptr;
    int frameCount = 0;
    void* frames[kFramesPerThrow];
};

// Plain data, so that the per-thread record needs no constructor or destructor of its own.
struct ThreadThrows {
    int recordingDepth = 0;
    int next = 0;  // the slot the next throw takes; the ring is searched newest first
    std::array<RecordedThrow, kThrowsKept> throws;
};

thread_local ThreadThrows threadThrows;
std::atomic<bool> backtracesDisabled{false};

}  // namespace

void RecordThrow(void* object, const std::type_info* type) {
    if (threadThrows.recordingDepth <= 0 || backtracesDisabled.load(std::memory_order_relaxed)) return;
    RecordedThrow& entry = threadThrows.throws[threadThrows.next];
    threadThrows.next = (threadThrows.next + 1) % kThrowsKept;
    entry.object = object;
    entry.type = type;
    entry.frameCount = ::backtrace(entry.frames, kFramesPerThrow);
}

namespace {

// The demangled form of "module(mangled+0x1c) [0x...]"; the text as it is when it has no C++ name.
std::string Demangled(const char* symbol) {
    std::string text = symbol;
    std::size_t open = text.find('(');
    std::size_t plus = text.find('+', open == std::string::npos ? 0 : open);
    if (open == std::string::npos || plus == std::string::npos || plus == open + 1) return text;
    std::string mangled = text.substr(open + 1, plus - open - 1);
    int status = 0;
    std::unique_ptr<char, decltype(&std::free)> name(
        abi::__cxa_demangle(mangled.c_str(), nullptr, nullptr, &status), &std::free);
    if (status != 0 || !name) return text;
    return text.substr(0, open + 1) + name.get() + text.substr(plus);
}

// The most-derived object of the exception being handled when it is a std::exception (what the
// runtime's throw entry was given); null for other types.
const void* CurrentExceptionObject() {
    try {
        throw;
    } catch (const std::exception& exception) {
        return dynamic_cast<const void*>(&exception);
    } catch (...) {
        return nullptr;
    }
}

const RecordedThrow* FindRecordedThrow(const std::type_info& type, const void* object) {
    for (int age = 1; age <= kThrowsKept; ++age) {
        const RecordedThrow& entry = threadThrows.throws[(threadThrows.next + kThrowsKept - age) % kThrowsKept];
        if (entry.type == nullptr || *entry.type != type) continue;
        if (object == nullptr || entry.object == object) return &entry;
    }
    return nullptr;
}

}  // namespace

ThrowBacktraceRecording::ThrowBacktraceRecording() {
    // Reading the flag (always true) is what links the throw entry into the program.
    if (kThrowEntryLinked) ++threadThrows.recordingDepth;
}

ThrowBacktraceRecording::~ThrowBacktraceRecording() {
    if (kThrowEntryLinked) --threadThrows.recordingDepth;
}

void DisableThrowBacktraces() {
    backtracesDisabled.store(true, std::memory_order_relaxed);
}

std::vector<std::string> BacktraceOfCurrentException() {
    std::vector<std::string> frames;
    const std::type_info* type = abi::__cxa_current_exception_type();
    if (!type) return frames;
    const RecordedThrow* recorded = FindRecordedThrow(*type, CurrentExceptionObject());
    if (!recorded) return frames;
    std::unique_ptr<char*, decltype(&std::free)> symbols(
        ::backtrace_symbols(recorded->frames, recorded->frameCount), &std::free);
    if (!symbols) return frames;
    for (int i = 0; i < recorded->frameCount; ++i) frames.push_back(Demangled(symbols.get()[i]));
    // The report starts at the place that threw: the recording's own frames go.
    auto entry = std::find_if(frames.begin(), frames.end(), [](const std::string& frame) {
        return frame.find(kThrowEntryFrame) != std::string::npos;
    });
    if (entry != frames.end()) frames.erase(frames.begin(), entry + 1);
    return frames;
}

}  // namespace PosixPlatform
