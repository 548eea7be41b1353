#include "relay/post/upload_query.h"

#include <limits>

#include "base/file_name.h"
#include "base/numerals.h"
#include "http/cgi_response.h"

namespace {

// A partial file is "_" and the key: the key may take one byte less than the longest such name.
constexpr std::size_t kLongestKey = FileName::kMaximumConcatenatedLength - 1;

std::uint64_t RangeNumber(std::string_view text) {
    if (text.empty()) return 0;
    std::uint64_t value = 0;
    if (ParseDecimalUInt64(ConstData(text), value) != NumeralStatus::Success)
        throw UploadRefused("invalid range value (not a decimal number)");
    return value;
}

// "S,E,T".
void ReadRange(std::string_view text, UploadQuery& query) {
    const std::size_t first = text.find(',');
    if (first == std::string_view::npos) throw UploadRefused("invalid range specification (first comma not found)");
    const std::size_t second = text.find(',', first + 1);
    if (second == std::string_view::npos)
        throw UploadRefused("invalid range specification (second comma not found)");
    query.start = RangeNumber(text.substr(0, first));
    query.end = RangeNumber(text.substr(first + 1, second - first - 1));
    query.total = RangeNumber(text.substr(second + 1));
}

// "S,E".
void ReadChunkRange(std::string_view text, UploadQuery& query) {
    const std::size_t comma = text.find(',');
    if (comma == std::string_view::npos) throw UploadRefused("invalid range specification (comma not found)");
    query.start = RangeNumber(text.substr(0, comma));
    query.end = RangeNumber(text.substr(comma + 1));
}

// A key that names a file ("_<key>", "<sha1>", "<wwwname>") must be one name in one folder.
bool NamesOneFile(const std::string& value) {
    return value.size() <= kLongestKey && IsValidFileName(value);
}

// The hash text also never holds a ".", so "..\" and the like are refused however they are spelt. An
// empty one is left to CheckHashAndSize, which says that it is missing.
void CheckNames(const UploadQuery& query) {
    if (query.sha1 && !query.sha1->empty() &&
        (query.sha1->find_first_of("./\\:") != std::string::npos || !NamesOneFile(*query.sha1)))
        throw UploadRefused("the hash value contained a character which is not allowed.");
    if (query.guid && !NamesOneFile(*query.guid))
        throw UploadRefused("the guid value contained a character which is not allowed.");
    if (query.wwwname && !NamesOneFile(*query.wwwname))
        throw UploadRefused("the wwwname value contained a character which is not allowed.");
}

}  // namespace

const std::string& UploadQuery::Key() const {
    static const std::string kNone;
    if (guid) return *guid;
    return sha1 ? *sha1 : kNone;
}

std::uint64_t UploadQuery::ChunkLength() const {
    const std::uint64_t span = end - start;
    return span == std::numeric_limits<std::uint64_t>::max() ? span : span + 1;
}

UploadQuery ParseUploadQuery(std::string_view text) {
    if (text.empty()) throw UploadRefused("no query parameters specified -- no hash value specified");
    UploadQuery query;
    for (const auto& [nameText, valueText] : ParseNameValueList(text)) {
        const std::string_view name = nameText.GetConstData().View();
        std::string value(valueText.GetConstData().View());
        if (name == "wwwname") {
            query.wwwname = std::move(value);
        } else if (name == "sha1") {
            query.sha1 = std::move(value);
        } else if (name == "guid") {
            query.guid = std::move(value);
        } else if (name == "range") {
            ReadRange(value, query);
        } else if (name == "chunkrange") {
            ReadChunkRange(value, query);
        } else if (name == "totalsize") {
            query.total = RangeNumber(value);
        }
    }
    if (query.start > query.end) throw UploadRefused("invalid range value (start > end)");
    // A partial file could otherwise grow past its total and never be finished.
    if (query.total != 0 && query.end >= query.total) throw UploadRefused("invalid range value (end >= total size)");
    CheckNames(query);
    return query;
}

void CheckHashAndSize(const UploadQuery& query) {
    if (!query.sha1 || query.sha1->empty()) throw UploadRefused("no hash value specified");
    if (query.total == 0) throw UploadRefused("total size of file cannot be 0 (possibly invalid or missing range value)");
}
