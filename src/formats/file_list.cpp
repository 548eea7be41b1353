#include "formats/file_list.h"

#include "base/const_data.h"

std::string FileListEntry::CacheName() const {
    if (sha1.IsEmpty()) return {};
    return sha1.ToHex() + kCacheNameSuffix;
}

bool FileListEntryNameLess(const FileListEntry& a, const FileListEntry& b) {
    return ConstDataLess(ConstData(std::string_view(a.name)), ConstData(std::string_view(b.name)));
}
