// The "archive_*" files of the gather inbox (GatherOptionsManager::GetInboxFolder): archived sites an
// operator or another program drops there, installed by archived_site.h. One step of each pass of the
// gather service loop.
//
// ProcessInboxArchives takes every plain file whose name matches "archive_*" (ignoring ASCII case;
// directories are left alone):
// - one written within the last kArchiveSettleTime (either way of now) is still being copied in and
//   is left for a later pass;
// - an installed archive, and one whose version the relay already holds, is deleted;
// - one that is refused or fails ("Failed to process archive_* file: <error>" under "critical") is
//   tried once only: it is moved into the folder "failed" of the inbox, replacing one of the same
//   name, and of the files there only the kFailedArchivesKept newest stay;
// - a stop during the install leaves it where it is, to be tried at the next start.
// A failure of the scan itself is logged as "Exception in archive_* processing loop: <error>".
//
// Runs on the gather service loop's thread only.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/file_location.h"

class GatherOptionsManager;
class GatherState;
class URLToGatherIDMap;

inline constexpr const char* kFailedArchivesFolderName = "failed";
inline constexpr std::int64_t kArchiveSettleTime = 10'000'000;  // microseconds
inline constexpr std::size_t kFailedArchivesKept = 10;

void ProcessInboxArchives(const FileLocation& inboxFolder, GatherOptionsManager& options, GatherState& gatherState,
                          URLToGatherIDMap& gatherMap);
