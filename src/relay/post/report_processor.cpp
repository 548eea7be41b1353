#include "relay/post/report_processor.h"

#include <algorithm>
#include <string_view>

#include "crypto/encrypted_file.h"
#include "formats/compressed_file.h"
#include "formats/push_back_data_reader.h"
#include "formats/result_archive.h"
#include "foundation/timing_log.h"

namespace {

constexpr std::size_t kMarkerLength = 8;
constexpr std::string_view kEncryptedMarker("##SE001\0", 8);
constexpr std::string_view kArchiveSectionMarker("PRFILE:", 7);

// Up to the first 8 bytes of the stream, left unread.
std::string_view PeekMarker(PushBackDataReader& reader, Byte (&buffer)[kMarkerLength]) {
    OutputRange read(buffer, sizeof buffer);
    while (!read.IsFull() && reader.HasMore()) reader.ReadSome(read);
    const ConstData peeked(buffer, read.begin);
    reader.PushBack(peeked);
    return peeked.View();
}

bool StartsWith(std::string_view bytes, std::string_view marker) {
    return bytes.substr(0, marker.size()) == marker;
}

// One section of an archive, which must be read whole: a stream that ends inside it is a failure,
// not a shorter report.
class WholeSectionReader : public DataReader {
  public:
    explicit WholeSectionReader(DataReader& archive) : m_section(archive) {}

    bool AtEnd() override {
        if (m_section.Remaining() == 0) return true;
        if (m_section.AtEnd()) throw ArchiveSectionCutShort();
        return false;
    }
    void ReadSome(OutputRange& range) override {
        if (!AtEnd()) m_section.ReadSome(range);
    }

  private:
    ResultArchiveSectionReader m_section;
};

// Passes one report on to its storage, charging what it takes to the body's account first: the file
// when the report begins, then each chunk.
class ChargingReceiver : public DataReceiver, public DataWriter {
  public:
    ChargingReceiver(DataReceiver& target, std::uint64_t& stored, std::uint64_t limit)
        : m_target(target), m_stored(stored), m_limit(limit) {}

    void Begin() override {
        Charge(ReportLimits::kReportFileCost);
        m_target.Begin();
    }
    void Receive(const Byte* begin, const Byte* end) override {
        Charge(static_cast<std::uint64_t>(end - begin));
        m_target.Receive(begin, end);
    }
    using DataReceiver::Receive;
    void End() override { m_target.End(); }

  private:
    void Charge(std::uint64_t bytes) {
        if (bytes > m_limit - std::min(m_stored, m_limit)) throw ReportBytesOverLimit();
        m_stored += bytes;
    }

    DataReceiver& m_target;
    std::uint64_t& m_stored;
    std::uint64_t m_limit;
};

// What a reader still holds, read and dropped.
void ReadToEnd(DataReader& reader) {
    Byte buffer[4096];
    while (reader.HasMore()) {
        OutputRange free(buffer, sizeof buffer);
        reader.ReadSome(free);
    }
}

}  // namespace

ReportProcessor::ReportProcessor(ReportStorage& storage, const std::vector<CertificateAndKey>& keys,
                                 ReportLimits limits)
    : m_storage(storage), m_keys(keys), m_limits(limits) {}

void ReportProcessor::ProcessReport(DataReader& reader, unsigned depth) {
    if (depth > m_limits.mostNestedReports) throw ReportNestingTooDeep();
    PushBackDataReader stream(reader);
    Byte buffer[kMarkerLength];
    const std::string_view marker = PeekMarker(stream, buffer);
    if (marker.size() == kMarkerLength && marker == kEncryptedMarker) {
        ProcessEncryptedReport(stream, depth);
    } else if (marker.size() == kMarkerLength && marker == CompressedFileMarker().View()) {
        StoreForForwarding(stream);
    } else if (marker.size() == kMarkerLength && marker == UncompressedFileMarker().View()) {
        Byte header[kCompressedFileHeaderLength];
        stream.ReadInto(header, header + sizeof header);
        ProcessArchive(stream, depth);
    } else if (StartsWith(marker, kArchiveSectionMarker)) {
        ProcessArchive(stream, depth);
    } else {
        StoreInBuffer(stream);
    }
}

// A compressed stream inside the envelope ends where its zlib data ends: what follows up to the
// envelope's end is read too, so the envelope's closing is checked and the reader stands at the end.
void ReportProcessor::ProcessEncryptedReport(DataReader& reader, unsigned depth) {
    if (m_keys.empty()) {
        StoreForForwarding(reader);
        return;
    }
    TimingScope timing("ProcessEncryptedReport");
    EncryptedFileReader decrypted;
    ReadEncryptedFileHeader(decrypted, m_keys, reader);
    PushBackDataReader content(decrypted);
    Byte buffer[kMarkerLength];
    if (PeekMarker(content, buffer) == CompressedFileMarker().View()) {
        CompressedFileReader inflated;
        inflated.Open(content);
        ProcessReport(inflated, depth + 1);
        ReadToEnd(content);
    } else {
        ProcessReport(content, depth + 1);
    }
}

void ReportProcessor::ProcessArchive(DataReader& reader, unsigned depth) {
    while (reader.HasMore()) {
        WholeSectionReader section(reader);
        ProcessReport(section, depth + 1);
    }
}

void ReportProcessor::StoreForForwarding(DataReader& reader) {
    const std::unique_ptr<DataReceiver> report = m_storage.NewForwardingReport();
    Store(reader, *report);
}

void ReportProcessor::StoreInBuffer(DataReader& reader) {
    const std::unique_ptr<DataReceiver> report = m_storage.NewBufferReport();
    Store(reader, *report);
}

void ReportProcessor::Store(DataReader& reader, DataReceiver& report) {
    ChargingReceiver charged(report, m_storedBytes, m_limits.mostStoredBytes);
    PumpData(reader, charged);
}
