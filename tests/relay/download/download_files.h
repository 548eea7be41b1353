// Helpers of the download cache tests: files with a chosen age, their SHA-1s, folder listings and
// download request files.
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "base/file_location.h"
#include "crypto/openssl_hash.h"
#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "support/temporary_registry.h"

constexpr std::int64_t kMicrosecondsPerDay = kSecondsPerDay * kMicrosecondsPerSecond;

inline FileLocation Location(const std::string& path) {
    return FileLocation(path.c_str());
}

// Writes the file (its folder made first) and dates its last write `age` microseconds back.
inline void WriteAgedFile(const std::string& path, const std::string& content, std::int64_t age) {
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    WriteWholeFile(path, content);
    FileItem(Location(path)).SetLastWriteTime(GetCurrentUTCTime() - age);
}

// The SHA-1 of the bytes (OpenSSL must be initialized).
inline DigestRecord Sha1Of(const std::string& content) {
    OpenSSLHash hash;
    hash.Start(ContentHashDigest());
    ReceiveComplete(hash, ConstData(std::string_view(content)));
    return hash.GetDigest();
}

// The names in a folder; none for a missing folder.
inline std::set<std::string> Names(const std::string& folder) {
    std::set<std::string> names;
    if (!std::filesystem::is_directory(folder)) return names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.insert(entry.path().filename());
    return names;
}

// A request file of action `action` listing the URLs, each with its SHA-1 line, and its size line when
// the size is not empty: {url, size, sha1}.
inline std::string RequestFile(std::uint32_t action, const std::vector<std::array<std::string, 3>>& downloads = {}) {
    std::string text = "+\n" + std::to_string(action) + "\n";
    for (const auto& [url, size, sha1] : downloads) {
        text += url + "\n";
        if (!size.empty()) text += "size:" + size + "\n";
        text += "sha1:" + sha1 + "\n";
    }
    return text;
}
