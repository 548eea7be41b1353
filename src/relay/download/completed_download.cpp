#include "relay/download/completed_download.h"

#include <string>

#include "crypto/openssl_hash.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "relay/download/directory_cache.h"
#include "relay/download/download_request_file.h"

namespace {

void DeleteIgnoringErrors(const FileLocation& file) {
    try {
        RemoveFileOrEmptyDirectory(file);
    } catch (const std::exception&) {
    }
}

}  // namespace

DownloadSHA1Failure::DownloadSHA1Failure(const DigestRecord& expected, const DigestRecord& actual)
    : ExceptionPL("Requested SHA1 " + expected.ToHex() + " does not match actual SHA1 " + actual.ToHex()) {}

DownloadSizeFailure::DownloadSizeFailure(std::uint64_t expected, std::uint64_t actual)
    : ExceptionPL("Requested size " + std::to_string(expected) + " does not match actual size " +
                  std::to_string(actual)) {}

DownloadedFileFacts VerifyDownloadedFile(const FileLocation& file,
                                         const std::optional<DigestRecord>& expectedSha1,
                                         std::optional<std::uint64_t> expectedSize) {
    DownloadedFileFacts facts{HashFile(file, ContentHashDigest()), FileItem(file).GetSize()};
    if (expectedSha1 && !DigestRecordsEqual(*expectedSha1, facts.sha1)) {
        DeleteIgnoringErrors(file);
        throw DownloadSHA1Failure(*expectedSha1, facts.sha1);
    }
    if (expectedSize && *expectedSize != facts.size) {
        DeleteIgnoringErrors(file);
        throw DownloadSizeFailure(*expectedSize, facts.size);
    }
    return facts;
}

void StoreCompletedDownload(const DownloadRequestTarget& target, const FileLocation& file,
                            const DownloadSettingsProvider& settings, DownloadState& state) {
    const std::uint32_t actionID = *target.GetActionID();
    if (target.IsURLRequest()) {
        try {
            ReadDownloadRequestFileOfAction(file, actionID);
        } catch (...) {
            DeleteIgnoringErrors(file);
            throw;
        }
        DirectoryCache(settings.GetActionURLsFolder())
            .MoveIn(file, settings.GetDownloadRequestFileName(actionID));
        return;
    }
    std::optional<DigestRecord> expectedSha1 = target.GetSha1();
    std::optional<std::uint64_t> expectedSize = target.GetSize();
    if (target.IsIndexed()) {
        expectedSha1 = state.GetSHA1(actionID, *target.GetIndex());
        expectedSize = state.GetSize(actionID, *target.GetIndex());
    }
    const DownloadedFileFacts facts = VerifyDownloadedFile(file, expectedSha1, expectedSize);
    if (target.IsIndexed()) {
        state.SetSHA1(actionID, *target.GetIndex(), facts.sha1);
        state.SetSize(actionID, *target.GetIndex(), facts.size);
    }
    DirectoryCache(settings.GetSha1Folder()).MoveIn(file, DirectoryCache::NameForSHA1(facts.sha1));
}
