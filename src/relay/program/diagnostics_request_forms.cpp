#include "relay/program/diagnostics_request_forms.h"

#include "formats/named_templates.h"
#include "relay/program/diagnostics_values.h"

namespace {

// The fixed texts, one element a line; nothing stands between the tags on the page. The radio
// handlers of the site requests are written "onclick" with the bare "form", those of the client
// register forms "onClick" with "this.form".

constexpr const char* kGatherSectionTemplate =
    "<div class=\"sectiontitle\">Site Gathering Information</div><br>"
    "<a href=\"../../cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe\">Gather Status Page</a><br><br>"
    "<FORM action=\"../../cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe/-gatherall\" method=\"get\">"
    "<INPUT TYPE=\"submit\" VALUE=\"Gather All Sites\">"
    "</FORM>"
    "<div class=\"formtitle\">Mendle Site Requests<br></div><br>"
    "<FORM action=\"../../cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe\" method=\"get\">"
    "<div class=\"formline\"><div class=\"formlabel\">Request Type:</div><div class=\"forminput\">"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"SiteContents\" onclick=\"disableCRCandRequest(form)\">"
    "Site Contents<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"GetCurrentVersion\" onclick=\"disableCRCandRequest(form)\">"
    "Get Current Version<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"GetParentsVersion\" onclick=\"disableCRCandRequest(form)\">"
    "Get Parents Version<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"GatherLatestVersion\" onclick=\"disableCRCandRequest(form)\">"
    "Gather Latest Version<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"GatherSpecifiedVersion\" onclick=\"enableCRCandRequest(form)\">"
    "Gather Specified Version"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Site URL:</div><div class=\"forminput\">"
    "<select NAME=\"url\">{urls}</select>"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Version:</div><div class=\"forminput\">"
    "<INPUT TYPE=\"TEXT\" SIZE=\"25\" NAME=\"version\" VALUE=\"\" DISABLED=\"true\">"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">UseCRC:</div><div class=\"forminput\">"
    "<select NAME=\"useCRC\" DISABLED=\"true\"><option>0</option><option>1</option></select>"
    "</div></div>"
    "<br>"
    "<div class=\"formline\"><div class=\"formlabel\"></div><div class=\"formsubmit\">"
    "<INPUT TYPE=\"submit\" VALUE=\"Submit\" onClick=\"requestGatherSiteRequest(this.form)\">"
    "</div></div>"
    "</FORM>"
    "<hr>";

constexpr const char* kClientRegisterSection =
    "<div class=\"sectiontitle\">Client Register</div><br>"
    "<FORM action=\"../../cgi-bin/vtdaruravidu/ClientRegister.exe\" method=\"get\">"
    "<INPUT TYPE=\"hidden\" NAME=\"RequestType\" VALUE=\"GetComputerID\">"
    "<INPUT TYPE=\"submit\" VALUE=\"Get Computer ID\">"
    "</FORM>"
    "<div class=\"formtitle\">Single Computer Requests<br></div><br>"
    "<FORM ID=\"SingleComputerRequestsForm\">"
    "<div class=\"formline\"><div class=\"formlabel\">Request Type:</div><div class=\"forminput\">"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"GatherAction\" onClick=\"disableSingleComputerFields(this.form)\">"
    "Gather Actionsite<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"ForceRefresh\" onClick=\"disableSingleComputerFields(this.form)\">"
    "Force Refresh<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"Register\" onClick=\"disableSingleComputerFields(this.form)\">"
    "Force Registration<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"IsDescendant\" onClick=\"disableSingleComputerFields(this.form)\">"
    "IsDescendant?<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"FetchCommands\" onClick=\"disableSingleComputerFields(this.form)\">"
    "Fetch Client Commands<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"DownloadAvailable\" "
    "onClick=\"enableSingleComputerAcionIDField(this.form)\">"
    "Downloads Available<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"ResendReport\" "
    "onClick=\"enableSingleComputerResendReportFields(this.form)\">"
    "Resend Report"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Computer ID: </div><div class=\"forminput\">"
    "<INPUT TYPE=\"TEXT\" NAME=\"ComputerID\" SIZE=\"25\" VALUE=\"\">"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Action ID: </div><div class=\"forminput\">"
    "<INPUT TYPE=\"TEXT\" NAME=\"ActionID\" SIZE=\"25\" VALUE=\"\" DISABLED=\"true\">"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">First Report Number: </div><div class=\"forminput\">"
    "<INPUT TYPE=\"TEXT\" NAME=\"ReportNum1\" SIZE=\"25\" VALUE=\"\" DISABLED=\"true\">"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Last Report Number: </div><div class=\"forminput\">"
    "<INPUT TYPE=\"TEXT\" NAME=\"ReportNum2\" SIZE=\"25\" VALUE=\"\" DISABLED=\"true\">"
    "</div></div>"
    "</FORM>"
    "<FORM action=\"../../cgi-bin/vtdaruravidu/ClientRegister.exe\" method=\"get\">"
    "<INPUT TYPE=\"hidden\" NAME=\"RequestType\" VALUE=\"\">"
    "<INPUT TYPE=\"hidden\" NAME=\"Body\" VALUE=\"\">"
    "<INPUT TYPE=\"hidden\" NAME=\"ComputerID\" VALUE=\"\">"
    "<INPUT TYPE=\"hidden\" NAME=\"Argument\" VALUE=\"\">"
    "<INPUT TYPE=\"hidden\" NAME=\"Argument2\" VALUE=\"\">"
    "<div class=\"formline\"><div class=\"formlabel\"></div><div class=\"formsubmit\">"
    "<INPUT TYPE=\"submit\" VALUE=\"Submit\" onClick=\"singleComputerClientRegisterRequest(this.form)\">"
    "</div></div>"
    "</FORM>"
    "<div class=\"formtitle\">All Computer Requests<br></div><br>"
    "<FORM ID=\"AllComputerRequestsForm\">"
    "<div class=\"formline\"><div class=\"formlabel\">Request Type:</div><div class=\"forminput\">"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"GatherAction\" onClick=\"disableAllComputerFields(this.form)\">"
    "Gather Actionsite<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"ForceRefresh\" onClick=\"disableAllComputerFields(this.form)\">"
    "Force Refresh<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"Register\" onClick=\"disableAllComputerFields(this.form)\">"
    "Force Registration<br>"
    "<INPUT TYPE=\"radio\" NAME=\"Body\" VALUE=\"DownloadAvailable\" "
    "onClick=\"enableAllComputerDownloadAvailableFields(this.form)\">"
    "Downloads Available"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Action ID: </div><div class=\"forminput\">"
    "<INPUT TYPE=\"TEXT\" NAME=\"ActionID\" SIZE=\"25\" VALUE=\"\" DISABLED=\"true\">"
    "</div></div>"
    "</FORM>"
    "<FORM action=\"../../cgi-bin/vtdaruravidu/ClientRegister.exe\" method=\"get\">"
    "<INPUT TYPE=\"hidden\" NAME=\"RequestType\" VALUE=\"NotifyAllClients\">"
    "<INPUT TYPE=\"hidden\" NAME=\"Body\" VALUE=\"\">"
    "<INPUT TYPE=\"hidden\" NAME=\"Argument\" VALUE=\"\">"
    "<INPUT TYPE=\"hidden\" NAME=\"Argument2\" VALUE=\"\">"
    "<div class=\"formline\"><div class=\"formlabel\"></div><div class=\"formsubmit\">"
    "<INPUT TYPE=\"submit\" VALUE=\"Submit\" onClick=\"allComputerClientRegisterRequest(this.form)\">"
    "</div></div>"
    "</FORM>"
    "<hr>";

constexpr const char* kDownloadSection =
    "<div class=\"sectiontitle\">Download Information</div><br>"
    "<a href=\"../../cgi-bin/vtdaruravidu/KVRMirrorRequest.exe\">Download Status Page</a><br><br>"
    "<a href=\"../../cgi-bin/vtdaruravidu/KVRMirrorRequest.exe/-textreport\">Download Status Text Page</a><br><br>"
    "<div class=\"formtitle\">Download Requests<br></div><br>"
    "<FORM action=\"../../\" method=\"get\">"
    "<div class=\"formline\"><div class=\"formlabel\">Action ID:</div><div class=\"forminput\">"
    "<INPUT TYPE=\"TEXT\" NAME=\"ActionID\" SIZE=\"25\" VALUE=\"\">"
    "</div></div>"
    "<div class=\"formline\"><div class=\"formlabel\">Url ID:</div><div class=\"forminput\">"
    "<INPUT TYPE=\"TEXT\" NAME=\"UrlID\" SIZE=\"25\" VALUE=\"1\">"
    "</div></div>"
    "<br>"
    "<div class=\"formline\"><div class=\"formlabel\"></div><div class=\"formsubmit\">"
    "<INPUT TYPE=\"BUTTON\" VALUE=\"Gather Download Request\" onClick=\"addRequestDownloadID(this.form)\">"
    "</div></div>"
    "</FORM>"
    "<hr>";

}  // namespace

// The options are mark-up of their own, so the list goes in as it is and each URL is made safe here.
std::string MakeGatherSection(const URLToGatherIDMap& gatherMap) {
    std::string options;
    for (const auto& [url, id] : gatherMap.CopyMap()) options += "<option>" + PageText(url) + "</option>";
    return TemplateArguments(kGatherSectionTemplate, options).ToString();
}

std::string MakeClientRegisterSection() {
    return TemplateArguments(kClientRegisterSection).ToString();
}

std::string MakeDownloadSection() {
    return TemplateArguments(kDownloadSection).ToString();
}
