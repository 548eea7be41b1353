#include "support/test_download_plugin.h"

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/eventually.h"
#include "support/file_bytes.h"

namespace {

// A JSON string of the text, which the tests keep to printable ASCII.
std::string Quoted(const std::string& text) {
    std::string quoted = "\"";
    for (char c : text) {
        if (c == '"' || c == '\\') quoted += '\\';
        quoted += c;
    }
    return quoted + "\"";
}

const char* BehaviourName(TestDownloadPlugin::Behaviour behaviour) {
    switch (behaviour) {
        case TestDownloadPlugin::Behaviour::Succeed:
            return "succeed";
        case TestDownloadPlugin::Behaviour::Fail:
            return "fail";
        case TestDownloadPlugin::Behaviour::Exit:
            return "exit";
        case TestDownloadPlugin::Behaviour::Hang:
            return "hang";
        case TestDownloadPlugin::Behaviour::Linger:
            return "linger";
    }
    return "";
}

}  // namespace

TestDownloadPlugin::TestDownloadPlugin(std::string folder)
    : m_folder(std::move(folder)), m_program(m_folder + "/plugin") {
    std::filesystem::create_directories(m_folder);
    ::chmod(m_folder.c_str(), 0755);
    WriteFileBytes(m_program, ReadFileBytes(KVR_SOURCE_DIR "/tests/support/test_download_plugin.py"));
    ::chmod(m_program.c_str(), 0755);
    Configure(Behaviour::Succeed);
}

void TestDownloadPlugin::Configure(Behaviour behaviour, const std::map<std::string, std::string>& files,
                                   const std::string* error, int lingerSeconds) {
    std::string settings = "{\"behaviour\": " + Quoted(BehaviourName(behaviour)) + ", \"files\": {";
    const char* separator = "";
    for (const auto& [url, content] : files) {
        settings += separator + Quoted(url) + ": " + Quoted(content);
        separator = ", ";
    }
    settings += "}, \"error\": " + (error ? Quoted(*error) : std::string("null")) +
                ", \"linger\": " + std::to_string(lingerSeconds) + "}";
    WriteFileBytes(m_program + ".conf", settings);
}

std::vector<pid_t> TestDownloadPlugin::Runs() const {
    std::vector<pid_t> runs;
    std::ifstream file(m_folder + "/runs");
    for (pid_t pid; file >> pid;) runs.push_back(pid);
    return runs;
}

std::string TestDownloadPlugin::DownloadsFileOf(pid_t run) const {
    return ReadFileBytes(m_folder + "/downloads-" + std::to_string(run) + ".json");
}

std::vector<pid_t> TestDownloadPlugin::AwaitRuns(std::size_t count) const {
    if (!Eventually([&] { return Runs().size() >= count; }, std::chrono::seconds(20)))
        throw std::runtime_error("the test download plug-in was not run " + std::to_string(count) + " times");
    return Runs();
}

std::string TestDownloadPlugin::AddMessage(const std::string& protocol) const {
    return "{\"message\": \"add\", \"protocol\": " + Quoted(protocol) +
           ", \"location\": " + Quoted(m_program) + "}";
}
