#include "relay/program/diagnostics_page.h"

#include "formats/named_templates.h"
#include "foundation/floating_point_text.h"
#include "relay/post/post_results_configuration.h"
#include "relay/post/upload_manager.h"
#include "relay/program/diagnostics_request_forms.h"
#include "relay/program/diagnostics_settings_sections.h"
#include "relay/program/diagnostics_values.h"
#include "relay/register/client_register_configuration.h"
#include "relay/register/registration_replies.h"

namespace {

constexpr double kHundredths = 0.01;

constexpr const char* kPageTemplate =
    "<HTML><HEAD><TITLE>Relay Diagnostics</TITLE>"
    "<LINK rel=\"stylesheet\" type=\"text/css\" href=\"../../Diagnostics/RelayDiagnostics.css\" />"
    "<SCRIPT type=\"text/javascript\" src=\"../../Diagnostics/RelayDiagnostics.js\"></SCRIPT></HEAD>"
    "<BODY>{titlesection}{relaycontrolsettingssection}{httpserversettingssection}{gathersettingssection}"
    "{postresultssettingsection}{clientregistersettingssection}{uploadmanagersettingssection}<hr>"
    "{statusinformationsection}{gathersection}{clientregistersection}{downloadsection}</BODY></HTML>";

constexpr const char* kTitleTemplate =
    "<div class=\"titletext\">Veltra {relayorserver} Diagnostics</div>"
    "<div class=\"versioninfo\">(Version: {version})</div>";

// The warning is mark-up of its own and follows the filled template.
constexpr const char* kStatusTemplate =
    "<div class=\"sectiontitle\">Relay Status Information</div><br>"
    "<div class=\"formline\"><div class=\"formlabel\">Quorel File Size Limit:</div>"
    "<div class=\"forminput\">{percentfullbytes}% ( {totalbytes} / {maxbytes} Bytes )</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Quorel File Count Limit:</div>"
    "<div class=\"forminput\">{percentfullfiles}% ( {totalcount} / {maxcount} Files )</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Upload Manager Status:</div>"
    "<div class=\"forminput\">{uploadmanagerstatus}</div></div>";
constexpr const char* kOverloadWarning =
    "<div class=\"warning\">Warning! The Quorel buffer directory is overloaded and new posts will not be "
    "accepted.</div>";
constexpr const char* kStatusEnd = "<br><hr>";
constexpr const char* kNoUploadManager = "No upload manager";

// Non-finite for a limit of 0: NaN when the total is 0 as well.
std::string PercentFull(std::uint64_t total, std::uint64_t limit) {
    const double percent = static_cast<double>(total) / static_cast<double>(limit) * 100;
    return std::string(FormatFloatingPoint(percent, kHundredths).View());
}

// The manager outlives the plug-ins, so the one that runs now stays while its text is read.
std::optional<std::string> UploadManagerStatus() {
    UploadManager* const manager = UploadManager::Instance();
    if (manager == nullptr) return std::nullopt;
    return manager->GetStatusText();
}

}  // namespace

std::string MakeTitleSection() {
    return FillPageTemplate(kTitleTemplate, {"Relay", std::string(kRelayVersionText)});
}

// The counters answer from their last count when it is recent, so the totals may lag the folder by
// up to their refresh period.
std::string MakeStatusInformationSection(const FileLocation& forwardingBuffer, LockedCounters& counters,
                                         const std::optional<std::string>& uploadManagerStatus) {
    const std::uint64_t maxBytes = GetBufferDirectoryMaxSize();
    const std::uint64_t maxCount = GetBufferDirectoryMaxCount();
    const bool overloaded = counters.IsOverLimits(forwardingBuffer, maxCount, maxBytes);
    const std::uint64_t totalBytes = counters.GetTotalBytes();
    const std::uint64_t totalCount = counters.GetFileCount();
    return FillPageTemplate(kStatusTemplate,
                            {PercentFull(totalBytes, maxBytes), DecimalText(totalBytes), DecimalText(maxBytes),
                             PercentFull(totalCount, maxCount), DecimalText(totalCount), DecimalText(maxCount),
                             uploadManagerStatus.value_or(kNoUploadManager)}) +
           (overloaded ? kOverloadWarning : "") + kStatusEnd;
}

// The sections are made from the bottom of the page up, so the reads (and a failure) come in that
// order; the page puts them in its own.
std::string MakeDiagnosticsPage(const DiagnosticsSources& sources) {
    const ClientRegisterConfiguration clientRegister(kClientRegisterComponent);
    const std::string download = MakeDownloadSection();
    const std::string clientRegisterForms = MakeClientRegisterSection();
    const std::string gather = MakeGatherSection(sources.gatherMap);
    const std::string status = MakeStatusInformationSection(
        PostResultsSettings::ForwardingBufferDirectory(sources.configuration.GetResultsBufferDirectory()),
        sources.resultBufferCounters, UploadManagerStatus());
    const std::string uploadManagerSettings = MakeUploadManagerSettingsSection(sources.postFileOptions);
    const std::string clientRegisterSettings = MakeClientRegisterSettingsSection(clientRegister);
    const std::string postResultsSettings = MakePostResultsSettingsSection();
    const std::string gatherSettings = MakeGatherSettingsSection(sources.configuration);
    const std::string httpServerSettings = MakeHTTPServerSettingsSection(sources.serverSettings);
    const std::string relayControlSettings = MakeRelayControlSettingsSection();
    const std::string title = MakeTitleSection();
    return TemplateArguments(kPageTemplate, title, relayControlSettings, httpServerSettings, gatherSettings,
                             postResultsSettings, clientRegisterSettings, uploadManagerSettings, status, gather,
                             clientRegisterForms, download)
        .ToString();
}

void BuildDiagnosticsPage(ClientWriter& writer, const DiagnosticsSources& sources) {
    SendHTMLResponse(writer, MakeDiagnosticsPage(sources), "", 200, false);
}
