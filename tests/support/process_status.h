// What /proc tells of a process, for tests that start programs and check what became of them.
#pragma once

#include <sys/types.h>

#include <set>
#include <string>

// Whether a process of that id exists, a zombie included.
bool ProcessExists(pid_t pid);
// Whether it exists and has ended, waiting to be reaped.
bool IsZombie(pid_t pid);
// The value of one "Name:\t..." line of /proc/<pid>/status ("" when there is none).
std::string ProcessStatusLine(pid_t pid, const std::string& name);
// Whether the process runs the program of that name and sleeps: it has been loaded (its loader, which
// opens the libraries for a moment, is done).
bool IsAsleepRunning(pid_t pid, const std::string& programName);
// The numbers of the process's open descriptors.
std::set<std::string> OpenDescriptors(pid_t pid);
