// A posted body taken apart by the report pipeline over hostile bytes: the markers, stored and plain
// result archives nested in each other, envelopes for the fuzz key (fuzz_encryption_key.h) and the
// compressed streams inside them. It must never crash, recurse past its nesting limit or store more
// than its byte limit, and every body it refuses must be refused with one of its documented errors.

#include <cstdint>
#include <cstdlib>
#include <memory>

#include "base/const_data_reader.h"
#include "crypto/encrypted_file.h"
#include "crypto/openssl_error.h"
#include "formats/zlib_filter.h"
#include "fuzz_encryption_key.h"
#include "relay/post/report_processor.h"

namespace {

constexpr std::uint64_t kStoredBytesLimit = 1 << 20;

// Counts what reaches each report and drops it.
class CountingReports : public ReportStorage {
  public:
    std::unique_ptr<DataReceiver> NewForwardingReport() override { return std::make_unique<Report>(*this); }
    std::unique_ptr<DataReceiver> NewBufferReport() override { return std::make_unique<Report>(*this); }

    std::uint64_t bytes = 0;

  private:
    class Report : public DataReceiver, public DataWriter {
      public:
        explicit Report(CountingReports& owner) : m_owner(owner) {}
        void Begin() override {}
        void Receive(const Byte* begin, const Byte* end) override {
            m_owner.bytes += static_cast<std::uint64_t>(end - begin);
        }
        using DataReceiver::Receive;
        void End() override {}

      private:
        CountingReports& m_owner;
    };
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConstDataReader body(ConstData(data, size));
    CountingReports reports;
    ReportProcessor processor(reports, FuzzEncryptionKeys(),
                              {ReportLimits::kMostNestedReports, kStoredBytesLimit});
    try {
        processor.ProcessReport(body);
    } catch (const FormatError&) {
    } catch (const DataOverflow&) {  // an envelope's DER tag longer than its header buffer
    } catch (const NoMoreData&) {
    } catch (const NoMatchingRecipient&) {
    } catch (const OpenSSLError&) {
    } catch (const ZlibError&) {
    } catch (const ReportNestingTooDeep&) {
    } catch (const ReportBytesOverLimit&) {
    }
    if (reports.bytes > kStoredBytesLimit || processor.StoredBytes() > kStoredBytesLimit) std::abort();
    return 0;
}
