#include "support/python_origin.h"

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <vector>

#include "support/program_runner.h"

extern char** environ;

namespace {

constexpr const char* kPython = "/usr/bin/python3";
constexpr const char* kScript = KVR_SOURCE_DIR "/tests/support/python_origin.py";
constexpr int kStartTimeLimitMilliseconds = 20'000;
constexpr auto kStopTimeLimit = std::chrono::seconds(5);

// A self-signed P-256 certificate for "localhost" and 127.0.0.1, and its key.
void MakeCertificate(const std::string& certificate, const std::string& key) {
    ProgramRun run = RunProgram(
        "openssl", {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1", "-nodes",
                    "-days", "2", "-subj", "/CN=localhost", "-addext",
                    "subjectAltName=DNS:localhost,IP:127.0.0.1", "-keyout", key, "-out", certificate});
    if (run.exitStatus != 0) throw std::runtime_error("PythonOrigin: openssl req failed:\n" + run.err);
}

// The "PORT <n>" line the script writes once it listens; 0 when none comes in time.
std::uint16_t ReadPort(int output) {
    std::string line;
    auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kStartTimeLimitMilliseconds);
    while (line.find('\n') == std::string::npos) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        pollfd ready{output, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&ready, 1, static_cast<int>(left.count())) <= 0) return 0;
        char buffer[64];
        ssize_t got = ::read(output, buffer, sizeof buffer);
        if (got <= 0) return 0;
        line.append(buffer, static_cast<std::size_t>(got));
    }
    if (line.rfind("PORT ", 0) != 0) return 0;
    return static_cast<std::uint16_t>(std::stoul(line.substr(5)));
}

}  // namespace

PythonOrigin::PythonOrigin(Transport transport) : m_tls(transport == Transport::TLS) {
    std::vector<std::string> arguments{kScript, m_folder.Path()};
    if (m_tls) {
        std::string folder = m_folder / "tls";
        ::mkdir(folder.c_str(), 0700);
        m_certificate = folder + "/origin.pem";
        MakeCertificate(m_certificate, folder + "/origin.key");
        arguments.push_back(m_certificate);
        arguments.push_back(folder + "/origin.key");
    }
    Start(arguments);
}

PythonOrigin::~PythonOrigin() {
    Stop();
}

std::string PythonOrigin::URL(const std::string& path, const std::string& host) const {
    return (m_tls ? "https://" : "http://") + host + ":" + std::to_string(m_port) + path;
}

void PythonOrigin::Start(const std::vector<std::string>& arguments) {
    int input[2], output[2];
    if (::pipe2(input, O_CLOEXEC) != 0) throw std::runtime_error("PythonOrigin: pipe failed");
    if (::pipe2(output, O_CLOEXEC) != 0) {
        ::close(input[0]);
        ::close(input[1]);
        throw std::runtime_error("PythonOrigin: pipe failed");
    }
    std::vector<std::string> copies{kPython};
    copies.insert(copies.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (std::string& argument : copies) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, input[0], 0);
    posix_spawn_file_actions_adddup2(&actions, output[1], 1);
    int spawned = ::posix_spawn(&m_pid, kPython, &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(input[0]);
    ::close(output[1]);
    m_input = input[1];
    if (spawned != 0) {
        m_pid = -1;
        ::close(output[0]);
        Stop();
        throw std::runtime_error("PythonOrigin: cannot start " + std::string(kPython));
    }
    m_port = ReadPort(output[0]);
    ::close(output[0]);
    if (m_port == 0) {
        Stop();
        throw std::runtime_error("PythonOrigin: the origin script did not start");
    }
}

void PythonOrigin::Stop() {
    if (m_input >= 0) ::close(m_input);
    m_input = -1;
    if (m_pid <= 0) return;
    AwaitChildExit(m_pid, kStopTimeLimit);
    m_pid = -1;
}
