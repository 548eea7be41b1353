#include "relay/download/xml_download_report.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/time_text.h"
#include "relay/download/download_report_fixture.h"
#include "support/download_report_reader.h"

namespace {

class XMLDownloadReportTest : public DownloadReportFixture {
  protected:
    XMLDownloadReport Build() { return BuildXMLDownloadReport(m_settings, m_stop); }

    // The compressed form, inflated by Python's zlib.
    static std::string Inflated(const XMLDownloadReport& report) {
        bool ok = false;
        std::string plain = InflateReport(report.compressed, ok);
        EXPECT_TRUE(ok);
        return plain;
    }

    Event m_stop;
};

}  // namespace

TEST_F(XMLDownloadReportTest, AnEmptyStoreGivesAnEmptyDownloadReport) {
    const XMLDownloadReport report = Build();
    EXPECT_EQ(report.plain, "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<DownloadReport></DownloadReport>");
    EXPECT_EQ(Inflated(report), report.plain);
    EXPECT_TRUE(ParseXMLReport(report.plain).parsed);
}

TEST_F(XMLDownloadReportTest, EveryActionAndEntryWithItsValues) {
    const TimeValue earlier = 1'700'000'000'000'000;  // Tue, 14 Nov 2023 22:13:20 UTC
    // Dynamic downloads older than a week are not reported.
    const TimeValue later = GetCurrentUTCTime();
    const std::string laterText(FormatTimeText(later, TimeZoneOffset()).View());
    const DownloadRequestTarget failed =
        DownloadRequestTarget::Indexed(9, 2, "http://site/a&b.zip", FilledDigest(0xab), 77);
    Put(failed, Status::Failed, earlier, DownloadError{DownloadErrorKind::RemovedFromCache, "gone <now>"});
    Retried(failed, 5);
    const DownloadRequestTarget dynamic =
        DownloadRequestTarget::Dynamic(9, FilledDigest(0xcd), 500, "http://site/c");
    Put(dynamic, Status::Downloading, later);
    Partial(dynamic, 120);
    Put(DownloadRequestTarget::URLRequest(3), Status::Completed, earlier);
    Put(DownloadRequestTarget::Indexed(3, 0, "http://site/d", FilledDigest(0x03)), Status::Completed,
        earlier);
    CacheSha1(FilledDigest(0x03));
    CacheActionList(3);

    const XMLDownloadReport report = Build();
    const ParsedReport document = ParseXMLReport(report.plain);
    ASSERT_TRUE(document.parsed) << document.error;
    const std::string action = "DownloadReport/ActionDownload/";
    const std::string entry = action + "Downloads/";
    const std::string target = entry + "DownloadRequestTarget/";
    EXPECT_EQ(
        document.lines,
        (std::vector<std::string>{
            action + "ActionID=3",
            action + "State=Ready",
            action + "IsActive=0",
            action + "Date=Tue, 14 Nov 2023 22:13:20 +0000",
            target + "ActionID=3",
            target + "Index=0",
            target + "Hash=0303030303030303030303030303030303030303",
            target + "URL=http://site/d",
            entry + "Status/State=COMPLETED",
            entry + "Status/Timestamp=Tue, 14 Nov 2023 22:13:20 +0000",
            entry + "Status/RetryCount=0",
            entry + "Available=1",
            entry + "RetryLimit=5",
            action + "ActionID=9",
            action + "State=InProgress",
            action + "Error=Error downloading {aid=9,index=2,sha1=abababababababababababababababababababab,"
                     "size=77,url=http%3a%2f%2fsite%2fa%26b.zip}: gone <now>\\n",
            action + "IsActive=1",
            action + "Date=" + laterText,
            target + "ActionID=9",
            target + "Index=2",
            target + "Hash=abababababababababababababababababababab",
            target + "Size=77",
            target + "URL=http://site/a&b.zip",
            entry + "Status/State=FAILED",
            entry + "Status/Timestamp=Tue, 14 Nov 2023 22:13:20 +0000",
            entry + "Status/RetryCount=5",
            entry + "Status/Error/ErrorCode=RemovedFromCache",
            entry + "Status/Error/ErrorString=gone <now>",
            entry + "Available=0",
            entry + "TotalBytes=77",
            entry + "RetryLimit=5",
            target + "ActionID=9",
            target + "Hash=cdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcdcd",
            target + "Size=500",
            target + "URL=http://site/c",
            entry + "Status/State=DOWNLOADING",
            entry + "Status/Timestamp=" + laterText,
            entry + "Status/RetryCount=0",
            entry + "Available=0",
            entry + "BytesDownloaded=120",
            entry + "TotalBytes=500",
            entry + "RetryLimit=5",
        }))
        << report.plain;
    EXPECT_EQ(Inflated(report), report.plain);
}

// The retry is counted from the last change at the time of the build, which is now for a fresh failure.
TEST_F(XMLDownloadReportTest, OnlyAFailedDownloadBelowItsRetryLimitTellsItsNextRetry) {
    const DownloadRequestTarget retried = DownloadRequestTarget::Indexed(9, 0, "http://site/a");
    const DownloadRequestTarget spent = DownloadRequestTarget::Indexed(9, 1, "http://site/b");
    Put(retried, Status::Failed);
    Put(spent, Status::Failed);
    Retried(spent, 5);

    const ParsedReport document = ParseXMLReport(Build().plain);
    ASSERT_TRUE(document.parsed) << document.error;
    const std::vector<std::string> minutes =
        document.With("DownloadReport/ActionDownload/Downloads/MinutesToNextRetry=");
    ASSERT_EQ(minutes.size(), 1u);
    EXPECT_TRUE(minutes[0] == "10" || minutes[0] == "11") << minutes[0];
}
