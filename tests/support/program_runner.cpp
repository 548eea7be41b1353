#include "support/program_runner.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace {

std::string ReadToEnd(int fd) {
    std::string text;
    char buffer[4096];
    for (ssize_t got; (got = ::read(fd, buffer, sizeof buffer)) != 0;) {
        if (got < 0) {
            if (errno == EINTR) continue;
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    return text;
}

// The program and its arguments as the NUL-ended array of texts that exec takes.
class ArgumentVector {
  public:
    ArgumentVector(const std::string& program, const std::vector<std::string>& arguments) : m_copies{program} {
        m_copies.insert(m_copies.end(), arguments.begin(), arguments.end());
        for (std::string& argument : m_copies) m_pointers.push_back(argument.data());
        m_pointers.push_back(nullptr);
    }
    char* const* Get() { return m_pointers.data(); }

  private:
    std::vector<std::string> m_copies;
    std::vector<char*> m_pointers;
};

}  // namespace

ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments) {
    ArgumentVector argv(program, arguments);

    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_adddup2(&actions, err[1], 2);
    pid_t pid;
    int spawned = posix_spawnp(&pid, program.c_str(), &actions, nullptr, argv.Get(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (spawned != 0) {
        ::close(out[0]);
        ::close(err[0]);
        throw std::runtime_error("cannot start " + program);
    }
    ProgramRun run;
    run.out = ReadToEnd(out[0]);
    run.err = ReadToEnd(err[0]);
    int status = 0;
    ::waitpid(pid, &status, 0);
    run.exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingFolder, const std::string& outputFile) {
    ArgumentVector argv(program, arguments);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, outputFile.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
    pid_t pid;
    int spawned = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.Get(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (spawned != 0) throw std::runtime_error("cannot start " + program);
    return pid;
}

int AwaitChildExit(pid_t pid, std::chrono::milliseconds limit) {
    auto deadline = std::chrono::steady_clock::now() + limit;
    int status = 0;
    while (::waitpid(pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid, SIGKILL);
            ::waitpid(pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}
