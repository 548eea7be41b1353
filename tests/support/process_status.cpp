#include "support/process_status.h"

#include <filesystem>
#include <fstream>
#include <system_error>

bool ProcessExists(pid_t pid) {
    return std::filesystem::exists("/proc/" + std::to_string(pid));
}

bool IsZombie(pid_t pid) {
    return ProcessStatusLine(pid, "State").rfind("Z", 0) == 0;
}

std::string ProcessStatusLine(pid_t pid, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind(name + ":\t", 0) == 0) return line.substr(name.size() + 2);
    return "";
}

bool IsAsleepRunning(pid_t pid, const std::string& programName) {
    return ProcessStatusLine(pid, "Name") == programName &&
           ProcessStatusLine(pid, "State").rfind("S", 0) == 0;
}

std::set<std::string> OpenDescriptors(pid_t pid) {
    std::set<std::string> descriptors;
    std::error_code ignored;
    for (const auto& entry :
         std::filesystem::directory_iterator("/proc/" + std::to_string(pid) + "/fd", ignored))
        descriptors.insert(entry.path().filename().string());
    return descriptors;
}
