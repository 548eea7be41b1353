#include "relay/post/post_file_plugin.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "crypto/openssl_startup.h"
#include "net/started_socket_system.h"
#include "relay/post/upload_manager.h"
#include "relay/post/upload_test_support.h"

namespace {

constexpr const char* kName = "report.txt";
const std::string kTwenty = "0123456789abcdefghij";

class PostFilePlugInTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() {
        InitializeOpenSSL(false);
        StartedSocketSystem();
    }

    // The plug-in, served; settings it reads when built come first.
    void Serve(std::int64_t cleaningPeriod = PostFilePlugIn::kCleaningPeriod) {
        options = std::make_unique<PostFileOptionsManager>();
        plugIn = std::make_unique<PostFilePlugIn>(*options, plugInStop, cleaningPeriod);
        RegisterPlugInNames(table, *plugIn);
        server = std::make_unique<RunningServer>(settings, table);
    }
    // A relay restarted: the plug-in (and its hashes) goes, the files stay.
    void Restart() {
        server.reset();
        table.clear();
        plugIn.reset();
        Serve();
    }
    std::uint16_t Port() const { return server->Port(); }
    UploadReply Post(const std::string& query, const std::string& body = "") {
        return PostFile(Port(), query, body);
    }
    // Waits until no request of the plug-in runs any more.
    bool AwaitIdle() {
        return Eventually([this] { return plugIn->RunningThreads() == 0; });
    }

    UploadMachine machine;
    HTTPServerSettings settings = TestServerSettings();
    Event plugInStop;
    std::unique_ptr<PostFileOptionsManager> options;
    PlugInPathTable table;
    std::unique_ptr<PostFilePlugIn> plugIn;
    std::unique_ptr<RunningServer> server;  // after the plug-in: the server goes first
};

std::string Success(std::uint64_t held, std::uint64_t throttle = 0, std::uint64_t chunkSize = 0) {
    return "Success=" + std::to_string(held) + "," + std::to_string(throttle) + "," + std::to_string(chunkSize);
}

std::string UpperCase(std::string text) {
    for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return text;
}

// A client's archive of files for computer `id`, with its index.
std::string ComputerArchive(std::uint32_t id, const std::vector<SiteFile>& files) {
    FileListOptions options;
    options.extraHeaders = {{"unique-id", std::to_string(id)}};
    std::vector<ArchiveMember> members{{"Index.txt", FileListForFiles(files, options), 0}};
    for (const SiteFile& file : files) members.push_back({file.name, file.content, file.modified});
    return SiteArchiveBytes(members);
}

}  // namespace

// Test labels: PostFilePlugInTest tsan
TEST_F(PostFilePlugInTest, IsAThreadedPlugInNamedForItsPath) {
    Serve();
    EXPECT_EQ(plugIn->Names(), (std::vector<std::string>{"PostFile", "cgi-bin/vtdaruravidu/PostFile.exe"}));
    EXPECT_TRUE(plugIn->IsThreaded());
}

// The hash folder is named as the client spelt the hash; a repeated range is answered again and
// written once.
TEST_F(PostFilePlugInTest, AWebUploadInRangesLandsInUploadsUnderItsHashAndName) {
    Serve();
    const std::string sha1 = UpperCase(Sha1Hex(kTwenty));
    const std::string first = "wwwname=" + std::string(kName) + "&sha1=" + sha1 + "&" + RangeKey(0, 9, 20);

    const std::string reply = Exchange(Port(), PostFileRequest(first, kTwenty.substr(0, 10)));
    EXPECT_EQ(StatusLineOf(reply), "HTTP/1.1 200 OK");
    EXPECT_NE(reply.find("\r\nx-kvr-upload-result: Success=10,0,0\r\n"), std::string::npos) << reply;
    EXPECT_NE(reply.find("\r\nx-veltra-itclient-status: 1\r\n"), std::string::npos) << reply;
    EXPECT_EQ(BodyOf(reply), "Success: 10,0,0\r\n");

    EXPECT_EQ(Post(first, "XXXXXXXXXX").result, Success(10));
    EXPECT_EQ(ReadWholeFile(machine.WebTemporaryFolder() + "/_" + sha1), kTwenty.substr(0, 10));

    EXPECT_EQ(Post("wwwname=" + std::string(kName) + "&sha1=" + sha1 + "&" + RangeKey(10, 19, 20),
                   kTwenty.substr(10))
                  .result,
              Success(20));
    EXPECT_EQ(ReadWholeFile(machine.UploadsFolder() + "/" + sha1 + "/" + kName), kTwenty);
    EXPECT_EQ(FileNamesIn(machine.WebTemporaryFolder()), std::vector<std::string>());
    EXPECT_EQ(plugIn->HashSets().Count(), 0u);
}

TEST_F(PostFilePlugInTest, ARangeThatDoesNotStartAtTheHeldSizeWritesNothing) {
    Serve();
    const std::string keys = "wwwname=a.txt&sha1=" + Sha1Hex(kTwenty) + "&";
    EXPECT_EQ(Post(keys + RangeKey(5, 9, 20), "56789").result, Success(0));
    EXPECT_FALSE(Exists(machine.WebTemporaryFolder() + "/_" + Sha1Hex(kTwenty)));
    EXPECT_EQ(Post(keys + RangeKey(0, 9, 20), kTwenty.substr(0, 10)).result, Success(10));
    EXPECT_EQ(Post(keys + RangeKey(15, 19, 20), "fghij").result, Success(10));
    EXPECT_EQ(ReadWholeFile(machine.WebTemporaryFolder() + "/_" + Sha1Hex(kTwenty)), kTwenty.substr(0, 10));
}

TEST_F(PostFilePlugInTest, AWrongHashOnTheLastRangeDeletesThePartialFile) {
    Serve();
    const std::string wrong = Sha1Hex("something else");
    const std::string keys = "wwwname=a.txt&sha1=" + wrong + "&";
    EXPECT_EQ(Post(keys + RangeKey(0, 9, 20), kTwenty.substr(0, 10)).result, Success(10));
    const UploadReply reply = Post(keys + RangeKey(10, 19, 20), kTwenty.substr(10));
    EXPECT_EQ(reply.statusLine, "HTTP/1.1 200 OK");
    EXPECT_EQ(reply.result, std::nullopt);
    EXPECT_EQ(reply.body, "Hash mismatch.  File may have been corrupted.");
    EXPECT_EQ(FileNamesIn(machine.WebTemporaryFolder()), std::vector<std::string>());
    EXPECT_FALSE(Exists(machine.UploadsFolder() + "/" + wrong));
}

// Ranges with a "guid" only add bytes; one request with the hash finishes the upload.
TEST_F(PostFilePlugInTest, AGuidUploadIsFinishedByTheRequestThatNamesTheHash) {
    Serve();
    EXPECT_EQ(Post("wwwname=a.txt&guid=G1&" + RangeKey(0, 9, 20), kTwenty.substr(0, 10)).result, Success(10));
    EXPECT_EQ(Post("wwwname=a.txt&guid=G1&" + RangeKey(10, 19, 20), kTwenty.substr(10)).result, Success(20));
    EXPECT_TRUE(Exists(machine.WebTemporaryFolder() + "/_G1"));
    EXPECT_EQ(Post("wwwname=a.txt&guid=G1&sha1=" + Sha1Hex(kTwenty) + "&totalsize=20", "ignored").result,
              Success(20));
    EXPECT_EQ(ReadWholeFile(machine.UploadsFolder() + "/" + Sha1Hex(kTwenty) + "/a.txt"), kTwenty);
    EXPECT_FALSE(Exists(machine.WebTemporaryFolder() + "/_G1"));
}

// The hashes live in memory: after a restart the bytes held cannot be checked any more, and the
// client has to start over. Each way of finding that out deletes the partial file.
TEST_F(PostFilePlugInTest, AnUploadWhoseHashWasLostStartsOver) {
    Serve();
    const std::string partial = machine.WebTemporaryFolder() + "/_G2";
    EXPECT_EQ(Post("wwwname=a.txt&guid=G2&" + RangeKey(0, 9, 20), kTwenty.substr(0, 10)).result, Success(10));
    Restart();
    EXPECT_EQ(Post("wwwname=a.txt&guid=G2&" + RangeKey(10, 19, 20), kTwenty.substr(10)).result, Success(0));
    EXPECT_FALSE(Exists(partial));

    EXPECT_EQ(Post("wwwname=a.txt&guid=G2&" + RangeKey(0, 9, 20), kTwenty.substr(0, 10)).result, Success(10));
    Restart();
    const UploadReply finish = Post("wwwname=a.txt&guid=G2&sha1=" + Sha1Hex(kTwenty) + "&totalsize=20");
    EXPECT_EQ(finish.body, "GUID not found in hash map.  Upload may have been interrupted.");
    EXPECT_EQ(finish.result, std::nullopt);
    EXPECT_FALSE(Exists(partial));
}

TEST_F(PostFilePlugInTest, AFinishedUploadOfAnotherSizeIsDeleted) {
    Serve();
    const std::string ten = kTwenty.substr(0, 10);
    EXPECT_EQ(Post("wwwname=a.txt&guid=G3&" + RangeKey(0, 9, 20), ten).result, Success(10));
    const UploadReply finish = Post("wwwname=a.txt&guid=G3&sha1=" + Sha1Hex(ten) + "&totalsize=20");
    EXPECT_EQ(finish.body, "File size mismatch.  File may have been corrupted.");
    EXPECT_FALSE(Exists(machine.WebTemporaryFolder() + "/_G3"));
}

// A refused request leaves no trace: no folder is made, no file written.
TEST_F(PostFilePlugInTest, RefusedRequestsTouchNoFile) {
    Serve();
    const std::string sha1 = Sha1Hex(kTwenty);
    const struct {
        std::string query;
        std::string text;
    } cases[] = {
        {"", "no query parameters specified -- no hash value specified"},
        {"sha1=..%5Cx&" + RangeKey(0, 9, 20), "the hash value contained a character which is not allowed."},
        {"sha1=a%2Fb&" + RangeKey(0, 9, 20), "the hash value contained a character which is not allowed."},
        {"wwwname=a.txt&sha1=..&" + RangeKey(0, 9, 20), "the hash value contained a character which is not allowed."},
        {"wwwname=a.txt&guid=..%2F..%2Fx&" + RangeKey(0, 9, 20),
         "the guid value contained a character which is not allowed."},
        {"sha1=" + sha1 + "&guid=..&" + RangeKey(0, 9, 20), "the guid value contained a character which is not allowed."},
        {"wwwname=..&sha1=" + sha1 + "&" + RangeKey(0, 9, 20),
         "the wwwname value contained a character which is not allowed."},
        {"wwwname=a%2F..%2F..%2Fb&sha1=" + sha1 + "&" + RangeKey(0, 9, 20),
         "the wwwname value contained a character which is not allowed."},
        {"wwwname=a.txt&sha1=" + sha1 + "&" + RangeKey(0, 20, 20), "invalid range value (end >= total size)"},
        {"sha1=" + sha1 + "&" + RangeKey(10, 9, 20), "invalid range value (start > end)"},
        {"sha1=" + sha1 + "&range=0", "invalid range specification (first comma not found)"},
        {"wwwname=a.txt&" + RangeKey(0, 9, 20), "no hash value specified"},
        {"sha1=" + sha1 + "&range=0,9,", "total size of file cannot be 0 (possibly invalid or missing range value)"},
    };
    for (const auto& each : cases) {
        const UploadReply reply = Post(each.query, kTwenty.substr(0, 10));
        EXPECT_EQ(reply.body, each.text) << each.query;
        EXPECT_EQ(reply.statusLine, "HTTP/1.1 200 OK") << each.query;
        EXPECT_EQ(reply.result, std::nullopt) << each.query;
    }
    const UploadReply get = ParseUploadReply(Exchange(Port(), "GET " + std::string(kPostFilePath) + "?sha1=" +
                                                                  sha1 + " HTTP/1.0\r\nHost: relay\r\n\r\n"));
    EXPECT_EQ(get.body, "this script only accepts POST operations") << get.statusLine;
    EXPECT_FALSE(Exists(machine.ServedFolder()));
    EXPECT_FALSE(Exists(machine.UploadBuffer()));
}

TEST_F(PostFilePlugInTest, ABufferedUploadWaitsForTheUploadManagerInTheSha1Folder) {
    TemporaryFolder transfers;
    UploadManager manager(true, FileLocation(transfers.Path().c_str()));
    Serve();
    const std::string sha1 = UpperCase(Sha1Hex(kTwenty));
    EXPECT_EQ(Post("sha1=" + sha1 + "&" + RangeKey(0, 9, 20), kTwenty.substr(0, 10)).result, Success(10));
    EXPECT_EQ(ReadWholeFile(machine.BufferTemporaryFolder() + "/_" + sha1), kTwenty.substr(0, 10));
    EXPECT_EQ(Post("sha1=" + sha1 + "&chunkrange=10,19&totalsize=20", kTwenty.substr(10)).result, Success(20));
    EXPECT_EQ(FilesIn(machine.Sha1Folder()), std::vector<std::string>{kTwenty});
    EXPECT_EQ(FileNamesIn(machine.Sha1Folder()), std::vector<std::string>{sha1});
    EXPECT_EQ(FileNamesIn(machine.BufferTemporaryFolder()), std::vector<std::string>());
}

TEST_F(PostFilePlugInTest, ABufferedUploadWithAWrongHashIsDeleted) {
    TemporaryFolder transfers;
    UploadManager manager(true, FileLocation(transfers.Path().c_str()));
    Serve();
    const UploadReply reply = Post("sha1=" + Sha1Hex("other") + "&" + RangeKey(0, 19, 20), kTwenty);
    EXPECT_EQ(reply.body, "Hash mismatch.  File may have been corrupted.");
    EXPECT_EQ(FileNamesIn(machine.BufferTemporaryFolder()), std::vector<std::string>());
    EXPECT_EQ(FileNamesIn(machine.Sha1Folder()), std::vector<std::string>());
}

// Without an upload manager the relay keeps a computer's files itself: in "sha1/<id mod count>/<id>",
// where the latest archive's files replace the ones before and files it no longer names go, except
// the archive's own control files.
TEST_F(PostFilePlugInTest, WithoutAnUploadManagerAnArchiveIsUnpackedPerComputer) {
    Serve();
    const std::string folder = machine.Sha1Folder() + "/34/1234";
    std::filesystem::create_directories(folder);
    for (const char* name : {"gone.txt", "a.txt", "_kept", "Archive.dat"})
        std::ofstream(folder + "/" + name) << "before";
    const std::string archive = ComputerArchive(1234, {{"a.txt", "new a", 0}, {"b.txt", "new b", 0}});
    const std::string sha1 = Sha1Hex(archive);

    EXPECT_EQ(Post("sha1=" + sha1 + "&" + RangeKey(0, archive.size() - 1, archive.size()), archive).result,
              Success(archive.size()));
    EXPECT_EQ(FileNamesIn(folder), (std::vector<std::string>{"Archive.dat", "Index.txt", "_kept", "a.txt", "b.txt"}));
    EXPECT_EQ(ReadWholeFile(folder + "/a.txt"), "new a");
    EXPECT_EQ(ReadWholeFile(folder + "/b.txt"), "new b");
    EXPECT_EQ(FileNamesIn(machine.BufferTemporaryFolder()), std::vector<std::string>());
    EXPECT_EQ(FileNamesIn(machine.Sha1Folder()), std::vector<std::string>());

    // No folder count would leave no folder to put a computer in: every computer goes into "0".
    machine.SetNamed("_KVRRelay_PostFile_ComputerFolderCount", "0");
    EXPECT_EQ(Post("sha1=" + sha1 + "&" + RangeKey(0, archive.size() - 1, archive.size()), archive).result,
              Success(archive.size()));
    EXPECT_EQ(ReadWholeFile(machine.Sha1Folder() + "/0/1234/b.txt"), "new b");
}

TEST_F(PostFilePlugInTest, AnEncryptedArchiveIsOpenedWithTheRelaysKey) {
    machine.InstallKey();
    Serve();
    const std::string sealed = Encrypted(ComputerArchive(7, {{"a.txt", "secret", 0}}));
    EXPECT_EQ(Post("sha1=" + Sha1Hex(sealed) + "&" + RangeKey(0, sealed.size() - 1, sealed.size()), sealed).result,
              Success(sealed.size()));
    EXPECT_EQ(ReadWholeFile(machine.Sha1Folder() + "/7/7/a.txt"), "secret");
}

// An upload that cannot be unpacked is deleted, so that it is not answered as complete while nothing
// came of it.
TEST_F(PostFilePlugInTest, AnArchiveThatCannotBeUnpackedIsDeleted) {
    const std::string archive = ComputerArchive(9, {{"big.txt", std::string(4096, 'x'), 0}});
    const struct {
        std::string upload;
        std::string limit;
        std::string text;
    } cases[] = {
        {Encrypted(archive), "0", "No decryption keys available."},
        {archive, "1000", "class UntrustedByteLimitExceeded"},
        {"not an archive at all", "0", "class FormatError"},
    };
    Serve();
    for (const auto& each : cases) {
        machine.SetNamed("_KVRRelay_UploadManager_CompressedFileMaxSize", each.limit);
        const std::string& upload = each.upload;
        const UploadReply reply =
            Post("sha1=" + Sha1Hex(upload) + "&" + RangeKey(0, upload.size() - 1, upload.size()), upload);
        EXPECT_EQ(reply.result, std::nullopt) << each.text;
        EXPECT_NE(reply.body.find(each.text), std::string::npos) << reply.body;
        EXPECT_EQ(FileNamesIn(machine.BufferTemporaryFolder()), std::vector<std::string>()) << each.text;
    }
    EXPECT_FALSE(Exists(machine.Sha1Folder() + "/9"));
}

// The overload test counts the finished and the partial uploads together; an upload already begun
// goes on.
TEST_F(PostFilePlugInTest, ANewBufferedUploadIsRefusedWhileTheBufferIsFull) {
    machine.SetNamed("_KVRRelay_UploadManager_BufferDirectoryMaxCount", "2");
    std::filesystem::create_directories(machine.Sha1Folder());
    std::filesystem::create_directories(machine.BufferTemporaryFolder());
    std::ofstream(machine.Sha1Folder() + "/waiting") << "x";
    std::ofstream(machine.BufferTemporaryFolder() + "/_begun") << kTwenty.substr(0, 10);
    std::ofstream(machine.BufferTemporaryFolder() + "/_other") << "x";
    TemporaryFolder transfers;
    UploadManager manager(true, FileLocation(transfers.Path().c_str()));
    Serve();

    EXPECT_EQ(Post("sha1=" + Sha1Hex("new") + "&" + RangeKey(0, 2, 3), "new").body,
              "Overloaded buffer directory. Try again later.");
    EXPECT_EQ(Post("sha1=" + Sha1Hex(kTwenty) + "&guid=begun&" + RangeKey(10, 19, 20), kTwenty.substr(10)).result,
              Success(20));
    EXPECT_EQ(ReadWholeFile(machine.Sha1Folder() + "/" + Sha1Hex(kTwenty)), kTwenty);
}

// The throttle the relay asks for is shared among the uploads it is receiving.
TEST_F(PostFilePlugInTest, TheThrottleIsSharedByThePartialUploads) {
    machine.SetNamed("_KVRRelay_PostFile_ThrottleKBPS", "100");
    machine.SetNamed("_KVRRelay_PostFile_ChunkSize", "65536");
    std::filesystem::create_directories(machine.BufferTemporaryFolder());
    for (const char* name : {"_a", "_b", "_c"}) std::ofstream(machine.BufferTemporaryFolder() + "/" + name) << "x";
    Serve();
    EXPECT_EQ(Post("sha1=" + Sha1Hex(kTwenty) + "&" + RangeKey(0, 9, 20), kTwenty.substr(0, 10)).result,
              Success(10, 102400 / 4, 65536));
}

// A second request for an upload that a request is still writing writes nothing: a buffered upload
// is answered with what is held so far, a web upload (whose hash is in use) refused.
TEST_F(PostFilePlugInTest, OneRequestAtATimeWritesAnUpload) {
    TemporaryFolder transfers;
    UploadManager manager(true, FileLocation(transfers.Path().c_str()));
    Serve();
    constexpr std::size_t kTotal = 100 * 1024;
    constexpr std::size_t kSentFirst = 70 * 1024;
    const std::string content(kTotal, 'a');
    const std::string sha1 = Sha1Hex(content);
    const struct {
        std::string keys;
        std::string partial;
    } uploads[] = {
        {"sha1=" + sha1 + "&", machine.BufferTemporaryFolder() + "/_" + sha1},
        {"wwwname=a.txt&sha1=" + sha1 + "&", machine.WebTemporaryFolder() + "/_" + sha1},
    };
    for (const auto& upload : uploads) {
        const std::string query = upload.keys + RangeKey(0, kTotal - 1, kTotal);
        const std::string request = PostFileRequest(query, content);
        SocketHandle first = ConnectTo("127.0.0.1", Port());
        SendAll(first.Get(), request.substr(0, request.size() - (kTotal - kSentFirst)));
        ASSERT_TRUE(Eventually([&] { return Exists(upload.partial) && ReadWholeFile(upload.partial).size() == kSentFirst; }));

        const UploadReply second = Post(query, std::string(kTotal, 'b'));
        if (upload.keys.starts_with("wwwname"))
            EXPECT_EQ(second.body, "class LockedHashSetInUse");
        else
            EXPECT_EQ(second.result, Success(kSentFirst));

        SendAll(first.Get(), request.substr(request.size() - (kTotal - kSentFirst)));
        EXPECT_EQ(ParseUploadReply(ReceiveUntilClosed(first.Get())).result, Success(kTotal)) << upload.keys;
    }
    EXPECT_EQ(ReadWholeFile(machine.Sha1Folder() + "/" + sha1), content);
    EXPECT_EQ(ReadWholeFile(machine.UploadsFolder() + "/" + sha1 + "/a.txt"), content);
}

// A range whose body breaks off keeps the bytes that arrived, hashed: the next range goes on from
// there and the upload finishes with the right hash.
TEST_F(PostFilePlugInTest, ARangeCutShortKeepsWhatArrived) {
    Serve();
    constexpr std::size_t kTotal = 100 * 1024;
    constexpr std::size_t kArrived = 70 * 1024;
    std::string content;
    for (std::size_t i = 0; i < kTotal; ++i) content += static_cast<char>('a' + i % 23);
    const std::string keys = "wwwname=cut.bin&sha1=" + Sha1Hex(content) + "&";
    {
        const std::string request = PostFileRequest(keys + RangeKey(0, kTotal - 1, kTotal), content);
        SocketHandle client = ConnectTo("127.0.0.1", Port());
        SendAll(client.Get(), request.substr(0, request.size() - (kTotal - kArrived)));
        ASSERT_TRUE(Eventually([&] {
            return ReadWholeFile(machine.WebTemporaryFolder() + "/_" + Sha1Hex(content)).size() == kArrived;
        }));
    }
    ASSERT_TRUE(AwaitIdle());
    EXPECT_EQ(Post(keys + RangeKey(kArrived, kTotal - 1, kTotal), content.substr(kArrived)).result, Success(kTotal));
    EXPECT_EQ(ReadWholeFile(machine.UploadsFolder() + "/" + Sha1Hex(content) + "/cut.bin"), content);
}

// Partial files older than "CleanupHours" go from both "Temp" folders; everything else stays.
TEST_F(PostFilePlugInTest, StalePartialFilesAreCleanedAway) {
    for (const std::string& folder : {machine.BufferTemporaryFolder(), machine.WebTemporaryFolder()}) {
        std::filesystem::create_directories(folder);
        for (const char* name : {"_stale", "_fresh", "stale-but-no-partial"}) std::ofstream(folder + "/" + name) << "x";
        MakeOlder(folder + "/_stale", 73);
        MakeOlder(folder + "/stale-but-no-partial", 73);
    }
    Serve(20'000);
    for (const std::string& folder : {machine.BufferTemporaryFolder(), machine.WebTemporaryFolder()}) {
        EXPECT_TRUE(Eventually([&] { return !Exists(folder + "/_stale"); })) << folder;
        EXPECT_EQ(FileNamesIn(folder), (std::vector<std::string>{"_fresh", "stale-but-no-partial"}));
    }
}
