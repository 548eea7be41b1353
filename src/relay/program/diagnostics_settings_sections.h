// The six settings sections of the diagnostics page: relay control, HTTP server, gathering, result
// posting, client registration and the upload manager. Each reads its values when it is made.
//
// A section, with nothing between the tags (the body starts hidden; the page's script shows it):
//
//   <div class="settingsection" id="ID"><div class="settingsectioncontrol">
//   <div class="togglecontrol" onclick="toggle_visibility('ID')">+ TITLE</div></div>
//   <div class="settingsectionbody" style="display: none">
//   <ul>CAPTION<li>LABEL: VALUE</li>...</ul>  (one or two lists; a caption only where a list has one)
//   </div></div>
//
// Labels are the named client settings' names ("_KVRRelay_HTTPServer_PortNumber") or, for registry
// values, the bare value names; values follow the rules of diagnostics_values.h. Every label and value
// is made safe for the page (PageText).
//
// Thread-safety: the makers keep no state; the objects they read lock themselves or are the
// caller's own.
#pragma once

#include <string>
#include <vector>

#include "http/http_server_settings.h"
#include "relay/post/post_file_options_manager.h"
#include "relay/register/client_register_configuration.h"
#include "relay/service/gather_options_manager.h"

// One row, its value as the row's rule made it.
struct SettingRow {
    std::string label;
    std::string value;
};

// A list of rows and the caption that opens it (none when null).
struct SettingList {
    const char* caption = nullptr;
    std::vector<SettingRow> rows;
};

// The section of the given id and title holding the lists, rows numbered across them.
std::string MakeSettingsSection(const char* id, const char* title, const std::vector<SettingList>& lists);

// "_KVRClient_Relay_NameOverride", "_KVRRelay_Register_Affiliation_AdvertisementList" and the three
// "_KVRRelay_Selection_*" settings (AutoSelectableRelay 1, RelayPriority 0, RelayWeight 100), which
// only this page reads.
std::string MakeRelayControlSettingsSection();
// The running server's settings as they were read at start-up.
std::string MakeHTTPServerSettingsSection(const HTTPServerSettings& settings);
// What the relay configuration answers now.
std::string MakeGatherSettingsSection(const GatherOptionsManager& options);
// The post-results settings read afresh, without building a post-results configuration (which would
// rescan the buffer and load the keys).
std::string MakePostResultsSettingsSection();
std::string MakeClientRegisterSettingsSection(const ClientRegisterConfiguration& configuration);
// The post-file and upload manager settings, each getter reading its setting now (the time-out is
// the one the copy was made with).
std::string MakeUploadManagerSettingsSection(PostFileOptionsManager options);
