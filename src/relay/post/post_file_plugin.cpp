#include "relay/post/post_file_plugin.h"

#include <optional>
#include <string>
#include <string_view>

#include "base/character_classes.h"
#include "crypto/openssl_hash.h"
#include "foundation/clocks.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_operations.h"
#include "http/plugin_log_functor.h"
#include "net/url_info.h"
#include "relay/post/buffered_upload_unpacker.h"
#include "relay/post/upload_manager.h"
#include "relay/post/upload_result.h"
#include "settings/crash_report.h"

namespace {

constexpr const char* kPartialFilePrefix = "_";

// The failures that make the partial file worthless: it is deleted, and the client told why.
std::optional<std::string> TextOfDiscardingFailure() {
    try {
        throw;
    } catch (const GUIDNotInHashMap&) {
        return "GUID not found in hash map.  Upload may have been interrupted.";
    } catch (const HashMismatch&) {
        return "Hash mismatch.  File may have been corrupted.";
    } catch (const FileSizeMismatch&) {
        return "File size mismatch.  File may have been corrupted.";
    } catch (...) {
        return std::nullopt;
    }
}

bool DigestMatchesText(const DigestRecord& digest, const std::string& text) {
    try {
        return DigestRecordsEqual(digest, DigestRecordFromHex(text));
    } catch (const std::exception&) {
        return false;
    }
}

void RemoveStalePartials(const FileLocation& folder, TimeValue oldest) {
    for (DirectoryScan scan(folder, "_*"); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        if (entry.IsDirectory() || entry.GetLastWriteTime() >= oldest) continue;
        try {
            RemoveFile(entry.GetLocation());
        } catch (const std::exception&) {
        }
    }
}

}  // namespace

struct PostFilePlugIn::Upload {
    Upload(UploadQuery query, const FileLocation& temporaryFolder)
        : query(std::move(query)),
          partial(temporaryFolder.MakeChild((kPartialFilePrefix + this->query.Key()).c_str())) {}

    UploadQuery query;
    PartialUploadFile partial;
};

PostFilePlugIn::PostFilePlugIn(const PostFileOptionsManager& options, Event& stopEvent,
                               std::int64_t cleaningPeriod, HashSetMap::Clock hashClock)
    : HTTPPlugIn("PostFile", true),
      m_options(options),
      m_stopEvent(stopEvent),
      m_cleaningPeriod(cleaningPeriod),
      m_hashSets(std::move(hashClock)) {
    AddName("cgi-bin/vtdaruravidu/PostFile.exe");
    m_cleaner.Start([this, bufferTemporary = options.GetBufferTemporaryFolder(),
                     webTemporary = options.GetWebTemporaryFolder()] {
        CleanTemporaryFolders(bufferTemporary, webTemporary);
    });
}

PostFilePlugIn::~PostFilePlugIn() {
    m_closing.Set();
    m_cleaner.JoinAll();
}

void PostFilePlugIn::HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) {
    HTTPClientWriter writer(*interface);
    std::unique_ptr<Upload> upload;
    try {
        interface->SetTimeout(m_options.GetTimeout());
        const std::uint64_t held = RunWithMiniDumpGuard([&] { return HandleUpload(*interface, upload); });
        SendUploadResult(writer, held);
    } catch (...) {
        SendFailure(*interface, writer, upload.get());
    }
    // A range that was not taken (it started elsewhere, or failed) is still read to its end.
    DropRestOfBody(*interface);
}

std::uint64_t PostFilePlugIn::HandleUpload(HTTPPlugInInterface& interface, std::unique_ptr<Upload>& upload) {
    if (interface.Request().Method().View() != "POST")
        throw UploadRefused("this script only accepts POST operations");
    const URLInfo url{ConstData(std::string_view(interface.Request().URL()))};
    UploadQuery query = ParseUploadQuery(url.HasQuery() ? url.GetQuery().View() : std::string_view());
    if (query.IsWebUpload()) {
        upload = std::make_unique<Upload>(std::move(query), m_options.GetWebTemporaryFolder());
        return HandleWebUpload(interface, *upload);
    }
    upload = std::make_unique<Upload>(std::move(query), m_options.GetBufferTemporaryFolder());
    return HandleBufferedUpload(interface, *upload);
}

std::uint64_t PostFilePlugIn::HandleWebUpload(HTTPPlugInInterface& interface, Upload& upload) {
    const UploadQuery& query = upload.query;
    const bool finishing = query.guid && query.sha1;
    if (!query.guid || finishing) CheckHashAndSize(query);
    CreateDirectoryTree(m_options.GetUploadsFolder());
    CreateDirectoryTree(m_options.GetWebTemporaryFolder());
    const std::optional<UploadKeyClaims::Claim> claim = m_claims.TryClaim(upload.partial.Location().GetPathString());
    if (!claim) throw LockedHashSetInUse();
    if (finishing) return FinishUpload(upload);
    const std::uint64_t held = WriteChunk(interface, upload);
    if (!query.guid && held >= query.total) FinishUpload(upload);
    return held;
}

std::uint64_t PostFilePlugIn::HandleBufferedUpload(HTTPPlugInInterface& interface, Upload& upload) {
    CheckHashAndSize(upload.query);
    const FileLocation sha1Folder = m_options.GetSha1Folder();
    const FileLocation bufferTemporary = m_options.GetBufferTemporaryFolder();
    CreateDirectoryTree(m_options.GetBufferDirectory());
    CreateDirectoryTree(bufferTemporary);
    CreateDirectoryTree(sha1Folder);
    // Two chunks of one upload at once would both append at the same offset.
    const std::optional<UploadKeyClaims::Claim> claim = m_claims.TryClaim(upload.partial.Location().GetPathString());
    if (!claim) return upload.partial.Size();
    if (!upload.partial.Exists() &&
        m_bufferCounters.IsOverLimits(sha1Folder, bufferTemporary, m_options.GetBufferDirectoryMaxCount(),
                                      m_options.GetBufferDirectoryMaxSize()))
        throw UploadRefused("Overloaded buffer directory. Try again later.");
    return StoreBufferedChunk(interface, upload);
}

// A range is taken only at the partial file's end, so the hash covers every byte of the file once,
// in file order.
std::uint64_t PostFilePlugIn::WriteChunk(HTTPPlugInInterface& interface, Upload& upload) {
    const UploadQuery& query = upload.query;
    const std::uint64_t held = upload.partial.Size();
    if (query.start != held) return held;
    try {
        std::unique_ptr<LockedHashSet> hash;
        if (query.start == 0) {
            hash = m_hashSets.Create(query.Key());
            hash->Begin();
        } else {
            hash = m_hashSets.Lock(query.Key());
        }
        return upload.partial.Append(interface, query.ChunkLength(), hash.get());
    } catch (const GUIDNotInHashMap&) {
        // The hash of the bytes held is gone (the relay restarted): the client starts over.
        upload.partial.Remove();
        return 0;
    }
}

std::uint64_t PostFilePlugIn::FinishUpload(Upload& upload) {
    const UploadQuery& query = upload.query;
    const std::unique_ptr<LockedHashSet> hash = m_hashSets.Lock(query.Key());
    hash->End();
    if (!DigestMatchesText(hash->GetDigest(), *query.sha1)) throw HashMismatch();
    if (upload.partial.Size() != query.total) throw FileSizeMismatch();
    const FileLocation folder = m_options.GetUploadsFolder().MakeChild(query.sha1->c_str());
    CreateDirectoryIfMissing(folder);
    ReplacePath(upload.partial.Location(), folder.MakeChild(query.wwwname->c_str()));
    return query.total;
}

std::uint64_t PostFilePlugIn::StoreBufferedChunk(HTTPPlugInInterface& interface, Upload& upload) {
    const UploadQuery& query = upload.query;
    PartialUploadFile& partial = upload.partial;
    if (query.start == partial.Size()) partial.Append(interface, query.ChunkLength(), nullptr);
    const std::uint64_t held = partial.Size();
    if (held != query.total) return held;
    const std::string digest = DigestRecordToText(HashFile(partial.Location(), ContentHashDigest()));
    if (!Ascii::EqualIgnoringCase(std::string_view(digest), std::string_view(*query.sha1))) throw HashMismatch();
    if (UploadManager::Instance()) {
        ReplacePath(partial.Location(), m_options.GetSha1Folder().MakeChild(query.sha1->c_str()));
        return held;
    }
    // An upload that cannot be unpacked is of no use: kept, it would be answered as complete for
    // days while nothing came of it.
    try {
        UnpackBufferedUpload(partial.Location(), {.temporaryFolder = m_options.GetBufferTemporaryFolder(),
                                                  .sha1Folder = m_options.GetSha1Folder(),
                                                  .computerFolderCount = m_options.GetComputerFolderCount(),
                                                  .byteLimit = m_options.GetCompressedFileMaxSize()});
    } catch (...) {
        partial.Remove();
        throw;
    }
    partial.Remove();
    return held;
}

void PostFilePlugIn::SendUploadResult(ClientWriter& writer, std::uint64_t held) {
    const UploadResult result{.held = held,
                              .throttle = m_options.GetThrottleKBPS() / (1 + m_bufferCounters.GetUnderscoreCount()),
                              .chunkSize = m_options.GetChunkSize()};
    SendPlainTextResponseWithHeaders(writer, FormatUploadResultBody(result), FormatUploadResultHeaderLine(result),
                                     200, false, false);
}

void PostFilePlugIn::SendFailure(HTTPPlugInInterface& interface, ClientWriter& writer, const Upload* upload) {
    std::string text = CurrentExceptionText();
    if (std::optional<std::string> discarding = TextOfDiscardingFailure()) {
        text = std::move(*discarding);
        try {
            if (upload) upload->partial.Remove();
        } catch (const std::exception& error) {
            text += std::string("\r\n") + error.what();
        }
    }
    PlugInLogFunctor(interface, "PostFile: ").Log("\r\nError: " + text);
    try {
        if (!interface.Request().ReplyStarted()) SendPlainTextResponse(writer, text, 200, false, false);
    } catch (...) {
    }
}

void PostFilePlugIn::CleanTemporaryFolders(const FileLocation& bufferTemporary, const FileLocation& webTemporary) {
    while (!m_closing.WaitWithHandle(m_stopEvent.Descriptor(), m_cleaningPeriod)) {
        try {
            const TimeValue oldest = GetCurrentUTCTime() - GetCleanupInterval();
            RemoveStalePartials(bufferTemporary, oldest);
            RemoveStalePartials(webTemporary, oldest);
        } catch (const std::exception&) {
        }
    }
}
