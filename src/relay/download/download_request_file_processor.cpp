#include "relay/download/download_request_file_processor.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "base/numerals.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "foundation/sqlite_transaction.h"
#include "relay/download/cached_targets.h"
#include "relay/download/completed_download.h"
#include "relay/download/download_action_folder.h"

namespace {

constexpr const char* kSetAsidePrefix = "failed_";

FileLocation MadeFolder(const FileLocation& folder) {
    CreateDirectoryTree(folder);
    return folder;
}

std::optional<std::uint32_t> DecimalName(std::string_view text) {
    std::uint32_t value = 0;
    if (ParseDecimalUInt32(ConstData(text), value) != NumeralStatus::Success) return std::nullopt;
    return value;
}

// Inside a handler: whether the exception in flight says that a request file does not read, as
// opposed to a failure of the file system or the store.
bool IsUnreadableRequestFile() {
    try {
        throw;
    } catch (const InvalidDownloadRequestFile&) {
        return true;
    } catch (const NotANumeral&) {
        return true;
    } catch (const NumeralTooLarge&) {
        return true;
    } catch (const NotADownloadRequestTarget&) {
        return true;
    } catch (...) {
        return false;
    }
}

// The newest last-write time of a folder and the entries directly inside it: a producer still filling
// the folder changes one of them.
TimeValue NewestWriteTime(const DirectoryEntry& folder) {
    TimeValue newest = folder.GetLastWriteTime();
    for (DirectoryScan scan(folder.GetLocation()); scan.IsValid(); scan.Next())
        newest = std::max(newest, scan.Current().GetLastWriteTime());
    return newest;
}

// Unchanged for the settle time. A time ahead of the clock by more than that (a copy keeping a skewed
// machine's time) counts as settled too, so that it is not left waiting until the clock catches up.
bool HasSettled(TimeValue lastWrite) {
    return std::llabs(GetCurrentUTCTime() - lastWrite) >= DownloadRequestFileProcessor::kSettleTime;
}

// Renames the entry "failed_" + its name, replacing an earlier one of that name.
void SetAside(const FileLocation& entry, const std::string& reason) {
    const FileLocation setAside(entry.GetParent(),
                                ConcatenateTextAndFileName(kSetAsidePrefix, entry.GetName()));
    const FileAttributes earlier(setAside);
    if (earlier.IsRealDirectory())
        RemoveDirectoryTree(setAside);
    else if (earlier.Exists())
        RemoveFile(setAside);
    MovePath(entry, setAside);
    KVR_LOG("critical") << "DownloadRequestFileProcessor: " << entry.GetPathString() << " does not read ("
                        << reason << "); renamed to " << setAside.GetPathString();
}

void DeleteIgnoringErrors(const FileLocation& file) {
    try {
        RemoveFileOrEmptyDirectory(file);
    } catch (const std::exception&) {
    }
}

}  // namespace

DownloadRequestFileProcessor::DownloadRequestFileProcessor(const DownloadSettingsProvider& settings,
                                                           const FileLocation& inboxFolder, Event& stopEvent,
                                                           Clock monotonicClock)
    : m_settings(settings),
      m_inboxFolder(MadeFolder(inboxFolder)),
      m_downloadsFolder(MadeFolder(settings.GetDownloadsFolder())),
      m_sha1Cache(settings.GetSha1Folder()),
      m_actionURLsCache(settings.GetActionURLsFolder()),
      m_state(settings),
      m_stopEvent(stopEvent),
      m_clock(std::move(monotonicClock)),
      m_inboxChanges(m_inboxFolder),
      m_downloadsChanges(m_downloadsFolder),
      m_lastLook(m_clock()) {}

void DownloadRequestFileProcessor::RunPass() {
    if (ShouldLook()) m_moreWork = true;
    if (!m_moreWork) return;
    m_passStart = m_lastLook = m_clock();
    m_moreWork = false;
    const bool foldersHadWork = ProcessActionFolders();
    m_moreWork = foldersHadWork;
    if (!foldersHadWork || !TimeIsUp()) m_moreWork = ProcessInbox() || m_moreWork;
}

bool DownloadRequestFileProcessor::TimeIsUp() const {
    return m_clock() - m_passStart > kPassTimeBudget || m_stopEvent.IsSetWithoutWaiting();
}

// Both watches are polled every time, so that each is re-armed.
bool DownloadRequestFileProcessor::ShouldLook() {
    const bool inboxChanged = m_inboxChanges.Poll();
    const bool downloadsChanged = m_downloadsChanges.Poll();
    return inboxChanged || downloadsChanged || m_clock() - m_lastLook >= kLookAgainInterval;
}

// True when some action folder was processed or is still settling.
bool DownloadRequestFileProcessor::ProcessActionFolders() {
    bool hadWork = false;
    for (DirectoryScan scan(m_downloadsFolder); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        const std::optional<std::uint32_t> actionID = DecimalName(entry.GetFileName().ToString());
        if (!entry.IsDirectory() || !actionID) continue;
        hadWork = true;
        if (HasSettled(NewestWriteTime(entry))) ProcessActionFolder(entry.GetLocation(), *actionID);
        if (TimeIsUp()) break;
    }
    return hadWork;
}

void DownloadRequestFileProcessor::ProcessActionFolder(const FileLocation& folder, std::uint32_t actionID) {
    const FileName requestFileName = m_settings.GetDownloadRequestFileName(actionID);
    const FileLocation requestFile(folder, requestFileName);
    if (!FileAttributes(requestFile).Exists()) return SetAside(folder, "no download request file");
    const std::optional<DownloadRequestFile> request = ReadOrSetAside(requestFile, actionID, folder);
    if (!request) return;

    const ActionFolderStatus status = ReadActionFolderStatus(folder);
    const std::string failure =
        status == ActionFolderStatus::Succeeded ? std::string() : ReadLastFailure(folder);
    for (const DownloadRequestTarget& target : request->targets) {
        try {
            if (status == ActionFolderStatus::Succeeded) {
                RecordFolderDownload(target, folder);
            } else {
                m_state.SetFailed(target, DownloadError{DownloadErrorKind::Generic, failure});
                if (status == ActionFolderStatus::Failed) m_state.DisableRetries(target);
            }
        } catch (const std::exception&) {
            m_state.SetFailed(target, DownloadError{DownloadErrorKind::Generic, std::string()});
        }
    }
    m_state.SetCompletedFromAnyState(DownloadRequestTarget::URLRequest(actionID));
    m_actionURLsCache.MoveIn(requestFile, requestFileName);
    RemoveDirectoryTree(folder);
}

// A download of a folder that succeeded: its file into the sha1 folder and its row COMPLETED, or the
// file deleted and the row FAILED when it is missing or not what its name and the request say.
void DownloadRequestFileProcessor::RecordFolderDownload(const DownloadRequestTarget& target,
                                                        const FileLocation& folder) {
    const std::uint32_t actionID = *target.GetActionID();
    const std::uint32_t index = *target.GetIndex();
    const auto fail = [&](const std::string& message) {
        m_state.SetFailed(target, DownloadError{DownloadErrorKind::Generic, message});
    };
    const std::optional<DownloadedFile> file = FindDownloadedFile(folder, index);
    if (!file) return fail("The downloaded file of index " + std::to_string(index) + " is missing");
    const std::string name = file->location.GetName().ToString();
    if (!file->nameSha1) {
        DeleteIgnoringErrors(file->location);
        return fail("The file name " + name + " holds no SHA1");
    }
    DownloadedFileFacts facts;
    try {
        facts = VerifyDownloadedFile(file->location, target.GetSha1(), target.GetSize());
    } catch (const DownloadSHA1Failure& mismatch) {
        return fail(mismatch.what());
    } catch (const DownloadSizeFailure& mismatch) {
        return fail(mismatch.what());
    }
    if (!DigestRecordsEqual(*file->nameSha1, facts.sha1)) {
        DeleteIgnoringErrors(file->location);
        return fail("File name SHA1 " + file->nameSha1->ToHex() + " does not match actual SHA1 " +
                    facts.sha1.ToHex());
    }
    m_sha1Cache.MoveIn(file->location, DirectoryCache::NameForSHA1(facts.sha1));
    SQLite::WriteTransaction transaction = m_state.BeginWriteTransaction();
    m_state.SetCompletedFromAnyState(target);
    m_state.SetSHA1(actionID, index, facts.sha1);
    m_state.SetSize(actionID, index, facts.size);
    transaction.Commit();
}

// True when some inbox file was processed or is still settling.
bool DownloadRequestFileProcessor::ProcessInbox() {
    bool hadWork = false;
    for (DirectoryScan scan(m_inboxFolder, "dl_*"); scan.IsValid(); scan.Next()) {
        const DirectoryEntry& entry = scan.Current();
        if (entry.IsDirectory()) continue;
        const std::string name = entry.GetFileName().ToString();
        const std::optional<std::uint32_t> actionID =
            DecimalName(std::string_view(name).substr(name.find('_') + 1));
        if (!actionID) continue;
        hadWork = true;
        if (HasSettled(entry.GetLastWriteTime())) ProcessInboxFile(entry.GetLocation(), *actionID);
        if (TimeIsUp()) break;
    }
    return hadWork;
}

// The store is brought up to date before the file moves into the cache: should the move fail, the file
// is still in the inbox and the next pass does it all again.
void DownloadRequestFileProcessor::ProcessInboxFile(const FileLocation& file, std::uint32_t actionID) {
    const DownloadRequestTarget urlRequest = DownloadRequestTarget::URLRequest(actionID);
    if (!IsTargetCached(urlRequest, m_settings, m_state)) {
        const std::optional<DownloadRequestFile> request = ReadOrSetAside(file, actionID, file);
        if (!request) return;
        SQLite::WriteTransaction transaction = m_state.BeginWriteTransaction();
        m_state.ReplaceIndexedDownloads(actionID, request->targets);
        m_state.SetCompletedFromAnyState(urlRequest);
        transaction.Commit();
        m_actionURLsCache.MoveIn(file, m_settings.GetDownloadRequestFileName(actionID));
    }
    DeleteIgnoringErrors(file);
}

// The request file, or none after `entry` (the file itself, or its action folder) was set aside
// because the file does not read.
std::optional<DownloadRequestFile> DownloadRequestFileProcessor::ReadOrSetAside(
    const FileLocation& requestFile, std::uint32_t actionID, const FileLocation& entry) {
    try {
        return ReadDownloadRequestFileOfAction(requestFile, actionID);
    } catch (const std::exception& error) {
        if (!IsUnreadableRequestFile()) throw;
        SetAside(entry, error.what());
        return std::nullopt;
    }
}
