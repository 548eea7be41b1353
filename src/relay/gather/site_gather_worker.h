// SiteGatherWorker: one site gather, one per gather thread, owned by the thread's frame
// (site_gather_threads.h runs it and reports how it ended).
//
// Run, in this order:
//  1. The site directory request to the parent; an empty reply (the parent has nothing newer) ends
//     the gather with GatherFinishedEarly.
//  2. The reply read as the site's signed file list (crypto/signed_file_list.h, ReadSiteFileList:
//     the policy follows the site's masthead); a list that does not verify fails the gather with the
//     verifier's text.
//  3. The list's action-site epoch handed to the gather state: a reset ends the gather with
//     EpochReset, a rejected epoch with InvalidActionSiteEpoch.
//  4. Nothing new (GatherFinishedEarly): a single-version site whose local version is at least the
//     list's; a many-version site whose local list is at least the new one entry by entry.
//  5. The version's site directory (mirror_folder_names.h), locked for the rest of the run
//     (mirror_directory_lock.h; a directory locked by another activity is GatherFilesInUse).
//  6. GatherFinishedEarly when that directory is already the committed location; otherwise its
//     plain files are deleted (subdirectories stay), or it is created.
//  7. Filling it. Single-version site: the reply as "__sdirlistc" and expanded as "__sdirlist", then
//     single_version_completion.h. Many-version site: the reply as the dirlist folder's
//     "__mdirlistc_<sha1>" and expanded as "__mdirlist_<sha1>", many_version_completion.h, then the
//     version's single list: "__sdirlistc" fetched beside the single-full-site URL and expanded, or
//     when that fails "__sdirlist" fetched and compressed; read as in step 2, its version must be the
//     many-version list's (a RequirementFailure otherwise), and single_version_completion.h fills the
//     directory.
//  8. A many-version gather whose action-site epoch is no longer the gather state's (a reset dropped
//     the site while it ran) deletes its site directory and dirlist folder and ends with EpochReset.
//     The epoch compared is the request's, or for a request made before any epoch was known, the
//     one after step 3.
//  9. SuccessfulSiteGather "Gather successful." with the new version, many-version and directory.
// 10. With the lock released, the window of versions kept (site_version_window.h; for a many-version
//     site many_version_cleanup.h); its failures are logged under "critical", the outcome stands.
//
// The worker holds the request (SiteGatherParams), the collaborators handed to the thread (options,
// stop event, gather state; not owned, they outlive every gather thread), and what the gather learns
// on its way:
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
// GatherFetchFailure on any other failure (gather_fetch.h).
//
// One thread; nothing here is shared.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "formats/std_file_list.h"
#include "foundation/temporary_files.h"
#include "relay/gather/site_gather_params.h"

class Event;
class GatherOptionsManager;
class GatherState;

// The parent has nothing newer than the relay holds.
class GatherFinishedEarly : public DebuggableException, public NonDumpableException {};
// Another activity is writing the version's site directory.
class GatherFilesInUse : public DebuggableException, public NonDumpableException {};
// An action-site epoch reset dropped the site; the gather state has dealt with it.
class EpochReset : public DebuggableException, public NonDumpableException {};

class SiteGatherWorker {
  public:
    // Makes the mirror sites folder and its gather cache folder when they are missing.
    // EmptyFileLocationError when the folders are not configured.
    SiteGatherWorker(SiteGatherParams params, GatherOptionsManager& options, Event& stop, GatherState& gatherState);
    SiteGatherWorker(const SiteGatherWorker&) = delete;
    SiteGatherWorker& operator=(const SiteGatherWorker&) = delete;

    // The gather: returns after reporting success, or throws how it ended (above, the gather state's
    // InvalidActionSiteEpoch, GatherCancelled, or any failure with its text).
    void Run();

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
    void ReadDirectoryReply(STDFileList& list);
    void FinishEarlyWhenNothingNew(const STDFileList& list) const;
    void FinishEarlyWhenCommitted();
    void FillSingleVersionSite(const STDFileList& list);
    void FillManyVersionSite(const STDFileList& list);
    void FetchSingleDirList();
    void EndWhenEpochReset();
    void CleanUpVersions(const STDFileList& list);

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
    // The epoch the request was made in (step 8).
    CalendarTime m_requestEpoch;
};
