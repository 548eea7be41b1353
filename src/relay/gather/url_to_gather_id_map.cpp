#include "relay/gather/url_to_gather_id_map.h"

#include <limits>

#include "foundation/file_item.h"
#include "foundation/file_operations.h"
#include "foundation/file_replacing_data_sink.h"
#include "foundation/log_manager.h"
#include "foundation/whole_file.h"
#include "relay/gather/mirror_folder_names.h"
#include "relay/service/gather_options_manager.h"

namespace {

constexpr std::uint32_t kFirstID = 1;
// The next id once every id up to the largest has been used: no site can be added any more.
constexpr std::uint32_t kNoIDLeft = 0;

}  // namespace

URLToGatherIDMap::URLToGatherIDMap(const GatherOptionsManager& options)
    : URLToGatherIDMap(options.GetInboxFolder(), options.GetMirrorSitesFolder()) {}

URLToGatherIDMap::URLToGatherIDMap(const FileLocation& inboxFolder, const FileLocation& mirrorSitesFolder)
    : m_mapFile(inboxFolder.MakeChild(kMapFileName)), m_legacyMapFile(inboxFolder.MakeChild(kLegacyMapFileName)) {
    Load(mirrorSitesFolder);
}

// The XML file first, else the older file; then the floor under the next id. A map read from the
// XML file is written back only when the floor moved its next id; one converted from the older file
// always is, and the older file goes once the new one is written.
void URLToGatherIDMap::Load(const FileLocation& mirrorSitesFolder) {
    const bool fromMapFile = LoadMapFile();
    if (!fromMapFile) LoadLegacyMapFile();
    const std::uint32_t nextIDRead = m_contents.nextID;
    for (const auto& [url, id] : m_contents.ids) RaiseNextIDAbove(id);
    RaiseNextIDAbove(LargestMirrorFolderSiteID(mirrorSitesFolder));

    if (fromMapFile) {
        if (m_contents.nextID != nextIDRead) Save();
        return;
    }
    if (!Save()) return;
    try {
        RemoveFileOrEmptyDirectory(m_legacyMapFile);
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to delete the older gather map file " << m_legacyMapFile.ToString() << ": "
                            << error.what();
    }
}

bool URLToGatherIDMap::LoadMapFile() {
    if (!FileAttributes(m_mapFile).Exists()) return false;
    try {
        m_contents = ReadGatherMapDocument(ConstData(std::string_view(ReadFileText(m_mapFile))));
        if (m_contents.nextID == kNoIDLeft) m_contents.nextID = kFirstID;
        return true;
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "The gather map file " << m_mapFile.ToString() << " does not read (" << error.what()
                            << "); it is kept as " << kSetAsideMapFileName;
        SetMapFileAside();
        m_contents = GatherMapContents();
        return false;
    }
}

// The fallback writes over the broken file: a copy keeps what it held for whoever looks into it.
void URLToGatherIDMap::SetMapFileAside() {
    try {
        CopyPath(m_mapFile, m_mapFile.GetParent().MakeChild(kSetAsideMapFileName));
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to keep the gather map file aside: " << error.what();
    }
}

// A record that does not read ends the older map: what was read before it is dropped, but its ids
// still count for the next id.
void URLToGatherIDMap::LoadLegacyMapFile() {
    LegacyGatherMap legacy;
    if (FileAttributes(m_legacyMapFile).Exists()) {
        try {
            const std::vector<Byte> bytes = ReadWholeFile(m_legacyMapFile);
            ReadLegacyGatherMap(ConstData(bytes.data(), bytes.size()), legacy);
        } catch (const std::exception& error) {
            KVR_LOG("critical") << "The older gather map file " << m_legacyMapFile.ToString() << " does not read ("
                                << error.what() << "); its sites are dropped";
            legacy.ids.clear();
        }
    }
    m_contents.ids = std::move(legacy.ids);
    m_contents.nextID = kFirstID;
    RaiseNextIDAbove(legacy.largestID);
}

void URLToGatherIDMap::RaiseNextIDAbove(std::uint32_t id) {
    if (m_contents.nextID == kNoIDLeft || id < m_contents.nextID) return;
    m_contents.nextID = id == std::numeric_limits<std::uint32_t>::max() ? kNoIDLeft : id + 1;
}

bool URLToGatherIDMap::Save() {
    try {
        CreateDirectoryTree(m_mapFile.GetParent());
        FileReplacingDataSink file(m_mapFile);
        WriteGatherMapDocument(m_contents, file);
        return true;
    } catch (const std::exception& error) {
        KVR_LOG("critical") << "Unable to save the gather map file " << m_mapFile.ToString() << ": " << error.what();
        return false;
    }
}

std::uint32_t URLToGatherIDMap::GetGatherID(std::string_view url) const {
    const std::optional<std::string> key = CanonicalSiteURL(url);
    if (!key) return 0;
    CriticalSectionGuard guard(m_lock);
    auto found = m_contents.ids.find(*key);
    return found == m_contents.ids.end() ? 0 : found->second;
}

std::uint32_t URLToGatherIDMap::GetOrCreateGatherID(std::string_view url) {
    const std::optional<std::string> key = CanonicalSiteURL(url);
    if (!key) return 0;
    CriticalSectionGuard guard(m_lock);
    auto found = m_contents.ids.find(*key);
    if (found != m_contents.ids.end()) return found->second;
    if (m_contents.nextID == kNoIDLeft) {
        KVR_LOG("critical") << "No gather id is left for " << *key;
        return 0;
    }
    const std::uint32_t id = m_contents.nextID;
    RaiseNextIDAbove(id);
    m_contents.ids.emplace(*key, id);
    return Save() ? id : 0;
}

std::uint32_t URLToGatherIDMap::RemoveURL(const std::string& canonicalURL) {
    CriticalSectionGuard guard(m_lock);
    auto found = m_contents.ids.find(canonicalURL);
    if (found == m_contents.ids.end()) return 0;
    const std::uint32_t id = found->second;
    m_contents.ids.erase(found);
    return Save() ? id : 0;
}

void URLToGatherIDMap::KeepNextIDAbove(std::uint32_t id) {
    CriticalSectionGuard guard(m_lock);
    const std::uint32_t before = m_contents.nextID;
    RaiseNextIDAbove(id);
    if (m_contents.nextID != before) Save();
}

std::size_t URLToGatherIDMap::SiteCount() const {
    CriticalSectionGuard guard(m_lock);
    return m_contents.ids.size();
}

GatherIDMap URLToGatherIDMap::CopyMap() const {
    CriticalSectionGuard guard(m_lock);
    return m_contents.ids;
}

std::uint32_t URLToGatherIDMap::GetNextID() const {
    CriticalSectionGuard guard(m_lock);
    return m_contents.nextID;
}

std::optional<std::string> URLToGatherIDMap::FindURLLocked(std::uint32_t id) const {
    for (const auto& [url, entryID] : m_contents.ids)
        if (entryID == id) return url;
    return std::nullopt;
}

std::string URLToGatherIDMap::GetURLForID(std::uint32_t id) const {
    CriticalSectionGuard guard(m_lock);
    std::optional<std::string> url = FindURLLocked(id);
    if (!url) throw NoSuchGatherSiteID();
    return *url;
}

std::string URLToGatherIDMap::GetURLTextForID(std::uint32_t id) const {
    CriticalSectionGuard guard(m_lock);
    return FindURLLocked(id).value_or(kNoURLText);
}
