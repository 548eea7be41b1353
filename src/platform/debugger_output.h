// The debugger's channel on Linux: a process is being debugged when a tracer (gdb, strace) is
// attached, and what it sends to the debugger goes to standard error, the tracer's console.
//
// Both functions may be called from any thread.
#pragma once

#include <string_view>

namespace PosixPlatform {

// True when /proc/self/status names a tracer (TracerPid other than 0).
bool IsDebuggerAttached();
// Writes the text to standard error, whole; a failing write is ignored.
void WriteDebuggerOutput(std::string_view text);

}  // namespace PosixPlatform
