// A machine for the diagnostics page tests: a registry and storage folder of the test's own, the
// relay configuration over them, a gather map in the storage's inbox, the result-buffer counters and
// the HTTP server settings the page shows.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "foundation/locked_counters.h"
#include "http/http_server_settings.h"
#include "relay/gather/url_to_gather_id_map.h"
#include "relay/program/diagnostics_page.h"
#include "relay/service/gather_options_manager.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

class DiagnosticsFixture : public ::testing::Test {
  protected:
    DiagnosticsFixture() {
        std::filesystem::create_directories(m_storage / "Mirror Server/inbox");
        WriteHive();
    }

    // A named client setting, "_KVRRelay_HTTPServer_HostName" for example.
    void SetNamed(const std::string& name, const std::string& value) {
        m_named[name] = value;
        WriteHive();
    }
    // A DWORD of HKLM "Software\Veltra\Daruravidu Server\PostResults".
    void SetPostResultsValue(const std::string& name, std::uint32_t value) {
        char line[64];
        std::snprintf(line, sizeof line, "\"%s\"=dword:%08x", name.c_str(), value);
        m_postResults[name] = line;
        WriteHive();
    }
    // A file of `bytes` bytes in the result-forwarding buffer.
    void PutForwardingFile(const std::string& name, std::size_t bytes) {
        std::filesystem::create_directories(ForwardingBuffer());
        WriteWholeFile(ForwardingBuffer() + "/" + name, std::string(bytes, 'r'));
    }
    void AddGatheredSite(const std::string& url) { GatherMap().GetOrCreateGatherID(url); }
    // The machine without "StoragePath", as a relay with no server storage folder has it.
    void RemoveStoragePath() {
        m_storagePathSet = false;
        WriteHive();
    }

    std::string Storage() const { return m_storage.Path(); }
    std::string ForwardingBuffer() const { return m_storage / "QuorelData/BufferDir/ForwardingBufferDir"; }

    // Built on first use, after the test's settings.
    URLToGatherIDMap& GatherMap() {
        if (!m_gatherMap) m_gatherMap = std::make_unique<URLToGatherIDMap>(m_configuration);
        return *m_gatherMap;
    }
    HTTPServerSettings& ServerSettings() {
        if (!m_serverSettings) m_serverSettings = std::make_unique<HTTPServerSettings>("KVRRelay");
        return *m_serverSettings;
    }
    DiagnosticsSources Sources() {
        return {
            .configuration = m_configuration,
            .postFileOptions = m_postFileOptions,
            .serverSettings = ServerSettings(),
            .gatherMap = GatherMap(),
            .resultBufferCounters = m_counters,
        };
    }
    std::string Page() { return MakeDiagnosticsPage(Sources()); }

    // Every path under the storage folder, sorted.
    std::vector<std::string> StorageTree() const {
        std::vector<std::string> paths;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(m_storage.Path()))
            paths.push_back(entry.path().string());
        std::sort(paths.begin(), paths.end());
        return paths;
    }

  private:
    // A text as a quoted registry file value holds it.
    static std::string RegistryString(const std::string& text) {
        std::string quoted;
        for (const char c : text) {
            if (c == '"' || c == '\\') quoted += '\\';
            quoted += c;
        }
        return quoted;
    }

    void WriteHive() const {
        // A page that fails is offered to the crash report, which would leave a file in the
        // working folder.
        std::string hive = "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\Software\\Veltra]\n\"WriteMiniDumps\"=dword:00000000\n\n";
        if (m_storagePathSet)
            hive += "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server\\GlobalOptions]\n\"StoragePath\"=\"" +
                    m_storage.Path() + "\"\n\n";
        hive += "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\Daruravidu Server\\PostResults]\n";
        for (const auto& [name, line] : m_postResults) hive += line + "\n";
        for (const auto& [name, value] : m_named)
            hive += "\n[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\" + name +
                    "]\n\"value\"=\"" + RegistryString(value) + "\"\n";
        WriteWholeFile(m_registry.MachineHivePath(), hive);
    }

    TemporaryRegistry m_registry;
    TemporaryFolder m_storage;
    bool m_storagePathSet = true;
    std::map<std::string, std::string> m_named;
    std::map<std::string, std::string> m_postResults;
    GatherOptionsManager m_configuration;
    PostFileOptionsManager m_postFileOptions;
    LockedCounters m_counters;
    std::unique_ptr<URLToGatherIDMap> m_gatherMap;
    std::unique_ptr<HTTPServerSettings> m_serverSettings;
};
