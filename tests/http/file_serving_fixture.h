// Test fixture of the file server end to end: a real HTTPServer on a loopback port over a temporary
// root, its settings in the test's own registry, and curl as a client.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "http/http_test_support.h"
#include "support/program_runner.h"
#include "support/temporary_folder.h"

// Bytes that differ from one offset to the next, for content that must arrive unchanged.
inline std::string Pattern(std::size_t length) {
    std::string text(length, '\0');
    for (std::size_t i = 0; i < length; ++i) text[i] = static_cast<char>(i * 131 % 251);
    return text;
}

class FileServing : public ::testing::Test {
  protected:
    // A server over the root, with the named settings given ("_KVRRelay_HTTPServer_" + name).
    void StartServer(const std::map<std::string, std::string>& named = {}) {
        StartServerOver(root.Path(), named);
    }
    void StartServerOver(const std::string& rootPath, const std::map<std::string, std::string>& named = {}) {
        std::map<std::string, std::string> settings;
        for (const auto& [name, value] : named) settings["_KVRRelay_HTTPServer_" + name] = value;
        WriteNamedSettings(registry, settings);
        m_server.reset();
        m_settings = std::make_unique<HTTPServerSettings>(TestServerSettings());
        m_settings->serverRootPath = FileLocation(rootPath.c_str());
        m_server = std::make_unique<RunningServer>(*m_settings, m_plugIns);
    }
    std::uint16_t Port() const { return m_server->Port(); }
    RunningServer& Server() { return *m_server; }
    // The plug-ins of servers started from now on; a plug-in must outlive the server (StopServer).
    PlugInPathTable& PlugIns() { return m_plugIns; }
    // Stops the server and joins its plug-in threads.
    void StopServer() { m_server.reset(); }

    void WriteFile(const std::string& name, const std::string& content) {
        std::filesystem::create_directories(std::filesystem::path(root / name).parent_path());
        std::ofstream(root / name, std::ios::binary) << content;
    }

    // curl --http1.0 into a file; answers curl's status.
    ProgramRun Curl(const std::vector<std::string>& arguments) {
        std::vector<std::string> all{"--http1.0", "-s", "--max-time", "60"};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return RunProgram("curl", all);
    }
    std::string URL(const std::string& path) { return "http://127.0.0.1:" + std::to_string(Port()) + path; }

    TemporaryRegistry registry;
    TemporaryFolder root;
    TemporaryFolder scratch;

  private:
    PlugInPathTable m_plugIns;
    std::unique_ptr<HTTPServerSettings> m_settings;
    std::unique_ptr<RunningServer> m_server;
};
