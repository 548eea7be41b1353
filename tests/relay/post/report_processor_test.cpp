#include "relay/post/report_processor.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/const_data_reader.h"
#include "crypto/encryption_keys.h"
#include "crypto/openssl_startup.h"
#include "relay/post/post_results_test_support.h"

namespace {

// Keeps each report in memory, "F:" for forwarding and "B:" for the buffer before its bytes; a
// report counts only once its receiver has ended.
class MemoryReports : public ReportStorage {
  public:
    std::unique_ptr<DataReceiver> NewForwardingReport() override {
        return std::make_unique<Report>(*this, "F:");
    }
    std::unique_ptr<DataReceiver> NewBufferReport() override { return std::make_unique<Report>(*this, "B:"); }

    std::vector<std::string> kept;

  private:
    class Report : public DataReceiver, public DataWriter {
      public:
        Report(MemoryReports& owner, std::string bytes) : m_owner(owner), m_bytes(std::move(bytes)) {}
        void Begin() override {}
        void Receive(const Byte* begin, const Byte* end) override { m_bytes.append(begin, end); }
        using DataReceiver::Receive;
        void End() override { m_owner.kept.push_back(m_bytes); }

      private:
        MemoryReports& m_owner;
        std::string m_bytes;
    };
};

// `depth` archives around the report, each section holding the next archive: built front to back,
// since nesting by copying would take quadratic time.
std::string NestedArchive(std::size_t depth, const std::string& report) {
    std::string archive;
    for (std::size_t level = 0; level < depth; ++level)
        archive += SectionHeader(15 * (depth - level - 1) + report.size());
    return archive + report;
}

class ReportProcessorTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    void SetUp() override {
        PostResultsMachine machine;
        machine.InstallKey();
        LoadEncryptionKeys(keys, FileLocation(machine.KeysDir().c_str()));
        ASSERT_EQ(keys.size(), 1u);
    }

    // The reports kept, and the error's text ("" when none).
    std::string Process(const std::string& body, const std::vector<CertificateAndKey>& keyList,
                        ReportLimits limits = {}) {
        ConstDataReader reader{ConstData(std::string_view(body))};
        try {
            ReportProcessor(storage, keyList, limits).ProcessReport(reader);
        } catch (...) {
            return CurrentExceptionText();
        }
        EXPECT_TRUE(reader.AtEnd());
        return "";
    }

    std::vector<CertificateAndKey> keys;
    const std::vector<CertificateAndKey> noKeys;
    MemoryReports storage;
};

}  // namespace

TEST_F(ReportProcessorTest, EachBodyIsTakenApartByItsFirstBytes) {
    const std::string compressed = Compressed("compressed report");
    const std::string sealed = Encrypted("for a key elsewhere");
    struct Case {
        const char* name;
        std::string body;
        bool withKeys;
        std::vector<std::string> kept;
    };
    const std::vector<Case> cases = {
        {"an empty body", "", true, {"B:"}},
        {"a plain report", "hello", true, {"B:hello"}},
        {"fewer bytes than a marker", "PRFILE", true, {"B:PRFILE"}},
        {"the bare compressed marker",
         std::string("##SC001\0", 8),
         true,
         {"F:" + std::string("##SC001\0", 8)}},
        {"a compressed report", compressed, true, {"F:" + compressed}},
        {"a stored archive of three",
         Stored(ArchiveOf({"one", "two", "three"})),
         true,
         {"B:one", "B:two", "B:three"}},
        {"an archive of every kind",
         ArchiveOf({"x", compressed, ArchiveOf({"", "z"})}),
         true,
         {"B:x", "F:" + compressed, "B:", "B:z"}},
        {"an encrypted report without keys", sealed, false, {"F:" + sealed}},
        {"an encrypted report", Encrypted("secret"), true, {"B:secret"}},
        {"an encrypting relay's batch",
         Encrypted(ArchiveOf({compressed, "plain"})),
         true,
         {"F:" + compressed, "B:plain"}},
        {"an encrypted, compressed archive",
         Encrypted(Compressed(ArchiveOf({"r1", "r2"}))),
         true,
         {"B:r1", "B:r2"}},
        {"reports at the deepest nesting",
         NestedArchive(ReportLimits::kMostNestedReports, "core"),
         true,
         {"B:core"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        storage.kept.clear();
        EXPECT_EQ(Process(c.body, c.withKeys ? keys : noKeys), "");
        EXPECT_EQ(storage.kept, c.kept);
    }
}

// Reports completed before a failure stay; the one being stored when it failed is not kept.
TEST_F(ReportProcessorTest, AHostileOrDamagedBodyFailsAndKeepsOnlyTheReportsCompletedBeforeIt) {
    const X509Holder stranger = [] {
        const std::string pem = ReadTestPKIFile("mastheads/action-operator.pem");
        BIOHolder source = NewMemoryBIO(ConstData(std::string_view(pem)));
        return PEMReadX509(source.Get());
    }();
    const ReportLimits small{ReportLimits::kMostNestedReports, 100 * ReportLimits::kReportFileCost};
    const std::string sealed = Encrypted("secret");
    struct Case {
        const char* name;
        std::string body;
        ReportLimits limits;
        const char* error;
        std::size_t kept;
    };
    const std::vector<Case> cases = {
        {"a section cut short",
         ArchiveOf({"ok"}) + ArchiveOf({"0123456789"}).substr(0, 20),
         {},
         "class ArchiveSectionCutShort",
         1},
        {"a stored header cut short", std::string("##SN001\0\0\0", 10), {}, "class NoMoreData", 0},
        {"one nesting too many",
         NestedArchive(ReportLimits::kMostNestedReports + 1, "core"),
         {},
         "class ReportNestingTooDeep",
         0},
        {"100,000 nested sections", NestedArchive(100'000, "core"), {}, "class ReportNestingTooDeep", 0},
        {"more bytes than allowed", std::string(100 * ReportLimits::kReportFileCost, 'x'), small,
         "class ReportBytesOverLimit", 0},
        {"more empty reports than allowed", ArchiveOf(std::vector<std::string>(1000, "")), small,
         "class ReportBytesOverLimit", 100},
        {"a compressed bomb", Encrypted(Compressed(std::string(8 << 20, '\0'))), small,
         "class ReportBytesOverLimit", 0},
        {"a report for another key", Encrypted("secret", stranger.Get()), {}, "class NoMatchingRecipient", 0},
        {"an envelope cut inside its header", sealed.substr(0, 40), {}, "class NoMoreData", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        storage.kept.clear();
        EXPECT_EQ(Process(c.body, keys, c.limits), c.error);
        EXPECT_EQ(storage.kept.size(), c.kept);
    }
}
