#include "relay/post/upload_manager.h"

#include <algorithm>
#include <array>
#include <utility>

#include "base/file_errors.h"
#include "base/time_value.h"
#include "formats/url_codec.h"
#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_reader.h"
#include "foundation/log_manager.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"
#include "http/http_client.h"
#include "platform/file_paths.h"

namespace {

// The process's one manager, for the post-file plug-in to ask whether it runs.
std::atomic<UploadManager*> g_instance{nullptr};

constexpr const char* kSha1Folder = "sha1";
constexpr std::size_t kCopyPieceBytes = 64 * 1024;
constexpr std::int64_t kMicrosecondsPerMillisecond = 1'000;

std::int64_t Bounded(std::int64_t delay, std::int64_t shortest, std::int64_t longest) {
    return std::clamp(delay, shortest, longest);
}

// The response body of a refused range, when it is short enough to quote.
std::string QuotableBody(const FileLocation& response) {
    FileItem item;
    if (!item.Lookup(response) || item.GetSize() > UploadManager::kLongestQuotedBody) return {};
    std::string body = ReadFileText(response);
    body.erase(body.find_last_not_of(" \t\r\n") + 1);
    return body;
}

std::string DefectText(UploadResultDefect defect, const FileLocation& response) {
    switch (defect) {
        case UploadResultDefect::NotSuccess: {
            const std::string body = QuotableBody(response);
            return "Error: invalid or missing result header in server response" + (body.empty() ? "" : ": " + body);
        }
        case UploadResultDefect::NoFirstComma:
            return "Error: invalid result header in server response (first comma not found)";
        case UploadResultDefect::NoSecondComma:
            return "Error: invalid result header in server response (second comma not found)";
        case UploadResultDefect::NotANumber:
            break;
    }
    return "Error: invalid result header in server response (not a number)";
}

// The bytes [first, first + length) of the file into a new request file, breaking off on a stop or
// pause request.
void CopyRange(const BackgroundWorker& worker, const FileLocation& from, std::uint64_t first, std::uint64_t length,
               const FileLocation& to) {
    const PosixPlatform::FileReadingPath source(from);
    PosixPlatform::FileWritingPath target(to);
    std::array<Byte, kCopyPieceBytes> buffer;
    std::uint64_t written = 0;
    for (FileReadingLoop loop(OutputRange(buffer.data(), buffer.size()), source, first, first + length);
         loop.HasChunk(); loop.Advance()) {
        if (worker.IsInterruptRequested()) throw InterruptWorkException();
        target.WriteAt(written, loop.Chunk().begin, loop.Chunk().end);
        written += loop.Chunk().Length();
    }
}

}  // namespace

std::string BuildRangeURL(const std::string& parentURL, const std::string& parentHost, const std::string& name,
                          std::uint64_t first, std::uint64_t last, std::uint64_t size) {
    const bool isFullURL = parentURL.compare(0, 4, "http") == 0;
    return (isFullURL ? "" : parentHost) + parentURL + "?sha1=" +
           URLEncodeText(ConstData(std::string_view(name)), URLSafeCharacters()) + "&range=" + std::to_string(first) +
           "," + std::to_string(last) + "," + std::to_string(size);
}

UploadManager::UploadManager(bool initiallyPaused, FileLocation temporaryDirectory)
    : BackgroundWorker("UploadManager", initiallyPaused),
      m_temporaryDirectory(std::move(temporaryDirectory)),
      m_previous(g_instance.load()) {
    *LockObject(m_status) = "No Progress";
    g_instance = this;
    StartWorker();
}

UploadManager::~UploadManager() {
    m_wake.Set();
    StopAndJoin();
    UploadManager* self = this;
    g_instance.compare_exchange_strong(self, m_previous);
}

UploadManager* UploadManager::Instance() {
    return g_instance.load();
}

bool UploadManager::Stop(unsigned seconds) {
    m_wake.Set();
    return BackgroundWorker::Stop(seconds);
}

bool UploadManager::Pause(unsigned seconds) {
    m_wake.Set();
    return BackgroundWorker::Pause(seconds);
}

void UploadManager::SetParentRelayHost(std::string host) {
    *LockObject(m_parentHost) = std::move(host);
}

void UploadManager::SetClientSession(HTTPClientSession session) {
    m_session = std::move(session);
}

void UploadManager::ChangeParentRelayHost(const std::string& host) {
    Pause(kParentChangeSeconds);
    SetParentRelayHost(host);
    Resume(kParentChangeSeconds);
}

std::string UploadManager::GetStatusText() {
    return *LockObject(m_status);
}

void UploadManager::SetStatus(std::string text) {
    *LockObject(m_status) = std::move(text);
}

std::int64_t UploadManager::DoWork() {
    const std::string parentHost = *LockObject(m_parentHost);
    if (parentHost.empty()) return kIdleDelay;
    const UploadManagerSettings settings = UploadManagerSettings::Read();
    if (m_index < m_files.size()) return UploadNextRange(settings, parentHost);
    return Rescan(settings);
}

std::int64_t UploadManager::Rescan(const UploadManagerSettings& settings) {
    m_files.clear();
    m_index = 0;
    m_offset = 0;
    try {
        if (!WaitForWork(settings)) return kShortestListingDelay;
        const std::int64_t started = GetMonotonicTime();
        ListFiles(settings);
        const std::int64_t took = (GetMonotonicTime() - started) / kMicrosecondsPerMillisecond;
        return Bounded(100 * took, kShortestListingDelay, kLongestDelay);
    } catch (const InterruptWorkException&) {
        m_files.clear();
        throw;
    } catch (const std::exception& error) {
        m_files.clear();
        m_sha1Watch.reset();
        SetStatus(std::string("Error: ") + error.what());
        KVR_LOG("critical") << "UploadManager: listing the buffer failed: " << error.what();
        return kLongestRetryDelay;
    }
}

// The watch is made before the first listing, so nothing that arrives meanwhile goes unnoticed. A pass
// that left failed files lists again at once: they are tried again after their retry delay, not only
// when something new arrives.
bool UploadManager::WaitForWork(const UploadManagerSettings& settings) {
    const FileLocation sha1Folder = settings.bufferDirectory.MakeChild(kSha1Folder);
    if (!m_sha1Watch || m_watchedFolder != sha1Folder) {
        m_sha1Watch.reset();
        CreateDirectoryTree(sha1Folder);
        m_sha1Watch.emplace(sha1Folder);
        m_watchedFolder = sha1Folder;
        return true;
    }
    if (std::exchange(m_passFailed, false)) return true;
    CheckForInterruption();
    const bool ready = m_wake.WaitWithHandle(m_sha1Watch->Descriptor(), settings.cleanupInterval);
    if (m_wake.Wait(0)) {
        m_wake.Reset();
        return false;
    }
    if (!ready) return true;
    if (FileAttributes(sha1Folder).IsDirectory()) {
        m_sha1Watch->Poll();
    } else {
        m_sha1Watch.reset();
    }
    return true;
}

void UploadManager::ListFiles(const UploadManagerSettings& settings) {
    const TimeValue now = GetCurrentUTCTime();
    for (DirectoryScan scan(settings.bufferDirectory.MakeChild(kSha1Folder)); scan.IsValid(); scan.Next()) {
        CheckForInterruption();
        const DirectoryEntry& entry = scan.Current();
        if (entry.IsDirectory()) continue;
        if (entry.GetFileName().StartsWith("_", false)) {
            if (now - entry.GetLastWriteTime() <= settings.cleanupInterval) continue;
            try {
                RemoveFile(entry.GetLocation());
            } catch (const std::exception&) {
            }
            continue;
        }
        // The parent refuses an empty upload for ever; it is never sent.
        if (entry.GetSize() == 0) continue;
        m_files.push_back(entry);
    }
    std::stable_sort(m_files.begin(), m_files.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        return a.GetLastWriteTime() < b.GetLastWriteTime();
    });
}

std::int64_t UploadManager::UploadNextRange(const UploadManagerSettings& settings, const std::string& parentHost) {
    const DirectoryEntry& file = m_files[m_index];
    const std::string name = file.GetFileName().ToString();
    std::variant<UploadResult, std::string> outcome;
    std::uint64_t size = 0;
    try {
        FileItem item;
        if (!item.Lookup(file.GetLocation())) return TakeFailure("Error: " + name + ": the file is gone");
        size = item.GetSize();
        if (size == 0) return TakeFailure("Error: " + name + ": the file is empty");
        outcome = SendRange(settings, parentHost, file, size);
    } catch (const InterruptWorkException&) {
        throw;
    } catch (...) {
        outcome = "Error: " + name + ": " + CurrentExceptionText();
    }
    if (const UploadResult* result = std::get_if<UploadResult>(&outcome))
        return TakeResult(settings, name, size, *result);
    return TakeFailure(std::get<std::string>(std::move(outcome)));
}

std::variant<UploadResult, std::string> UploadManager::SendRange(const UploadManagerSettings& settings,
                                                                 const std::string& parentHost,
                                                                 const DirectoryEntry& file, std::uint64_t size) {
    if (m_offset == 0) {
        m_transferTime.Reset();
        m_transferTime.Start();
        m_bytesSent = 0;
    }
    std::uint64_t length = m_offset == 0 ? kFirstRangeBytes : settings.chunkSize;
    if (m_chunkHint != 0 && m_chunkHint < length) length = m_chunkHint;
    length = std::min(length, size - m_offset);

    const TemporaryFileLocation request = NewTransferFile();
    CopyRange(*this, file.GetLocation(), m_offset, length, request.GetLocation());
    m_bytesSent += length;
    const TemporaryFileLocation response = NewTransferFile();
    const std::string name = file.GetFileName().ToString();
    const std::string url = BuildRangeURL(settings.parentURL, parentHost, name, m_offset, m_offset + length - 1, size);
    UploadStopFunctor stop(*this);
    std::string resultHeader;
    int status = 0;
    const int code = TransferHTTP(url, request.GetLocation(), response.GetLocation(), kUploadResultHeader, &resultHeader,
                                  status, kTransferTimeOut, stop, m_session);
    // A transfer broken off by a stop or pause is no failure of the range.
    CheckForInterruption();
    if (code != TransferResult::kSuccess) return "Error: PostHttp function returned error code " + std::to_string(code);
    if (status != 200) return "Error: PostHttp function returned HTTP status code " + std::to_string(status);
    const auto parsed = ParseUploadResult(resultHeader);
    if (const UploadResultDefect* defect = std::get_if<UploadResultDefect>(&parsed))
        return DefectText(*defect, response.GetLocation());
    const UploadResult& result = std::get<UploadResult>(parsed);
    if (result.held > size)
        return "Error: the parent answered " + std::to_string(result.held) + " of " + std::to_string(size) +
               " bytes for " + name;
    return result;
}

TemporaryFileLocation UploadManager::NewTransferFile() const {
    return m_temporaryDirectory.IsEmpty() ? TemporaryFileLocation() : TemporaryFileLocation(m_temporaryDirectory);
}

std::int64_t UploadManager::TakeResult(const UploadManagerSettings& settings, const std::string& name,
                                       std::uint64_t size, const UploadResult& result) {
    m_offset = result.held;
    m_parentThrottle = result.throttle;
    m_chunkHint = result.chunkSize;
    SetStatus(name + ": " + std::to_string(m_offset) + " of " + std::to_string(size) + " bytes in " +
              std::to_string(m_transferTime.GetElapsed() / kMicrosecondsPerSecond) + " seconds");
    if (m_offset == size) {
        try {
            RemoveFile(m_files[m_index].GetLocation());
        } catch (const std::exception& error) {
            KVR_LOG("critical") << "UploadManager: " << name << " reached the parent but stays: " << error.what();
        }
        ++m_index;
        m_offset = 0;
    }
    if (result.held != kFirstRangeBytes) m_retryDelay = 0;
    return Bounded(PacingDelay(settings), kShortestDelay, kLongestDelay);
}

// The failed file stays for the next listing; the files after it are not kept waiting.
std::int64_t UploadManager::TakeFailure(std::string status) {
    KVR_LOG("critical") << "UploadManager: " << status;
    SetStatus(std::move(status));
    m_offset = 0;
    m_retryDelay = Bounded(2 * m_retryDelay, kShortestRetryDelay, kLongestRetryDelay);
    ++m_index;
    m_passFailed = true;
    return Bounded(m_retryDelay, kShortestDelay, kLongestDelay);
}

// The time the bytes sent since the file began should have taken at the rate, less the time they did.
std::int64_t UploadManager::PacingDelay(const UploadManagerSettings& settings) const {
    const std::uint64_t local = settings.throttleBytesPerSecond;
    const std::uint64_t rate = m_parentThrottle == 0 ? local : std::min(local, m_parentThrottle);
    if (rate == 0) return 0;
    const std::uint64_t due = m_bytesSent * 1000 / rate * kMicrosecondsPerMillisecond;
    const std::uint64_t elapsed = m_transferTime.GetElapsed();
    return elapsed < due ? static_cast<std::int64_t>((due - elapsed) / kMicrosecondsPerMillisecond) : 0;
}
