// Hostile entry archives, plain or compressed, extracted into a scratch folder: extraction fails
// only with exceptions of the relay's own, never writes outside its destination, and stops near its
// byte limit.

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "base/const_data_reader.h"
#include "formats/entry_archive.h"
#include "foundation/file_operations.h"
#include "foundation/temporary_files.h"

namespace {

constexpr std::uint64_t kLimit = 1'000'000;
// What one read may produce beyond the limit before the next read stops: the copy buffer and the
// reader's look-ahead.
constexpr std::uint64_t kOvershoot = 16384 + 1024;

void Check(bool condition) {
    if (!condition) std::abort();
}

// scratch/dest is the destination; nothing may ever appear in scratch beside it.
const TemporaryDirectoryLocation& Scratch() {
    static TemporaryDirectoryLocation scratch(GetSystemTemporaryDirectory());
    return scratch;
}

std::uintmax_t BytesBelow(const std::filesystem::path& folder) {
    std::uintmax_t total = 0;
    for (const auto& entry : std::filesystem::recursive_directory_iterator(folder))
        if (entry.is_regular_file()) total += entry.file_size();
    return total;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const FileLocation& scratch = Scratch().GetLocation();
    RemoveDirectoryContents(scratch);
    FileLocation destination = scratch.MakeChild("dest");
    ConstDataReader reader(ConstData(data, size));
    try {
        ExtractArchive(reader, destination, kLimit);
    } catch (const std::exception&) {
        // Every failure of the relay's own is a std::exception; anything else escapes and fails.
    }
    std::filesystem::path root(scratch.GetPathString());
    for (const auto& entry : std::filesystem::directory_iterator(root))
        Check(entry.path().filename() == "dest");
    Check(BytesBelow(root) <= kLimit + kOvershoot + size);
    return 0;
}
