// Crash reports: when a program exception escapes a guarded call (the service's entry routine, a
// plug-in's request handler), a text report of it is written before it goes on to its handler. The
// report names the exception's class, its text, the thread, and the stack of the place that threw
// it, recorded at the throw. A report never handles the exception, and none is written for an
// exception that derives from NonDumpableException.
//
// Settings, read at each report:
//   HKLM "Software\Veltra"  "WriteMiniDumps"  DWORD  0 turns reports off; default 1 (also without the key)
//   HKLM "Software\Veltra"  "MaxDumpFiles"    DWORD  reports kept: 1 is one unnumbered file, 0 no
//                                                    practical limit; default 5
//   HKCU "Software\Veltra"  "MINIDUMP_TYPE"   DWORD  the kind of report asked for, written into it; default 0
//   HKCU "Software\Veltra\Minidumps"  <program name>  DWORD  the number of the next report
// SuppressMiniDumps turns reports off for the rest of the process whatever the settings say.
//
// Files: "<program>_<n>.dmp" (n from 0 to MaxDumpFiles - 1, in turn, replacing the oldest), or
// "<program>.dmp" when MaxDumpFiles is 1. They go to the working folder when the process runs as
// the service account, else to "Veltra" in the user's state folder ($XDG_STATE_HOME, by default
// ~/.local/state), created when missing.
//
// Every function may be called from any thread; two reports written at once take different numbers.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <utility>

#include "platform/throw_backtrace.h"

void SuppressMiniDumps();
// False once suppressed; otherwise the "WriteMiniDumps" setting.
bool WriteMiniDumpsEnabled();
// The "MaxDumpFiles" setting; a stored 0 gives the largest unsigned value.
std::uint32_t MaxDumpFiles();
// Takes the next report number for the program named by the last component of `path`: returns the
// stored number (0 when none) and stores it + 1 modulo `max` (0 counting as no limit), in one locked
// update. 0 when the counter cannot be kept.
std::uint32_t NextDumpNumber(const std::string& path, std::uint32_t max);
// Replaces the extension of the path's last component by "_<n>"; false (and the path unchanged)
// when the result would not fit a path.
bool AppendDumpNumber(std::string& path, std::uint32_t n);
// The folder and program name that report names begin with, the folder created when missing; empty
// when there is no such folder.
std::string CrashReportBasePath();

// Only inside a catch handler: whether the exception being handled may have a report (it does not
// derive from NonDumpableException).
bool IsDumpableException();
// Only inside a catch handler: writes the report of the exception being handled when it is
// dumpable and reports are enabled. Never throws and never handles the exception; every failure
// on the way ends it quietly without a report.
void MiniDumpExceptionFilter() noexcept;

// Records the throw backtraces of the calling thread for its lifetime, while reports are enabled
// when it is built.
class MiniDumpGuardScope {
  public:
    MiniDumpGuardScope();

  private:
    std::optional<PosixPlatform::ThrowBacktraceRecording> m_recording;
};

// Runs the call; when an exception leaves it, MiniDumpExceptionFilter has its chance to write a
// report and the exception goes on to the caller unchanged. Returns what the call returns.
template <class Call>
decltype(auto) RunWithMiniDumpGuard(Call&& call) {
    MiniDumpGuardScope recording;
    try {
        return std::forward<Call>(call)();
    } catch (...) {
        MiniDumpExceptionFilter();
        throw;
    }
}
