// The full-site archive a gathered version leaves for this relay's children: every entry of the
// version's list, in list order, under its name and with its modification time, as a site archive
// (formats/site_archive.h). The archive is written to a temporary file beside its place, which it
// takes only when complete; an archive already there is kept as it is, so a served file never
// changes under a child that is fetching it.
#pragma once

#include <functional>

#include "base/file_location.h"
#include "formats/std_file_list.h"

// `contentOf` gives the file holding an entry's content. The writer's and the file errors pass on,
// leaving nothing.
void WriteServingFullSite(const FileLocation& target, const STDFileList& list,
                          const std::function<FileLocation(const FileListEntry&)>& contentOf);
