// hash-file [FILE]: the SHA-1 of a file through HashFile beside `openssl dgst -sha1` on the same file,
// and the ratio of their times (ours / openssl). Without FILE it writes a 1 GiB file of pseudo-random
// bytes into the system's temporary folder first and removes it afterwards. Each is run twice and the
// faster run counts, so both read the file from the page cache. Exits 1 when the digests differ.

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "crypto/openssl_hash.h"
#include "crypto/openssl_startup.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr std::size_t kDefaultFileSize = std::size_t(1) << 30;

std::string MakeTestFile() {
    std::string path = "/tmp/hash-file-XXXXXX";
    const int descriptor = ::mkstemp(path.data());
    if (descriptor < 0) std::exit(2);
    std::mt19937_64 random(1);
    std::vector<std::uint64_t> block(1 << 17);
    for (std::size_t written = 0; written < kDefaultFileSize; written += block.size() * 8) {
        for (auto& word : block) word = random();
        if (::write(descriptor, block.data(), block.size() * 8) != ssize_t(block.size() * 8)) std::exit(2);
    }
    ::close(descriptor);
    return path;
}

template <class Run>
double FastestSeconds(Run run) {
    double best = 1e9;
    for (int i = 0; i < 2; ++i) {
        const auto start = Clock::now();
        run();
        best = std::min(best, std::chrono::duration<double>(Clock::now() - start).count());
    }
    return best;
}

std::string OpenSSLDigest(const std::string& path) {
    const std::string command = "openssl dgst -sha1 -r '" + path + "'";
    FILE* pipe = ::popen(command.c_str(), "r");
    char line[256] = {};
    if (!pipe || !std::fgets(line, sizeof line, pipe)) std::exit(2);
    ::pclose(pipe);
    return std::string(line).substr(0, 40);
}

}  // namespace

int main(int argc, char** argv) {
    InitializeOpenSSL(false);
    const bool madeFile = argc < 2;
    const std::string path = madeFile ? MakeTestFile() : argv[1];
    std::string ours;
    std::string theirs;
    const double oursSeconds =
        FastestSeconds([&] { ours = HashFile(FileLocation(path.c_str()), ContentHashDigest()).ToHex(); });
    const double theirsSeconds = FastestSeconds([&] { theirs = OpenSSLDigest(path); });
    if (madeFile) ::unlink(path.c_str());
    std::printf("HashFile        %s  %.3f s\nopenssl dgst    %s  %.3f s\nratio (ours/openssl) %.2f\n",
                ours.c_str(), oursSeconds, theirs.c_str(), theirsSeconds, oursSeconds / theirsSeconds);
    return ours == theirs ? 0 : 1;
}
