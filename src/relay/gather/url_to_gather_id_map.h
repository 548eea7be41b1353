// URLToGatherIDMap: the gather id of every site the relay gathers, by the site's canonical URL. The
// mirror folders and files of a site are named after its id (mirror_folder_names.h), so an id
// belongs to one site for good: ids are handed out in increasing order and never reused.
//
// The map lives in "vtemapfile.xml" in the inbox folder (gather_map_file.h says the form), written
// whole through a temporary file and one rename on every change, so a crash leaves the old file or
// the new one. Construction loads it:
// - a file that does not read is copied aside as "vtemapfile.xml.bad" (logged under "critical"),
//   and the map falls back to the older binary file "vtemapfile", which is converted and deleted;
//   without either the map is empty;
// - the next id is at least one above every id of the map and every id named by an entry of the
//   mirror sites folder, so a lost map never hands out the id of a folder still on disk. The gather
//   state raises it further above its own records (KeepNextIDAbove).
// Construction never fails for a missing or broken file.
//
// Sites are keyed by their canonical URL (CanonicalSiteURL, gather_map_file.h); a text that has none
// never gets an id.
//
// Threads: every member may be called from any thread; one lock of its own, held for each call
// (file writes included) and never while another lock is taken. Callers may hold the gather state's
// lock (the order is gather state, then map).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "foundation/critical_section.h"
#include "relay/gather/gather_map_file.h"

class GatherOptionsManager;

// No site has the gather id.
class NoSuchGatherSiteID : public DebuggableException {};

class URLToGatherIDMap {
  public:
    static constexpr const char* kMapFileName = "vtemapfile.xml";
    static constexpr const char* kLegacyMapFileName = "vtemapfile";
    static constexpr const char* kSetAsideMapFileName = "vtemapfile.xml.bad";
    static constexpr const char* kNoURLText = "No URL for provided ID.";

    // The map of the options' inbox folder, its ids kept above those of the mirror sites folder.
    explicit URLToGatherIDMap(const GatherOptionsManager& options);
    URLToGatherIDMap(const FileLocation& inboxFolder, const FileLocation& mirrorSitesFolder);
    URLToGatherIDMap(const URLToGatherIDMap&) = delete;
    URLToGatherIDMap& operator=(const URLToGatherIDMap&) = delete;

    // The id of the URL's site; 0 when the URL has no canonical form or is not in the map.
    std::uint32_t GetGatherID(std::string_view url) const;
    // The same, adding the site with the next id when it is new and saving the file. 0 when the URL
    // has no canonical form (nothing changes), or when the new entry could not be saved (it stays in
    // the map; its id is used up).
    std::uint32_t GetOrCreateGatherID(std::string_view url);
    // Drops the entry of a canonical URL and saves the file. Its id; 0 when it was absent or the
    // save failed (the entry is gone either way). Ids are not given back.
    std::uint32_t RemoveURL(const std::string& canonicalURL);
    // Raises the next id above `id` when it is not already; saves the file when it changed.
    void KeepNextIDAbove(std::uint32_t id);

    GatherIDMap CopyMap() const;
    // How many sites have an id.
    std::size_t SiteCount() const;
    std::uint32_t GetNextID() const;
    // The URL of the id; NoSuchGatherSiteID when no site has it.
    std::string GetURLForID(std::uint32_t id) const;
    // The same, with "No URL for provided ID." for an unknown id: for log and status texts.
    std::string GetURLTextForID(std::uint32_t id) const;

    const FileLocation& MapFile() const { return m_mapFile; }

  private:
    void Load(const FileLocation& mirrorSitesFolder);
    bool LoadMapFile();
    void SetMapFileAside();
    void LoadLegacyMapFile();
    void RaiseNextIDAbove(std::uint32_t id);
    // Writes the file; false (logged) on any failure.
    bool Save();
    std::optional<std::string> FindURLLocked(std::uint32_t id) const;

    mutable CriticalSection m_lock;
    GatherMapContents m_contents;
    const FileLocation m_mapFile;
    const FileLocation m_legacyMapFile;
};
