// ReportProcessor: takes one posted body apart into the reports it carries and leaves each report
// with a ReportStorage. A body is one report, or wraps others; the first 8 bytes decide:
//
//   "##SE001" 0    encrypted (crypto/encrypted_file.h): with keys, decrypted with the one that fits and
//                  taken apart again (a decrypted "##SC001" stream is inflated first); without keys,
//                  kept for forwarding unchanged, since the parent may hold the key
//   "##SC001" 0    compressed (formats/compressed_file.h): kept for forwarding unchanged
//   "##SN001" 0    stored: its 12-byte header is dropped (the checksum is not compared) and the rest
//                  is a result archive
//   "PRFILE:"...   a result archive (formats/result_archive.h): each section taken apart again
//   anything else  a plain report, also when the body is shorter than 8 bytes: kept in the buffer
//
// Limits, for one body: a report lies inside at most kMostNestedReports wrappers (archives,
// envelopes, compression; each encrypting relay on the way adds two), and the reports stored take at
// most kMostStoredBytes, each counting its bytes and kReportFileCost for its file. Beyond either the
// body fails (ReportNestingTooDeep, ReportBytesOverLimit) before anything more is stored: without
// them one small post could nest deep enough to exhaust the stack, or inflate, or split into empty
// reports, until the disk is full. An archive section that ends before its stated length fails the
// body too (ArchiveSectionCutShort): a report is stored whole or not at all.
//
// A failure leaves the reports completed before it in place; the one being stored is abandoned. The
// processor is used by one thread, for one body; the storage and keys must outlive it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "base/data_pipeline.h"
#include "base/exceptions.h"
#include "crypto/private_keys.h"

class ReportNestingTooDeep : public DebuggableException, public NonDumpableException {};
class ReportBytesOverLimit : public DebuggableException, public NonDumpableException {};
class ArchiveSectionCutShort : public FormatError, public NonDumpableException {};

// Where the reports of a body go. Each receiver takes one report; the report is kept only once the
// receiver has ended, and a receiver dropped before that leaves nothing behind.
class ReportStorage {
  public:
    virtual ~ReportStorage() = default;
    // A report passed on to the parent as it came: compressed, or encrypted for a key this relay lacks.
    virtual std::unique_ptr<DataReceiver> NewForwardingReport() = 0;
    // A plain report.
    virtual std::unique_ptr<DataReceiver> NewBufferReport() = 0;
};

struct ReportLimits {
    static constexpr unsigned kMostNestedReports = 32;
    static constexpr std::uint64_t kMostStoredBytes = 256ull << 20;
    static constexpr std::uint64_t kReportFileCost = 4096;

    unsigned mostNestedReports = kMostNestedReports;
    std::uint64_t mostStoredBytes = kMostStoredBytes;
};

class ReportProcessor {
  public:
    ReportProcessor(ReportStorage& storage, const std::vector<CertificateAndKey>& keys,
                    ReportLimits limits = {});
    ReportProcessor(const ReportProcessor&) = delete;
    ReportProcessor& operator=(const ReportProcessor&) = delete;

    // Reads the body to its end and stores every report in it, or throws.
    void ProcessReport(DataReader& body) { ProcessReport(body, 0); }

    // What the body's reports took so far, file costs included.
    std::uint64_t StoredBytes() const { return m_storedBytes; }

  private:
    // `depth`: the wrappers around this report.
    void ProcessReport(DataReader& reader, unsigned depth);
    void ProcessEncryptedReport(DataReader& reader, unsigned depth);
    void ProcessArchive(DataReader& reader, unsigned depth);
    void StoreForForwarding(DataReader& reader);
    void StoreInBuffer(DataReader& reader);
    void Store(DataReader& reader, DataReceiver& report);

    ReportStorage& m_storage;
    const std::vector<CertificateAndKey>& m_keys;
    ReportLimits m_limits;
    std::uint64_t m_storedBytes = 0;
};
