// Runs a program as a separate process, as a user at a shell would, and collects what it wrote.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>
#include <vector>

struct ProgramRun {
    int exitStatus = -1;  // 128 + the signal when it was killed
    std::string out;
    std::string err;
};

// `program` is a path, or a name looked up in PATH. Standard error is read after standard output, so
// the program must write little to it.
ProgramRun RunProgram(const std::string& program, const std::vector<std::string>& arguments);

// Starts a program in `workingFolder` with standard output and standard error appended to
// `outputFile` (and no standard input), and returns at once with its process id.
pid_t StartProgram(const std::string& program, const std::vector<std::string>& arguments,
                   const std::string& workingFolder, const std::string& outputFile);

// Waits for the child process to end, killing it (SIGKILL) when it is still there after `limit`, and
// reaps it. Returns its exit status, 128 + the signal when it was killed.
int AwaitChildExit(pid_t pid, std::chrono::milliseconds limit);
