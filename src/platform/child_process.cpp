#include "platform/child_process.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <utility>

#include "platform/file_descriptor.h"
#include "platform/system_error.h"

extern char** environ;

namespace PosixPlatform {

namespace {

void CheckSpawnCall(int result) {
    if (result != 0) throw Posix::Error(result);
}

// posix_spawn's file actions, destroyed with their holder.
class SpawnActions {
  public:
    SpawnActions() { CheckSpawnCall(::posix_spawn_file_actions_init(&m_actions)); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    posix_spawn_file_actions_t* Get() { return &m_actions; }

  private:
    posix_spawn_file_actions_t m_actions;
};

// posix_spawn's attributes, destroyed with their holder.
class SpawnAttributes {
  public:
    SpawnAttributes() { CheckSpawnCall(::posix_spawnattr_init(&m_attributes)); }
    ~SpawnAttributes() { ::posix_spawnattr_destroy(&m_attributes); }
    SpawnAttributes(const SpawnAttributes&) = delete;
    SpawnAttributes& operator=(const SpawnAttributes&) = delete;

    posix_spawnattr_t* Get() { return &m_attributes; }

  private:
    posix_spawnattr_t m_attributes;
};

// The argument vector: the program's own name first, then the arguments, then the closing null.
std::vector<char*> ArgumentVector(const std::string& program, const std::vector<std::string>& arguments) {
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return argv;
}

std::string ReadToEnd(int descriptor) {
    std::string text;
    char buffer[4096];
    for (;;) {
        const ssize_t count = ::read(descriptor, buffer, sizeof buffer);
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0 || errno != EINTR) {
            return text;
        }
    }
}

int AwaitExitStatus(pid_t child) {
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR) throw Posix::Error(errno);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return WEXITSTATUS(status);
}

}  // namespace

ChildProcessResult RunChildProcess(const std::string& program, const std::vector<std::string>& arguments) {
    int pipeEnds[2];
    Posix::CheckResult(::pipe2(pipeEnds, O_CLOEXEC) == 0);
    FileDescriptor readEnd(pipeEnds[0]);
    FileDescriptor writeEnd(pipeEnds[1]);

    SpawnActions actions;
    CheckSpawnCall(::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0));
    CheckSpawnCall(::posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO));

    std::vector<char*> argv = ArgumentVector(program, arguments);
    pid_t child = 0;
    CheckSpawnCall(::posix_spawnp(&child, program.c_str(), actions.Get(), nullptr, argv.data(), environ));
    writeEnd = FileDescriptor();
    ChildProcessResult result;
    result.output = ReadToEnd(readEnd.Get());
    result.exitStatus = AwaitExitStatus(child);
    return result;
}

// glibc's posix_spawn reports a failed exec (a missing or non-executable program) as its own result,
// so a program that cannot run never shows up as a started child.
StartedChildProcess StartedChildProcess::Start(const std::string& program,
                                               const std::vector<std::string>& arguments) {
    SpawnActions actions;
    CheckSpawnCall(::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0));
    CheckSpawnCall(
        ::posix_spawn_file_actions_addopen(actions.Get(), STDOUT_FILENO, "/dev/null", O_WRONLY, 0));
    // Descriptors opened by other threads between their open and their close-on-exec flag, and any
    // without the flag, never reach the plug-in.
    CheckSpawnCall(::posix_spawn_file_actions_addclosefrom_np(actions.Get(), STDERR_FILENO + 1));

    SpawnAttributes attributes;
    sigset_t noSignals;
    sigset_t allSignals;
    ::sigemptyset(&noSignals);
    ::sigfillset(&allSignals);
    CheckSpawnCall(::posix_spawnattr_setsigmask(attributes.Get(), &noSignals));
    CheckSpawnCall(::posix_spawnattr_setsigdefault(attributes.Get(), &allSignals));
    CheckSpawnCall(::posix_spawnattr_setflags(
        attributes.Get(), POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSID));

    std::vector<char*> argv = ArgumentVector(program, arguments);
    pid_t child = 0;
    CheckSpawnCall(
        ::posix_spawn(&child, program.c_str(), actions.Get(), attributes.Get(), argv.data(), environ));
    return StartedChildProcess(child);
}

StartedChildProcess::StartedChildProcess(StartedChildProcess&& other) noexcept
    : m_pid(other.m_pid), m_reaped(std::exchange(other.m_reaped, true)) {}

StartedChildProcess& StartedChildProcess::operator=(StartedChildProcess&& other) noexcept {
    if (this != &other) {
        ReapWithoutWaiting();
        m_pid = other.m_pid;
        m_reaped = std::exchange(other.m_reaped, true);
    }
    return *this;
}

StartedChildProcess::~StartedChildProcess() {
    ReapWithoutWaiting();
}

bool StartedChildProcess::IsRunning() {
    ReapWithoutWaiting();
    return !m_reaped;
}

void StartedChildProcess::Kill() {
    if (m_reaped) return;
    ::kill(m_pid, SIGKILL);
    int status = 0;
    while (::waitpid(m_pid, &status, 0) < 0 && errno == EINTR) {
    }
    m_reaped = true;
}

// ECHILD (someone else reaped it) counts as reaped too: there is nothing left to signal.
void StartedChildProcess::ReapWithoutWaiting() {
    if (m_reaped) return;
    int status = 0;
    pid_t result;
    while ((result = ::waitpid(m_pid, &status, WNOHANG)) < 0 && errno == EINTR) {
    }
    if (result != 0) m_reaped = true;
}

}  // namespace PosixPlatform
