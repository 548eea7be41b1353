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

namespace {

constexpr std::size_t kCopyChunk = 32768;

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

    void Unpack(const SiteArchiveMemberHead& member) {
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
    const FileListEntry* EntryToWrite(const SiteArchiveMemberHead& member) const {
        if (!IsValidFileName(member.fileName)) return nullptr;
        const FileListEntry* entry = m_list.Find(member.fileName);
        if (entry == nullptr || entry->sha1.IsEmpty()) return nullptr;
        if (member.difference) return m_oldDirectory ? entry : nullptr;
        return member.size == entry->size ? entry : nullptr;
    }

    void ReadPast(std::uint64_t size) { ReadSiteArchiveData(m_content, size, Buffer()); }

    void CopyMember(std::uint64_t size, FileWriter& writer, DataReceiver& digest) {
        ReadSiteArchiveData(m_content, size, Buffer(), [&writer, &digest](ConstData chunk) {
            writer.Write(chunk);
            digest.Receive(chunk);
        });
    }

    OutputRange Buffer() const { return OutputRange(m_buffer.get(), kCopyChunk); }

    void ApplyDifference(const SiteArchiveMemberHead& member, const FileListEntry& entry, FileWriter& writer,
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
    SiteArchiveMemberHead member;
    while (ReadSiteArchiveMemberHead(content, member)) unpacker.Unpack(member);
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
