#include "relay/gather/mirror_folder_names.h"

#include <algorithm>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "foundation/directory_iterator.h"
#include "relay/gather/many_version_list.h"

namespace {

struct FolderPrefix {
    MirrorFolderKind kind;
    std::string_view prefix;
    std::size_t shortestName;
};

constexpr FolderPrefix kFolderPrefixes[] = {
    {MirrorFolderKind::SiteMirror, kSiteMirrorFolderPrefix, 19},
    {MirrorFolderKind::ManyMirror, kManyMirrorFolderPrefix, 12},
    {MirrorFolderKind::ManyDirLists, kManyDirListsFolderPrefix, 14},
};

bool StartsWithIgnoringCase(std::string_view name, std::string_view prefix) {
    return name.size() >= prefix.size() && Ascii::EqualIgnoringCase(name.substr(0, prefix.size()), prefix);
}

std::optional<std::uint32_t> SiteIDAfter(std::string_view name, std::size_t start) {
    const std::string_view rest = name.substr(start);
    std::uint32_t id = 0;
    if (ParseDecimalUInt32(ConstData(rest.substr(0, rest.find('_'))), id) != NumeralStatus::Success)
        return std::nullopt;
    return id;
}

}  // namespace

MirrorFolderName ParseMirrorFolderName(std::string_view name) {
    for (const FolderPrefix& folder : kFolderPrefixes) {
        if (name.size() >= folder.shortestName && StartsWithIgnoringCase(name, folder.prefix))
            return {folder.kind, SiteIDAfter(name, folder.prefix.size())};
    }
    return {};
}

std::uint32_t LargestMirrorFolderSiteID(const FileLocation& mirrorSitesFolder) {
    std::uint32_t largest = 0;
    for (DirectoryScan scan(mirrorSitesFolder); scan.IsValid(); scan.Next()) {
        const MirrorFolderName name = ParseMirrorFolderName(scan.Current().GetFileName().CString());
        if (name.siteID) largest = std::max(largest, *name.siteID);
    }
    return largest;
}

std::string SiteVersionFolderName(std::uint32_t siteID, std::uint32_t version, const ManyVersionList& manyVersion) {
    std::string name(IsManyVersionEmpty(manyVersion) ? kSiteMirrorFolderPrefix : kManyMirrorFolderPrefix);
    name.append(std::to_string(siteID)).append("_").append(std::to_string(version));
    if (!IsManyVersionEmpty(manyVersion)) name.append("_").append(std::to_string(ManyVersionCRC(manyVersion)));
    return name;
}

FileLocation SiteVersionDirectory(const FileLocation& mirrorSitesFolder, std::uint32_t siteID, std::uint32_t version,
                                  const ManyVersionList& manyVersion) {
    return mirrorSitesFolder.MakeChild(SiteVersionFolderName(siteID, version, manyVersion).c_str());
}

std::string ManyDirListsFolderName(std::uint32_t siteID) {
    return std::string(kManyDirListsFolderPrefix) + std::to_string(siteID);
}
