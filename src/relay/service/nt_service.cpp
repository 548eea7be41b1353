#include "relay/service/nt_service.h"

#include <syslog.h>

#include <algorithm>
#include <chrono>
#include <initializer_list>
#include <cstdlib>
#include <exception>
#include <iostream>
#include <thread>

#include "base/character_classes.h"
#include "base/const_data.h"
#include "base/file_location.h"
#include "foundation/file_operations.h"
#include "foundation/whole_file.h"
#include "platform/debugger_output.h"
#include "platform/user_folders.h"
#include "relay/service/stop_signal_thread.h"
#include "settings/crash_report.h"

namespace {

constexpr const char* kSyslogIdent = "KVRRelay";
// Thirty seconds at the usual pace: the time systemd gives the relay to stop.
constexpr unsigned kMostStatePolls = 30;

bool IsOption(const std::string& word) { return word.size() == 2 && word[0] == '-' && Ascii::Letters().Contains(static_cast<unsigned char>(word[1])); }

// systemd names the run of a unit in the environment of its processes.
bool StartedBySystemd() {
    const char* invocation = std::getenv("INVOCATION_ID");
    return invocation != nullptr && *invocation != '\0';
}

std::string TrimmedLine(std::string text) {
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    return text;
}

}  // namespace

ServiceCommandLine ParseServiceCommandLine(const std::vector<std::string>& arguments) {
    using Action = ServiceCommandLine::Action;
    ServiceCommandLine commandLine;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& word = arguments[index];
        if (!IsOption(word)) continue;
        switch (word[1]) {
            case 'i': commandLine.action = Action::Install; break;
            case 'u': commandLine.action = Action::Remove; break;
            case 's': commandLine.action = Action::Start; break;
            case 'e': commandLine.action = Action::Stop; break;
            case 'l':
                if (++index < arguments.size()) commandLine.account = arguments[index];
                break;
            case 'p':
                if (++index < arguments.size()) commandLine.password = arguments[index];
                break;
            case 'd': commandLine.action = Action::RunInConsole; return commandLine;
            default: break;
        }
    }
    return commandLine;
}

CNTService::CNTService(const char* serviceName, const char* displayName, ServiceHost& host)
    : m_serviceName(serviceName), m_displayName(displayName ? displayName : serviceName), m_host(host) {}

bool CNTService::ProcessCommandLine(const std::vector<std::string>& arguments) {
    using Action = ServiceCommandLine::Action;
    const ServiceCommandLine commandLine = ParseServiceCommandLine(arguments);
    if (commandLine.action == Action::RunInConsole || PosixPlatform::IsDebuggerAttached()) return RunInConsole();
    switch (commandLine.action) {
        case Action::Install: return Install(commandLine);
        case Action::Remove: return Remove();
        case Action::Start: return StartService();
        case Action::Stop: return StopService();
        default: return StartDispatcher();
    }
}

bool CNTService::StartDispatcher() {
    if (StartedBySystemd()) return RunInForeground(false);
    const std::string error = m_displayName +
                              " was not started by systemd: run it with -d in the console, or install it "
                              "with -i and start it with -s";
    LogEvent(error, 1);
    std::cerr << error << "\n";
    return false;
}

bool CNTService::RunInConsole() {
    m_host.out << "Debugging " << m_displayName << ".\n" << std::flush;
    return RunInForeground(true);
}

bool CNTService::RunInForeground(bool console) {
    StopSignalThread signals([this, console] {
        if (console) m_host.out << "Stopping " << m_displayName << ".\n" << std::flush;
        Stop();
    });
    return Run();
}

std::string CNTService::UnitName() const {
    std::string name = m_serviceName;
    for (char& c : name) c = static_cast<char>(Ascii::LowerCaseTable()[static_cast<unsigned char>(c)]);
    return name + ".service";
}

std::string CNTService::UnitText(const std::string& programPath, const std::string& account) const {
    std::string text = "[Unit]\nDescription=" + m_displayName +
                       "\nAfter=network-online.target\nWants=network-online.target\n\n"
                       "[Service]\nType=simple\nExecStart=" + programPath +
                       "\nWorkingDirectory=" + m_host.workingFolder + "\n";
    if (!account.empty()) text += "User=" + account + "\n";
    text += "Restart=on-failure\nTimeoutStopSec=30\n\n[Install]\nWantedBy=multi-user.target\n";
    return text;
}

bool CNTService::Install(const ServiceCommandLine& commandLine) {
    const std::string programPath = PosixPlatform::RunningProgramPath();
    if (programPath.empty()) {
        m_host.out << "Unable to install " << m_displayName << " - the program's path cannot be read\n";
        return false;
    }
    if (!commandLine.password.empty())
        m_host.out << "The password given with -p is not used: the service runs as the account alone.\n";
    try {
        CreateDirectoryTree(FileLocation(m_host.unitFolder.c_str()));
        CreateDirectoryTree(FileLocation(m_host.workingFolder.c_str()));
        WriteWholeFile(ConstData(UnitText(programPath, commandLine.account)), FileLocation(UnitPath().c_str()));
    } catch (const std::exception& error) {
        m_host.out << "CreateService failed - " << error.what() << "\n";
        return false;
    }
    std::string error;
    if (!Systemctl({"daemon-reload"}, error) || !Systemctl({"enable", UnitName()}, error)) {
        m_host.out << "CreateService failed - " << error << "\n";
        return false;
    }
    m_host.out << m_displayName << " installed.\n";
    LogEvent("Service installed", 4);
    return true;
}

bool CNTService::Remove() {
    StopAndWait();
    std::string error;
    Systemctl({"disable", UnitName()}, error);
    try {
        RemoveFile(FileLocation(UnitPath().c_str()));
    } catch (const std::exception& failure) {
        m_host.out << "DeleteService failed - " << failure.what() << "\n";
        return false;
    }
    Systemctl({"daemon-reload"}, error);
    m_host.out << m_displayName << " removed.\n";
    LogEvent("Service removed", 4);
    return true;
}

bool CNTService::StopService() { return StopAndWait(); }

bool CNTService::StartService() {
    m_host.out << "Starting up " << m_displayName << "." << std::flush;
    std::string error;
    if (!Systemctl({"start", "--no-block", UnitName()}, error)) {
        m_host.out << "\n" << m_displayName << " failed to start: " << error << "\n";
        return false;
    }
    const bool running = AwaitStateChange({"inactive", "activating"}) == "active";
    m_host.out << "\n" << m_displayName << (running ? " started.\n" : " failed to start.\n");
    return running;
}

bool CNTService::StopAndWait() {
    std::string error;
    if (!Systemctl({"stop", "--no-block", UnitName()}, error)) {
        m_host.out << "ControlService failed - " << error << "\n";
        return false;
    }
    m_host.out << "Stopping " << m_displayName << "." << std::flush;
    const std::string state = AwaitStateChange({"active", "deactivating"});
    const bool stopped = state == "inactive" || state == "failed";
    m_host.out << "\n" << m_displayName << (stopped ? " stopped.\n" : " failed to stop.\n");
    return stopped;
}

std::string CNTService::QueryState() {
    try {
        return TrimmedLine(m_host.manager.Systemctl({"is-active", UnitName()}).output);
    } catch (const std::exception&) {
        return "unknown";
    }
}

// systemd takes a --no-block job a moment later, so the state before the change counts as passing
// too; a service still passing after kMostStatePolls looks is taken as it stands.
std::string CNTService::AwaitStateChange(std::initializer_list<const char*> passing) {
    std::string state = QueryState();
    for (unsigned polls = 0; polls < kMostStatePolls && std::find(passing.begin(), passing.end(), state) != passing.end();
         ++polls) {
        std::this_thread::sleep_for(std::chrono::milliseconds(m_host.pollMilliseconds));
        m_host.out << "." << std::flush;
        state = QueryState();
    }
    return state;
}

bool CNTService::Systemctl(const std::vector<std::string>& arguments, std::string& error) {
    try {
        const PosixPlatform::ChildProcessResult result = m_host.manager.Systemctl(arguments);
        if (result.exitStatus == 0) return true;
        error = "systemctl " + arguments.front() + " exited with status " + std::to_string(result.exitStatus);
    } catch (const std::exception& failure) {
        error = failure.what();
    }
    return false;
}

void CNTService::LogEvent(const std::string& text, int type) {
    const int priority = type == 1 ? LOG_ERR : type == 2 ? LOG_WARNING : LOG_INFO;
    ::openlog(kSyslogIdent, LOG_PID, LOG_DAEMON);
    ::syslog(priority, "%s", text.c_str());
    ::closelog();
}

// An exception from the run routine fails the run: the crash-report guard has had its chance, and
// the service manager learns of the failure from the exit status.
bool MyNTService::Run() {
    try {
        return RunWithMiniDumpGuard(m_run);
    } catch (const std::exception& error) {
        LogEvent(std::string("The relay's run ended with an exception: ") + error.what(), 1);
        return false;
    }
}

void MyNTService::Stop() {
    try {
        RunWithMiniDumpGuard(m_stop);
    } catch (const std::exception& error) {
        LogEvent(std::string("The relay's stop request failed: ") + error.what(), 1);
    }
}
