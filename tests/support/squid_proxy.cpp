#include "support/squid_proxy.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <memory>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "support/program_runner.h"

namespace {

constexpr const char* kSquidProgram = "/usr/sbin/squid";
constexpr const char* kHelperFolder = "/usr/lib/squid";
// Built with the tests (tests/helpers/gssapi_ntlm_auth.cpp).
constexpr const char* kNTLMHelper = KVR_BINARY_DIR "/tests/gssapi_ntlm_auth";
constexpr auto kStartTimeLimit = std::chrono::seconds(60);
constexpr auto kStopTimeLimit = std::chrono::seconds(10);
constexpr int kStartAttempts = 3;

void WriteText(const std::string& path, const std::string& text) {
    std::ofstream file(path, std::ios::binary | std::ios::trunc);
    file << text;
    if (!file) throw std::runtime_error("SquidProxy: cannot write " + path);
}

std::string ReadText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

bool Accepts(std::uint16_t port) {
    int socket = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bool connected = ::connect(socket, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    ::close(socket);
    return connected;
}

// The basic_ncsa_auth file: the password as an MD5 crypt made by htpasswd.
void WriteBasicPasswordFile(const std::string& path) {
    pid_t child = ::fork();
    if (child == 0) {
        ::execl("/usr/bin/htpasswd", "htpasswd", "-b", "-c", "-m", path.c_str(), SquidProxy::kUser,
                SquidProxy::kPassword, static_cast<char*>(nullptr));
        ::_exit(127);
    }
    int status = 0;
    if (child < 0 || ::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw std::runtime_error("SquidProxy: htpasswd failed (is apache2-utils installed?)");
}

}  // namespace

SquidProxy::SquidProxy(Scheme scheme) {
    // Under /tmp rather than the build tree, whose parent folders the "proxy" user may not enter.
    std::string pattern = (std::filesystem::temp_directory_path() / "kvr-squid-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("SquidProxy: cannot make a folder");
    m_folder = pattern;
    // The port is reserved and free when chosen, but a program that reserves nothing may take it
    // before Squid binds it: then try another.
    for (int attempt = 1;; ++attempt) {
        try {
            WriteFiles(scheme);
            Start();
            return;
        } catch (...) {
            Stop();
            if (attempt == kStartAttempts) {
                RemoveFolder();
                throw;
            }
            m_port = PortReservation();
        }
    }
}

SquidProxy::~SquidProxy() {
    Stop();
    RemoveFolder();
}

void SquidProxy::RemoveFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::string SquidProxy::CacheLog() const {
    return ReadText(m_folder + "/cache.log");
}

std::string SquidProxy::AccessLog() const {
    return ReadText(m_folder + "/access.log");
}

void SquidProxy::WriteFiles(Scheme scheme) {
    std::string passwords = m_folder + "/passwords";
    std::string authentication;
    if (scheme == Scheme::Basic) {
        WriteBasicPasswordFile(passwords);
        authentication = "auth_param basic program " + std::string(kHelperFolder) + "/basic_ncsa_auth " +
                         passwords + "\nauth_param basic realm " + kRealm + "\n";
    } else if (scheme == Scheme::Digest) {
        // digest_file_auth reads "user:password" lines.
        WriteText(passwords, std::string(kUser) + ":" + kPassword + "\n");
        authentication = "auth_param digest program " + std::string(kHelperFolder) + "/digest_file_auth " +
                         passwords + "\nauth_param digest realm " + kRealm + "\n";
    } else {
        // The helper checks the handshake against gss-ntlmssp's "DOMAIN:user:password" lines. It is
        // copied here, where the "proxy" user can run it. NTLM authenticates the connection: its legs
        // need a kept connection.
        WriteText(passwords, std::string(kDomain) + ":" + kUser + ":" + kPassword + "\n");
        std::string helper = m_folder + "/gssapi_ntlm_auth";
        std::filesystem::copy_file(kNTLMHelper, helper, std::filesystem::copy_options::overwrite_existing);
        ::chmod(helper.c_str(), 0755);
        authentication = "auth_param ntlm program " + helper + " " + passwords +
                         "\nauth_param ntlm children 2\nauth_param ntlm keep_alive on\n";
    }
    std::string user;
    if (::geteuid() == 0) {
        // Squid refuses to run as root: it becomes "proxy", which must read and write its files.
        passwd* proxy = ::getpwnam("proxy");
        if (!proxy) throw std::runtime_error("SquidProxy: no \"proxy\" user");
        user = "cache_effective_user proxy\n";
        if (::chown(m_folder.c_str(), proxy->pw_uid, proxy->pw_gid) != 0)
            throw std::runtime_error("SquidProxy: cannot hand the folder to the proxy user");
    }
    ::chmod(m_folder.c_str(), 0755);
    ::chmod(passwords.c_str(), 0644);
    WriteText(m_folder + "/squid.conf", "http_port 127.0.0.1:" + std::to_string(Port()) + "\n" + user +
                                            authentication +
                                            "acl authenticated proxy_auth REQUIRED\n"
                                            "http_access deny !authenticated\n"
                                            "http_access allow all\n"
                                            "cache deny all\n"
                                            "cache_mem 8 MB\n"
                                            // Squid 5 reads with a zero-length buffer once its request
                                            // buffer is full (an origin slower than the client) and takes
                                            // the 0 for the client's close: room for a whole test body.
                                            "client_request_buffer_max_size 16 MB\n"
                                            "pid_filename " +
                                            m_folder +
                                            "/squid.pid\n"
                                            "cache_log " +
                                            m_folder +
                                            "/cache.log\n"
                                            "access_log " +
                                            m_folder +
                                            "/access.log\n"
                                            "coredump_dir " +
                                            m_folder +
                                            "\n"
                                            "netdb_filename none\n"
                                            "pinger_enable off\n"
                                            "shutdown_lifetime 0 seconds\n"
                                            "logfile_rotate 0\n"
                                            "max_filedescriptors 1024\n");
}

void SquidProxy::Start() {
    std::string configuration = m_folder + "/squid.conf";
    m_pid = ::fork();
    if (m_pid < 0) throw std::runtime_error("SquidProxy: cannot fork");
    if (m_pid == 0) {
        ::execl(kSquidProgram, "squid", "-N", "-f", configuration.c_str(), static_cast<char*>(nullptr));
        ::_exit(127);
    }
    auto deadline = std::chrono::steady_clock::now() + kStartTimeLimit;
    while (!Accepts(Port())) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("SquidProxy: squid ended at start (is squid installed?):\n" +
                                     CacheLog());
        }
        if (std::chrono::steady_clock::now() > deadline)
            throw std::runtime_error("SquidProxy: squid does not listen:\n" + CacheLog());
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

void SquidProxy::Stop() {
    if (m_pid > 0) {
        ::kill(m_pid, SIGTERM);
        AwaitChildExit(m_pid, kStopTimeLimit);
        m_pid = -1;
    }
}

SquidProxy& SharedSquidProxy(SquidProxy::Scheme scheme) {
    // Started on first use and stopped when the program ends.
    static std::unique_ptr<SquidProxy> proxies[3];
    std::unique_ptr<SquidProxy>& proxy = proxies[static_cast<int>(scheme)];
    if (!proxy) proxy = std::make_unique<SquidProxy>(scheme);
    return *proxy;
}
