#include "formats/site_archive.h"

#include <string>

#include "foundation/file_item.h"
#include "foundation/file_reader.h"
#include "foundation/time_parser.h"
#include "foundation/time_text.h"

namespace {

constexpr Byte kFourByteSizeKind = '_';
constexpr Byte kEightByteSizeKind = '1';
constexpr Byte kEndMark[2] = {kFourByteSizeKind, 0};
// The name field holds the name and its terminating zero in at most 255 bytes.
constexpr std::size_t kMaximumNameLength = 254;
constexpr std::uint64_t kSmallFileLimit = 0xFFFFFFFFu;
constexpr std::uint64_t kLargeFileLimit = ~std::uint64_t{0};
constexpr std::size_t kCopyChunk = 32768;

void PutByte(DataReceiver& records, Byte byte) {
    records.Receive(&byte, &byte + 1);
}

}  // namespace

bool ReadSiteArchiveMemberHead(DataReader& content, SiteArchiveMemberHead& member) {
    if (ReadByte(content) != kFourByteSizeKind) throw FormatError();
    const std::size_t nameLength = ReadByte(content);
    if (nameLength == 0) return false;
    Byte name[255];
    content.ReadInto(name, name + nameLength);
    std::string_view nameText(reinterpret_cast<const char*>(name), nameLength);
    if (nameText.back() == '\0') nameText.remove_suffix(1);
    const std::size_t timeLength = ReadByte(content);
    if (timeLength == 0) throw FormatError();
    Byte time[255];
    content.ReadInto(time, time + timeLength);
    ParseTimeText(ConstData(time, time + timeLength));
    Byte size[4];
    content.ReadInto(size, size + sizeof size);
    member.size = std::uint64_t{size[0]} | std::uint64_t{size[1]} << 8 | std::uint64_t{size[2]} << 16 |
                  std::uint64_t{size[3]} << 24;
    const std::size_t lastSeparator = nameText.find_last_of("/\\");
    std::string_view fileName = lastSeparator == std::string_view::npos ? nameText : nameText.substr(lastSeparator + 1);
    member.difference = fileName.starts_with(kDifferenceMemberPrefix);
    if (member.difference) fileName.remove_prefix(std::string_view(kDifferenceMemberPrefix).size());
    member.fileName = std::string(fileName);
    return true;
}

void ReadSiteArchiveData(DataReader& content, std::uint64_t size, OutputRange buffer,
                         const std::function<void(ConstData chunk)>& take) {
    for (std::uint64_t left = size; left != 0;) {
        const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, buffer.Room()));
        content.ReadInto(buffer.begin, buffer.begin + chunk);
        if (take) take(ConstData(buffer.begin, chunk));
        left -= chunk;
    }
}

void WriteSiteArchiveRecordHead(DataReceiver& records, ConstData name, TimeValue modified, std::uint64_t size,
                                bool largeFilesAllowed) {
    if (name.IsEmpty()) throw ArchiveWriterError();
    if (size >= (largeFilesAllowed ? kLargeFileLimit : kSmallFileLimit)) throw ArchiveWriterFileTooBigError();
    if (name.Length() > kMaximumNameLength) throw ArchiveWriterError();
    const auto time = FormatTimeText(modified, TimeZoneOffset());
    const bool eightByteSize = (size >> 32) != 0;
    PutByte(records, eightByteSize ? kEightByteSizeKind : kFourByteSizeKind);
    PutByte(records, static_cast<Byte>(name.Length() + 1));
    records.Receive(name);
    PutByte(records, 0);
    PutByte(records, static_cast<Byte>(time.Length()));
    records.Receive(time.GetConstData());
    Byte sizeBytes[8];
    for (std::size_t i = 0; i < sizeof sizeBytes; ++i) sizeBytes[i] = static_cast<Byte>(size >> (8 * i));
    records.Receive(sizeBytes, sizeBytes + (eightByteSize ? 8 : 4));
}

void SiteArchiveWriter::Open(const FileLocation& location, bool uncompressed, bool largeFilesAllowed) {
    m_largeFilesAllowed = largeFilesAllowed;
    m_compressed.reset();
    m_sink.reset();
    m_uncompressed.reset();
    if (uncompressed) {
        m_records = &m_uncompressed.emplace(location);
    } else {
        m_file.OpenCreateAlways(location);
        m_sink.emplace(m_file, 0);
        m_records = &m_compressed.emplace(*m_sink, location);
    }
    m_records->Begin();
}

void SiteArchiveWriter::AddPath(const FileLocation& path, ConstData memberName, TimeValue modified) {
    if (!FileAttributes(path).IsDirectory()) {
        AddFile(path, memberName, modified);
        return;
    }
    std::string directoryName(memberName.View());
    directoryName += '/';
    WriteSiteArchiveRecordHead(*m_records, ConstData(std::string_view(directoryName)), modified, 0,
                               m_largeFilesAllowed);
}

// The size is the one the file has when it is opened; the copy takes exactly that many bytes.
void SiteArchiveWriter::AddFile(const FileLocation& path, ConstData memberName, TimeValue modified) {
    PosixPlatform::FileReadingPath file(path);
    const std::uint64_t size = file.GetSize();
    WriteSiteArchiveRecordHead(*m_records, memberName, modified, size, m_largeFilesAllowed);
    auto buffer = std::make_unique_for_overwrite<Byte[]>(kCopyChunk);
    for (FileReadingLoop loop(OutputRange(buffer.get(), kCopyChunk), file, 0, size); loop.HasChunk(); loop.Advance())
        m_records->Receive(loop.Chunk());
}

void SiteArchiveWriter::Finish() {
    m_records->Receive(kEndMark, kEndMark + sizeof kEndMark);
    m_records->End();
    if (m_file.IsOpen()) m_file.Close();
}
