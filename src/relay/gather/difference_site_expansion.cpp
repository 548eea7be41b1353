#include "relay/gather/difference_site_expansion.h"

#include "formats/binary_difference.h"
#include "formats/site_archive.h"
#include "formats/site_archive_extraction.h"
#include "foundation/file_item.h"
#include "foundation/file_reader.h"
#include "foundation/log_manager.h"
#include "foundation/temporary_files.h"
#include "foundation/whole_file.h"
#include "platform/file_paths.h"
#include "relay/gather/gather_cache.h"

namespace {

class DifferenceSiteExpansion {
  public:
    DifferenceSiteExpansion(const FileLocation& differenceSite, const STDFileList& earlierList,
                            const FileLocation& cacheFolder)
        : m_differenceSite(differenceSite),
          m_earlierList(earlierList),
          m_cacheFolder(cacheFolder),
          m_members(GetSystemTemporaryDirectory()) {
        ExtractSiteArchive(differenceSite, m_members.GetLocation(), [](std::string_view) { return true; }, false);
    }

    // False when neither the archive nor the earlier version supplies the entry.
    bool Supply(const FileListEntry& entry) {
        if (FileAttributes(GatherCacheFile(m_cacheFolder, entry.sha1)).Exists()) return true;
        if (TakeWhole(entry)) return true;
        if (Expand(entry)) return true;
        KVR_LOG("critical") << "Unable to find file \"" << entry.name << "\" in diffsite \""
                            << m_differenceSite.ToString() << "\"";
        return false;
    }

  private:
    FileLocation Member(const std::string& name) const { return m_members.GetLocation().MakeChild(name.c_str()); }

    bool TakeWhole(const FileListEntry& entry) {
        const FileLocation member = Member(entry.name);
        if (!FileAttributes(member).Exists()) return false;
        return WriteVerifiedCacheFile(m_cacheFolder, entry.sha1,
                                      [&member](DataReceiver& receiver) { FeedFileToReceiver(member, receiver); });
    }

    bool Expand(const FileListEntry& entry) {
        const FileListEntry* earlier = m_earlierList.Find(entry.name);
        const FileLocation difference = Member(kDifferenceMemberPrefix + entry.name);
        if (earlier == nullptr || earlier->sha1.IsEmpty() || !FileAttributes(difference).Exists()) return false;
        const FileLocation base = GatherCacheFile(m_cacheFolder, earlier->sha1);
        if (!FileAttributes(base).Exists()) return false;
        const bool verified = WriteVerifiedCacheFile(m_cacheFolder, entry.sha1, [&](DataReceiver& receiver) {
            PosixPlatform::FileReadingPath baseFile(base);
            FileReader baseReader(baseFile);
            DifferenceExpander expander(baseReader, receiver, entry.size);
            DifferenceMaker maker(expander);
            FeedFileToReceiver(difference, maker);
        });
        if (!verified)
            throw DifferenceSiteMismatch("The difference for \"" + entry.name + "\" in diffsite \"" +
                                         m_differenceSite.ToString() + "\" does not give its SHA-1");
        return true;
    }

    const FileLocation& m_differenceSite;
    const STDFileList& m_earlierList;
    const FileLocation& m_cacheFolder;
    TemporaryDirectoryLocation m_members;
};

}  // namespace

bool ExpandDifferenceSite(const FileLocation& differenceSite, const STDFileList& newList,
                          const STDFileList& earlierList, const FileLocation& cacheFolder) {
    DifferenceSiteExpansion expansion(differenceSite, earlierList, cacheFolder);
    for (std::uint32_t i = 0; i < newList.Count(); ++i) {
        const FileListEntry& entry = newList.At(i);
        if (entry.sha1.IsEmpty() || !expansion.Supply(entry)) return false;
    }
    return true;
}
