#include "crypto/site_names.h"

#include <algorithm>

#include "base/const_data.h"
#include "base/numerals.h"

namespace {

constexpr std::string_view kOperatorSitePrefix = "opsite";
constexpr std::string_view kCustomSitePrefix = "CustomSite_";
constexpr std::string_view kActionSiteName = "actionsite";

}  // namespace

bool IsOperatorSiteName(std::string_view siteName) { return siteName.starts_with(kOperatorSitePrefix); }

bool IsCustomSiteName(std::string_view siteName) { return siteName.starts_with(kCustomSitePrefix); }

bool IsActionSiteName(std::string_view siteName) { return siteName == kActionSiteName; }

std::uint32_t OperatorSiteNumber(std::string_view siteName) {
    std::string_view number = siteName.substr(std::min(siteName.size(), kOperatorSitePrefix.size()));
    return DecimalToUInt32(ConstData(number));
}

std::string_view ActionSiteName() { return kActionSiteName; }
