#include "relay/post/post_results_forwarder.h"

#include <algorithm>
#include <string_view>

#include "base/numerals.h"
#include "crypto/encrypted_file.h"
#include "formats/compressed_file.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_writer.h"
#include "foundation/log_manager.h"
#include "foundation/temporary_files.h"
#include "http/get_stop_functor.h"
#include "http/http_client.h"
#include "relay/service/parent_relay_configuration.h"

namespace {

constexpr const char* kLogPrefix = "PostResultsForwarder: ";
constexpr const char* kStatusHeader = "x-veltra-itclient-status:";

// The archive being written, watched for failures of its own: CollectFiles must tell a file that
// cannot be read (which is set aside) from an archive that cannot be written (a full disk, which
// leaves every file in place).
class WatchedArchive : public ResultArchiveReceiver {
  public:
    explicit WatchedArchive(ResultArchiveReceiver& archive) : m_archive(archive), m_section(*this) {}

    DataReceiver& Section(std::uint64_t length) override {
        Watch([&] { m_section.target = &m_archive.Section(length); });
        return m_section;
    }
    bool Failed() const { return m_failed; }

  private:
    class WatchedSection : public DataReceiver, public DataWriter {
      public:
        explicit WatchedSection(WatchedArchive& owner) : m_owner(owner) {}
        void Begin() override {
            m_owner.Watch([&] { target->Begin(); });
        }
        void Receive(const Byte* begin, const Byte* end) override {
            m_owner.Watch([&] { target->Receive(begin, end); });
        }
        using DataReceiver::Receive;
        void End() override {
            m_owner.Watch([&] { target->End(); });
        }

        DataReceiver* target = nullptr;

      private:
        WatchedArchive& m_owner;
    };

    template <class Step>
    void Watch(Step step) {
        try {
            step();
        } catch (...) {
            m_failed = true;
            throw;
        }
    }

    ResultArchiveReceiver& m_archive;
    WatchedSection m_section;
    bool m_failed = false;
};

// The files of a directory (not its folders), by name: the numbered names sort in the order they
// were given.
std::vector<DirectoryEntry> FilesInNameOrder(const FileLocation& directory) {
    std::vector<DirectoryEntry> files;
    for (DirectoryScan scan(directory); scan.IsValid(); scan.Next())
        if (!scan.Current().IsDirectory()) files.push_back(scan.Current());
    std::sort(files.begin(), files.end(), [](const DirectoryEntry& a, const DirectoryEntry& b) {
        return a.GetLocation().GetConstData().View() < b.GetLocation().GetConstData().View();
    });
    return files;
}

std::uint64_t BytesOfFiles(const FileLocation& directory) {
    std::uint64_t bytes = 0;
    for (DirectoryScan scan(directory); scan.IsValid(); scan.Next()) bytes += scan.Current().GetSize();
    return bytes;
}

std::string_view WithoutTrailingBlanks(std::string_view text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
    return text;
}

}  // namespace

PostResultsForwarder::PostResultsForwarder(PostResultsFileLocations& locations,
                                           PostResultsForwardingSettings& settings, Event& stopEvent,
                                           Guarded<bool>& forwardingFailed)
    : m_locations(locations),
      m_settings(settings),
      m_stopEvent(stopEvent),
      m_interruptor(stopEvent),
      m_forwardingFailed(forwardingFailed) {}

void PostResultsForwarder::Run() {
    try {
        ForwardLoop();
    } catch (...) {
    }
}

std::int64_t PostResultsForwarder::RegularWait() {
    return std::max(m_settings.GetResultTimeLimit(), kShortestWait);
}

// A "ResultTimeLimit" of 0 would make the loop spin, idle or against a dead parent: every wait is at
// least kShortestWait, and a back-off starts from there.
void PostResultsForwarder::ForwardLoop() {
    std::int64_t wait = RegularWait();
    while (!m_stopEvent.Wait(0)) {
        try {
            CompactBufferDirectory();
            SendForwardingBatch();
            SetForwardingFailed(false);
            wait = RegularWait();
        } catch (const StopRequest&) {
            return;
        } catch (const PostFailed& error) {
            KVR_LOG("critical") << kLogPrefix << error.what();
            SetForwardingFailed(true);
            wait = std::min(2 * wait, kLongestBackOff);
        } catch (...) {
            KVR_LOG("critical") << kLogPrefix << CurrentExceptionText();
            SetForwardingFailed(true);
        }
        m_stopEvent.Wait(wait);
    }
}

// A power cut must not lose reports: ReplaceTo puts the archive's data on the disk before it takes its
// name, and the reports are deleted only after that.
void PostResultsForwarder::CompactBufferDirectory() {
    for (;;) {
        TemporaryFile archiveFile(m_locations.GetTemporaryDirectory());
        FileDataSink file(archiveFile.GetPath(), 0, false);
        CompressedFileWriter compressed(file, archiveFile.GetLocation());
        ResultArchiveWriter archive(compressed);
        bool reachedEnd = false;
        const std::vector<FileLocation> reports =
            CollectFiles(m_locations.GetBufferDirectory(), archive, &reachedEnd);
        if (reports.empty()) return;
        archiveFile.ReplaceTo(m_locations.GetNextForwardingFile());
        for (const FileLocation& report : reports) RemoveFile(report);
        if (reachedEnd) return;
    }
}

void PostResultsForwarder::SendForwardingBatch() {
    TemporaryFile batchFile(m_locations.GetTemporaryDirectory());
    const X509Holder certificate = m_settings.GetEncryptionCertificate();
    FileDataSink file(batchFile.GetPath(), 0, false);
    EncryptedFileWriter encrypted;
    UncompressedFileWriter stored(batchFile.GetLocation());
    DataReceiver* wrapper = &stored;
    if (certificate) {
        encrypted.SetRecipient(file, certificate.Get(), m_settings.GetEnvelopeCipher());
        wrapper = &encrypted;
    }
    ResultArchiveWriter archive(*wrapper);
    const std::vector<FileLocation> files =
        CollectFiles(m_locations.GetForwardingBufferDirectory(), archive, nullptr);
    if (files.empty()) return;
    if (!PostToParent(batchFile.GetLocation())) {
        RejectFiles(files);
        throw ForwardedResultsRejected();
    }
    for (const FileLocation& sent : files) RemoveFile(sent);
}

std::vector<FileLocation> PostResultsForwarder::CollectFiles(const FileLocation& directory,
                                                             ResultArchiveReceiver& archive,
                                                             bool* reachedEnd) {
    archive.Begin();
    const std::uint64_t limit = m_settings.GetResultSizeLimit();
    std::uint64_t total = 0;
    std::vector<FileLocation> taken;
    bool exhausted = true;
    WatchedArchive watched(archive);
    for (const DirectoryEntry& entry : FilesInNameOrder(directory)) {
        m_interruptor.CheckForInterruption();
        if (total >= limit) {
            exhausted = false;
            break;
        }
        try {
            ReadFileInto(watched, entry.GetLocation());
        } catch (...) {
            if (!watched.Failed()) {
                KVR_LOG("critical") << kLogPrefix << "Unable to read " << entry.GetLocation().GetPathString()
                                    << ": " << CurrentExceptionText() << "; moving it to RejectedDir";
                RejectFiles({entry.GetLocation()});
            }
            throw;
        }
        taken.push_back(entry.GetLocation());
        total += entry.GetSize();
    }
    if (exhausted && reachedEnd) *reachedEnd = true;
    archive.End();
    return taken;
}

// A stop ends the transfer through its stop functor; it then ends the loop like any other stop.
bool PostResultsForwarder::PostToParent(const FileLocation& file) {
    HTTPClientSession session = ParentRelayConfiguration().MakeHTTPClientSession();
    EventStopFunctor stop(m_stopEvent);
    std::string statusValue;
    int status = 0;
    const int result =
        TransferHTTP(m_settings.GetParentRelayURL(), file, FileLocation(), kStatusHeader, &statusValue,
                     status, static_cast<std::uint64_t>(m_settings.GetPostTimeout()), stop, session);
    if (result == TransferResult::kStopped && m_stopEvent.Wait(0)) throw StopRequest();
    const std::string_view value = WithoutTrailingBlanks(statusValue);
    if (result != TransferResult::kSuccess || status != 200 || value.empty()) {
        KVR_LOG("debug") << kLogPrefix << "transfer result " << result << ", HTTP status " << status
                         << ", x-veltra-itclient-status \"" << value << "\"";
        throw PostFailed();
    }
    return DecimalToUInt32OrDefault(ConstData(value), 0) == 1;
}

// A file that cannot be set aside stays where it was, logged.
void PostResultsForwarder::RejectFiles(const std::vector<FileLocation>& files) {
    const FileLocation rejected = m_locations.GetRejectedDirectory();
    unsigned deleted = 0;
    std::uint64_t held = 0;
    try {
        CreateDirectoryTree(rejected);
        held = BytesOfFiles(rejected);
    } catch (...) {
        KVR_LOG("critical") << kLogPrefix << "Unable to use RejectedDir: " << CurrentExceptionText();
        return;
    }
    for (const FileLocation& file : files) {
        try {
            const std::uint64_t size = FileItem(file).GetSize();
            if (held + size <= kMostRejectedBytes) {
                MovePath(file, FileLocation(rejected, file.GetName()));
                held += size;
            } else {
                RemoveFile(file);
                ++deleted;
            }
        } catch (...) {
            KVR_LOG("critical") << kLogPrefix << "Unable to set " << file.GetPathString()
                                << " aside: " << CurrentExceptionText();
        }
    }
    if (deleted != 0)
        KVR_LOG("critical") << kLogPrefix << "RejectedDir holds " << kMostRejectedBytes << " bytes: deleted "
                            << deleted << " rejected files";
}
