#include "relay/program/diagnostics_files.h"

#include "base/file_errors.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_writer.h"
#include "foundation/temporary_files.h"

namespace {

constexpr const char* kDiagnosticsFolder = "Diagnostics";

constexpr const char* kScript = R"(// The diagnostics page's script: settings sections shown and hidden, the fields of the request
// forms enabled by the chosen request type, and the hidden forms filled just before they are sent.

function toggle_visibility(id) {
    var section = document.getElementById(id);
    var body = section.querySelector('.settingsectionbody');
    var control = section.querySelector('.togglecontrol');
    var show = body.style.display == 'none';
    body.style.display = show ? 'block' : 'none';
    control.textContent = (show ? '- ' : '+ ') + control.textContent.substring(2);
}

function setDisabled(form, names, disabled) {
    for (var i = 0; i < names.length; i++) form.elements[names[i]].disabled = disabled;
}

function disableSingleComputerFields(form) {
    setDisabled(form, ['ActionID', 'ReportNum1', 'ReportNum2'], true);
}

function enableSingleComputerAcionIDField(form) {
    setDisabled(form, ['ActionID'], false);
    setDisabled(form, ['ReportNum1', 'ReportNum2'], true);
}

function enableSingleComputerResendReportFields(form) {
    setDisabled(form, ['ActionID'], true);
    setDisabled(form, ['ReportNum1', 'ReportNum2'], false);
}

// The single-computer choices that are request types of their own; the others are notifications.
var singleComputerRequestTypes = {IsDescendant: true, FetchCommands: true};

function singleComputerClientRegisterRequest(form) {
    var source = document.getElementById('SingleComputerRequestsForm').elements;
    var body = source['Body'].value;
    var requestType = singleComputerRequestTypes[body] ? body : 'NotifyClient';
    form.elements['RequestType'].value = requestType;
    form.elements['Body'].value = requestType == 'NotifyClient' ? body : '';
    form.elements['ComputerID'].value = source['ComputerID'].value;
    form.elements['Argument'].value =
        body == 'DownloadAvailable' ? source['ActionID'].value : body == 'ResendReport' ? source['ReportNum1'].value : '';
    form.elements['Argument2'].value = body == 'ResendReport' ? source['ReportNum2'].value : '';
}

function disableAllComputerFields(form) {
    setDisabled(form, ['ActionID'], true);
}

function enableAllComputerDownloadAvailableFields(form) {
    setDisabled(form, ['ActionID'], false);
}

function allComputerClientRegisterRequest(form) {
    var source = document.getElementById('AllComputerRequestsForm').elements;
    var body = source['Body'].value;
    form.elements['Body'].value = body;
    form.elements['Argument'].value = body == 'DownloadAvailable' ? source['ActionID'].value : '';
    form.elements['Argument2'].value = '';
}

function downloadRequestPath(form) {
    return '../../vtmirror/downloads/' + encodeURIComponent(form.elements['ActionID'].value) + '/' +
        encodeURIComponent(form.elements['UrlID'].value);
}

function addRequestDownloadID(form) {
    window.location.href = downloadRequestPath(form);
}

function disableCRCandRequest(form) {
    setDisabled(form, ['version', 'useCRC'], true);
}

function enableCRCandRequest(form) {
    setDisabled(form, ['version', 'useCRC'], false);
}

// Where each site request goes; with none chosen the form goes to its own action, the status page.
var gatherSiteRequestPaths = {
    SiteContents: '../../cgi-bin/vtdaruravidu/KVRGatherMirror.exe',
    GetCurrentVersion: '../../cgi-bin/vtdaruravidu/KVRGatherMirror.exe/-siteversion',
    GetParentsVersion: '../../cgi-bin/vtdaruravidu/KVRGatherMirror.exe/-rootversion',
    GatherLatestVersion: '../../cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe/-gatherlatest',
    GatherSpecifiedVersion: '../../cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe/-gatherversion'
};

function requestGatherSiteRequest(form) {
    var path = gatherSiteRequestPaths[form.elements['Body'].value];
    if (path) form.action = path;
}
)";

constexpr const char* kStylesheet = R"(/* The diagnostics page. */
body { font-family: sans-serif; font-size: 10pt; margin: 1em 2em; }
hr { border: none; border-top: 1px solid #aab; margin: 1em 0; }
.titletext { font-size: 18pt; font-weight: bold; }
.versioninfo { color: #556; margin-bottom: 1em; }
.settingsection { margin: 0.3em 0; }
.settingsectioncontrol { background: #e6eaf2; padding: 0.2em 0.5em; }
.togglecontrol { cursor: pointer; font-weight: bold; }
.settingsectionbody { padding: 0 0.5em; }
.settingsectionbody ul { margin: 0.3em 0; }
.settingsectionbody li { font-family: monospace; overflow-wrap: anywhere; }
.sectiontitle { font-size: 13pt; font-weight: bold; margin-top: 0.5em; }
.formtitle { font-weight: bold; margin-top: 0.5em; }
.formline { display: flex; margin: 0.2em 0; }
.formlabel { flex: none; width: 13em; }
.forminput, .formsubmit { flex: 1; }
.warning { color: #b00; font-weight: bold; margin-top: 0.5em; }
)";

}  // namespace

const std::array<DiagnosticsFile, 2> kDiagnosticsFiles = {{
    {"RelayDiagnostics.js", kScript},
    {"RelayDiagnostics.css", kStylesheet},
}};

// MovePath never replaces: a file put there since the look gives FileFoundError, and stays.
void WriteDiagnosticsFileIfMissing(const FileLocation& serverRoot, const DiagnosticsFile& file) {
    const FileLocation folder = serverRoot.MakeChild(kDiagnosticsFolder);
    const FileLocation target = folder.MakeChild(file.name);
    if (FileAttributes(target).Exists()) return;
    CreateDirectoryTree(folder);
    TemporaryFile written(folder);
    FileDataSink sink(written.GetPath(), 0);
    sink.Begin();
    sink.Receive(ConstData(std::string_view(file.content)));
    sink.End();
    try {
        written.MoveTo(target);
    } catch (const FileFoundError&) {
    }
}
