#include "e2e/relay_process.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <random>
#include <stdexcept>
#include <thread>

#include "support/kvrreg_runner.h"
#include "support/program_runner.h"

namespace {

const std::string kClientSettingsKey =
    "HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\";
const std::string kServerGlobalOptionsKey = "HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server\\GlobalOptions";

// A socket closed when it goes.
class Socket {
  public:
    explicit Socket(int family) : m_descriptor(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket() {
        if (m_descriptor >= 0) ::close(m_descriptor);
    }
    Socket(const Socket&) = delete;
    Socket& operator=(const Socket&) = delete;
    int Get() const { return m_descriptor; }

  private:
    int m_descriptor;
};

std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text) {
        if (c == '\\' || c == '"') escaped += '\\';
        escaped += c;
    }
    return escaped;
}

}  // namespace

// The first port the system hands out for bind(0) and for outgoing connections; a port below it is
// taken only by whoever names it, so no other test's sockets can take it between our check and the
// relay's bind.
std::uint16_t LowestEphemeralPort() {
    std::ifstream range("/proc/sys/net/ipv4/ip_local_port_range");
    unsigned low = 0;
    if (!(range >> low) || low < 10000 || low > 65535) low = 32768;
    return static_cast<std::uint16_t>(low);
}

std::uint16_t FreeTCPPort() {
    const std::uint16_t high = LowestEphemeralPort();
    const std::uint16_t low = high > 20000 ? 20000 : 1024;
    std::mt19937 random(std::random_device{}());
    std::uniform_int_distribution<unsigned> pick(low, high - 1u);
    for (int attempt = 0; attempt < 200; ++attempt) {
        Socket socket(AF_INET6);
        int off = 0;
        ::setsockopt(socket.Get(), IPPROTO_IPV6, IPV6_V6ONLY, &off, sizeof off);
        sockaddr_in6 address{};
        address.sin6_family = AF_INET6;
        address.sin6_port = htons(static_cast<std::uint16_t>(pick(random)));
        if (::bind(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) == 0)
            return ntohs(address.sin6_port);
    }
    throw std::runtime_error("no free port");
}

RelayProcess::RelayProcess() : m_port(FreeTCPPort()) {
    Import("[" + kServerGlobalOptionsKey + "]\n\"StoragePath\"=\"" + Escaped(m_folder / "storage") + "\"\n");
    SetClientSetting("_KVRClient_Cryptography_FipsMode", "none");
    SetClientSetting("_KVRRelay_HTTPServer_PortNumber", std::to_string(m_port));
}

RelayProcess::~RelayProcess() {
    if (m_pid > 0) AwaitChildExit(m_pid, std::chrono::milliseconds(0));
}

void RelayProcess::Import(const std::string& keysAndValues) {
    m_registry.MakeCurrent();
    ImportWithKvrreg(keysAndValues);
}

void RelayProcess::SetClientSetting(const std::string& name, const std::string& value) {
    Import("[" + kClientSettingsKey + name + "]\n\"value\"=\"" + Escaped(value) + "\"\n");
}

void RelayProcess::RemoveStoragePath() { Import("[" + kServerGlobalOptionsKey + "]\n\"StoragePath\"=-\n"); }

std::string RelayProcess::Read(const std::string& key, const std::string& value) {
    m_registry.MakeCurrent();
    std::string text = RunKvrreg({"get", key, value}).out;
    while (!text.empty() && text.back() == '\n') text.pop_back();
    return text;
}

void RelayProcess::Start() {
    m_registry.MakeCurrent();
    m_pid = StartProgram(KVR_BINARY_DIR "/src/kvrrelay", {"-d"}, Folder(), m_folder / "console.txt");
}

bool RelayProcess::IsRunning() const {
    siginfo_t information{};
    return m_pid > 0 && ::waitid(P_PID, m_pid, &information, WEXITED | WNOHANG | WNOWAIT) == 0 &&
           information.si_pid == 0;
}

bool RelayProcess::AwaitProbe(std::chrono::milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string reply = Get("/vtmirror/downloads/0");
        if (reply.starts_with("HTTP/1.0 200") && reply.ends_with("\r\n\r\nA")) return true;
        if (!IsRunning()) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return false;
}

std::string RelayProcess::Get(const std::string& path) const {
    Socket socket(AF_INET);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(m_port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(socket.Get(), reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) return "";
    const std::string request = "GET " + path + " HTTP/1.0\r\nHost: 127.0.0.1\r\n\r\n";
    if (::send(socket.Get(), request.data(), request.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(request.size()))
        return "";
    std::string reply;
    char buffer[4096];
    for (ssize_t got; (got = ::recv(socket.Get(), buffer, sizeof buffer, 0)) > 0;) reply.append(buffer, got);
    return reply;
}

int RelayProcess::Stop(std::chrono::milliseconds limit) {
    ::kill(m_pid, SIGTERM);
    return AwaitExit(limit);
}

int RelayProcess::AwaitExit(std::chrono::milliseconds limit) {
    const int status = AwaitChildExit(m_pid, limit);
    m_pid = -1;
    return status;
}

std::string RelayProcess::Log() const { return ReadWholeFile(m_folder / "logfile.txt"); }
std::string RelayProcess::Console() const { return ReadWholeFile(m_folder / "console.txt"); }

bool RelayProcess::AwaitLogLine(const std::string& text, std::chrono::milliseconds limit) const {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (Log().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
}
