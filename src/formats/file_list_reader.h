// Reading a whole file list (file_list.h) into an STDFileList: the stored lists of the dirlist folders
// ("__sdirlist", "__mdirlist_...") and the lists the parent sends.
//
// The chain: the bytes, through a CompressionRemover (so a list may be kept compressed, "##SC001"),
// bounded at kMaximumFileListBytes of text (ByteLimitExceeded beyond), cut into lines, parsed as a
// message into a MultipartFileListMaker, merged into the list through an STDFileListMaker. With a part
// verifier every list part must be signed and accepted by it (crypto/signed_file_list.h).
//
// The list is emptied first; a read that fails empties it again and passes the failure on (the
// errors of file_list.h, the verifier's, the compressed-file and file errors), so a list is either
// read whole or empty.
#pragma once

#include <cstdint>

#include "base/const_data.h"
#include "base/file_location.h"
#include "formats/multipart_file_list_maker.h"
#include "formats/std_file_list.h"

// The list in the file; `baseVersion` (0: none) selects the list's difference URL.
void ReadFileList(const FileLocation& location, std::uint32_t baseVersion, STDFileList& list,
                  FileListPartVerifier* verifier = nullptr);
// The same for the bytes of a list held in memory.
void ReadFileListBytes(ConstData bytes, std::uint32_t baseVersion, STDFileList& list,
                       FileListPartVerifier* verifier = nullptr);
