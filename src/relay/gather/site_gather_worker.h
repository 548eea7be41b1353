// SiteGatherWorker: the state of one site gather, one per gather thread, owned by the thread's frame.
//
// It holds the request (SiteGatherParams), the collaborators handed to the thread (options, stop
// event, gather state; not owned, they outlive every gather thread), and what the gather learns on
// its way:
//   reply file              the parent's answer to the site directory request: a temporary file of
//                           the system's temporary folder, deleted with the worker
//   local address           "x-kvr-http-local-addr"
//   full-site, mdirlist, all-diffs, single-full-site URLs
//                           the reply's "x-kvrgather-*" URLs, rebuilt on the address the request went
//                           to (directory_header_handler.h); empty when the reply had none
//   site directory          the mirror directory of the version being gathered (mirror_folder_names.h),
//                           once the gather has chosen it
//   gather cache folder     the options' gather cache (gather_cache.h)
//   site dirlist folder     the site's "manydirlists_<id>" in the mirror sites folder (made when a
//                           many-version gather first writes into it)
//
// Every fetch goes through FetchContent: a GET into a file that throws GatherCancelled on a stop and
// GatherFetchFailure on any other failure (gather_fetch.h). The completion chains that fill the site
// directory and the cache live in single_version_completion.h and many_version_completion.h.
//
// One thread; nothing here is shared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/file_location.h"
#include "foundation/temporary_files.h"
#include "relay/gather/site_gather_params.h"

class Event;
class GatherOptionsManager;
class GatherState;

class SiteGatherWorker {
  public:
    // Makes the mirror sites folder and its gather cache folder when they are missing.
    // EmptyFileLocationError when the folders are not configured.
    SiteGatherWorker(SiteGatherParams params, GatherOptionsManager& options, Event& stop, GatherState& gatherState);
    SiteGatherWorker(const SiteGatherWorker&) = delete;
    SiteGatherWorker& operator=(const SiteGatherWorker&) = delete;

    // The site directory request to the parent ("_KVRGather_Comm_ParentRelayURL"): the body goes to
    // the reply file, the reply's URLs and local address into the worker. Answers the reply's
    // Content-Length (0 when the parent has nothing newer, or gave none).
    std::uint64_t RequestSiteDirectory();

    // A content fetch into `destination`. When the reply gave a local address but no
    // single-full-site URL, the file is taken from the local address instead (GatherGetURL).
    void FetchContent(std::string_view url, const FileLocation& destination);

    const SiteGatherParams& GetParams() const { return m_params; }
    GatherOptionsManager& GetOptions() const { return m_options; }
    GatherState& GetGatherState() const { return m_gatherState; }
    const FileLocation& GetReplyFile() const { return m_reply.GetLocation(); }
    const std::string& GetLocalAddress() const { return m_localAddress; }
    const std::string& GetFullSiteURL() const { return m_fullSiteURL; }
    const std::string& GetMDirListURL() const { return m_mdirListURL; }
    const std::string& GetAllDiffsURL() const { return m_allDiffsURL; }
    const std::string& GetSingleFullSiteURL() const { return m_singleFullSiteURL; }
    const FileLocation& GetGatherCacheFolder() const { return m_gatherCacheFolder; }
    const FileLocation& GetSiteDirListFolder() const { return m_siteDirListFolder; }
    const FileLocation& GetSiteDirectory() const { return m_siteDirectory; }
    void SetSiteDirectory(FileLocation siteDirectory) { m_siteDirectory = std::move(siteDirectory); }

  private:
    SiteGatherParams m_params;
    GatherOptionsManager& m_options;
    Event& m_stop;
    GatherState& m_gatherState;
    FileLocation m_siteDirectory;
    std::string m_localAddress;
    std::string m_fullSiteURL;
    std::string m_mdirListURL;
    std::string m_allDiffsURL;
    std::string m_singleFullSiteURL;
    FileLocation m_siteDirListFolder;  // made before the cache folder: it makes the mirror sites folder
    FileLocation m_gatherCacheFolder;
    TemporaryFileLocation m_reply;
};
