#include "platform/child_process.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_descriptor.h"
#include "platform/system_error.h"

extern char** environ;

namespace PosixPlatform {

namespace {

// posix_spawn's actions, destroyed with their holder.
class SpawnActions {
  public:
    SpawnActions() { Check(::posix_spawn_file_actions_init(&m_actions)); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions&) = delete;
    SpawnActions& operator=(const SpawnActions&) = delete;

    posix_spawn_file_actions_t* Get() { return &m_actions; }
    static void Check(int result) {
        if (result != 0) throw Posix::Error(result);
    }

  private:
    posix_spawn_file_actions_t m_actions;
};

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
    SpawnActions::Check(::posix_spawn_file_actions_addopen(actions.Get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0));
    SpawnActions::Check(::posix_spawn_file_actions_adddup2(actions.Get(), writeEnd.Get(), STDOUT_FILENO));

    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    pid_t child = 0;
    SpawnActions::Check(::posix_spawnp(&child, program.c_str(), actions.Get(), nullptr, argv.data(), environ));
    writeEnd = FileDescriptor();
    ChildProcessResult result;
    result.output = ReadToEnd(readEnd.Get());
    result.exitStatus = AwaitExitStatus(child);
    return result;
}

}  // namespace PosixPlatform
