// Unpacking a site archive (formats/site_archive.h) into a site version's directory, checked against
// the version's file list: an update archive together with the old version's directory, or a
// full-site archive on its own.
//
// Each member is looked up in the list by its file name, the part of its name after the last "/" or
// "\" (without "__dif_" for a difference); the directory is flat. A member is written only when the
// list has an entry of that name with a SHA-1, and, for a plain member, of the member's size; a
// difference is applied to the old directory's file of that name, and may produce at most the
// entry's size. Everything else (directory records, names that are empty, "." or "..", members the
// list does not name, plain members of another size, differences without an old directory) is read
// past, writing nothing. A written member goes to a temporary file beside its target and takes the
// target's place only when its SHA-1 is the entry's; it then gets the entry's modification time.
// So a member can never replace a file the list does not name, and a file that does not check out is
// never seen.
//
// After an update archive, every file the list names that the new directory still lacks is copied
// from the old directory when the old copy has the entry's size (with the entry's time). Files that
// neither supplies stay missing; the caller checks the SHA-1s of the whole version.
//
// Failures end the unpacking and leave the members already in place: FormatError (a record kind
// other than "_", a time length of 0, a malformed or oversized difference), the time parser's errors
// for the time text, NoMoreData (a short archive), FileStartingBytesNotRecognized and ZlibError
// (no compressed file), the file errors (a missing old file for a difference among them).
//
// The crypto library must be started (SHA-1). One thread at a time per directory.
#pragma once

#include "base/data_pipeline.h"
#include "base/file_location.h"
#include "formats/std_file_list.h"

// The archive, from its start, with the old version's directory, when there is one.
void UnpackSiteArchive(DataReader& archive, const OptionalFileLocation& oldSiteDirectory,
                       const FileLocation& newSiteDirectory, const STDFileList& list);

// An update archive: the changes from the old directory's version to the list's.
void ApplyUpdateArchive(const FileLocation& archive, const FileLocation& oldSiteDirectory,
                        const FileLocation& newSiteDirectory, const STDFileList& list);
// A full-site archive: every file of the list's version.
void UnpackFullSiteArchive(const FileLocation& archive, const FileLocation& siteDirectory, const STDFileList& list);
