// Expanding a many-version difference site into the gather cache: the update archive from an earlier
// many-version list to a new one ("__diffsite_<from>_to_<to>", mirror_file_names.h), whose members are
// the new version's changed files, whole or as binary differences ("__dif_<name>",
// formats/binary_difference.h) from the earlier version's file of that name.
//
// The archive is extracted into a temporary directory (removed at the end, whatever happens); then,
// for each entry of the new list:
// - the cache holds the entry's file already: nothing to do;
// - the archive holds the file under the entry's name, with the entry's SHA-1: it goes into the cache;
// - the archive holds "__dif_<name>", and the earlier list an entry of that name whose file the cache
//   holds: the difference is expanded from that file into the cache, at most the entry's size;
//   content of another SHA-1 is DifferenceSiteMismatch, and nothing enters the cache;
// - otherwise "Unable to find file "<name>" in diffsite "<path>"" is logged under "critical" and the
//   expansion answers false.
// Files enter the cache verified only (gather_cache.h), so a bad difference leaves nothing behind.
// The archive's errors (site_archive_extraction.h), a malformed difference
// (IllFormedDifferenceData, NoMoreData) and the file errors pass on.
//
// The crypto library must be started. One thread; the cache is shared as gather_cache.h says.
#pragma once

#include "base/exceptions.h"
#include "base/file_location.h"
#include "formats/std_file_list.h"

class DifferenceSiteMismatch : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

bool ExpandDifferenceSite(const FileLocation& differenceSite, const STDFileList& newList,
                          const STDFileList& earlierList, const FileLocation& cacheFolder);
