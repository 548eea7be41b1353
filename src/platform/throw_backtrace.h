// Backtraces of C++ throws, taken at the throw itself, for crash reports: by the time a handler runs,
// the stack that threw has been unwound.
//
// Every C++ throw of the process passes through this module (it takes the C++ runtime's throw
// entry and hands on to the runtime's own). While a ThrowBacktraceRecording lives on a thread, each
// throw on that thread keeps a backtrace of the throwing place; otherwise a throw costs one
// thread-local test. The last few recorded throws of each thread are kept.
//
// A recording belongs to the thread that built it. DisableThrowBacktraces may be called from any
// thread.
#pragma once

#include <string>
#include <typeinfo>
#include <vector>

namespace PosixPlatform {

// Records the calling thread's throws for its lifetime; recordings may nest.
class ThrowBacktraceRecording {
  public:
    ThrowBacktraceRecording();
    ~ThrowBacktraceRecording();
    ThrowBacktraceRecording(const ThrowBacktraceRecording&) = delete;
    ThrowBacktraceRecording& operator=(const ThrowBacktraceRecording&) = delete;
};

// Stops recording in every thread for the rest of the process.
void DisableThrowBacktraces();

// Only inside a catch handler: the frames recorded when the exception being handled was thrown, the
// innermost first, one symbolised text per frame ("program(function+0x1c) [0x55d0...]"); empty when
// its throw was not recorded.
std::vector<std::string> BacktraceOfCurrentException();

// Called by the throw entry (throw_entry.cpp) at every throw: keeps a backtrace when the calling
// thread is recording.
void RecordThrow(void* object, const std::type_info* type);

}  // namespace PosixPlatform
