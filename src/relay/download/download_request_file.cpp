#include "relay/download/download_request_file.h"

#include <optional>
#include <string_view>

#include "base/numerals.h"
#include "foundation/whole_file.h"

namespace {

constexpr std::string_view kAbsent = "null";
constexpr std::string_view kSizePrefix = "size:";
constexpr std::string_view kSha1Prefix = "sha1:";

bool StartsWith(const std::string& line, std::string_view prefix) {
    return line.compare(0, prefix.size(), prefix) == 0;
}

std::optional<std::uint64_t> ReadSize(const std::string& line) {
    const std::string_view value = std::string_view(line).substr(kSizePrefix.size());
    if (value == kAbsent) return std::nullopt;
    return DecimalToUInt64(ConstData(value));
}

std::optional<DigestRecord> ReadSha1(const std::string& line) {
    const std::string_view value = std::string_view(line).substr(kSha1Prefix.size());
    if (value == kAbsent) return std::nullopt;
    std::optional<DigestRecord> sha1 = Sha1FromHexText(value);
    if (!sha1) throw InvalidDownloadRequestFile();
    return sha1;
}

bool ReadAddFlag(const std::string& line) {
    if (!line.empty() && line[0] == '+') return true;
    if (line == "-") return false;
    throw InvalidDownloadRequestFile();
}

// The groups of lines [first, end): a URL, an optional size line, a SHA-1 line.
std::vector<DownloadRequestTarget> ReadDownloads(const std::vector<std::string>& lines, std::size_t first,
                                                 std::size_t end, std::uint32_t actionID) {
    std::vector<DownloadRequestTarget> targets;
    std::uint32_t index = 1;
    for (std::size_t position = first; position < end; ++index) {
        const std::string& url = lines[position++];
        if (position == end) throw InvalidDownloadRequestFile();
        std::optional<std::uint64_t> size;
        if (StartsWith(lines[position], kSizePrefix)) size = ReadSize(lines[position++]);
        if (position == end || !StartsWith(lines[position], kSha1Prefix)) throw InvalidDownloadRequestFile();
        std::optional<DigestRecord> sha1 = ReadSha1(lines[position++]);
        targets.push_back(DownloadRequestTarget::Indexed(actionID, index, url, std::move(sha1), size));
    }
    return targets;
}

}  // namespace

void DownloadRequestFileMaker::End(std::uint64_t total) {
    m_collector.End(total);
    if (m_lines.size() < 2) throw InvalidDownloadRequestFile();
    m_result.add = ReadAddFlag(m_lines[0]);
    m_result.actionID = DecimalToUInt32(ConstData(std::string_view(m_lines[1])));
    std::size_t end = m_lines.size();
    while (end > 2 && m_lines[end - 1].empty()) --end;
    m_result.targets = ReadDownloads(m_lines, 2, end, m_result.actionID);
}

DownloadRequestFile ReadDownloadRequestFile(const FileLocation& location) {
    DownloadRequestFile file;
    DownloadRequestFileMaker maker(file);
    ReadFileLines(location, maker);
    return file;
}

DownloadRequestFile ReadDownloadRequestFileOfAction(const FileLocation& location, std::uint32_t actionID) {
    DownloadRequestFile file = ReadDownloadRequestFile(location);
    if (file.actionID != actionID) throw InvalidDownloadRequestFile();
    return file;
}
