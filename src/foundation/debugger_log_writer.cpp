#include "foundation/debugger_log_writer.h"

#include <memory>
#include <mutex>

#include "platform/debugger_output.h"
#include "platform/native_thread.h"

std::string OutputDebugStringLogWriter::FormatMessage(const std::string& category, const std::string& text) {
    std::string message = text;
    if (!message.empty() && message.back() != '\n') message += '\n';
    PosixPlatform::WriteDebuggerOutput(std::to_string(PosixPlatform::CurrentThreadId()) + " -- " + message);
    return message;
}

bool AddDebuggerLogWriters() {
    static std::mutex lock;
    static bool added = false;
    std::lock_guard<std::mutex> guard(lock);
    if (added || !PosixPlatform::IsDebuggerAttached()) return added;
    // Process-wide and never removed: the manager keeps pointers to them until the process ends.
    for (const char* category : {"debug", "critical", "performance"})
        LogManager::Instance().AddWriter(new OutputDebugStringLogWriter(category));
    added = true;
    return added;
}
