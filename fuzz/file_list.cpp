// Hostile file lists through the whole reader (compression remover, size bound, message parser,
// multipart/mixed and multipart/signed levels, the directory parts, the merger): it fails only with
// exceptions of the relay's own, and a list it reads holds only entries whose names may become
// paths, within the entry limit.

#include <cstdint>
#include <cstdlib>
#include <exception>

#include "formats/file_list_reader.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

bool IsSafeName(const std::string& name) {
    if (name.empty() || name == "." || name == ".." || name.size() > kFileListTextCapacity) return false;
    for (char c : name)
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F || c == '/' || c == '\\') return false;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    STDFileList list;
    try {
        ReadFileListBytes(ConstData(data, size), 3, list);
    } catch (const std::exception&) {
        Check(list.Count() == 0);
        return 0;
    }
    Check(list.Count() <= kMaximumFileListEntries);
    for (std::uint32_t i = 0; i < list.Count(); ++i) {
        const FileListEntry& entry = list.At(i);
        Check(IsSafeName(entry.name));
        Check(entry.url.size() <= kFileListTextCapacity);
        Check(entry.CacheName().empty() || entry.CacheName().size() == 45);
        Check(list.Find(entry.name) != nullptr);
    }
    return 0;
}
