// Completing a many-version site version: every entry of its list present in the gather cache
// (gather_cache.h), by the cheapest means whose result passes the content check
// (site_content_check.h), then leaving the full-site archive that children of this relay are served.
//
// The means, in order, each followed by the check; the first that passes ends the chain:
// 1. All diffs: the reply's all-diffs URL is fetched into the site dirlist folder as
//    "__alldiffs_<sha1>" (mirror_file_names.h), and its difference sites to this version
//    ("__diffsite_<40 hexadecimal digits>_to_<this version's sha1>"; no other member is ever
//    written) that the folder does not hold yet are stored there compressed. Any failure but a stop
//    is logged under "debug" and passed over.
// 2. Earlier lists: for each other "__mdirlist_" list of the folder, the difference site from its
//    many-version to this one, when the folder holds it, is expanded into the cache
//    (difference_site_expansion.h); the first expansion that succeeds ends the step, and each one
//    that fails, or whose list does not read, is logged under "critical" ("Unable to apply diffsite
//    <error>").
// 3. Full site: the reply's full-site URL (the list's "fullsiteurl" when the reply gave none) is
//    fetched into the site directory as "__fullsite" and unpacked there, and the unpacked files are
//    copied into the cache. Its failures are the gather's.
// Then SiteContentCheckFailed when the check still fails. Finally, unless the folder holds
// "__fullsite_<sha1>", one is written from the cache.
//
// Every file that counts by its presence takes its name only when complete. A stop during any
// fetch ends the chain with GatherCancelled.
#pragma once

#include "formats/std_file_list.h"

class SiteGatherWorker;

// The worker's site directory must exist; the site dirlist folder is made when missing.
void CompleteManyVersionSite(SiteGatherWorker& worker, const STDFileList& list);
