#include "relay/gather/site_gather_worker.h"

#include "foundation/file_operations.h"
#include "relay/gather/directory_header_handler.h"
#include "relay/gather/gather_fetch.h"
#include "relay/gather/mirror_folder_names.h"
#include "relay/gather/site_directory_request.h"
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
