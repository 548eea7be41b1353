// Completing the site directory of one site version (content under the entries' names) by the
// cheapest means whose result passes the content check (site_content_check.h), then leaving the
// full-site archive that children of this relay are served.
//
// The means, in order, each followed by the check; the first that passes ends the chain:
// 1. All diffs: "__alldiffs" is fetched into the site directory and its difference sites
//    ("__diffsite<version>", decimal; no other member is ever written) are stored there compressed.
//    When that fails in any way but a stop, "__alldiffs" is built instead: each earlier version the
//    list marks ("sitedifflist", std_file_list.h) has its "__diffsite<version>" fetched into the site
//    directory and added, expanded, to a new "__alldiffs" (a version whose fetch fails is left out).
// 2. Difference site: for each marked version, newest first, whose site directory
//    ("daruravidumirror_<id>_<version>") exists, "__diffsite<version>" is applied to it
//    (crypto/site_archive_unpacker.h); the first application that completes ends the step, and each
//    one that fails is logged under "critical" ("Unable to apply diffsite <error>").
// 3. Full site: "__fullsite" is fetched into the site directory and unpacked there. Its failures are
//    the gather's.
// Then SiteContentCheckFailed when the check still fails. Finally, unless the site directory holds
// "__fullsite", one is written from the entries' files.
//
// Where the files come from: with the reply's single-full-site URL, the full site is that URL and the
// names are resolved against it; without, the names are resolved against the list's difference base
// URL ("sitediffbaseurl") and the full site is the list's "fullsiteurl" (SiteGatherWorker::FetchContent
// then takes them from the parent's local address when it gave one).
//
// Every file that counts by its presence ("__alldiffs", the difference sites, "__fullsite") takes its
// name only when complete. A stop during any fetch ends the chain with GatherCancelled.
#pragma once

#include "formats/std_file_list.h"

class SiteGatherWorker;

// The worker's site directory must exist.
void CompleteSingleVersionSite(SiteGatherWorker& worker, const STDFileList& list);
