#include "platform/debugger_output.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/file_descriptor.h"
#include "platform/file_system.h"

namespace PosixPlatform {

namespace {

constexpr std::string_view kTracerField = "\nTracerPid:";

std::string ReadProcessStatus() {
    FileDescriptor file(::open("/proc/self/status", O_RDONLY | O_CLOEXEC));
    std::string status;
    if (!file.IsValid()) return status;
    char buffer[4096];
    for (;;) {
        ssize_t count = ::read(file.Get(), buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;
        status.append(buffer, static_cast<std::size_t>(count));
    }
    return status;
}

}  // namespace

bool IsDebuggerAttached() {
    std::string status = ReadProcessStatus();
    std::size_t field = status.find(kTracerField);
    if (field == std::string::npos) return false;
    std::size_t value = status.find_first_not_of(" \t", field + kTracerField.size());
    return value != std::string::npos && status[value] >= '1' && status[value] <= '9';
}

void WriteDebuggerOutput(std::string_view text) {
    // One write where it fits, so that lines of different threads do not interleave mid-line. A
    // failed write loses the text: there is nowhere to report it.
    WriteAll(STDERR_FILENO, text);
}

}  // namespace PosixPlatform
