#include "relay/gather/many_version_completion.h"

#include <string>

#include "base/character_classes.h"
#include "crypto/site_archive_unpacker.h"
#include "formats/file_list_reader.h"
#include "formats/site_archive_extraction.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "relay/gather/difference_site_expansion.h"
#include "relay/gather/gather_cache.h"
#include "relay/gather/gather_fetch.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/mirror_file_names.h"
#include "relay/gather/serving_full_site.h"
#include "relay/gather/site_content_check.h"
#include "relay/gather/site_gather_worker.h"

namespace {

constexpr std::size_t kDigestTextLength = 40;

bool IsLowerCaseHex(std::string_view text) {
    for (const char c : text)
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
    return true;
}

class ManyVersionCompletion {
  public:
    ManyVersionCompletion(SiteGatherWorker& worker, const STDFileList& list)
        : m_worker(worker),
          m_list(list),
          m_digest(ManyVersionDigestText(list.GetManyVersion())),
          m_dirListFolder(worker.GetSiteDirListFolder()),
          m_cacheFolder(worker.GetGatherCacheFolder()) {
        CreateDirectoryTree(m_dirListFolder);
    }

    void Run() {
        TakeAllDiffs();
        if (!Passes()) ApplyEarlierLists();
        if (!Passes()) TakeFullSite();
        if (!Passes()) throw SiteContentCheckFailed();
        WriteServingCopy();
    }

  private:
    bool Passes() const { return GatherCachePassesCheck(m_cacheFolder, m_list); }
    FileLocation InDirListFolder(const std::string& name) const { return m_dirListFolder.MakeChild(name.c_str()); }

    // A difference site to this version that the folder does not hold yet: the only members an
    // all-diffs archive may put into the folder, which also holds the lists and the full sites.
    bool IsNewDiffSiteName(std::string_view name) const {
        const std::string_view prefix = kManyDiffSitePrefix;
        const std::string suffix = "_to_" + m_digest;
        if (name.size() != prefix.size() + kDigestTextLength + suffix.size() || !name.starts_with(prefix) ||
            !name.ends_with(suffix) || !IsLowerCaseHex(name.substr(prefix.size(), kDigestTextLength)))
            return false;
        return !FileAttributes(InDirListFolder(std::string(name))).Exists();
    }

    void TakeAllDiffs() {
        if (m_worker.GetAllDiffsURL().empty()) return;
        const FileLocation allDiffs = InDirListFolder(ManyDirListFileName(kManyAllDiffsPrefix, m_list.GetManyVersion()));
        try {
            m_worker.FetchContent(m_worker.GetAllDiffsURL(), allDiffs);
            ExtractSiteArchive(allDiffs, m_dirListFolder, [this](std::string_view name) { return IsNewDiffSiteName(name); },
                               true);
        } catch (const GatherCancelled&) {
            throw;
        } catch (...) {
            KVR_LOG("debug") << "Unable to use " << allDiffs.ToString() << ": " << CurrentExceptionText();
        }
    }

    void ApplyEarlierLists() {
        const std::string ownList = ManyDirListFileName(kManyDirListPrefix, m_list.GetManyVersion());
        for (DirectoryScan scan(m_dirListFolder, (std::string(kManyDirListPrefix) + "*").c_str()); scan.IsValid();
             scan.Next()) {
            const std::string name = scan.Current().GetFileName().ToString();
            if (scan.Current().IsDirectory() || Ascii::EqualIgnoringCase(name, ownList)) continue;
            try {
                if (ApplyEarlierList(scan.Current().GetLocation())) return;
            } catch (...) {
                KVR_LOG("critical") << "Unable to apply diffsite " << CurrentExceptionText();
            }
        }
    }

    bool ApplyEarlierList(const FileLocation& listFile) {
        STDFileList earlier;
        ReadFileList(listFile, 0, earlier);
        const FileLocation differenceSite =
            InDirListFolder(ManyDiffSiteName(ManyVersionDigestText(earlier.GetManyVersion()), m_digest));
        if (!FileAttributes(differenceSite).Exists()) return false;
        return ExpandDifferenceSite(differenceSite, m_list, earlier, m_cacheFolder);
    }

    void TakeFullSite() {
        const FileLocation siteDirectory = m_worker.GetSiteDirectory();
        const FileLocation fullSite = siteDirectory.MakeChild(kSingleFullSiteName);
        const std::string url = m_worker.GetFullSiteURL().empty() ? m_list.GetFullSiteURL() : m_worker.GetFullSiteURL();
        m_worker.FetchContent(url, fullSite);
        UnpackFullSiteArchive(fullSite, siteDirectory, m_list);
        CopyFilesIntoGatherCache(m_cacheFolder, siteDirectory);
    }

    void WriteServingCopy() {
        WriteServingFullSite(InDirListFolder(ManyDirListFileName(kManyFullSitePrefix, m_list.GetManyVersion())), m_list,
                             [this](const FileListEntry& entry) { return GatherCacheFile(m_cacheFolder, entry.sha1); });
    }

    SiteGatherWorker& m_worker;
    const STDFileList& m_list;
    const std::string m_digest;
    const FileLocation m_dirListFolder;
    const FileLocation m_cacheFolder;
};

}  // namespace

void CompleteManyVersionSite(SiteGatherWorker& worker, const STDFileList& list) {
    ManyVersionCompletion(worker, list).Run();
}
