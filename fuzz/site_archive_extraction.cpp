// Hostile archives extracted without a list, as all-diffs archives are: extraction fails only with
// exceptions of the relay's own, writes nothing but the members the caller accepts, each a plain
// file directly in the target folder, and leaves no temporary file behind.

#include <cstdint>
#include <cstdlib>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>

#include "formats/site_archive_extraction.h"
#include "foundation/whole_file.h"
#include "scratch_folder.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool Accepted(std::string_view name) {
    return name.starts_with("__diffsite");
}

ScratchFolder& TheScratch() {
    static ScratchFolder scratch;
    return scratch;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ScratchFolder& scratch = TheScratch();
    const FileLocation out = scratch.FreshFolder("out");
    WriteWholeFile(ConstData(data, size), scratch.Child("archive"));
    try {
        ExtractSiteArchive(scratch.Child("archive"), out, Accepted, size % 2 == 0);
    } catch (const std::exception&) {
        // Every failure of the relay's own is a std::exception; anything else escapes and fails.
    }
    const std::filesystem::path root(scratch.Location().GetPathString());
    for (const auto& entry : std::filesystem::directory_iterator(root))
        Check(entry.path().filename() == "archive" || entry.path().filename() == "out");
    for (const auto& entry : std::filesystem::directory_iterator(root / "out"))
        Check(entry.is_regular_file() && Accepted(entry.path().filename().string()));
    return 0;
}
