#include "relay/gather/serving_full_site.h"

#include "formats/site_archive.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/temporary_files.h"

void WriteServingFullSite(const FileLocation& target, const STDFileList& list,
                          const std::function<FileLocation(const FileListEntry&)>& contentOf) {
    if (FileAttributes(target).Exists()) return;
    TemporaryFileLocation built(target.GetParent());
    SiteArchiveWriter writer;
    writer.Open(built.GetLocation(), false, false);
    for (std::uint32_t i = 0; i < list.Count(); ++i) {
        const FileListEntry& entry = list.At(i);
        writer.AddPath(contentOf(entry), ConstData(std::string_view(entry.name)), entry.modified);
    }
    writer.Finish();
    ReplacePath(built.GetLocation(), target);
}
