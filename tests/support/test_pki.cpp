#include "support/test_pki.h"

#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <stdexcept>
#include <vector>

#include "support/file_bytes.h"
#include "support/program_runner.h"

namespace {

const char* const kScriptFolder = KVR_SOURCE_DIR "/tests/pki";
const char* const kScript = KVR_SOURCE_DIR "/tests/pki/make-pki.sh";

// Every script of the folder, in name order: make-pki.sh runs the others.
std::string AllScripts() {
    std::vector<std::filesystem::path> scripts;
    for (const auto& entry : std::filesystem::directory_iterator(kScriptFolder))
        if (entry.path().extension() == ".sh") scripts.push_back(entry.path());
    std::sort(scripts.begin(), scripts.end());
    std::string text;
    for (const auto& script : scripts) text += ReadFileBytes(script.string());
    return text;
}

// Named by the scripts' content and the arc, so that a changed script makes fresh fixtures. Test
// processes run in parallel: each makes its own copy aside and the first to rename it wins.
std::string MakeTestPKI() {
    std::string arc = std::to_string(KVR_ENTERPRISE_ARC);
    std::size_t version = std::hash<std::string>()(AllScripts() + arc);
    std::filesystem::path folder = std::filesystem::path(KVR_BINARY_DIR) / "test-pki" / std::to_string(version);
    if (std::filesystem::exists(folder)) return folder.string();
    std::filesystem::path aside = folder.string() + ".making-" + std::to_string(getpid());
    std::filesystem::remove_all(aside);
    ProgramRun run = RunProgram("bash", {kScript, aside.string(), arc});
    if (run.exitStatus != 0) throw std::runtime_error("make-pki.sh failed: " + run.err);
    std::error_code error;
    std::filesystem::rename(aside, folder, error);
    if (error) std::filesystem::remove_all(aside);
    return folder.string();
}

}  // namespace

const std::string& TestPKIFolder() {
    static const std::string folder = MakeTestPKI();
    return folder;
}

std::string ReadTestPKIFile(const std::string& name) { return ReadFileBytes(TestPKIFolder() + "/" + name); }
