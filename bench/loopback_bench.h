// Helpers of the benchmark programs that drive a server process of this build over loopback: ports,
// raw clients, the server started beside the benchmark with a registry of its own, and what /proc
// tells of it. Failures end the benchmark with exit status 2.
#pragma once

#include <arpa/inet.h>
#include <errno.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

[[noreturn]] inline void Fail(const std::string& what) {
    std::fprintf(stderr, "%s: %s\n", program_invocation_short_name, what.c_str());
    std::exit(2);
}

inline sockaddr_in LoopbackAddress(std::uint16_t port) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

// Both ends of every connection live on this machine: the server's descriptors and ours.
inline void RaiseDescriptorLimit(int connections) {
    rlimit limit{};
    ::getrlimit(RLIMIT_NOFILE, &limit);
    limit.rlim_cur = std::min<rlim_t>(limit.rlim_max, std::max<rlim_t>(limit.rlim_cur, 2 * connections + 256));
    ::setrlimit(RLIMIT_NOFILE, &limit);
}

// A new folder "/tmp/<program>-XXXXXX" holding an empty "registry" folder; answers its path.
inline std::string MakeBenchFolder() {
    std::string path = std::string("/tmp/") + program_invocation_short_name + "-XXXXXX";
    if (::mkdtemp(path.data()) == nullptr) Fail("no temporary folder");
    ::mkdir((path + "/registry").c_str(), 0700);
    return path;
}

// A port nothing listens on now (the system's pick for a socket bound and closed again).
inline std::uint16_t FreePort() {
    int probe = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(0);
    socklen_t length = sizeof address;
    if (::bind(probe, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &length) != 0)
        Fail("no free port");
    ::close(probe);
    return ntohs(address.sin_port);
}

// A connected blocking client, or -1.
inline int Connect(std::uint16_t port) {
    int client = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = LoopbackAddress(port);
    if (::connect(client, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
        ::close(client);
        return -1;
    }
    return client;
}

inline bool SendAll(int socket, const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        ssize_t count = ::send(socket, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL);
        if (count <= 0) return false;
        sent += static_cast<std::size_t>(count);
    }
    return true;
}

// One request on a new connection and everything the server sends until it closes ("" when the
// connection failed).
inline std::string Exchange(std::uint16_t port, const std::string& request) {
    int client = Connect(port);
    if (client < 0) return "";
    std::string reply;
    char buffer[4096];
    if (SendAll(client, request)) {
        for (ssize_t got; (got = ::recv(client, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(client);
    return reply;
}

// A number of /proc/PID/status ("VmRSS" in KiB, "Threads").
inline double ProcessStatusNumber(pid_t process, const std::string& name) {
    std::ifstream status("/proc/" + std::to_string(process) + "/status");
    for (std::string line; std::getline(status, line);) {
        if (line.rfind(name + ":", 0) != 0) continue;
        std::istringstream fields(line.substr(name.size() + 1));
        double value = 0;
        fields >> value;
        return value;
    }
    Fail("no " + name + " for the server");
}

inline double ResidentMiB(pid_t process) {
    return ProcessStatusNumber(process, "VmRSS") / 1024;
}

// The folder of this program, where the build puts the programs it starts.
inline std::string ProgramFolder() {
    char path[4096];
    ssize_t length = ::readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) Fail("cannot find this program");
    std::string text(path, static_cast<std::size_t>(length));
    return text.substr(0, text.rfind('/'));
}

// A program of this build run as a server, with VELTRA_REGISTRY_DIR set to `registry` and, when
// `workingFolder` is not empty, in that folder with its output going to "console.txt" there;
// stopped with SIGTERM when the object goes.
class ServerProcess {
  public:
    ServerProcess(const std::string& program, const std::vector<std::string>& arguments, const std::string& registry,
                  const std::string& workingFolder = "") {
        const std::string registrySetting = "VELTRA_REGISTRY_DIR=" + registry;
        std::vector<char*> environment;
        for (char** entry = environ; *entry != nullptr; ++entry)
            if (std::string(*entry).rfind("VELTRA_REGISTRY_DIR=", 0) != 0) environment.push_back(*entry);
        environment.push_back(const_cast<char*>(registrySetting.c_str()));
        environment.push_back(nullptr);
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        const std::string console = workingFolder + "/console.txt";
        if (!workingFolder.empty()) {
            posix_spawn_file_actions_addchdir_np(&actions, workingFolder.c_str());
            posix_spawn_file_actions_addopen(&actions, 1, console.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0600);
            posix_spawn_file_actions_adddup2(&actions, 1, 2);
        }
        const int failed = ::posix_spawn(&m_process, program.c_str(), &actions, nullptr, argv.data(), environment.data());
        posix_spawn_file_actions_destroy(&actions);
        if (failed != 0) Fail("cannot start " + program);
    }
    ~ServerProcess() {
        ::kill(m_process, SIGTERM);
        int status = 0;
        ::waitpid(m_process, &status, 0);
    }
    ServerProcess(const ServerProcess&) = delete;
    ServerProcess& operator=(const ServerProcess&) = delete;

    pid_t Id() const { return m_process; }

  private:
    pid_t m_process = 0;
};
