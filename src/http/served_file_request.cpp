#include "http/served_file_request.h"

#include <algorithm>
#include <string>
#include <utility>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "formats/url_codec.h"
#include "foundation/text_ranges.h"
#include "net/url_path_iterator.h"

namespace {

bool IsRefusedName(const std::string& name) {
    return name == ".." || std::any_of(name.begin(), name.end(), [](char c) {
               return c == '/' || c == '\\' || Ascii::Control().Contains(static_cast<Byte>(c));
           });
}

}  // namespace

std::optional<std::vector<std::string>> ServedPathNames(ConstData path) {
    std::vector<std::string> names;
    for (URLPathIterator segment = URLPathIterator::First(path); !segment.AtEnd(); segment.Next()) {
        std::string name = URLDecodeText(segment.Current().name);
        if (IsRefusedName(name)) return std::nullopt;
        if (name.empty() || name == ".") continue;
        if (!IsValidFileName(name)) return std::nullopt;
        names.push_back(std::move(name));
    }
    return names;
}

std::optional<FileLocation> ResolveServedFilePath(const FileLocation& root, ConstData path) {
    const std::optional<std::vector<std::string>> names = ServedPathNames(path);
    if (!names) return std::nullopt;
    FileLocation location = root;
    if (location.IsEmpty()) return location;
    for (const std::string& name : *names) location = FileLocation(location, FileName(name.data(), name.size()));
    return location;
}

std::uint64_t RangeStart(ConstData range) {
    static constexpr std::string_view kBytesUnit = "bytes=";
    if (!ConstDataStartsWith(range, ConstData(kBytesUnit))) return 0;
    ConstData rest(range.begin + kBytesUnit.size(), range.end);
    ConstData start = TrimWhitespaceRange({rest.begin, std::find(rest.begin, rest.end, Byte{'-'})});
    return DecimalToUInt64OrDefault(start, 0);
}
