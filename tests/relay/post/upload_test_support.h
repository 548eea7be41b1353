// Helpers of the file-upload tests: the requests of the post-file protocol and their replies, a
// machine whose buffer, served folder and settings are the test's own, and what files hold.
#pragma once

#include <sys/stat.h>

#include <chrono>
#include <filesystem>
#include <optional>
#include <string>

#include "../../http/http_test_support.h"
#include "relay/post/post_results_test_support.h"
#include "support/site_content.h"

inline constexpr const char* kPostFilePath = "/cgi-bin/vtdaruravidu/PostFile.exe";

// A POST of the body to the post-file path with the query.
inline std::string PostFileRequest(const std::string& query, const std::string& body) {
    return "POST " + std::string(kPostFilePath) + "?" + query + " HTTP/1.0\r\nContent-Length: " +
           std::to_string(body.size()) + "\r\n\r\n" + body;
}

struct UploadReply {
    std::string statusLine;
    std::optional<std::string> result;  // the "x-kvr-upload-result" value
    std::string body;
};

inline UploadReply ParseUploadReply(const std::string& reply) {
    UploadReply parsed{StatusLineOf(reply), std::nullopt, BodyOf(reply)};
    const std::string field = "\r\nx-kvr-upload-result: ";
    const std::size_t at = reply.find(field);
    if (at != std::string::npos && at < reply.find("\r\n\r\n")) {
        const std::size_t start = at + field.size();
        parsed.result = reply.substr(start, reply.find("\r\n", start) - start);
    }
    return parsed;
}

inline UploadReply PostFile(std::uint16_t port, const std::string& query, const std::string& body) {
    return ParseUploadReply(Exchange(port, PostFileRequest(query, body)));
}

// "range=S,E,T".
inline std::string RangeKey(std::uint64_t start, std::uint64_t end, std::uint64_t total) {
    return "range=" + std::to_string(start) + "," + std::to_string(end) + "," + std::to_string(total);
}

// The registry and storage of one test, with the served folder "wwwroot" in the storage folder.
class UploadMachine : public PostResultsMachine {
  public:
    UploadMachine() { SetNamed("_KVRRelay_HTTPServer_ServerRootPath", ServedFolder()); }

    std::string ServedFolder() const { return Folder("wwwroot"); }
    std::string UploadsFolder() const { return ServedFolder() + "/Uploads"; }
    std::string WebTemporaryFolder() const { return ServedFolder() + "/Temp"; }
    std::string UploadBuffer() const { return Storage() + "/UploadManagerData/BufferDir"; }
    std::string Sha1Folder() const { return UploadBuffer() + "/sha1"; }
    std::string BufferTemporaryFolder() const { return UploadBuffer() + "/Temp"; }
};

inline bool Exists(const std::string& path) {
    return std::filesystem::exists(path);
}

// Sets a file's last-write time that many hours back.
inline void MakeOlder(const std::string& path, int hours) {
    const auto time = std::filesystem::last_write_time(path);
    std::filesystem::last_write_time(path, time - std::chrono::hours(hours));
}
