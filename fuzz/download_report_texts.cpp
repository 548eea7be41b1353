// What a client can plant in the download reports (a URL, an error text) and in the request path of
// the mirror-request plug-in, over hostile bytes: the XML report must stay well-formed for a real
// parser, the HTML report's texts and retry link must hold no markup and no way out of the quoted
// HREF, and the retry id is a number other than 0 or a refusal of the plug-in's own.

#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>

#include "formats/sax_xml_tree.h"
#include "formats/utf8_text.h"
#include "relay/download/html_download_report.h"
#include "relay/download/mirror_request_commands.h"
#include "relay/download/xml_download_report.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

ActionDownload FailedActionWith(const std::string& text) {
    ActionDownload action;
    action.actionID = 7;
    action.state = DownloadMirrorActionStatus::Failed;
    action.error = "Error downloading: " + text;
    DownloadStateRecord status;
    status.status = DownloadStateStatus::Failed;
    status.error = DownloadError{DownloadErrorKind::Generic, text};
    action.downloads.push_back(DownloadReportEntry{
        .target = DownloadRequestTarget::Indexed(7, 0, text),
        .status = status,
        .available = false,
        .bytesDownloaded = std::nullopt,
        .totalBytes = std::nullopt,
        .minutesToNextRetry = 3,
        .retryLimit = 5,
    });
    return action;
}

// Between the block's own fixed markup, the planted texts hold no '<', '>' or '"'.
void CheckHTMLBlock(const std::string& block) {
    const std::string linkStart = "<P>Action: 7 <A HREF=\"";
    const std::string linkEnd = "/-retry?id=7\">Retry Mirror Request</A><br>url 1: ";
    Check(block.compare(0, linkStart.size(), linkStart) == 0);
    const std::size_t end = block.find(linkEnd);
    Check(end != std::string::npos);
    const std::string href = block.substr(linkStart.size(), end - linkStart.size());
    Check(href.find_first_of("<>\"") == std::string::npos);
    Check(href.compare(0, 2, "//") != 0);
    const std::string rest = block.substr(end + linkEnd.size());
    const std::string errorStart = "<br>Error Status: ";
    const std::size_t error = rest.rfind(errorStart);
    Check(error != std::string::npos);
    Check(rest.substr(0, error).find_first_of("<>\"") == std::string::npos);
    Check(rest.substr(error + errorStart.size()).find_first_of("<>\"") == std::string::npos);
    Check(ReplaceUnsafeCharacters(ConstData(std::string_view(block))) == block);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string input(reinterpret_cast<const char*>(data), size);
    const ActionDownload action = FailedActionWith(input);

    const XMLDownloadReport report = WriteXMLDownloadReport({action});
    Check(ParseXMLDocument(ConstData(std::string_view(report.plain))) != nullptr);

    CheckHTMLBlock(WriteHTMLActionDownload(action, HTMLReportLinkBase(ConstData(std::string_view(input)))));

    try {
        Check(ParseRetryActionID("/KVRMirrorRequest/-retry?" + input) != 0);
    } catch (const MirrorDownloadError& error) {
        Check(error.Code() == MirrorStatusCode::MissingParameter);
    }
    return 0;
}
