#include "e2e/download_relays.h"

#include <filesystem>
#include <sstream>
#include <thread>

#include "support/eventually.h"
#include "support/site_content.h"
#include "support/temporary_registry.h"

std::vector<DownloadFile> MakeDownloadFiles(std::size_t count, std::size_t size) {
    std::vector<DownloadFile> files;
    for (std::size_t file = 0; file < count; ++file) {
        std::string bytes;
        for (std::size_t at = 0; at < size; ++at) bytes += static_cast<char>('a' + (at * 7 + file * 13) % 26);
        files.push_back({bytes, Sha1Hex(bytes)});
    }
    return files;
}

std::string DownloadList(std::uint32_t action, const std::vector<DownloadFile>& files) {
    std::string list = "+\n" + std::to_string(action) + "\n";
    for (std::size_t index = 1; index <= files.size(); ++index) {
        const DownloadFile& file = files[index - 1];
        list += "http://site.invalid/" + std::to_string(index) + ".bin\nsize:" + std::to_string(file.bytes.size()) +
                "\nsha1:" + file.sha1 + "\n";
    }
    return list;
}

std::string DownloadsFolder(const RelayProcess& relay, const std::string& path) {
    return relay.Folder() + "/wwwroot/vtmirror/downloads/" + path;
}

void SeedFile(const RelayProcess& relay, const DownloadFile& file) {
    std::filesystem::create_directories(DownloadsFolder(relay, "sha1"));
    WriteWholeFile(DownloadsFolder(relay, "sha1/" + file.sha1), file.bytes);
}

void SeedAction(const RelayProcess& relay, std::uint32_t action, const std::vector<DownloadFile>& files) {
    for (const DownloadFile& file : files) SeedFile(relay, file);
    const std::string inbox = relay.Folder() + "/storage/Mirror Server/inbox";
    std::filesystem::create_directories(inbox);
    WriteWholeFile(inbox + "/dl_" + std::to_string(action), DownloadList(action, files));
}

bool AwaitActionTaken(const RelayProcess& relay, std::uint32_t action, std::chrono::milliseconds limit) {
    const std::string list = DownloadsFolder(relay, "ActionURLs/dl_" + std::to_string(action));
    return Eventually([&] { return std::filesystem::exists(list); }, limit);
}

std::string LoopbackURL(std::uint16_t port) { return "http://127.0.0.1:" + std::to_string(port); }

void UseParent(RelayProcess& relay, const std::string& parentURL, bool urlMoniker) {
    relay.SetClientSetting("__Relay_Control_Server1", parentURL);
    relay.SetClientSetting("_KVRGather_Comm_UseUrlMoniker", urlMoniker ? "1" : "0");
}

void KeepAccessLog(RelayProcess& relay) {
    std::filesystem::create_directories(relay.Folder() + "/accesslog");
    relay.SetClientSetting("_KVRRelay_HTTPServer_HttpLogDirectoryPath", relay.Folder() + "/accesslog");
}

std::size_t CountRequests(const RelayProcess& relay, const std::string& method, const std::string& target) {
    const std::string end = " " + method + " " + target;
    std::size_t count = 0;
    for (const auto& entry : std::filesystem::directory_iterator(relay.Folder() + "/accesslog")) {
        std::istringstream lines(ReadWholeFile(entry.path()));
        for (std::string line; std::getline(lines, line);)
            if (line.ends_with(end)) ++count;
    }
    return count;
}

std::string StatusLineOf(const std::string& reply) { return reply.substr(0, reply.find("\r\n")); }

std::string BodyOf(const std::string& reply) {
    const std::size_t end = reply.find("\r\n\r\n");
    return end == std::string::npos ? "" : reply.substr(end + 4);
}

std::string AwaitServed(const RelayProcess& relay, const std::string& target, std::chrono::milliseconds limit,
                        std::chrono::milliseconds interval) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (std::chrono::steady_clock::now() < deadline) {
        const std::string reply = relay.Get(target);
        if (StatusLineOf(reply).starts_with("HTTP/1.0 200")) return BodyOf(reply);
        std::this_thread::sleep_for(interval);
    }
    return "no file";
}

std::vector<std::string> Storm(const RelayProcess& relay, const std::string& target, int count) {
    std::vector<std::string> statuses(count);
    std::vector<std::thread> clients;
    for (int client = 0; client < count; ++client)
        clients.emplace_back([&, client] { statuses[client] = StatusLineOf(relay.Get(target)); });
    for (std::thread& client : clients) client.join();
    return statuses;
}
