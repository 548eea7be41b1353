#include "relay/post/buffered_upload_unpacker.h"

#include <cstring>
#include <string>
#include <vector>

#include "crypto/encrypted_file.h"
#include "crypto/encryption_keys.h"
#include "formats/entry_archive.h"
#include "formats/file_list_reader.h"
#include "formats/std_file_list.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_operations.h"
#include "foundation/file_reader.h"
#include "foundation/temporary_files.h"
#include "platform/file_paths.h"
#include "relay/post/upload_query.h"

namespace {

constexpr char kEncryptedMarker[] = "##SE001";  // with its zero byte: 8 bytes
constexpr std::size_t kMarkerLength = sizeof kEncryptedMarker;
constexpr const char* kIndexFileName = "Index.txt";

bool IsEncrypted(const PosixPlatform::FileReadingPath& file) {
    Byte marker[kMarkerLength];
    return file.ReadAt(0, marker, kMarkerLength) == kMarkerLength &&
           std::memcmp(marker, kEncryptedMarker, kMarkerLength) == 0;
}

void Extract(const FileLocation& upload, const FileLocation& destination, std::uint64_t byteLimit) {
    PosixPlatform::FileReadingPath file(upload);
    FileReader reader(file);
    if (!IsEncrypted(file)) {
        ExtractArchive(reader, destination, byteLimit);
        return;
    }
    std::vector<CertificateAndKey> keys;
    LoadEncryptionKeys(keys, GetEncryptionKeysDirectory());
    if (keys.empty()) throw UploadRefused("No decryption keys available.");
    EncryptedFileReader decrypted;
    ReadEncryptedFileHeader(decrypted, keys, reader);
    ExtractArchive(decrypted, destination, byteLimit);
}

// The client names its index; the name is matched ignoring case.
FileLocation FindIndex(const FileLocation& folder) {
    for (DirectoryScan scan(folder, kIndexFileName); scan.IsValid(); scan.Next())
        if (!scan.Current().IsDirectory()) return scan.Current().GetLocation();
    return folder.MakeChild(kIndexFileName);
}

FileLocation ComputerFolder(const UploadUnpacking& where, std::uint32_t computerID) {
    return where.sha1Folder.MakeChild(std::to_string(computerID % where.computerFolderCount).c_str())
        .MakeChild(std::to_string(computerID).c_str());
}

std::vector<FileLocation> FilesIn(const FileLocation& folder) {
    std::vector<FileLocation> files;
    for (DirectoryScan scan(folder); scan.IsValid(); scan.Next())
        if (!scan.Current().IsDirectory()) files.push_back(scan.Current().GetLocation());
    return files;
}

}  // namespace

FileLocation UnpackBufferedUpload(const FileLocation& upload, const UploadUnpacking& where) {
    TemporaryDirectoryLocation unpacked(where.temporaryFolder);
    Extract(upload, unpacked.GetLocation(), where.byteLimit);
    STDFileList index;
    ReadFileList(FindIndex(unpacked.GetLocation()), 0, index);
    const FileLocation target = ComputerFolder(where, index.GetUniqueID());
    CreateDirectoryTree(target);
    for (const FileLocation& file : FilesIn(unpacked.GetLocation()))
        ReplacePath(file, FileLocation(target, file.GetName()));
    for (const FileLocation& file : FilesIn(target)) {
        const FileName name = file.GetName();
        if (index.Find(name.GetConstData().View()) || IsArchiveControlName(name.GetConstData())) continue;
        RemoveFile(file);
    }
    return target;
}
