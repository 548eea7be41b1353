// post-file [UPLOAD_MIB] [CLIENTS]: how fast uploads go through a relay: from a client into a child
// relay's post-file plug-in, and on by the child's upload manager to its parent relay.
//
// Starts two `kvrrelay -d` of this build (../src/kvrrelay beside this program), each in a folder with a
// registry of its own on a free loopback port: the parent, whose own upload manager has no parent
// host (so uploads stay in its buffer), and the child, whose "ParentRelayHost" is the parent. Then:
//   - one upload of UPLOAD_MIB MiB (default 100), sent by one client in ranges of 128 KiB (the upload
//     manager's default "ChunkSize") and again, with a fresh pair of relays, in ranges of 1 MiB (the
//     child's "ChunkSize" set to match): MB/s from the client into the child, and MB/s from the
//     client's last reply until the parent holds the whole file;
//   - CLIENTS (default 100) clients at once, each sending an upload of 1 MiB of its own in 128 KiB
//     ranges: the uploads/s and MB/s the child takes them in, the median and p99 time of one upload,
//     and how long until the parent holds all of them. Both buffers may hold 1 GiB here (the 20 MiB
//     default would refuse most of them: the child's while its manager is still sending the first
//     ones, the parent's for good, as nothing takes them from it).
// MB are 10^6 bytes. The relays' folders are removed at the end. Exits 1 when an upload did not reach
// the parent whole.

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <regex>
#include <thread>

#include "bench_relay.h"

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kMiB = 1024 * 1024;
constexpr std::uint64_t kDefaultChunk = 128 * 1024;
constexpr const char* kPostFilePath = "/cgi-bin/vtdaruravidu/PostFile.exe";

double Seconds(Clock::duration span) {
    return std::chrono::duration<double>(span).count();
}

std::string Content(std::uint64_t size, std::uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& byte : bytes) {
        seed = seed * 1103515245 + 12345;
        byte = static_cast<char>(seed >> 24);
    }
    return bytes;
}

// Sends the content as a buffered upload in ranges, each from where the relay's last answer said;
// false when the relay refused it.
bool Upload(std::uint16_t port, const std::string& content, const std::string& sha1, std::uint64_t chunk) {
    static const std::regex held("\r\nx-kvr-upload-result: Success=([0-9]+),");
    std::uint64_t offset = 0;
    while (offset < content.size()) {
        const std::uint64_t last = std::min<std::uint64_t>(offset + chunk, content.size()) - 1;
        const std::string target = std::string(kPostFilePath) + "?sha1=" + sha1 + "&range=" + std::to_string(offset) +
                                   "," + std::to_string(last) + "," + std::to_string(content.size());
        const std::string reply = Exchange(port, "POST " + target + " HTTP/1.0\r\nContent-Length: " +
                                                     std::to_string(last - offset + 1) + "\r\n\r\n" +
                                                     content.substr(offset, last - offset + 1));
        std::smatch numbers;
        if (!std::regex_search(reply, numbers, held)) return false;
        offset = std::stoull(numbers[1]);
    }
    return true;
}

// The size of a finished buffered upload at the relay; 0 while there is none.
std::uint64_t Buffered(const BenchRelay& relay, const std::string& sha1) {
    std::error_code error;
    const auto size =
        std::filesystem::file_size(relay.Folder() + "/storage/UploadManagerData/BufferDir/sha1/" + sha1, error);
    return error ? 0 : size;
}

// Waits until the relay holds every upload whole; the time it took, or a negative value after ten
// minutes.
double AwaitBuffered(const BenchRelay& relay, const std::vector<std::string>& sha1s, std::uint64_t size, Clock::time_point from) {
    const auto deadline = Clock::now() + std::chrono::minutes(10);
    for (const std::string& sha1 : sha1s)
        while (Buffered(relay, sha1) != size) {
            if (Clock::now() > deadline) return -1;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    return Seconds(Clock::now() - from);
}

double MBPerSecond(std::uint64_t bytes, double seconds) {
    return seconds > 0 ? bytes / 1e6 / seconds : 0;
}

bool OneLargeUpload(std::uint64_t size, std::uint64_t chunk) {
    BenchRelay parent({});
    BenchRelay child({{"_KVRRelay_UploadManager_ParentRelayHost", parent.Host()},
                 {"_KVRRelay_UploadManager_ChunkSize", std::to_string(chunk)}});
    const std::string content = Content(size, 7);
    const std::string sha1 = Sha1Text(content);
    const auto start = Clock::now();
    if (!Upload(child.Port(), content, sha1, chunk)) Fail("the child refused the upload");
    const auto taken = Clock::now();
    const double onward = AwaitBuffered(parent, {sha1}, size, taken);
    std::printf("%3llu KiB ranges: client -> relay %.1f MiB in %.2f s, %.1f MB/s; relay -> parent %.2f s, %.1f MB/s\n",
                static_cast<unsigned long long>(chunk / 1024), size / double(kMiB), Seconds(taken - start),
                MBPerSecond(size, Seconds(taken - start)), onward, MBPerSecond(size, onward));
    return onward >= 0;
}

bool ConcurrentUploads(int clients) {
    BenchRelay parent({{"_KVRRelay_UploadManager_BufferDirectoryMaxSize", std::to_string(1024 * kMiB)}});
    BenchRelay child({{"_KVRRelay_UploadManager_ParentRelayHost", parent.Host()},
                 {"_KVRRelay_UploadManager_BufferDirectoryMaxSize", std::to_string(1024 * kMiB)}});
    std::vector<std::string> contents, sha1s;
    for (int i = 0; i < clients; ++i) {
        contents.push_back(Content(kMiB, 1000 + i));
        sha1s.push_back(Sha1Text(contents.back()));
    }
    std::vector<double> took(clients, -1);
    const auto start = Clock::now();
    std::vector<std::thread> threads;
    for (int i = 0; i < clients; ++i)
        threads.emplace_back([&, i] {
            const auto begun = Clock::now();
            if (Upload(child.Port(), contents[i], sha1s[i], kDefaultChunk)) took[i] = Seconds(Clock::now() - begun);
        });
    for (std::thread& thread : threads) thread.join();
    const double all = Seconds(Clock::now() - start);
    const auto taken = Clock::now();
    const int refused = static_cast<int>(std::count(took.begin(), took.end(), -1.0));
    std::sort(took.begin(), took.end());
    const double onward = AwaitBuffered(parent, sha1s, kMiB, taken);
    std::printf("%d clients x 1 MiB at once: taken in %.2f s, %.1f uploads/s, %.1f MB/s, one upload median %.3f s, "
                "p99 %.3f s, %d refused; at the parent %.2f s later\n",
                clients, all, clients / all, MBPerSecond(clients * kMiB, all), took[clients / 2],
                took[std::min(clients - 1, clients * 99 / 100)], refused, onward);
    return refused == 0 && onward >= 0;
}

}  // namespace

int main(int argc, char** argv) {
    const std::uint64_t uploadMiB = argc > 1 ? std::strtoull(argv[1], nullptr, 10) : 100;
    const int clients = argc > 2 ? std::atoi(argv[2]) : 100;
    if (uploadMiB == 0 || clients <= 0) {
        std::fprintf(stderr, "usage: post-file [UPLOAD_MIB] [CLIENTS]\n");
        return 2;
    }
    RaiseDescriptorLimit(2 * clients);
    bool whole = OneLargeUpload(uploadMiB * kMiB, kDefaultChunk);
    whole = OneLargeUpload(uploadMiB * kMiB, kMiB) && whole;
    whole = ConcurrentUploads(clients) && whole;
    return whole ? 0 : 1;
}
