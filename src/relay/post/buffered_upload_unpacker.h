// Unpacking a finished buffered upload per computer: what the post-file plug-in does with a buffered
// upload when the relay runs no upload manager to carry it on.
//
// The upload is an entry archive (formats/entry_archive.h), compressed ("##SC001") or stored
// ("##SN001"), or all of that encrypted ("##SE001" and a zero byte, crypto/encrypted_file.h) for an
// encryption certificate whose key lies in the encryption keys directory (crypto/encryption_keys.h).
// It is extracted into a new temporary folder of `temporaryFolder`, with names kept inside that folder
// and at most `byteLimit` bytes unpacked. Its "Index.txt" (any case) is a file list
// (formats/file_list.h) whose "unique-id" is the computer's id C. The computer's folder is
// <sha1 folder>/<C mod computerFolderCount>/<C>, both decimal; every extracted file replaces its
// namesake there, and then every file of that folder that the list does not name is removed, except
// the archive's control files ("Index.txt", "Archive.dat", "Index.tmp", names beginning with "_").
//
// Failures: UploadRefused "No decryption keys available." (an encrypted upload and no key), the
// decryption, archive, file-list and file errors. A failure before the files are moved leaves the
// computer's folder as it was; the temporary folder always goes.
#pragma once

#include <cstdint>

#include "base/file_location.h"

struct UploadUnpacking {
    FileLocation temporaryFolder;
    FileLocation sha1Folder;
    std::uint64_t computerFolderCount = 1;  // at least 1
    std::uint64_t byteLimit = 0;            // at least 1
};

// Answers the computer's folder.
FileLocation UnpackBufferedUpload(const FileLocation& upload, const UploadUnpacking& where);
