#include "support/site_content.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <map>
#include <stdexcept>

#include "support/file_bytes.h"
#include "support/program_runner.h"
#include "support/test_pki.h"

namespace {

constexpr const char* kListBoundary = "filelist-part-boundary";
constexpr const char* kCRLF = "\r\n";

void SetModified(const std::string& path, std::int64_t seconds) {
    const timespec times[2] = {{static_cast<time_t>(seconds), 0}, {static_cast<time_t>(seconds), 0}};
    if (utimensat(AT_FDCWD, path.c_str(), times, 0) != 0) throw std::runtime_error("cannot set the time of " + path);
}

std::string Header(const std::string& name, const std::string& value) {
    return name + ": " + value + kCRLF;
}

// CRC-32/BZIP2: polynomial 0x04C11DB7, most significant bit first, all ones in and out.
std::uint32_t Crc32Bzip2(std::string_view bytes) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= std::uint32_t{byte} << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) != 0 ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return ~crc;
}

std::string LittleEndian(std::uint64_t value, std::size_t length) {
    std::string bytes;
    for (std::size_t i = 0; i < length; ++i) bytes.push_back(static_cast<char>(value >> (8 * i)));
    return bytes;
}

std::string PKIFile(const std::string& name) {
    return TestPKIFolder() + "/" + name;
}

// A temporary file holding the bytes, deleted with the object.
class ScratchFile {
  public:
    explicit ScratchFile(std::string_view bytes) {
        char pattern[] = "/tmp/site-content-XXXXXX";
        const int descriptor = mkstemp(pattern);
        if (descriptor < 0) throw std::runtime_error("mkstemp failed");
        close(descriptor);
        m_path = pattern;
        WriteFileBytes(m_path, bytes);
    }
    ScratchFile(const ScratchFile&) = delete;
    ScratchFile& operator=(const ScratchFile&) = delete;
    ~ScratchFile() { std::remove(m_path.c_str()); }

    const std::string& Path() const { return m_path; }

  private:
    std::string m_path;
};

}  // namespace

std::vector<SiteFile> ReadSiteTree(const std::string& folder) {
    std::vector<SiteFile> files;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        if (!entry.is_regular_file()) continue;
        struct stat status {};
        if (stat(entry.path().c_str(), &status) != 0) throw std::runtime_error("cannot stat " + entry.path().string());
        files.push_back({entry.path().filename().string(), ReadFileBytes(entry.path().string()), status.st_mtim.tv_sec});
    }
    std::sort(files.begin(), files.end(), [](const SiteFile& a, const SiteFile& b) { return a.name < b.name; });
    return files;
}

void WriteSiteTree(const std::string& folder, const std::vector<SiteFile>& files) {
    std::filesystem::create_directories(folder);
    for (const SiteFile& file : files) {
        const std::string path = folder + "/" + file.name;
        WriteFileBytes(path, file.content);
        SetModified(path, file.modified);
    }
}

std::string Sha1Hex(std::string_view bytes) {
    unsigned char digest[EVP_MAX_MD_SIZE];
    unsigned int length = 0;
    if (EVP_Digest(bytes.data(), bytes.size(), digest, &length, EVP_sha1(), nullptr) != 1)
        throw std::runtime_error("SHA-1 failed");
    std::string hex;
    for (unsigned int i = 0; i < length; ++i) {
        char pair[3];
        std::snprintf(pair, sizeof pair, "%02x", digest[i]);
        hex += pair;
    }
    return hex;
}

std::string TimeText(std::int64_t seconds) {
    const time_t time = static_cast<time_t>(seconds);
    std::tm parts{};
    gmtime_r(&time, &parts);
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    char text[64];
    std::snprintf(text, sizeof text, "%s, %02d %s %04d %02d:%02d:%02d +0000", kDays[parts.tm_wday], parts.tm_mday,
                  kMonths[parts.tm_mon], parts.tm_year + 1900, parts.tm_hour, parts.tm_min, parts.tm_sec);
    return text;
}

std::uint32_t TextChecksum(std::string_view bytes) {
    return Crc32Bzip2(bytes);
}

std::uint32_t ManyVersionListCRC(const std::string& manyVersion) {
    std::vector<std::uint32_t> entries;
    std::size_t start = 0;
    while (start <= manyVersion.size() && !manyVersion.empty()) {
        const std::size_t comma = std::min(manyVersion.find(',', start), manyVersion.size());
        entries.push_back(static_cast<std::uint32_t>(std::stoul(manyVersion.substr(start, comma - start))));
        start = comma + 1;
    }
    while (!entries.empty() && entries.back() == 0) entries.pop_back();
    std::string bytes;
    for (const std::uint32_t entry : entries) bytes += LittleEndian(entry, 4);
    return Crc32Bzip2(bytes);
}

std::string PercentEncoded(std::string_view text) {
    std::string encoded;
    for (unsigned char c : text) {
        if (std::isalnum(c) || c == '-' || c == '.' || c == '_' || c == '~') {
            encoded.push_back(static_cast<char>(c));
        } else {
            char escape[4];
            std::snprintf(escape, sizeof escape, "%%%02X", c);
            encoded += escape;
        }
    }
    return encoded;
}

ListFields EntryFieldsOf(const SiteFile& file, const std::string& urlBase) {
    return {
        {"url", urlBase + PercentEncoded(file.name)},
        {"name", PercentEncoded(file.name)},
        {"type", "FILE"},
        {"modified", TimeText(file.modified)},
        {"size", std::to_string(file.content.size())},
        {"sha1", Sha1Hex(file.content)},
    };
}

std::string FileListText(const FileListOptions& options, const std::vector<ListFields>& entries) {
    std::string text = Header("MIME-Version", "1.0");
    text += Header("Content-Type", std::string("multipart/x-directory2; boundary=\"") + kListBoundary + "\"");
    text += Header("version", std::to_string(options.version));
    if (!options.sourceVersions.empty()) text += Header("source-versions", options.sourceVersions);
    for (const auto& [name, value] : options.extraHeaders) text += Header(name, value);
    text += kCRLF;
    for (const ListFields& entry : entries) {
        text += std::string("--") + kListBoundary + kCRLF + kCRLF;
        for (const auto& [name, value] : entry) text += Header(name, value);
    }
    text += std::string("--") + kListBoundary + "--" + kCRLF;
    return text;
}

std::string FileListForFiles(const std::vector<SiteFile>& files, const FileListOptions& options) {
    std::vector<ListFields> entries;
    for (const SiteFile& file : files) entries.push_back(EntryFieldsOf(file, options.urlBase));
    return FileListText(options, entries);
}

std::string MixedMessage(const std::vector<std::string>& parts, const std::string& boundary) {
    std::string text = Header("Content-Type", "multipart/mixed; boundary=\"" + boundary + "\"");
    text += kCRLF;
    for (const std::string& part : parts) text += "--" + boundary + kCRLF + part + kCRLF;
    text += "--" + boundary + "--" + kCRLF;
    return text;
}

Signer SiteSigner() {
    return {PKIFile("opsite.pem"), PKIFile("opsite.key"), PKIFile("chain-registrar.pem")};
}

Signer OperatorSigner(const std::string& name) {
    return {PKIFile(name + ".pem"), PKIFile("operator-common.key"), PKIFile("chain-opsite.pem")};
}

Signer CustomSiteUserSigner() {
    return {PKIFile("roles/typed.pem"), PKIFile("roles/typed.key"), PKIFile("roles/typed-user-chain.pem")};
}

std::string SignedMessage(const std::string& content, const Signer& signer) {
    ScratchFile input(content);
    std::vector<std::string> arguments = {"smime", "-sign", "-md", "sha1", "-binary", "-in", input.Path(),
                                          "-signer", signer.certificate, "-inkey", signer.key};
    if (!signer.carried.empty()) {
        arguments.push_back("-certfile");
        arguments.push_back(signer.carried);
    }
    const ProgramRun run = RunProgram("openssl", arguments);
    if (run.exitStatus != 0) throw std::runtime_error("openssl smime -sign failed: " + run.err);
    return run.out;
}

std::string CompressedFileBytes(std::string_view content) {
    uLongf length = compressBound(static_cast<uLong>(content.size()));
    std::string compressed(length, '\0');
    if (compress(reinterpret_cast<Bytef*>(compressed.data()), &length,
                 reinterpret_cast<const Bytef*>(content.data()), static_cast<uLong>(content.size())) != Z_OK)
        throw std::runtime_error("zlib compress failed");
    compressed.resize(length);
    const std::uint32_t crc = Crc32Bzip2(content);
    std::string bytes("##SC001", 7);
    bytes.push_back('\0');
    for (int shift = 24; shift >= 0; shift -= 8) bytes.push_back(static_cast<char>(crc >> shift));
    return bytes + compressed;
}

std::string SiteArchiveContent(const std::vector<ArchiveMember>& members) {
    std::string content;
    for (const ArchiveMember& member : members) {
        const std::string time = TimeText(member.modified);
        content.push_back('_');
        content.push_back(static_cast<char>(member.name.size() + 1));
        content += member.name;
        content.push_back('\0');
        content.push_back(static_cast<char>(time.size()));
        content += time;
        content += LittleEndian(member.data.size(), 4);
        content += member.data;
    }
    content.push_back('_');
    content.push_back('\0');
    return content;
}

std::string SiteArchiveBytes(const std::vector<ArchiveMember>& members) {
    return CompressedFileBytes(SiteArchiveContent(members));
}

std::string FullSiteArchiveBytes(const std::vector<SiteFile>& files) {
    std::vector<ArchiveMember> members;
    for (const SiteFile& file : files) members.push_back({file.name, file.content, file.modified});
    return SiteArchiveBytes(members);
}

std::vector<ArchiveMember> UpdateArchiveMembers(const std::vector<SiteFile>& from, const std::vector<SiteFile>& to) {
    std::map<std::string, const SiteFile*> old;
    for (const SiteFile& file : from) old[file.name] = &file;
    std::vector<ArchiveMember> members;
    for (const SiteFile& file : to) {
        const auto found = old.find(file.name);
        if (found == old.end())
            members.push_back({file.name, file.content, file.modified});
        else if (found->second->content != file.content)
            members.push_back({"__dif_" + file.name, DifferenceBytes(found->second->content, file.content), file.modified});
    }
    return members;
}

std::string UpdateArchiveBytes(const std::vector<SiteFile>& from, const std::vector<SiteFile>& to) {
    return SiteArchiveBytes(UpdateArchiveMembers(from, to));
}

std::string DifferenceRecord(unsigned operation, std::uint32_t length, std::string_view literal) {
    std::size_t lengthBytes = 1;
    while (lengthBytes < 4 && (length >> (8 * lengthBytes)) != 0) ++lengthBytes;
    std::string record(1, static_cast<char>(operation | lengthBytes));
    record += LittleEndian(length, lengthBytes);
    record += literal;
    return record;
}

std::string DifferenceBytes(std::string_view oldBytes, std::string_view newBytes) {
    std::size_t start = 0;
    while (start < oldBytes.size() && start < newBytes.size() && oldBytes[start] == newBytes[start]) ++start;
    std::size_t end = 0;
    while (end < oldBytes.size() - start && end < newBytes.size() - start &&
           oldBytes[oldBytes.size() - 1 - end] == newBytes[newBytes.size() - 1 - end])
        ++end;
    const std::size_t oldMiddle = oldBytes.size() - start - end;
    const std::string_view newMiddle = newBytes.substr(start, newBytes.size() - start - end);
    std::string difference;
    if (start != 0) difference += DifferenceRecord(0x40, static_cast<std::uint32_t>(start));
    if (oldMiddle != 0) difference += DifferenceRecord(0x20, static_cast<std::uint32_t>(oldMiddle));
    if (!newMiddle.empty()) difference += DifferenceRecord(0x10, static_cast<std::uint32_t>(newMiddle.size()), newMiddle);
    if (end != 0) difference += DifferenceRecord(0x40, static_cast<std::uint32_t>(end));
    return difference;
}
