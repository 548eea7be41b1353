// Helpers of the result-posting tests: a machine whose registry and storage folder are the test's
// own, with the post-results settings a test sets; reports wrapped as result archives, compressed,
// stored and encrypted streams, made in memory with the relay's own writers; the encryption key pair
// of the test PKI's action masthead; and what the files of a folder hold.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "base/const_data_reader.h"
#include "crypto/bio_wrappers.h"
#include "crypto/certificates.h"
#include "crypto/encrypted_file.h"
#include "crypto/encryption_keys.h"
#include "formats/compressed_file.h"
#include "foundation/data_stages.h"
#include "support/result_archives.h"
#include "support/scripted_http_server.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"
#include "support/test_pki.h"

// The registry and storage folder of one test. Settings are written into the machine hive at once.
class PostResultsMachine {
  public:
    PostResultsMachine() { WriteHive(); }

    // A named client setting, "_KVRRelay_PostResults_ParentRelayURL" for example.
    void SetNamed(const std::string& name, const std::string& value) {
        m_named[name] = value;
        WriteHive();
    }
    // A value line of HKLM "Software\Veltra\Daruravidu Server\PostResults": "\"CarbonCopyPath\"=\"/x\"".
    void SetMachineValue(const std::string& name, const std::string& line) {
        m_machine[name] = line;
        WriteHive();
    }

    std::string Storage() const { return m_storage.Path(); }
    std::string BufferDir() const { return m_storage / "QuorelData/BufferDir"; }
    std::string ForwardingDir() const { return BufferDir() + "/ForwardingBufferDir"; }
    std::string TemporaryDir() const { return BufferDir() + "/TemporaryDir"; }
    std::string RejectedDir() const { return BufferDir() + "/RejectedDir"; }
    std::string KeysDir() const { return m_storage / "Encryption Keys"; }
    // Another folder of the test's own.
    std::string Folder(const std::string& name) const { return m_storage / name; }

    // The test PKI's encryption key and certificate as "<name>.pvk" in the keys directory.
    void InstallKey(const std::string& name = "encryption") const {
        std::filesystem::create_directories(KeysDir());
        std::ofstream out(KeysDir() + "/" + name + ".pvk", std::ios::binary);
        out << ReadTestPKIFile("mastheads/encryption.key") << ReadTestPKIFile("mastheads/encryption.pem");
    }

  private:
    void WriteHive() const {
        std::string hive =
            "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server\\GlobalOptions]\n"
            "\"StoragePath\"=\"" +
            m_storage.Path() +
            "\"\n\n"
            "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server\\PostResults]\n";
        for (const auto& [name, line] : m_machine) hive += line + "\n";
        for (const auto& [name, value] : m_named)
            hive += "\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\" + name +
                    "]\n\"value\"=\"" + value + "\"\n";
        WriteWholeFile(m_registry.MachineHivePath(), hive);
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_storage;
    std::map<std::string, std::string> m_named;
    std::map<std::string, std::string> m_machine;
};

// "##SC001", the checksum field (left zero, as a stream writer leaves it) and the zlib stream.
inline std::string Compressed(const std::string& content) {
    std::string out;
    StringReceiver target(out);
    CompressedFileWriter writer(target);
    ReceiveComplete(writer, ConstData(std::string_view(content)));
    return out;
}

inline std::string Stored(const std::string& content) {
    return std::string("##SN001\0\0\0\0\0", 12) + content;
}

inline X509Holder TestEncryptionCertificate() {
    const std::string pem = ReadTestPKIFile("mastheads/encryption.pem");
    BIOHolder source = NewMemoryBIO(ConstData(std::string_view(pem)));
    return PEMReadX509(source.Get());
}

// "##SE001" and an envelope for the certificate (the test PKI's encryption certificate by default).
inline std::string Encrypted(const std::string& content, X509* certificate = nullptr) {
    X509Holder own;
    if (!certificate) {
        own = TestEncryptionCertificate();
        certificate = own.Get();
    }
    std::string out;
    StringReceiver target(out);
    EncryptedFileWriter writer;
    writer.SetRecipient(target, certificate, EVP_aes_256_cbc());
    ReceiveComplete(writer, ConstData(std::string_view(content)));
    return out;
}

// The names of a folder's files (not its folders), sorted.
inline std::vector<std::string> FileNamesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (!std::filesystem::is_directory(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (!entry.is_directory()) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The contents of a folder's files, in name order.
inline std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> contents;
    for (const std::string& name : FileNamesIn(folder))
        contents.push_back(ReadWholeFile(folder + "/" + name));
    return contents;
}

// Waits until the condition holds; false when it has not within the limit.
inline bool AwaitCondition(const std::function<bool()>& condition,
                           std::chrono::milliseconds limit = std::chrono::seconds(10)) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

// Replies of a parent relay, and of a proxy in front of it.
inline const std::string kAccepted = MakeHTTPReply("", "x-veltra-itclient-status: 1\r\n");
inline const std::string kRefused = MakeHTTPReply("Disk full", "x-veltra-itclient-status: 0\r\n");
inline const std::string kWithoutStatus = MakeHTTPReply("<html>proxy error page</html>");
inline const std::string kServerError =
    MakeHTTPReply("", "x-veltra-itclient-status: 1\r\n", "HTTP/1.0 500 Internal Error");

// What follows the head; empty when there is no complete head.
inline std::string BodyOf(const std::string& message) {
    const std::size_t headEnd = message.find("\r\n\r\n");
    return headEnd == std::string::npos ? "" : message.substr(headEnd + 4);
}

// A parent whose answer the test changes while it runs.
class ScriptedParent {
  public:
    explicit ScriptedParent(std::string reply) : m_reply(std::move(reply)) {}

    void Answer(std::string reply) {
        std::lock_guard<std::mutex> guard(m_lock);
        m_reply = std::move(reply);
    }
    std::string URL() const {
        return "http://127.0.0.1:" + std::to_string(m_server.Port()) +
               "/cgi-bin/vtdaruravidu/PostResults.exe";
    }
    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const auto& exchange : m_server.Exchanges()) bodies.push_back(BodyOf(exchange.request));
        return bodies;
    }
    const ScriptedHTTPServer& Server() const { return m_server; }

  private:
    ScriptedHTTPServer::Reply Respond(const std::string&) {
        std::lock_guard<std::mutex> guard(m_lock);
        return {m_reply};
    }

    std::mutex m_lock;
    std::string m_reply;
    ScriptedHTTPServer m_server{[this](const std::string& request) { return Respond(request); }};
};

// The content of a "##SE001" stream for the test PKI's encryption certificate.
inline std::string Decrypted(const std::string& sealed) {
    TemporaryFolder folder;
    std::ofstream(folder / "encryption.pvk", std::ios::binary)
        << ReadTestPKIFile("mastheads/encryption.key") << ReadTestPKIFile("mastheads/encryption.pem");
    std::vector<CertificateAndKey> keys;
    keys.push_back(LoadCertificateAndKey(FileLocation((folder / "encryption.pvk").c_str())));
    ConstDataReader source{ConstData(std::string_view(sealed))};
    EncryptedFileReader reader;
    ReadEncryptedFileHeader(reader, keys, source);
    std::string content;
    StringReceiver target(content);
    PumpData(reader, target);
    return content;
}

// The reports of a batch, stored or encrypted for the test PKI's certificate.
inline std::vector<std::string> ReportsOfBatch(const std::string& batch) {
    if (batch.substr(0, 8) != std::string("##SE001\0", 8)) return ReportsOfStoredBatch(batch);
    return ReportsOfStoredBatch(Stored(Decrypted(batch)));
}
