#include "formats/std_file_list.h"

#include "foundation/time_parser.h"

void STDFileList::Clear() {
    m_header = FileListHeader();
    m_differenceURL.clear();
    m_actionSiteEpoch.reset();
    m_byName.clear();
    m_entries.Clear();
}

std::string STDFileList::DifferenceURLFor(std::uint32_t baseVersion) const {
    const std::uint32_t version = m_header.version;
    if (baseVersion == 0 || baseVersion >= version) return {};
    const std::uint32_t distance = version - baseVersion;
    if (m_header.siteDiffList.size() <= distance || m_header.siteDiffList[distance] != '1') return {};
    return m_header.siteDiffBaseURL + std::to_string(baseVersion);
}

std::optional<CalendarTime> STDFileList::GetActionSiteEpoch() const {
    if (!m_actionSiteEpoch) {
        if (m_header.actionSiteEpoch.empty())
            m_actionSiteEpoch.emplace(std::nullopt);
        else
            m_actionSiteEpoch.emplace(ParseTimeText(ConstData(std::string_view(m_header.actionSiteEpoch))));
    }
    return *m_actionSiteEpoch;
}

const FileListEntry* STDFileList::Find(std::string_view name) const {
    const auto found = m_byName.find(name);
    return found == m_byName.end() ? nullptr : &m_entries[found->second];
}

void STDFileListMaker::Header(const FileListHeader& header) {
    m_list.m_header = header;
    m_list.m_differenceURL = m_list.DifferenceURLFor(m_baseVersion);
}

void STDFileListMaker::Entry(FileListEntry entry) {
    const bool kept = entry.IsFile() || (entry.IsNonClientFile() && !m_list.m_dropNonClientFiles);
    if (!kept) return;
    const FileListEntry& added = m_list.m_entries.Append(std::move(entry));
    m_list.m_byName.emplace(std::string_view(added.name), m_list.m_entries.Count() - 1);
}
