#include "relay/post/post_file_options_manager.h"

#include <gtest/gtest.h>

#include <string>

#include "relay/post/upload_manager_settings.h"
#include "relay/post/upload_test_support.h"
#include "settings/configuration_settings.h"

namespace {

// A machine with no upload setting of its own: only the storage folder.
class PostFileOptionsTest : public ::testing::Test {
  protected:
    PostResultsMachine machine;
};

}  // namespace

TEST_F(PostFileOptionsTest, DefaultsOfAFreshMachine) {
    const PostFileOptionsManager options;
    EXPECT_EQ(options.GetThrottleKBPS(), 0u);
    EXPECT_EQ(options.GetChunkSize(), 0u);
    EXPECT_EQ(options.GetComputerFolderCount(), 100u);
    EXPECT_EQ(options.GetTimeout(), 300'000'000);
    EXPECT_EQ(options.GetCompressedFileMaxSize(), 20u * 1024 * 1024);
    EXPECT_EQ(options.GetBufferDirectoryMaxSize(), 20u * 1024 * 1024);
    EXPECT_EQ(options.GetBufferDirectoryMaxCount(), 10'000u);
    EXPECT_EQ(GetCleanupInterval(), 72ll * 3'600'000'000);
    const std::string buffer = machine.Storage() + "/UploadManagerData/BufferDir";
    EXPECT_EQ(options.GetBufferDirectory().GetPathString(), buffer);
    EXPECT_EQ(options.GetSha1Folder().GetPathString(), buffer + "/sha1");
    EXPECT_EQ(options.GetBufferTemporaryFolder().GetPathString(), buffer + "/Temp");
    EXPECT_EQ(options.GetUploadsFolder().GetPathString(), "wwwroot/Uploads");
    EXPECT_EQ(options.GetWebTemporaryFolder().GetPathString(), "wwwroot/Temp");

    const UploadManagerSettings manager = UploadManagerSettings::Read();
    EXPECT_EQ(manager.bufferDirectory.GetPathString(), buffer);
    EXPECT_EQ(manager.parentURL, "/cgi-bin/vtdaruravidu/postfile.exe");
    EXPECT_EQ(manager.chunkSize, 131'072u);
    EXPECT_EQ(manager.throttleBytesPerSecond, 0u);
    EXPECT_FALSE(UploadManagerParentURLIsEmpty());
    EXPECT_EQ(ReadUploadManagerParentRelayHost(), "");
}

// Every value but the time-out is read at each call; 0 folders and an unlimited unpacking are
// replaced by what can be kept.
TEST_F(PostFileOptionsTest, SettingsAreReadAtEachCall) {
    const PostFileOptionsManager options;
    machine.SetNamed("_KVRRelay_PostFile_ThrottleKBPS", "10");
    machine.SetNamed("_KVRRelay_PostFile_ChunkSize", "65536");
    machine.SetNamed("_KVRRelay_PostFile_ComputerFolderCount", "0");
    machine.SetNamed("_KVRRelay_PostFile_TimeoutSeconds", "5");
    machine.SetNamed("_KVRRelay_UploadManager_CompressedFileMaxSize", "0");
    machine.SetNamed("_KVRRelay_UploadManager_BufferDirectoryMaxCount", "7");
    machine.SetNamed("_KVRRelay_UploadManager_BufferDirectory", "/data/buffer");
    machine.SetNamed("_KVRRelay_UploadManager_CleanupHours", "2");
    machine.SetNamed("_KVRRelay_HTTPServer_ServerRootPath", "/srv/www");
    EXPECT_EQ(options.GetThrottleKBPS(), 10'240u);
    EXPECT_EQ(options.GetChunkSize(), 65'536u);
    EXPECT_EQ(options.GetComputerFolderCount(), 1u);
    EXPECT_EQ(options.GetTimeout(), 300'000'000);
    EXPECT_EQ(PostFileOptionsManager().GetTimeout(), 5'000'000);
    EXPECT_EQ(options.GetCompressedFileMaxSize(), 1u << 30);
    EXPECT_EQ(options.GetBufferDirectoryMaxCount(), 7u);
    EXPECT_EQ(options.GetSha1Folder().GetPathString(), "/data/buffer/sha1");
    EXPECT_EQ(options.GetUploadsFolder().GetPathString(), "/srv/www/Uploads");
    EXPECT_EQ(GetCleanupInterval(), 2ll * 3'600'000'000);
    EXPECT_EQ(UploadManagerSettings::Read().bufferDirectory.GetPathString(), "/data/buffer");
}

TEST_F(PostFileOptionsTest, TheUploadManagerSettings) {
    machine.SetNamed("_KVRRelay_UploadManager_ChunkSize", "0");
    machine.SetNamed("_KVRRelay_UploadManager_ThrottleKBPS", "3");
    machine.SetNamed("_KVRRelay_UploadManager_ParentRelayHost", "http://parent:52311");
    EXPECT_EQ(UploadManagerSettings::Read().chunkSize, 131'072u);
    EXPECT_EQ(UploadManagerSettings::Read().throttleBytesPerSecond, 3'072u);
    EXPECT_EQ(ReadUploadManagerParentRelayHost(), "http://parent:52311");
    machine.SetNamed("_KVRRelay_UploadManager_ParentURL", "");
    EXPECT_TRUE(UploadManagerParentURLIsEmpty());
}

TEST_F(PostFileOptionsTest, TheBufferNeedsAStorageFolderOrItsOwnSetting) {
    TemporaryRegistry bare;
    EXPECT_THROW(ReadUploadBufferDirectory(), MissingRegistrySetting);
}
