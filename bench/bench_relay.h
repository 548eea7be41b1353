// BenchRelay: a relay of this build (`kvrrelay -d`, ../src/kvrrelay beside the benchmark program)
// started for a benchmark in a folder of its own (/tmp/<program>-XXXXXX, its working folder, with the
// registry and the storage inside) on a free loopback port, with the settings of a fresh machine and
// the named client settings the benchmark adds. The constructor returns once the relay answers its
// probe path; stopped with SIGTERM and its folder removed when the object goes. Failures end the
// benchmark with exit status 2 (loopback_bench.h). Programs that use it link OpenSSL's libcrypto.
#pragma once

#include <openssl/sha.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "loopback_bench.h"

// The SHA-1 of the bytes in lower-case hexadecimal: the name of a cached download.
inline std::string Sha1Text(const std::string& bytes) {
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA1(reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size(), digest);
    char text[2 * SHA_DIGEST_LENGTH + 1];
    for (int i = 0; i < SHA_DIGEST_LENGTH; ++i) std::snprintf(text + 2 * i, 3, "%02x", digest[i]);
    return text;
}

class BenchRelay {
  public:
    static constexpr const char* kProbe = "GET /vtmirror/downloads/0 HTTP/1.0\r\nHost: bench\r\n\r\n";

    // `clientSettings`: further named client settings, name and value.
    explicit BenchRelay(const std::vector<std::pair<std::string, std::string>>& clientSettings)
        : m_folder(MakeBenchFolder()), m_port(FreePort()) {
        auto setting = [](const std::string& name, const std::string& value) {
            return "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\" + name +
                   "]\n\"value\"=\"" + value + "\"\n\n";
        };
        std::string hive = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server\\GlobalOptions]\n"
                           "\"StoragePath\"=\"" + m_folder + "/storage\"\n\n" +
                           setting("_KVRClient_Cryptography_FipsMode", "none") +
                           setting("_KVRRelay_HTTPServer_PortNumber", std::to_string(m_port));
        for (const auto& [name, value] : clientSettings) hive += setting(name, value);
        std::ofstream(m_folder + "/registry/HKLM.reg") << hive;
        m_process = std::make_unique<ServerProcess>(ProgramFolder() + "/../src/kvrrelay", std::vector<std::string>{"-d"},
                                                    m_folder + "/registry", m_folder);
        for (int i = 0; i < 400 && !Answers(); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
        if (!Answers()) Fail("a relay does not answer");
    }
    ~BenchRelay() {
        m_process.reset();
        std::filesystem::remove_all(m_folder);
    }
    BenchRelay(const BenchRelay&) = delete;
    BenchRelay& operator=(const BenchRelay&) = delete;

    std::uint16_t Port() const { return m_port; }
    std::string Host() const { return "http://127.0.0.1:" + std::to_string(m_port); }
    std::string Folder() const { return m_folder; }
    pid_t Pid() const { return m_process->Id(); }

  private:
    bool Answers() const { return Exchange(m_port, kProbe).rfind("HTTP/1.0 200 ", 0) == 0; }

    std::string m_folder;
    std::uint16_t m_port;
    std::unique_ptr<ServerProcess> m_process;
};
