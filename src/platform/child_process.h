// Running another program to its end, as a shell would: the program is looked up in PATH, gets no
// standard input (/dev/null), writes its standard output to a pipe that is collected, and inherits
// standard error. The caller waits until it exits.
//
// Used for the few system tools the relay drives (systemctl). Any thread may call it.
#pragma once

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

}  // namespace PosixPlatform
