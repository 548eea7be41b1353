#include "settings/crash_report.h"

#include <unistd.h>

#include <cxxabi.h>
#include <atomic>
#include <climits>
#include <exception>
#include <typeinfo>
#include <vector>

#include "base/file_location.h"
#include "foundation/clocks.h"
#include "foundation/file_operations.h"
#include "foundation/time_text.h"
#include "platform/file_paths.h"
#include "platform/native_thread.h"
#include "platform/user_folders.h"
#include "settings/registry_functions.h"

namespace {

constexpr const char* kVeltraKey = "Software\\Veltra";
constexpr const char* kCounterKey = "Software\\Veltra\\Minidumps";
constexpr std::uint32_t kDefaultMaxDumpFiles = 5;
// The longest program name that can name its counter.
constexpr std::size_t kCounterNameLimit = 260;
constexpr const char* kReportExtension = ".dmp";

std::atomic<bool> dumpsSuppressed{false};

std::uint32_t ReadNumber(RegistryRoot root, const char* name, std::uint32_t defaultValue) {
    int value = 0;
    return ReadRegistryDWORD(root, kVeltraKey, name, value) ? static_cast<std::uint32_t>(value)
                                                            : defaultValue;
}

std::size_t LastComponentStart(const std::string& path) {
    std::size_t separator = path.rfind('/');
    return separator == std::string::npos ? 0 : separator + 1;
}

// The path without the extension of its last component ("/a/b.c" gives "/a/b"; "/a/.c" stays).
std::string WithoutExtension(const std::string& path) {
    std::size_t start = LastComponentStart(path);
    std::size_t dot = path.rfind('.');
    return dot == std::string::npos || dot <= start ? path : path.substr(0, dot);
}

struct ReportedException {
    std::string className;
    std::string text;
};

// Only inside a catch handler.
ReportedException DescribeCurrentException() {
    try {
        throw;
    } catch (const std::exception& exception) {
        return {ClassNameText(typeid(exception)), exception.what()};
    } catch (...) {
        const std::type_info* type = abi::__cxa_current_exception_type();
        return {type ? ClassNameText(*type) : "unknown", CurrentExceptionText()};
    }
}

// Only inside a catch handler.
std::string ReportText(const std::string& program, std::uint32_t dumpType) {
    ReportedException exception = DescribeCurrentException();
    std::string text = "Crash report of " + program + "\n";
    text += "Time: " + std::string(FormatTimeText(GetCurrentUTCTime(), GetLocalZoneOffset()).View()) + "\n";
    text += "Process: " + std::to_string(::getpid()) + "\n";
    text += "Thread: " + std::to_string(PosixPlatform::CurrentThreadId()) + "\n";
    text += "Exception: " + exception.className + "\n";
    text += "Text: " + exception.text + "\n";
    text += "Dump type: " + std::to_string(dumpType) + "\n";
    std::vector<std::string> frames = PosixPlatform::BacktraceOfCurrentException();
    if (frames.empty()) {
        text += "Backtrace at the throw: not recorded\n";
    } else {
        text += "Backtrace at the throw:\n";
        for (const std::string& frame : frames) text += "  " + frame + "\n";
    }
    return text;
}

void WriteReport(const std::string& path, const std::string& text) {
    PosixPlatform::FileWritingPath file{FileLocation(path.c_str())};
    const Byte* begin = reinterpret_cast<const Byte*>(text.data());
    file.WriteAt(0, begin, begin + text.size());
    file.Flush();
}

}  // namespace

void SuppressMiniDumps() {
    dumpsSuppressed.store(true);
    PosixPlatform::DisableThrowBacktraces();
}

bool WriteMiniDumpsEnabled() {
    if (dumpsSuppressed.load()) return false;
    return ReadNumber(RegistryRoot::LocalMachine, "WriteMiniDumps", 1) != 0;
}

std::uint32_t MaxDumpFiles() {
    std::uint32_t max = ReadNumber(RegistryRoot::LocalMachine, "MaxDumpFiles", kDefaultMaxDumpFiles);
    return max == 0 ? UINT32_MAX : max;
}

std::uint32_t NextDumpNumber(const std::string& path, std::uint32_t max) {
    std::string name = path.substr(LastComponentStart(path));
    if (name.size() > kCounterNameLimit) return 0;
    std::uint32_t taken = 0;
    int result = PosixPlatform::UpdateRegistryKey(
        RegistryRoot::CurrentUser, kCounterKey, [&](PosixPlatform::RegistryKeyNode& key) {
            const PosixPlatform::RegistryValue* stored = key.FindValue(name);
            if (!stored || stored->type != RegistryType::DWord ||
                !PosixPlatform::DWordFromData(stored->data, taken))
                taken = 0;
            std::uint32_t next =
                max == 0 ? taken + 1 : static_cast<std::uint32_t>((std::uint64_t{taken} + 1) % max);
            key.SetValue(name, RegistryType::DWord, PosixPlatform::DWordData(next));
            return 0;
        });
    return result == 0 ? taken : 0;
}

bool AppendDumpNumber(std::string& path, std::uint32_t n) {
    std::string numbered = WithoutExtension(path) + "_" + std::to_string(n);
    if (numbered.size() >= PATH_MAX) return false;
    path = numbered;
    return true;
}

std::string CrashReportBasePath() {
    std::string program = PosixPlatform::RunningProgramPath();
    if (program.empty()) return {};
    std::string name = program.substr(LastComponentStart(program));
    if (PosixPlatform::IsServiceAccount()) {
        FileLocation workingFolder = GetCurrentDirectoryLocation();
        return workingFolder.IsEmpty() ? std::string()
                                       : ChildFileLocation(workingFolder, name.c_str()).ToString();
    }
    std::string stateFolder = PosixPlatform::UserStateFolder();
    if (stateFolder.empty()) return {};
    FileLocation reportFolder = FileLocation(stateFolder.c_str()).MakeChild("Veltra");
    CreateDirectoryTree(reportFolder);
    return ChildFileLocation(reportFolder, name.c_str()).ToString();
}

bool IsDumpableException() {
    try {
        throw;
    } catch (const NonDumpableException&) {
        return false;
    } catch (...) {
        return true;
    }
}

void MiniDumpExceptionFilter() noexcept {
    try {
        if (!IsDumpableException() || !WriteMiniDumpsEnabled()) return;
        std::uint32_t dumpType = ReadNumber(RegistryRoot::CurrentUser, "MINIDUMP_TYPE", 0);
        std::string path = CrashReportBasePath();
        if (path.empty()) return;
        std::string program = PosixPlatform::RunningProgramPath();
        std::uint32_t max = MaxDumpFiles();
        if (max != 1 && !AppendDumpNumber(path, NextDumpNumber(path, max))) return;
        WriteReport(WithoutExtension(path) + kReportExtension, ReportText(program, dumpType));
    } catch (...) {
        // No report, and the exception in flight goes on untouched.
    }
}

MiniDumpGuardScope::MiniDumpGuardScope() {
    if (WriteMiniDumpsEnabled()) m_recording.emplace();
}
