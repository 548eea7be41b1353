#include "formats/file_list_merger.h"

#include <algorithm>

#include "foundation/many_versions.h"

void FileListMerger::Reset(FileListReceiver& target) {
    m_target = &target;
    m_merged = FileListHeader();
    m_previous.clear();
    m_current.clear();
    m_offered = 0;
}

std::vector<FileListEntry> FileListMerger::TakeKeptEntries() {
    std::vector<FileListEntry> kept = std::move(m_current);
    m_current.clear();
    std::stable_sort(kept.begin(), kept.end(), FileListEntryNameLess);
    const std::size_t currentCount = kept.size();
    for (FileListEntry& previous : m_previous) {
        const auto first = kept.begin();
        const auto last = first + static_cast<std::ptrdiff_t>(currentCount);
        if (!std::binary_search(first, last, previous, FileListEntryNameLess)) kept.push_back(std::move(previous));
    }
    m_previous.clear();
    return kept;
}

void FileListMerger::Header(const FileListHeader& header) {
    m_previous = TakeKeptEntries();
    std::stable_sort(m_previous.begin(), m_previous.end(), FileListEntryNameLess);
    m_mergedBefore = m_merged.sourceVersions;
    m_listVersions = header.sourceVersions;
    m_newer = CompareManyVersions(m_mergedBefore, m_listVersions) <= 0;
    if (IsManyVersionEmpty(m_merged.sourceVersions)) {
        m_merged = header;
    } else {
        RaiseManyVersion(m_merged.sourceVersions, m_listVersions);
        if (m_newer) m_merged.version = header.version;
    }
}

const FileListEntry* FileListMerger::FindPrevious(const FileListEntry& entry) const {
    const auto found = std::lower_bound(m_previous.begin(), m_previous.end(), entry, FileListEntryNameLess);
    if (found == m_previous.end() || found->name != entry.name) return nullptr;
    return &*found;
}

void FileListMerger::Entry(FileListEntry entry) {
    if (++m_offered > kMaximumFileListEntries) throw TooManyFileListEntries();
    if (!ManyVersionCovers(m_listVersions, entry.modificationVersions) ||
        !ManyVersionCovers(entry.modificationVersions, entry.creationVersions))
        return;
    const bool knownBefore = ManyVersionCovers(m_mergedBefore, entry.modificationVersions);
    if (const FileListEntry* previous = FindPrevious(entry)) {
        const bool previousInList = ManyVersionCovers(m_listVersions, previous->modificationVersions);
        const bool keepPrevious = m_newer ? knownBefore && !previousInList : knownBefore || !previousInList;
        m_current.push_back(keepPrevious ? *previous : std::move(entry));
        return;
    }
    if (knownBefore && CompareManyVersions(m_mergedBefore, entry.modificationVersions) != 0) return;
    m_current.push_back(std::move(entry));
}

void FileListMerger::End() {
    std::vector<FileListEntry> kept = TakeKeptEntries();
    m_target->Header(m_merged);
    for (FileListEntry& entry : kept) m_target->Entry(std::move(entry));
    m_target->End();
}
