#include "crypto/masthead_store.h"

#include <cstdlib>
#include <string_view>

#include "base/character_classes.h"
#include "crypto/site_names.h"
#include "foundation/directory_iterator.h"
#include "foundation/file_item.h"
#include "net/url_info.h"

namespace {

constexpr const char* kActionMastheadVariable = "KVRClientActionMastheadPath";
constexpr const char* kGlobalFolderName = "__Global";
constexpr const char* kGatherFolderName = "gather";
constexpr const char* kOneLetterMastheadFiles = "*.?zqm";
constexpr const char* kAnyMastheadFiles = "*.*zqm";
constexpr std::string_view kActionSiteSegment = "actionsite";

bool SameKey(ConstData a, ConstData b) { return Ascii::EqualIgnoringCase(a, b); }

std::string Text(ConstData data) { return StringFromConstData(data); }

}  // namespace

bool MastheadStore::Contains(ConstData gatherURL) {
    CriticalSectionGuard guard(m_lock);
    for (const Masthead& entry : m_entries)
        if (SameKey(entry.GatherURL(), gatherURL)) return true;
    return false;
}

Masthead MastheadStore::Get(ConstData gatherURL) {
    CriticalSectionGuard guard(m_lock);
    for (const Masthead& entry : m_entries)
        if (SameKey(entry.GatherURL(), gatherURL)) return entry;
    throw MastheadDoesNotExistException();
}

Masthead MastheadStore::Put(const Masthead& masthead) {
    CriticalSectionGuard guard(m_lock);
    RemoveLocked(masthead.GatherURL());
    m_entries.push_back(masthead);
    return masthead;
}

void MastheadStore::Remove(ConstData gatherURL) {
    CriticalSectionGuard guard(m_lock);
    RemoveLocked(gatherURL);
}

void MastheadStore::RemoveLocked(ConstData gatherURL) {
    m_entries.remove_if([&](const Masthead& entry) { return SameKey(entry.GatherURL(), gatherURL); });
}

void MastheadStore::Clear() {
    CriticalSectionGuard guard(m_lock);
    m_entries.clear();
}

Masthead MastheadStore::LoadFile(const FileLocation& path, unsigned acceptedKinds) {
    CriticalSectionGuard guard(m_lock);
    Masthead masthead;
    masthead.Load(path, acceptedKinds);
    return Put(masthead);
}

MastheadStore& GetMastheadStore() {
    static MastheadStore store;
    return store;
}

// The key keeps the scheme and the authority only when the URL has them, and the path up to its
// last "/" as it stands; query and fragment are never part of a rebuilt key.
namespace {

std::string_view LastPathSegment(std::string_view path) {
    const std::size_t lastSlash = path.rfind('/');
    return lastSlash == std::string_view::npos ? path : path.substr(lastSlash + 1);
}

}  // namespace

std::string SiteNameOfURL(ConstData siteURL) {
    return std::string(LastPathSegment(URLInfo(siteURL).PathRange().View()));
}

std::string MastheadLookupKey(ConstData siteURL) {
    const URLInfo url(siteURL);
    const ConstData path = url.PathRange();
    const std::string_view pathText = path.View();
    if (pathText.empty()) return Text(siteURL);
    const std::size_t lastSlash = pathText.rfind('/');
    const std::string_view siteName = LastPathSegment(pathText);
    if (!IsCustomSiteName(siteName) && !IsOperatorSiteName(siteName)) return Text(siteURL);

    std::string key;
    if (url.HasScheme()) key.append(url.GetScheme().View()).append(":");
    if (url.HasAuthority()) key.append("//").append(url.GetAuthority().View());
    if (lastSlash != std::string_view::npos) key.append(pathText.substr(0, lastSlash + 1));
    key.append(kActionSiteSegment);
    return key;
}

namespace {

// One search: loads candidate files into the store until the store holds the key.
class MastheadSearch {
  public:
    MastheadSearch(MastheadStore& store, std::string key) : m_store(store), m_key(std::move(key)) {}

    bool Found() { return m_store.Contains(Key()); }
    Masthead Result() { return m_store.Get(Key()); }

    // A file that is no masthead, does not verify or is not authorized is passed over.
    bool TryFile(const FileLocation& path) {
        try {
            m_store.LoadFile(path, MastheadKind::kDaruraviduOrAction);
        } catch (const std::exception&) {
            return false;
        }
        return Found();
    }

    bool TryFolder(const FileLocation& folder, const char* pattern) {
        for (DirectoryScan scan(folder, pattern); scan.IsValid(); scan.Next()) {
            if (scan.Current().IsDirectory()) continue;
            if (TryFile(scan.Current().GetLocation())) return true;
        }
        return false;
    }

  private:
    ConstData Key() const { return ConstData(std::string_view(m_key)); }

    MastheadStore& m_store;
    std::string m_key;
};

bool SearchEnvironmentFile(MastheadSearch& search) {
    const char* named = std::getenv(kActionMastheadVariable);
    if (named == nullptr || *named == '\0') return false;
    const FileLocation path(named);
    return FileAttributes(path).Exists() && search.TryFile(path);
}

// A machine without the agent has no agent folders to name (its storage path is not set): the relay's
// own gather folder is searched all the same.
bool SearchAgentFolders(MastheadSearch& search, const MastheadSearchFolders& folders) {
    FileLocation actionSiteFolder;
    try {
        actionSiteFolder = folders.ClientActionSiteFolder();
    } catch (const std::exception&) {
    }
    if (!actionSiteFolder.IsEmpty()) {
        if (search.TryFolder(actionSiteFolder, kOneLetterMastheadFiles)) return true;
        if (search.TryFolder(actionSiteFolder.GetParent().MakeChild(kGlobalFolderName), kAnyMastheadFiles))
            return true;
    }
    return search.TryFolder(folders.MerivantDataFolder().MakeChild(kGatherFolderName), kOneLetterMastheadFiles);
}

}  // namespace

Masthead FindMastheadForURL(ConstData siteURL, const MastheadSearchFolders& folders, MastheadStore& store) {
    try {
        MastheadSearch search(store, MastheadLookupKey(siteURL));
        if (search.Found() || SearchEnvironmentFile(search) || SearchAgentFolders(search, folders))
            return search.Result();
    } catch (const std::exception&) {
        // A folder that cannot be listed or a URL that cannot be read ends the search like no match.
    }
    throw NoMastheadMatchesURL();
}
