// The upload manager's settings (upload_manager.h): named client settings of component "KVRRelay",
// section "UploadManager" (settings/configuration_settings.h, mode 2), read afresh for every piece of
// work, so a change takes effect without a restart:
//
//   "BufferDirectory"   the buffer (ReadUploadBufferDirectory, post_file_options_manager.h); its "sha1"
//                       folder holds what is carried to the parent
//   "ParentURL"         "/cgi-bin/vtdaruravidu/postfile.exe": the parent's post-file path, or a full URL
//   "ChunkSize"         131072 bytes per range (0: the default)
//   "ThrottleKBPS"      0 KiB/s (0: no limit of our own)
//   "CleanupHours"      72: age of a leftover "_" file that is removed; the longest wait for a change
//   "ParentRelayHost"   empty: the parent ("http://host:port") put in front of a "ParentURL" that is a
//                       path; written when registration moves the relay to a new parent
//
// Values only; thread-safe.
#pragma once

#include <cstdint>
#include <string>

#include "base/file_location.h"

struct UploadManagerSettings {
    static constexpr std::uint64_t kDefaultChunkSize = 131'072;

    FileLocation bufferDirectory;
    std::string parentURL;
    std::uint64_t chunkSize = kDefaultChunkSize;
    std::uint64_t throttleBytesPerSecond = 0;
    std::int64_t cleanupInterval = 0;  // microseconds

    // MissingRegistrySetting as ReadUploadBufferDirectory.
    static UploadManagerSettings Read();
};

// True when "ParentURL" is set to an empty text: the relay then runs no upload manager.
bool UploadManagerParentURLIsEmpty();
// "ParentRelayHost".
std::string ReadUploadManagerParentRelayHost();
