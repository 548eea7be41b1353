#include "relay/gather/site_gather_worker.h"

#include <algorithm>
#include <functional>
#include <vector>

#include "base/character_classes.h"
#include "crypto/signed_file_list.h"
#include "formats/compressed_file.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "net/url_text.h"
#include "relay/gather/directory_header_handler.h"
#include "relay/gather/gather_fetch.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/many_version_cleanup.h"
#include "relay/gather/many_version_completion.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/mirror_directory_lock.h"
#include "relay/gather/mirror_file_names.h"
#include "relay/gather/mirror_folder_names.h"
#include "relay/gather/single_version_completion.h"
#include "relay/gather/site_directory_request.h"
#include "relay/gather/site_version_window.h"
#include "relay/service/gather_options_manager.h"

namespace {

// A fresh relay has no mirror sites folder until its first gather makes it.
FileLocation MadeMirrorSitesFolder(const GatherOptionsManager& options) {
    FileLocation folder = options.GetMirrorSitesFolder();
    CreateDirectoryTree(folder);
    return folder;
}

}  // namespace

SiteGatherWorker::SiteGatherWorker(SiteGatherParams params, GatherOptionsManager& options, Event& stop,
                                   GatherState& gatherState)
    : m_params(std::move(params)),
      m_options(options),
      m_stop(stop),
      m_gatherState(gatherState),
      m_siteDirListFolder(MadeMirrorSitesFolder(options).MakeChild(ManyDirListsFolderName(m_params.siteID).c_str())),
      m_gatherCacheFolder(options.GetGatherCacheFolder()) {}

std::uint64_t SiteGatherWorker::RequestSiteDirectory() {
    DirectoryHeaderHandler handler(DirectoryHeaderHandler::kMirrorServerDate,
                                   static_cast<std::int32_t>(m_params.localVersion), true);
    const std::string requestURL = SiteDirectoryRequestURL(m_options.GetParentRelayURL(), m_params);
    const std::string sent = FetchSiteDirectory(requestURL, GetReplyFile(), handler, m_options, m_stop);
    m_localAddress = handler.GetLocalAddress(sent);
    m_fullSiteURL = handler.GetFullSiteURL(sent);
    m_mdirListURL = handler.GetMDirListURL(sent);
    m_allDiffsURL = handler.GetAllDiffsURL(sent);
    m_singleFullSiteURL = handler.GetSingleFullSiteURL(sent);
    return handler.GetContentLength();
}

// The parent's local address is where a relay parent keeps the files of the version, so a
// single-version site's files are taken from there; a parent that names a single-full-site URL
// (a many-version site) has every URL right already.
void SiteGatherWorker::FetchContent(std::string_view url, const FileLocation& destination) {
    const std::string_view localAddress = m_singleFullSiteURL.empty() ? std::string_view(m_localAddress) : "";
    GatherGetURL(url, destination, localAddress, m_options, m_stop);
}

void SiteGatherWorker::Run() {
    STDFileList list;
    ReadDirectoryReply(list);
    FinishEarlyWhenNothingNew(list);
    m_siteDirectory = SiteVersionDirectory(m_options.GetMirrorSitesFolder(), m_params.siteID, list.GetVersion(),
                                           list.GetManyVersion());
    {
        MirrorDirectoryLockToken token;
        try {
            token.AcquireLock(m_siteDirectory.ToString());
        } catch (const ExceptionPL&) {
            throw GatherFilesInUse();
        }
        FinishEarlyWhenCommitted();
        PrepareSiteVersionDirectory(m_siteDirectory);
        if (IsManyVersionEmpty(list.GetManyVersion())) {
            FillSingleVersionSite(list);
        } else {
            FillManyVersionSite(list);
            EndWhenEpochReset();
        }
        m_gatherState.SuccessfulSiteGather(m_params.siteID, "Gather successful.", list.GetVersion(),
                                           list.GetManyVersion(), m_params.expectedVersion, m_siteDirectory.ToString());
    }
    CleanUpVersions(list);
}

void SiteGatherWorker::ReadDirectoryReply(STDFileList& list) {
    if (RequestSiteDirectory() == 0 && FileItem(GetReplyFile()).GetSize() == 0) throw GatherFinishedEarly();
    ReadSiteFileList(ConstData(std::string_view(m_params.siteURL)), GetReplyFile(), list, m_params.localVersion,
                     m_options);
    if (const std::optional<CalendarTime> epoch = list.GetActionSiteEpoch()) {
        if (m_gatherState.SetActionSiteEpoch(m_params.siteID, *epoch)) throw EpochReset();
    }
    // A request made before any epoch was known counts from the one known now.
    m_requestEpoch = m_params.actionSiteEpoch.IsSameTime(CalendarTime()) ? m_gatherState.GetActionSiteEpoch()
                                                                        : m_params.actionSiteEpoch;
}

void SiteGatherWorker::FinishEarlyWhenNothingNew(const STDFileList& list) const {
    const ManyVersionList& offered = list.GetManyVersion();
    if (IsManyVersionEmpty(offered)) {
        if (m_params.localVersion >= list.GetVersion()) throw GatherFinishedEarly();
        return;
    }
    // Entry by entry: a list that is behind in one entry and ahead in another is still gathered.
    const ManyVersionList& held = m_params.localManyVersion;
    if (std::equal(held.begin(), held.end(), offered.begin(), std::greater_equal<>())) throw GatherFinishedEarly();
}

void SiteGatherWorker::FinishEarlyWhenCommitted() {
    std::string committed;
    try {
        committed = m_gatherState.GetCommittedLocation(m_params.siteID);
    } catch (const NoSiteIDMatchesURL&) {
        return;  // dropped by an epoch reset: step 8 ends the gather
    }
    if (!Ascii::EqualIgnoringCase(std::string_view(committed), std::string_view(m_siteDirectory.ToString()))) return;
    KVR_LOG("debug") << m_params.siteID << ": GatherFinishedEarly.  Site location already committed: " << committed;
    throw GatherFinishedEarly();
}

void SiteGatherWorker::FillSingleVersionSite(const STDFileList& list) {
    CopyPath(GetReplyFile(), m_siteDirectory.MakeChild(kCompressedSingleDirListName));
    ExpandFile(GetReplyFile(), m_siteDirectory.MakeChild(kSingleDirListName), 0);
    CompleteSingleVersionSite(*this, list);
}

void SiteGatherWorker::FillManyVersionSite(const STDFileList& list) {
    CreateDirectoryTree(m_siteDirListFolder);
    const ManyVersionList& manyVersion = list.GetManyVersion();
    CopyPath(GetReplyFile(),
             m_siteDirListFolder.MakeChild(ManyDirListFileName(kCompressedManyDirListPrefix, manyVersion).c_str()));
    ExpandFile(GetReplyFile(), m_siteDirListFolder.MakeChild(ManyDirListFileName(kManyDirListPrefix, manyVersion).c_str()),
               0);
    CompleteManyVersionSite(*this, list);

    FetchSingleDirList();
    STDFileList singleList;
    ReadSiteFileList(ConstData(std::string_view(m_params.siteURL)), m_siteDirectory.MakeChild(kSingleDirListName),
                     singleList, 0, m_options);
    // The place and text this failure has always been reported with.
    if (list.GetVersion() != singleList.GetVersion())
        RaiseRequirementFailure("ProcessSiteGather", 198, "fileList.GetVersion() == singleFileList.GetVersion()");
    CompleteSingleVersionSite(*this, singleList);
}

// The parent keeps the single list of a many-version site compressed beside its single full site; a
// parent that has only the expanded one serves that.
void SiteGatherWorker::FetchSingleDirList() {
    const FileLocation compressed = m_siteDirectory.MakeChild(kCompressedSingleDirListName);
    const FileLocation expanded = m_siteDirectory.MakeChild(kSingleDirListName);
    try {
        FetchContent(ResolveURLText(std::string_view(m_singleFullSiteURL), kCompressedSingleDirListName), compressed);
        ExpandFile(compressed, expanded, 0);
        return;
    } catch (const GatherCancelled&) {
        throw;
    } catch (...) {
        KVR_LOG("debug") << m_params.siteID << ": fetching " << kSingleDirListName
                         << " instead: " << CurrentExceptionText();
    }
    FetchContent(ResolveURLText(std::string_view(m_singleFullSiteURL), kSingleDirListName), expanded);
    CompressFile(expanded, compressed);
}

void SiteGatherWorker::EndWhenEpochReset() {
    if (m_gatherState.IsActionSiteEpoch(m_requestEpoch)) return;
    for (const FileLocation& folder : {m_siteDirectory, m_siteDirListFolder}) {
        try {
            if (FileAttributes(folder).Exists()) RemoveDirectoryTree(folder);
        } catch (...) {
            KVR_LOG("critical") << "Unable to delete " << folder.ToString() << ": " << CurrentExceptionText();
        }
    }
    throw EpochReset();
}

void SiteGatherWorker::CleanUpVersions(const STDFileList& list) {
    const FileLocation mirrorSites = m_options.GetMirrorSitesFolder();
    const CommittedSiteQuery committed = CommittedCopyOf(m_gatherState, m_params.siteID);
    try {
        if (IsManyVersionEmpty(list.GetManyVersion()))
            DeleteOlderSiteVersions(mirrorSites, m_params.siteID, list.GetVersion(), m_options.GetNumVersionsToServe(),
                                    committed);
        else
            CleanUpManyVersionSite(m_siteDirListFolder, mirrorSites, m_gatherCacheFolder, m_params.siteID,
                                   m_options.GetNumVersionsToServe(), committed);
    } catch (...) {
        KVR_LOG("critical") << m_params.siteID << ": cleaning up the versions kept failed: " << CurrentExceptionText();
    }
}
