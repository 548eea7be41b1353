// MastheadStore: every masthead the process has read, keyed by its gather URL (ASCII case ignored),
// and FindMastheadForURL, which finds the masthead of a site among the endpoint agent's files.
//
// The store only grows: a masthead stored again under the same gather URL replaces the earlier one,
// so the newest read of a site wins, and entries live until the process ends. Mastheads are copied
// whole on the way in and out; callers never hold the store's own records.
//
// Search order of FindMastheadForURL (every load accepts daruravidu and action mastheads; a file that
// fails to load for any reason is passed over):
//   1. the store;
//   2. the file the environment variable "KVRClientActionMastheadPath" names, when it exists;
//   3. the files "*.?zqm" of the agent's action-site folder;
//   4. the files "*.*zqm" of the folder "__Global" beside it;
//   5. the files "*.?zqm" of the "gather" folder of the relay's data folder;
// each file in the order the directory listing gives, stopping at the first load after which the
// store holds the URL's key. Steps 3 and 4 are passed over when the agent's folder cannot be named
// (no agent: ClientActionSiteFolder throws). Finding nothing, or any other failure, is
// NoMastheadMatchesURL.
//
// Thread-safe: one lock guards the store and is held across a whole LoadFile (file read and
// verification included). Lock order: a caller may hold the client masthead watcher's lock while it
// takes this one, never the reverse.
#pragma once

#include <list>
#include <string>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "crypto/masthead.h"
#include "foundation/critical_section.h"

class MastheadDoesNotExistException : public ExceptionPL {
  public:
    MastheadDoesNotExistException() : ExceptionPL("A masthead was requested which does not exist.") {}
};

class NoMastheadMatchesURL : public DebuggableException {};

class MastheadStore {
  public:
    MastheadStore() = default;
    MastheadStore(const MastheadStore&) = delete;
    MastheadStore& operator=(const MastheadStore&) = delete;

    bool Contains(ConstData gatherURL);
    // A copy of the entry; MastheadDoesNotExistException when there is none.
    Masthead Get(ConstData gatherURL);
    // Replaces any entry with the masthead's gather URL by a copy of it; returns another copy.
    Masthead Put(const Masthead& masthead);
    void Remove(ConstData gatherURL);
    void Clear();
    // Loads the file (Masthead::Load) and stores it as Put does. A failed load stores nothing and
    // propagates.
    Masthead LoadFile(const FileLocation& path, unsigned acceptedKinds);

  private:
    void RemoveLocked(ConstData gatherURL);

    CriticalSection m_lock;
    std::list<Masthead> m_entries;
};

// The process-wide store, built on first use.
MastheadStore& GetMastheadStore();

// Where the agent keeps its mastheads; the relay's configuration answers. Implementations are read
// by one search at a time.
class MastheadSearchFolders {
  public:
    virtual ~MastheadSearchFolders() = default;
    // The agent's action-site folder (its "__KVRData/actionsite" unless configured otherwise).
    virtual FileLocation ClientActionSiteFolder() const = 0;
    // The relay's data folder, whose "gather" folder holds gathered mastheads.
    virtual FileLocation MerivantDataFolder() const = 0;
};

// The site name of a site URL: the last segment of its path ("" for a URL without a path).
std::string SiteNameOfURL(ConstData siteURL);

// The store key of a site URL: custom sites ("CustomSite_...") and operator sites ("opsite...") are
// published under the action site's masthead, so their last path segment becomes "actionsite" (and a
// query is dropped); every other URL is its own key.
std::string MastheadLookupKey(ConstData siteURL);

// The masthead whose gather URL is the site URL's key, searched as above in the given store.
Masthead FindMastheadForURL(ConstData siteURL, const MastheadSearchFolders& folders,
                            MastheadStore& store = GetMastheadStore());
