#include "crypto/site_archive_unpacker.h"

#include <memory>
#include <string>
#include <string_view>

#include "crypto/openssl_hash.h"
#include "formats/binary_difference.h"
#include "formats/compressed_file.h"
#include "formats/site_archive.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_reader.h"
#include "foundation/file_writer.h"
#include "foundation/temporary_files.h"
#include "foundation/time_parser.h"

namespace {

constexpr Byte kFourByteSizeKind = '_';
constexpr std::size_t kCopyChunk = 32768;

// One record's head, as the archive gives it.
struct MemberHead {
    std::string fileName;
    bool difference = false;
    std::uint64_t size = 0;
};

// Reads the next record's head; false at the end mark.
bool ReadMemberHead(DataReader& content, MemberHead& member) {
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

// Unpacks the members of one archive's content into the new directory.
class MemberUnpacker {
  public:
    MemberUnpacker(DataReader& content, const OptionalFileLocation& oldDirectory, const FileLocation& newDirectory,
                   const STDFileList& list)
        : m_content(content),
          m_oldDirectory(oldDirectory),
          m_newDirectory(newDirectory),
          m_list(list),
          m_buffer(std::make_unique_for_overwrite<Byte[]>(kCopyChunk)) {}

    void Unpack(const MemberHead& member) {
        const FileListEntry* entry = EntryToWrite(member);
        if (entry == nullptr) {
            ReadPast(member.size);
            return;
        }
        const FileLocation target = m_newDirectory.MakeChild(member.fileName.c_str());
        TemporaryFile output(m_newDirectory);
        FileWriter writer(output.GetPath(), 0);
        OpenSSLHash digest;
        digest.Start(ContentHashDigest());
        digest.Begin();
        if (member.difference)
            ApplyDifference(member, *entry, writer, digest);
        else
            CopyMember(member.size, writer, digest);
        digest.End();
        if (!DigestRecordsEqual(digest.GetDigest(), entry->sha1)) return;  // the temporary file goes
        output.ReplaceTo(target);
        FileItem(target).SetLastWriteTime(entry->modified);
    }

  private:
    // The list's entry that the member may be written as, or null when it is to be read past.
    const FileListEntry* EntryToWrite(const MemberHead& member) const {
        if (!IsValidFileName(member.fileName)) return nullptr;
        const FileListEntry* entry = m_list.Find(member.fileName);
        if (entry == nullptr || entry->sha1.IsEmpty()) return nullptr;
        if (member.difference) return m_oldDirectory ? entry : nullptr;
        return member.size == entry->size ? entry : nullptr;
    }

    void ReadPast(std::uint64_t size) {
        for (std::uint64_t left = size; left != 0;) {
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, kCopyChunk));
            m_content.ReadInto(m_buffer.get(), m_buffer.get() + chunk);
            left -= chunk;
        }
    }

    void CopyMember(std::uint64_t size, FileWriter& writer, DataReceiver& digest) {
        for (std::uint64_t left = size; left != 0;) {
            const std::size_t chunk = static_cast<std::size_t>(std::min<std::uint64_t>(left, kCopyChunk));
            m_content.ReadInto(m_buffer.get(), m_buffer.get() + chunk);
            writer.Write(m_buffer.get(), m_buffer.get() + chunk);
            digest.Receive(m_buffer.get(), m_buffer.get() + chunk);
            left -= chunk;
        }
    }

    void ApplyDifference(const MemberHead& member, const FileListEntry& entry, FileWriter& writer,
                         DataReceiver& digest) {
        PosixPlatform::FileReadingPath oldFile(m_oldDirectory->MakeChild(member.fileName.c_str()));
        FileReader oldReader(oldFile);
        ApplyDifferenceBlock(m_content, member.size, oldReader, writer, digest, entry.size);
    }

    DataReader& m_content;
    const OptionalFileLocation& m_oldDirectory;
    const FileLocation& m_newDirectory;
    const STDFileList& m_list;
    std::unique_ptr<Byte[]> m_buffer;
};

// The files an update left unchanged, from the old directory when their size still fits the entry.
void CopyUnchangedFiles(const FileLocation& oldDirectory, const FileLocation& newDirectory, const STDFileList& list) {
    for (std::uint32_t i = 0; i < list.Count(); ++i) {
        const FileListEntry& entry = list.At(i);
        if (!IsValidFileName(entry.name)) continue;
        const FileLocation oldFile = oldDirectory.MakeChild(entry.name.c_str());
        const FileLocation newFile = newDirectory.MakeChild(entry.name.c_str());
        FileItem old;
        if (!old.Lookup(oldFile) || old.IsDirectory() || old.GetSize() != entry.size) continue;
        if (FileAttributes(newFile).Exists()) continue;
        CopyNewFile(oldFile, newFile);
        FileItem(newFile).SetLastWriteTime(entry.modified);
    }
}

}  // namespace

void UnpackSiteArchive(DataReader& archive, const OptionalFileLocation& oldSiteDirectory,
                       const FileLocation& newSiteDirectory, const STDFileList& list) {
    CompressedFileReader content;
    content.Open(archive);
    MemberUnpacker unpacker(content, oldSiteDirectory, newSiteDirectory, list);
    MemberHead member;
    while (ReadMemberHead(content, member)) unpacker.Unpack(member);
    if (oldSiteDirectory) CopyUnchangedFiles(*oldSiteDirectory, newSiteDirectory, list);
}

void ApplyUpdateArchive(const FileLocation& archive, const FileLocation& oldSiteDirectory,
                        const FileLocation& newSiteDirectory, const STDFileList& list) {
    PosixPlatform::FileReadingPath file(archive);
    FileReader reader(file);
    UnpackSiteArchive(reader, oldSiteDirectory, newSiteDirectory, list);
}

void UnpackFullSiteArchive(const FileLocation& archive, const FileLocation& siteDirectory, const STDFileList& list) {
    PosixPlatform::FileReadingPath file(archive);
    FileReader reader(file);
    UnpackSiteArchive(reader, std::nullopt, siteDirectory, list);
}
