// Runs a program as a separate process, as a user at a shell would, and collects what it wrote.
#pragma once

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
