// The fixture of the gather state tests: a registry whose server storage folder is a folder of the
// test's own, with the gather map and the gather state built over it on first use, and the log
// recorded.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "crypto/openssl_startup.h"
#include "foundation/event.h"
#include "relay/gather/gather_state.h"
#include "relay/service/gather_options_manager.h"
#include "support/captured_log.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

inline const std::string kGatherURL = "http://parent:52311/cgi-bin/vtgather.exe/";
inline const std::string kActionSite = kGatherURL + "actionsite";
inline const std::string kUpdates = kGatherURL + "Updates";
inline const std::string kCustomSite = kGatherURL + "CustomSite_Test";

class GatherStateTest : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    GatherStateTest() {
        ImportWithKvrreg("[HKLM\\Software\\Veltra\\Daruravidu Server\\GlobalOptions]\n\"StoragePath\"=\"" +
                         Storage() + "\"\n");
    }

    std::string Storage() const { return m_folder / "storage"; }
    std::string Inbox() const { return Storage() + "/Mirror Server/inbox"; }
    std::string MirrorSites() const { return Storage() + "/wwwrootkvr/vtmirror/vtsites"; }
    std::string StateFile() const { return Inbox() + "/GatherState.xml"; }

    // A named client setting such as "_KVRGather_Log_GatherFailedAsError".
    void SetClientSetting(const std::string& name, const std::string& value) {
        ImportWithKvrreg("[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\" + name +
                         "]\n\"value\"=\"" + value + "\"\n");
    }
    static void WriteFile(const std::string& path, const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        WriteWholeFile(path, content);
    }
    // "vtemapfile.xml" with the pairs (id, URL).
    void WriteMap(const std::vector<std::pair<std::uint32_t, std::string>>& pairs) {
        std::string document = "<URLtoID NextID=\"1\">";
        for (const auto& [id, url] : pairs)
            document += "<UrlToIdPair ID=\"" + std::to_string(id) + "\">" + url + "</UrlToIdPair>";
        WriteFile(Inbox() + "/vtemapfile.xml", document + "</URLtoID>");
    }
    // "GatherState.xml" with the "SiteStatus" elements given.
    void WriteStateFile(const std::string& sites, const std::string& epoch = "Tue, 05 Mar 2024 10:00:00 +0000") {
        WriteFile(StateFile(), "<?xml version=\"1.0\"?>\r\n<GatherStatus ActionSiteEpoch=\"" + epoch + "\">\r\n" +
                                   sites + "</GatherStatus>");
    }
    void MakeMirrorFolder(const std::string& name) { std::filesystem::create_directories(MirrorSites() + "/" + name); }
    bool MirrorFolderExists(const std::string& name) const {
        return std::filesystem::exists(MirrorSites() + "/" + name);
    }

    GatherState& State() {
        if (!m_state) {
            m_map = std::make_unique<URLToGatherIDMap>(m_options);
            m_state = std::make_unique<GatherState>(m_options, *m_map, m_stop);
        }
        return *m_state;
    }
    URLToGatherIDMap& Map() {
        State();
        return *m_map;
    }
    // Destroys the state (which saves) and the map, to be built again from the files.
    void Restart() {
        m_state.reset();
        m_map.reset();
    }
    // The queue, emptied: "<URL> <version text>" per request, oldest first.
    std::vector<std::string> TakeQueue() {
        std::vector<std::string> requests;
        while (std::optional<SiteGatherParams> request = State().PopQueuedRequest())
            requests.push_back(request->siteURL + " " + request->expectedVersion.ToText());
        return requests;
    }
    // The logged lines of the category that contain the text.
    std::vector<std::string> Logged(const std::string& category, const std::string& text) {
        std::vector<std::string> found;
        for (const std::string& line : m_log.LinesStartingWith(category + ": "))
            if (line.find(text) != std::string::npos) found.push_back(line.substr(category.size() + 2));
        return found;
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_folder;
    CapturedLog m_log;
    GatherOptionsManager m_options;
    Event m_stop;
    std::unique_ptr<URLToGatherIDMap> m_map;
    std::unique_ptr<GatherState> m_state;
};
