// PostFileOptionsManager: the settings of resumable file uploads and the folders that hold them, for
// the post-file plug-in (post_file_plugin.h) and the diagnostics page. UploadLocationsProvider is the
// part that names the two folders finished uploads land in.
//
// Every setting is a named client setting of component "KVRRelay" (settings/configuration_settings.h,
// mode 2), read afresh at each call, except "TimeoutSeconds", read once at construction:
//
//   "_KVRRelay_PostFile_ThrottleKBPS"              0      KiB/s a client is asked to keep to (0: none)
//   "_KVRRelay_PostFile_ChunkSize"                 0      bytes per range a client is asked for (0: its own)
//   "_KVRRelay_PostFile_ComputerFolderCount"       100    per-computer folders spread over this many (0: 1)
//   "_KVRRelay_PostFile_TimeoutSeconds"            300    a request's time-out of no progress
//   "_KVRRelay_UploadManager_CompressedFileMaxSize"  20 MiB  most bytes one upload may unpack to (0: 1 GiB)
//   "_KVRRelay_UploadManager_BufferDirectoryMaxSize" 20 MiB  } beyond these the buffer takes no new upload
//   "_KVRRelay_UploadManager_BufferDirectoryMaxCount" 10000  }
//   "_KVRRelay_UploadManager_BufferDirectory"      "UploadManagerData/BufferDir" in the server storage
//                                                   folder (the root server's "StoragePath")
//   "_KVRRelay_UploadManager_CleanupHours"         72     age of a leftover partial upload that is removed
//   "_KVRRelay_HTTPServer_ServerRootPath"          "wwwroot"  the served folder, which holds "Uploads"
//
// The folders:
//   <buffer>/Temp        partial buffered uploads, "_<key>"
//   <buffer>/sha1        finished buffered uploads, "<sha1>", or unpacked per computer
//   <root>/Temp          partial web uploads, "_<key>"
//   <root>/Uploads       finished web uploads, "<sha1>/<wwwname>", served as files
//
// A value object: copy it freely; every member may be called from any thread.
#pragma once

#include <cstdint>

#include "base/file_location.h"

class UploadLocationsProvider {
  public:
    virtual ~UploadLocationsProvider() = default;
    // The buffer's "sha1" folder: finished buffered uploads.
    virtual FileLocation GetSha1Folder() const = 0;
    // The served folder's "Uploads": finished web uploads.
    virtual FileLocation GetUploadsFolder() const = 0;
};

class PostFileOptionsManager : public UploadLocationsProvider {
  public:
    // Reads "TimeoutSeconds".
    PostFileOptionsManager();

    FileLocation GetSha1Folder() const override;
    FileLocation GetUploadsFolder() const override;

    // Bytes per second (the setting times 1024, at most 2^64 - 1).
    std::uint64_t GetThrottleKBPS() const;
    std::uint64_t GetChunkSize() const;
    // At least 1.
    std::uint64_t GetComputerFolderCount() const;
    // Microseconds, as read at construction.
    std::int64_t GetTimeout() const { return m_timeout; }
    // The most bytes one upload unpacks to: the setting, or 1 GiB while it is 0.
    std::uint64_t GetCompressedFileMaxSize() const;
    std::uint64_t GetBufferDirectoryMaxSize() const;
    std::uint64_t GetBufferDirectoryMaxCount() const;
    // MissingRegistrySetting while "BufferDirectory" and the server storage folder are both unset.
    FileLocation GetBufferDirectory() const;
    FileLocation GetServerRootPath() const;

    // The buffer's "Temp" and the served folder's "Temp": partial uploads.
    FileLocation GetBufferTemporaryFolder() const;
    FileLocation GetWebTemporaryFolder() const;

  private:
    std::int64_t m_timeout;
};

inline constexpr std::uint64_t kUnpackedUploadCeiling = 1ull << 30;

// "_KVRRelay_UploadManager_BufferDirectory", or the server storage folder's
// "UploadManagerData/BufferDir" while that is unset: the one reading of the buffer for the plug-in
// and the upload manager. MissingRegistrySetting when neither is set.
FileLocation ReadUploadBufferDirectory();
// "_KVRRelay_UploadManager_CleanupHours" (72) in microseconds.
std::int64_t GetCleanupInterval();
