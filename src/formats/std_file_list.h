// STDFileList: one site version's file list in memory, as the readers (file_list_reader.h) fill it
// through STDFileListMaker.
//
// It keeps the header set and the entries in the order the reader delivered them. Entries live in a
// SegmentedVector and never move once added, so references to them stay valid for the list's life.
// Which entries are kept: "FILE" always, "NONCLIENTFILE" unless the list drops them (its construction
// flag), any other type never.
//
// The difference URL is the one for the base version the list was read for: the "sitediffbaseurl"
// followed by the base version B in decimal, when B is not 0, B is below the list's version V, and
// character V - B of "sitedifflist" (counting from 0: its first character stands for V itself) is
// "1"; otherwise empty. So version 10 with "0001" offers a difference from version 7 only.
//
// A list is filled by one reader and then read by one thread at a time (the action-site epoch is
// parsed on its first query and kept).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

#include "formats/file_list.h"
#include "foundation/calendar_time.h"
#include "foundation/segmented_array.h"

class STDFileList {
  public:
    explicit STDFileList(bool dropNonClientFiles = false) : m_dropNonClientFiles(dropNonClientFiles) {}
    STDFileList(const STDFileList&) = delete;
    STDFileList& operator=(const STDFileList&) = delete;

    // Back to an empty list, for another read.
    void Clear();

    const FileListHeader& GetHeader() const { return m_header; }
    std::uint32_t GetVersion() const { return m_header.version; }
    const ManyVersionList& GetManyVersion() const { return m_header.sourceVersions; }
    const std::string& GetFullSiteURL() const { return m_header.fullSiteURL; }
    std::uint64_t GetFullSiteSize() const { return m_header.fullSiteURLSize; }
    const std::string& GetDifferenceBaseURL() const { return m_header.siteDiffBaseURL; }
    const std::string& GetDifferenceList() const { return m_header.siteDiffList; }
    const std::string& GetRelevance() const { return m_header.relevance; }
    std::uint32_t GetUniqueID() const { return m_header.uniqueID; }
    const std::string& GetDisplayName() const { return m_header.displayName; }
    // The difference URL for the base version the list was read for.
    const std::string& GetDifferenceURL() const { return m_differenceURL; }
    // The difference URL for another base version, by the same rule.
    std::string DifferenceURLFor(std::uint32_t baseVersion) const;
    // The "actionsiteepoch", parsed on the first call; none when the text is empty. A text that is
    // no time throws the time parser's errors (time_parser.h), on every call.
    std::optional<CalendarTime> GetActionSiteEpoch() const;

    std::uint32_t Count() const { return m_entries.Count(); }
    const FileListEntry& At(std::uint32_t index) const { return m_entries[index]; }
    // The first entry of that file name (exact bytes), or null.
    const FileListEntry* Find(std::string_view name) const;

  private:
    friend class STDFileListMaker;

    bool m_dropNonClientFiles;
    FileListHeader m_header;
    std::string m_differenceURL;
    mutable std::optional<std::optional<CalendarTime>> m_actionSiteEpoch;
    SegmentedVector<FileListEntry> m_entries;
    std::unordered_map<std::string_view, std::uint32_t> m_byName;
};

// Fills a list (not owned) from a reader's calls. Header sets the site values and the difference
// URL for `baseVersion` (0: none).
class STDFileListMaker : public FileListReceiver {
  public:
    STDFileListMaker(STDFileList& list, std::uint32_t baseVersion) : m_list(list), m_baseVersion(baseVersion) {}

    void Header(const FileListHeader& header) override;
    void Entry(FileListEntry entry) override;
    void End() override {}

  private:
    STDFileList& m_list;
    std::uint32_t m_baseVersion;
};
