#include "relay/download/xml_download_report.h"

#include <cstdint>
#include <optional>
#include <string_view>

#include "formats/text_encodings.h"
#include "formats/utf8_text.h"
#include "formats/xml_text_writer.h"
#include "formats/zlib_filter.h"
#include "foundation/data_stages.h"
#include "foundation/time_text.h"

namespace {

class ReportWriter {
  public:
    explicit ReportWriter(XMLTextWriter& xml) : m_xml(xml) {}

    void WriteAction(const ActionDownload& action) {
        m_xml.StartElement("ActionDownload");
        Number("ActionID", action.actionID);
        Text("State", DownloadMirrorActionStatusName(action.state));
        NetworkText("Error", action.error);
        Number("IsActive", action.isActive ? 1 : 0);
        Time("Date", action.date);
        for (const DownloadReportEntry& entry : action.downloads) WriteEntry(entry);
        m_xml.EndElement();
    }

  private:
    void WriteEntry(const DownloadReportEntry& entry) {
        m_xml.StartElement("Downloads");
        WriteTarget(entry.target);
        WriteStatus(entry.status);
        Number("Available", entry.available ? 1 : 0);
        OptionalNumber("BytesDownloaded", entry.bytesDownloaded);
        OptionalNumber("TotalBytes", entry.totalBytes);
        if (entry.minutesToNextRetry) Text("MinutesToNextRetry", std::to_string(*entry.minutesToNextRetry));
        Number("RetryLimit", entry.retryLimit);
        m_xml.EndElement();
    }

    void WriteTarget(const DownloadRequestTarget& target) {
        m_xml.StartElement("DownloadRequestTarget");
        OptionalNumber("ActionID", target.GetActionID());
        OptionalNumber("Index", target.GetIndex());
        if (target.GetSha1()) Text("Hash", target.GetSha1()->ToHex());
        OptionalNumber("Size", target.GetSize());
        if (target.GetURL()) NetworkText("URL", *target.GetURL());
        m_xml.EndElement();
    }

    void WriteStatus(const DownloadStateRecord& status) {
        m_xml.StartElement("Status");
        Text("State", DownloadStateName(status.status));
        Time("Timestamp", status.lastUpdate);
        Number("RetryCount", status.retryCount);
        if (status.error) {
            m_xml.StartElement("Error");
            Text("ErrorCode", DownloadErrorKindName(status.error->kind));
            NetworkText("ErrorString", status.error->message);
            m_xml.EndElement();
        }
        m_xml.EndElement();
    }

    void Text(const char* name, std::string_view text) {
        m_xml.StartElement(name);
        m_xml.WriteEscapedText(ConstData(text));
        m_xml.EndElement();
    }
    void NetworkText(const char* name, std::string_view text) {
        Text(name, ReplaceUnsafeCharacters(ConstData(text)));
    }
    void Number(const char* name, std::uint64_t value) { Text(name, std::to_string(value)); }
    template <class Value>
    void OptionalNumber(const char* name, const std::optional<Value>& value) {
        if (value) Number(name, *value);
    }
    void Time(const char* name, TimeValue time) { Text(name, FormatTimeText(time, TimeZoneOffset()).View()); }

    XMLTextWriter& m_xml;
};

}  // namespace

// One pass through a tee: the document's bytes go to the plain text and, through zlib, to the
// compressed one.
XMLDownloadReport WriteXMLDownloadReport(const std::vector<ActionDownload>& actions) {
    XMLDownloadReport report;
    StringReceiver plain(report.plain);
    StringReceiver compressedBytes(report.compressed);
    ZlibCompressingDataMaker compressor;
    compressor.set(compressedBytes);
    DataTee2 tee;
    tee.SetTargets(plain, compressor);
    TextEncodingDataRemover bytes(&tee);

    XMLTextWriter xml(bytes, XMLLayout::Indented);
    xml.WriteDeclaration(false);
    xml.StartElement("DownloadReport");
    ReportWriter writer(xml);
    for (const ActionDownload& action : actions) writer.WriteAction(action);
    xml.Finish();
    return report;
}

XMLDownloadReport BuildXMLDownloadReport(const DownloadSettingsProvider& settings, Event& stopEvent) {
    return WriteXMLDownloadReport(BuildActionDownloads(settings, stopEvent));
}
