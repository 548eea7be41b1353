// Other programs run by the relay, through posix_spawn with an argument vector (never a shell):
//
// - RunChildProcess runs a program to its end, as a shell would: the program is looked up in PATH,
//   gets no standard input (/dev/null), writes its standard output to a pipe that is collected, and
//   inherits standard error. The caller waits until it exits. Used for the few system tools the relay
//   drives (systemctl). Any thread may call it.
// - StartedChildProcess starts a program by its absolute path and leaves it running: the relay tests
//   now and then whether it still runs, and may kill it. Used for the external download plug-ins.
#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace PosixPlatform {

struct ChildProcessResult {
    int exitStatus = -1;  // the exit status; 128 + the signal when the program was killed
    std::string output;   // what it wrote to standard output
};

// Throws Posix::Error when the program cannot be started (127 is returned by a program not found in
// PATH, as the shell does).
ChildProcessResult RunChildProcess(const std::string& program, const std::vector<std::string>& arguments);

// One started program, until it has ended and been reaped. The child gets the argument vector
// [program, arguments...] as it stands (no quoting, no splitting), the relay's environment and working
// folder, /dev/null as standard input and output, the relay's standard error, and no other descriptor
// (everything above 2 is closed in the child, whatever its close-on-exec flag). It runs in a session
// of its own, as a detached process does, with every signal at its default action and none blocked:
// it inherits neither the relay's ignored SIGPIPE nor the stop signals that the relay's signal thread
// keeps blocked.
//
// Reaping: IsRunning and Kill collect the ended child (waitpid), so no zombie is left behind by an
// owner that asks. A child is signalled only while it is not yet reaped, so its process id can never
// name another process by then. Destruction reaps a child that has ended and leaves a running one
// running; its owner keeps asking until it ends, or kills it.
//
// Moved, never copied; used by one thread at a time.
class StartedChildProcess {
  public:
    // Starts `program`, which is run as named: no PATH search, so give an absolute path. Throws
    // Posix::Error when it cannot be started (a missing program, one that may not be executed).
    static StartedChildProcess Start(const std::string& program, const std::vector<std::string>& arguments);

    StartedChildProcess(StartedChildProcess&& other) noexcept;
    StartedChildProcess& operator=(StartedChildProcess&& other) noexcept;
    StartedChildProcess(const StartedChildProcess&) = delete;
    StartedChildProcess& operator=(const StartedChildProcess&) = delete;
    ~StartedChildProcess();

    pid_t GetProcessID() const { return m_pid; }
    // True while the child runs; once it has ended it is reaped and this stays false. Never waits.
    bool IsRunning();
    // Kills the child (SIGKILL) unless it has been reaped, then waits until it is reaped.
    void Kill();
    bool HasBeenReaped() const { return m_reaped; }

  private:
    explicit StartedChildProcess(pid_t pid) : m_pid(pid), m_reaped(false) {}
    void ReapWithoutWaiting();

    pid_t m_pid = 0;
    bool m_reaped = true;  // also for a holder that was moved from
};

}  // namespace PosixPlatform
