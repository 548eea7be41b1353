#include "relay/gather/single_version_completion.h"

#include <string>
#include <vector>

#include "crypto/site_archive_unpacker.h"
#include "formats/compressed_file.h"
#include "formats/site_archive.h"
#include "formats/site_archive_extraction.h"
#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "foundation/temporary_files.h"
#include "net/url_text.h"
#include "relay/gather/gather_fetch.h"
#include "relay/gather/mirror_file_names.h"
#include "relay/gather/mirror_folder_names.h"
#include "relay/gather/serving_full_site.h"
#include "relay/gather/site_content_check.h"
#include "relay/gather/site_gather_worker.h"
#include "relay/service/gather_options_manager.h"

namespace {

// "__diffsite" and a decimal version: the only members an all-diffs archive may put into a site
// directory, which also holds the relay's own "__sdirlist" and "__fullsite".
bool IsSingleDiffSiteName(std::string_view name) {
    constexpr std::string_view prefix = kSingleDiffSitePrefix;
    if (name.size() <= prefix.size() || !name.starts_with(prefix)) return false;
    for (const char c : name.substr(prefix.size()))
        if (c < '0' || c > '9') return false;
    return true;
}

class SingleVersionCompletion {
  public:
    SingleVersionCompletion(SiteGatherWorker& worker, const STDFileList& list)
        : m_worker(worker), m_list(list), m_siteDirectory(worker.GetSiteDirectory()) {}

    void Run() {
        TakeAllDiffs();
        if (!Passes()) ApplyDifferenceSite();
        if (!Passes()) TakeFullSite();
        if (!Passes()) throw SiteContentCheckFailed();
        WriteServingCopy();
    }

  private:
    bool Passes() const { return SiteDirectoryPassesCheck(m_siteDirectory, m_list); }
    FileLocation InSiteDirectory(const std::string& name) const { return m_siteDirectory.MakeChild(name.c_str()); }

    std::string ContentURL(const std::string& name) const {
        const std::string& base =
            m_worker.GetSingleFullSiteURL().empty() ? m_list.GetDifferenceBaseURL() : m_worker.GetSingleFullSiteURL();
        return ResolveURLText(std::string_view(base), std::string_view(name));
    }
    std::string FullSiteURL() const {
        return m_worker.GetSingleFullSiteURL().empty() ? m_list.GetFullSiteURL() : m_worker.GetSingleFullSiteURL();
    }

    // The earlier versions the list offers a difference from, newest first: at most one for each
    // mark of its difference list after the first, which stands for the version itself.
    std::vector<std::uint32_t> MarkedVersions() const {
        std::vector<std::uint32_t> versions;
        const std::uint32_t version = m_list.GetVersion();
        const std::size_t marks = m_list.GetDifferenceList().size();
        for (std::uint32_t distance = 1; distance < marks && distance < version; ++distance) {
            if (!m_list.DifferenceURLFor(version - distance).empty()) versions.push_back(version - distance);
        }
        return versions;
    }

    void TakeAllDiffs() {
        const FileLocation allDiffs = InSiteDirectory(kSingleAllDiffsName);
        try {
            m_worker.FetchContent(ContentURL(kSingleAllDiffsName), allDiffs);
            ExtractSiteArchive(allDiffs, m_siteDirectory, IsSingleDiffSiteName, true);
            return;
        } catch (const GatherCancelled&) {
            throw;
        } catch (...) {
            KVR_LOG("debug") << "Building " << kSingleAllDiffsName << " of " << m_siteDirectory.ToString()
                             << " from its difference sites: " << CurrentExceptionText();
        }
        BuildAllDiffs(allDiffs);
    }

    // The archive is written beside its place and takes it whole; each difference site goes into it
    // expanded, as the parent's own "__alldiffs" holds them.
    void BuildAllDiffs(const FileLocation& allDiffs) {
        TemporaryFileLocation built(m_siteDirectory);
        SiteArchiveWriter writer;
        writer.Open(built.GetLocation(), false, false);
        for (const std::uint32_t version : MarkedVersions()) {
            const std::string name = SingleDiffSiteName(version);
            try {
                m_worker.FetchContent(ContentURL(name), InSiteDirectory(name));
                TemporaryFileLocation expanded(m_siteDirectory);
                ExpandFile(InSiteDirectory(name), expanded.GetLocation(), 0);
                writer.AddPath(expanded.GetLocation(), ConstData(std::string_view(name)), GetCurrentUTCTime());
            } catch (const GatherCancelled&) {
                throw;
            } catch (...) {
                KVR_LOG("debug") << "Leaving " << name << " out of " << allDiffs.ToString() << ": "
                                 << CurrentExceptionText();
            }
        }
        writer.Finish();
        ReplacePath(built.GetLocation(), allDiffs);
    }

    void ApplyDifferenceSite() {
        const FileLocation mirrorSites = m_worker.GetOptions().GetMirrorSitesFolder();
        for (const std::uint32_t version : MarkedVersions()) {
            const FileLocation oldDirectory =
                SiteVersionDirectory(mirrorSites, m_worker.GetParams().siteID, version, ManyVersionList{});
            if (!FileAttributes(oldDirectory).IsDirectory()) continue;
            try {
                ApplyUpdateArchive(InSiteDirectory(SingleDiffSiteName(version)), oldDirectory, m_siteDirectory, m_list);
                return;
            } catch (...) {
                KVR_LOG("critical") << "Unable to apply diffsite " << CurrentExceptionText();
            }
        }
    }

    void TakeFullSite() {
        const FileLocation fullSite = InSiteDirectory(kSingleFullSiteName);
        m_worker.FetchContent(FullSiteURL(), fullSite);
        UnpackFullSiteArchive(fullSite, m_siteDirectory, m_list);
    }

    void WriteServingCopy() {
        WriteServingFullSite(InSiteDirectory(kSingleFullSiteName), m_list,
                             [this](const FileListEntry& entry) { return InSiteDirectory(entry.name); });
    }

    SiteGatherWorker& m_worker;
    const STDFileList& m_list;
    const FileLocation m_siteDirectory;
};

}  // namespace

void CompleteSingleVersionSite(SiteGatherWorker& worker, const STDFileList& list) {
    SingleVersionCompletion(worker, list).Run();
}
