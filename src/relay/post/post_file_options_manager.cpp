#include "relay/post/post_file_options_manager.h"

#include <limits>
#include <string>

#include "base/time_value.h"
#include "http/http_server_settings.h"
#include "settings/configuration_settings.h"

namespace {

constexpr const char* kComponent = "KVRRelay";
constexpr const char* kPostFileSection = "PostFile";
constexpr const char* kUploadManagerSection = "UploadManager";

constexpr std::uint32_t kDefaultTimeoutSeconds = 300;
constexpr std::uint64_t kDefaultComputerFolderCount = 100;
constexpr std::uint64_t kDefaultCompressedFileMaxSize = 20 * 1024 * 1024;
constexpr std::uint64_t kDefaultBufferDirectoryMaxSize = 20 * 1024 * 1024;
constexpr std::uint64_t kDefaultBufferDirectoryMaxCount = 10'000;
constexpr std::uint32_t kDefaultCleanupHours = 72;
constexpr std::int64_t kMicrosecondsPerHour = 3'600 * kMicrosecondsPerSecond;
constexpr std::uint64_t kBytesPerKiB = 1024;

// The buffer's place in the server storage folder while "BufferDirectory" is unset.
constexpr const char* kDefaultBufferFolder = "UploadManagerData";
constexpr const char* kDefaultBufferSubfolder = "BufferDir";

std::uint64_t Number64(const char* section, const char* name, std::uint64_t defaultValue) {
    return ConfigurationNumber64(2, kComponent, section, name, defaultValue).GetValue();
}

}  // namespace

FileLocation ReadUploadBufferDirectory() {
    const std::string text = ConfigurationString(2, kComponent, kUploadManagerSection, "BufferDirectory", "").GetText();
    if (!text.empty()) return FileLocation(text.c_str());
    return GetServerStoragePath().MakeChild(kDefaultBufferFolder).MakeChild(kDefaultBufferSubfolder);
}

std::int64_t GetCleanupInterval() {
    const std::uint32_t hours =
        ConfigurationNumber(2, kComponent, kUploadManagerSection, "CleanupHours", kDefaultCleanupHours).GetValue();
    return std::int64_t{hours} * kMicrosecondsPerHour;
}

PostFileOptionsManager::PostFileOptionsManager()
    : m_timeout(std::int64_t{ConfigurationNumber(2, kComponent, kPostFileSection, "TimeoutSeconds",
                                                 kDefaultTimeoutSeconds)
                                 .GetValue()} *
                kMicrosecondsPerSecond) {}

FileLocation PostFileOptionsManager::GetSha1Folder() const {
    return GetBufferDirectory().MakeChild("sha1");
}

FileLocation PostFileOptionsManager::GetUploadsFolder() const {
    return GetServerRootPath().MakeChild("Uploads");
}

FileLocation PostFileOptionsManager::GetBufferTemporaryFolder() const {
    return GetBufferDirectory().MakeChild("Temp");
}

FileLocation PostFileOptionsManager::GetWebTemporaryFolder() const {
    return GetServerRootPath().MakeChild("Temp");
}

std::uint64_t PostFileOptionsManager::GetThrottleKBPS() const {
    const std::uint64_t kibPerSecond = Number64(kPostFileSection, "ThrottleKBPS", 0);
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
    return kibPerSecond > kLargest / kBytesPerKiB ? kLargest : kibPerSecond * kBytesPerKiB;
}

std::uint64_t PostFileOptionsManager::GetChunkSize() const {
    return Number64(kPostFileSection, "ChunkSize", 0);
}

// 0 folders would leave no folder to put a computer in.
std::uint64_t PostFileOptionsManager::GetComputerFolderCount() const {
    const std::uint64_t count = Number64(kPostFileSection, "ComputerFolderCount", kDefaultComputerFolderCount);
    return count == 0 ? 1 : count;
}

// 0 once meant "no ceiling", which let one small compressed upload fill the disk.
std::uint64_t PostFileOptionsManager::GetCompressedFileMaxSize() const {
    const std::uint64_t limit = Number64(kUploadManagerSection, "CompressedFileMaxSize", kDefaultCompressedFileMaxSize);
    return limit == 0 ? kUnpackedUploadCeiling : limit;
}

std::uint64_t PostFileOptionsManager::GetBufferDirectoryMaxSize() const {
    return Number64(kUploadManagerSection, "BufferDirectoryMaxSize", kDefaultBufferDirectoryMaxSize);
}

std::uint64_t PostFileOptionsManager::GetBufferDirectoryMaxCount() const {
    return Number64(kUploadManagerSection, "BufferDirectoryMaxCount", kDefaultBufferDirectoryMaxCount);
}

FileLocation PostFileOptionsManager::GetBufferDirectory() const {
    return ReadUploadBufferDirectory();
}

FileLocation PostFileOptionsManager::GetServerRootPath() const {
    return ReadServerRootPath(kComponent);
}
