// The one test of a site version's content, after every means of completing it
// (single_version_completion.h, many_version_completion.h): for every entry of the version's list, in
// list order, the entry's content file exists and its SHA-1 is the entry's. The first entry missing,
// without a SHA-1 or with other content fails the check; an empty list passes.
//
// Two forms: the site directory holds each entry under its name; the gather cache holds it under its
// cache name (gather_cache.h).
//
// Functions; the crypto library must be started.
#pragma once

#include "base/exceptions.h"
#include "base/file_location.h"
#include "formats/std_file_list.h"

// Every means has been tried and the check still fails.
class SiteContentCheckFailed : public ExceptionPL {
  public:
    SiteContentCheckFailed() : ExceptionPL("Unable to get site content (failed to pass sha1 hash value checks).") {}
};

bool SiteDirectoryPassesCheck(const FileLocation& siteDirectory, const STDFileList& list);
bool GatherCachePassesCheck(const FileLocation& cacheFolder, const STDFileList& list);
