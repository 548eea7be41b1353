// Extracting a site archive's members as plain files, without a file list to check them against:
// the all-diffs archives, whose members are the difference sites of a version, and the difference
// sites of many-version sites, whose members the caller checks one by one (the unpacking checked
// against a list is crypto/site_archive_unpacker.h).
//
// A member is stored under its file name (site_archive.h: what follows the last "/" or "\" of its
// name; a difference keeps its "__dif_" in front), when that is a valid file name and `accept` takes
// it; every other member, and every directory record, is read past. A member is written to a
// temporary file of the directory, which takes the member's name, replacing what is there, only once
// the member is complete. With `compress` the member's bytes are stored as a compressed file
// (compressed_file.h).
//
// Failures end the extraction and leave the members already in place: FormatError, the time parser's
// errors and NoMoreData for a malformed or short archive, FileStartingBytesNotRecognized and
// ZlibError for one that is no compressed file, the file errors. One thread per directory.
#pragma once

#include <functional>
#include <string_view>

#include "base/file_location.h"

void ExtractSiteArchive(const FileLocation& archive, const FileLocation& directory,
                        const std::function<bool(std::string_view name)>& accept, bool compress);
