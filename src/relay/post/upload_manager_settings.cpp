#include "relay/post/upload_manager_settings.h"

#include <limits>

#include "relay/post/post_file_options_manager.h"
#include "settings/configuration_settings.h"

namespace {

constexpr const char* kComponent = "KVRRelay";
constexpr const char* kSection = "UploadManager";
constexpr const char* kDefaultParentURL = "/cgi-bin/vtdaruravidu/postfile.exe";
constexpr std::uint64_t kBytesPerKiB = 1024;

std::string ParentURL() {
    return ConfigurationString(2, kComponent, kSection, "ParentURL", kDefaultParentURL).GetText();
}

}  // namespace

UploadManagerSettings UploadManagerSettings::Read() {
    UploadManagerSettings settings;
    settings.bufferDirectory = ReadUploadBufferDirectory();
    settings.parentURL = ParentURL();
    // A chunk size of 0 would send empty ranges for ever.
    const std::uint64_t chunkSize = ConfigurationNumber64(2, kComponent, kSection, "ChunkSize", kDefaultChunkSize).GetValue();
    settings.chunkSize = chunkSize == 0 ? kDefaultChunkSize : chunkSize;
    const std::uint64_t kibPerSecond = ConfigurationNumber64(2, kComponent, kSection, "ThrottleKBPS", 0).GetValue();
    constexpr std::uint64_t kLargest = std::numeric_limits<std::uint64_t>::max();
    settings.throttleBytesPerSecond = kibPerSecond > kLargest / kBytesPerKiB ? kLargest : kibPerSecond * kBytesPerKiB;
    settings.cleanupInterval = GetCleanupInterval();
    return settings;
}

bool UploadManagerParentURLIsEmpty() {
    return ParentURL().empty();
}

std::string ReadUploadManagerParentRelayHost() {
    return ConfigurationString(2, kComponent, kSection, "ParentRelayHost", "").GetText();
}
