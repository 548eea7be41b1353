// The diagnostics page of a running relay as a browser shows it: headless Chromium renders "/rd" with
// the script and stylesheet the relay wrote under its root, a planted setting and site URL stay text,
// and the script's functions work the page's forms. With "_KVRRelay_Diagnostics_Enable" 0 the page's
// paths are plain file paths and nothing is written.
//
// Chromium is asked for loopback only: every other host name resolves to nothing and its own
// background traffic is off. Without a chromium program the browser tests are skipped.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "e2e/relay_process.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

bool HasChromium() {
    return RunProgram("sh", {"-c", "command -v chromium"}).exitStatus == 0;
}

// The DOM of the page after its scripts ran, as Chromium serializes it; its diagnostics go to a file.
std::string RenderedDOM(const std::string& url, const TemporaryFolder& scratch) {
    const std::vector<std::string> arguments = {
        "-c", "exec timeout -k 10 120 chromium \"$@\" 2>\"$0\"", scratch / "chromium.err", "--headless",
        "--no-sandbox", "--disable-gpu", "--user-data-dir=" + scratch / "profile", "--no-first-run",
        "--disable-background-networking", "--disable-component-update", "--disable-sync",
        "--disable-default-apps", "--disable-extensions", "--host-resolver-rules=MAP * ~NOTFOUND, EXCLUDE 127.0.0.1",
        "--dump-dom", url};
    const ProgramRun run = RunProgram("sh", arguments);
    // A page that did not load leaves the output empty, whatever the exit status.
    EXPECT_TRUE(run.exitStatus == 0 && !run.out.empty()) << ReadWholeFile(scratch / "chromium.err");
    return run.out;
}

bool Holds(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

// "404" of "HTTP/1.0 404 Not Found".
std::string StatusCode(const std::string& reply) {
    return reply.substr(reply.find(' ') + 1, 3);
}

// Drives the page's script the way an operator's clicks would, on the page fetched from the relay,
// and lists what each step left in the forms, one "name=value" a line.
constexpr const char* kScriptCheckPage = R"(<!DOCTYPE html>
<html><head><title>check</title><script src="Diagnostics/RelayDiagnostics.js"></script></head>
<body><pre id="result"></pre><script>
var lines = [];
function say(name, value) { lines.push(name + '=' + value); }
function sent(form) { return new URLSearchParams(new FormData(form)).toString(); }
try {
    var request = new XMLHttpRequest();
    request.open('GET', '/rd', false);
    request.send();
    var page = new DOMParser().parseFromString(request.responseText, 'text/html');
    var holder = document.createElement('div');
    holder.innerHTML = page.body.innerHTML;
    document.body.appendChild(holder);

    var gather = document.getElementById('GatherSettingsSection');
    toggle_visibility('GatherSettingsSection');
    say('opened', gather.querySelector('.settingsectionbody').style.display + ' ' +
        gather.querySelector('.togglecontrol').textContent);
    toggle_visibility('GatherSettingsSection');
    say('closed', gather.querySelector('.settingsectionbody').style.display + ' ' +
        gather.querySelector('.togglecontrol').textContent);

    var single = document.getElementById('SingleComputerRequestsForm');
    single.querySelector('input[value=ResendReport]').click();
    say('resendFields', [single.elements['ActionID'].disabled, single.elements['ReportNum1'].disabled,
                         single.elements['ReportNum2'].disabled].join(','));
    single.elements['ComputerID'].value = '21';
    single.elements['ReportNum1'].value = '3';
    single.elements['ReportNum2'].value = '5';
    singleComputerClientRegisterRequest(single.nextElementSibling);
    say('resend', sent(single.nextElementSibling));
    single.querySelector('input[value=IsDescendant]').click();
    say('descendantFields', [single.elements['ActionID'].disabled, single.elements['ReportNum1'].disabled].join(','));
    singleComputerClientRegisterRequest(single.nextElementSibling);
    say('descendant', sent(single.nextElementSibling));

    var all = document.getElementById('AllComputerRequestsForm');
    all.querySelector('input[value=DownloadAvailable]').click();
    all.elements['ActionID'].value = '77';
    allComputerClientRegisterRequest(all.nextElementSibling);
    say('all', sent(all.nextElementSibling));

    var download = document.querySelector('input[value="Gather Download Request"]').form;
    download.elements['ActionID'].value = '12';
    say('download', downloadRequestPath(download));

    var site = document.querySelector('select[name=url]').form;
    site.querySelector('input[value=GatherSpecifiedVersion]').click();
    say('versionFields', [site.elements['version'].disabled, site.elements['useCRC'].disabled].join(','));
    requestGatherSiteRequest(site);
    say('siteAction', new URL(site.action).pathname);
    say('sites', site.elements['url'].options.length + ' ' + site.elements['url'].options[0].text);
} catch (error) {
    say('error', error);
}
document.getElementById('result').textContent = lines.join('\n');
</script></body></html>
)";

class DiagnosticsPageRelay : public ::testing::Test {
  protected:
    // A relay with a planted relay-control setting and a gathered site whose path holds a script
    // element, as a client could have the relay gather it.
    void StartRelay() {
        m_relay.SetClientSetting("_KVRClient_Relay_NameOverride", "<b>x</b>");
        const std::string inbox = m_relay.Folder() + "/storage/Mirror Server/inbox";
        std::filesystem::create_directories(inbox);
        WriteWholeFile(inbox + "/vtemapfile.xml",
                       "<?xml version=\"1.0\"?>\r\n<URLtoID NextID=\"2\">\r\n<UrlToIdPair ID=\"1\">"
                       "http://sites.example/cgi-bin/vtgather.exe/&lt;script&gt;document.title='planted'&lt;/script&gt;"
                       "</UrlToIdPair>\r\n</URLtoID>");
        m_relay.Start();
        ASSERT_TRUE(m_relay.AwaitProbe()) << m_relay.Console() << m_relay.Log();
    }

    std::string URL(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_relay.Port()) + path;
    }

    RelayProcess m_relay;
    TemporaryFolder m_scratch;
};

}  // namespace

TEST_F(DiagnosticsPageRelay, ChromiumShowsPlantedTextsAsText) {
    if (!HasChromium()) GTEST_SKIP() << "no chromium program on this host";
    StartRelay();
    const std::string dom = RenderedDOM(URL("/rd"), m_scratch);

    EXPECT_TRUE(Holds(dom, "<title>Relay Diagnostics</title>")) << dom;
    EXPECT_TRUE(Holds(dom, "<li>_KVRClient_Relay_NameOverride: &lt;b&gt;x&lt;/b&gt;</li>")) << dom;
    EXPECT_FALSE(Holds(dom, "<b>"));
    EXPECT_TRUE(Holds(dom,
                      "<option>http://sites.example/cgi-bin/vtgather.exe/&lt;script&gt;document.title='planted'"
                      "&lt;/script&gt;</option>"))
        << dom;
    EXPECT_FALSE(Holds(dom, "planted</title>"));
    EXPECT_TRUE(Holds(dom, "<div class=\"formlabel\">Upload Manager Status:</div><div class=\"forminput\">"))
        << dom;
    for (const char* file : {"RelayDiagnostics.js", "RelayDiagnostics.css"})
        EXPECT_TRUE(std::filesystem::exists(m_relay.Folder() + "/wwwroot/Diagnostics/" + file)) << file;
}

TEST_F(DiagnosticsPageRelay, TheScriptWorksThePageForms) {
    if (!HasChromium()) GTEST_SKIP() << "no chromium program on this host";
    StartRelay();
    WriteWholeFile(m_relay.Folder() + "/wwwroot/check.html", kScriptCheckPage);
    const std::string dom = RenderedDOM(URL("/check.html"), m_scratch);
    const std::string result = dom.substr(std::min(dom.find("<pre id=\"result\">"), dom.size()));

    EXPECT_EQ(result.substr(0, result.find("</pre>")),
              "<pre id=\"result\">"
              "opened=block - Gather Settings\n"
              "closed=none + Gather Settings\n"
              "resendFields=true,false,false\n"
              "resend=RequestType=NotifyClient&amp;Body=ResendReport&amp;ComputerID=21&amp;Argument=3&amp;Argument2=5\n"
              "descendantFields=true,true\n"
              "descendant=RequestType=IsDescendant&amp;Body=&amp;ComputerID=21&amp;Argument=&amp;Argument2=\n"
              "all=RequestType=NotifyAllClients&amp;Body=DownloadAvailable&amp;Argument=77&amp;Argument2=\n"
              "download=../../vtmirror/downloads/12/1\n"
              "versionFields=false,false\n"
              "siteAction=/cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe/-gatherversion\n"
              // The option's text is the site's own URL, which the form sends.
              "sites=1 http://sites.example/cgi-bin/vtgather.exe/&lt;script&gt;document.title='planted'"
              "&lt;/script&gt;")
        << dom;
}

TEST(DiagnosticsPageSwitch, TurnedOffThePagePathsAreFilesAndNothingIsWritten) {
    RelayProcess relay;
    relay.SetClientSetting("_KVRRelay_Diagnostics_Enable", "0");
    relay.Start();
    ASSERT_TRUE(relay.AwaitProbe()) << relay.Console() << relay.Log();

    for (const char* path : {"/rd", "/RelayDiagnostics", "/cgi-bin/vtdaruravidu/RelayDiagnostics.exe"})
        EXPECT_EQ(StatusCode(relay.Get(path)), "404") << path;
    EXPECT_FALSE(std::filesystem::exists(relay.Folder() + "/wwwroot/Diagnostics"));
}
