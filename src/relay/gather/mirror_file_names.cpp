#include "relay/gather/mirror_file_names.h"

#include "relay/gather/many_version_list.h"

std::string SingleDiffSiteName(std::uint32_t fromVersion) {
    return kSingleDiffSitePrefix + std::to_string(fromVersion);
}

std::string ManyDirListFileName(const char* prefix, const ManyVersionList& manyVersion) {
    return prefix + ManyVersionDigestText(manyVersion);
}

std::string ManyDiffSiteName(std::string_view fromDigestText, std::string_view toDigestText) {
    std::string name(kManyDiffSitePrefix);
    name.append(fromDigestText).append("_to_").append(toDigestText);
    return name;
}
