#include "relay/gather/site_url_info.h"

#include "crypto/site_names.h"

namespace {

// The path up to and including its last "/", or empty for a path without one.
std::string_view PathFolder(std::string_view path) {
    const std::size_t lastSlash = path.rfind('/');
    return lastSlash == std::string_view::npos ? std::string_view() : path.substr(0, lastSlash + 1);
}

}  // namespace

SiteURLInfo::SiteURLInfo(std::string_view url) : SiteURLInfo(URLInfo(ConstData(url))) {}

SiteURLInfo::SiteURLInfo(const URLInfo& url) {
    if (!url.HasScheme() || !url.HasAuthority()) return;
    const std::string_view path = url.PathRange().View();
    m_siteName = std::string(path.substr(PathFolder(path).size()));
}

bool SiteURLInfo::IsOperatorSite() const {
    return IsOperatorSiteName(m_siteName);
}

bool SiteURLInfo::IsActionSite() const {
    return IsActionSiteName(m_siteName);
}

bool SiteURLInfo::IsCustomSite() const {
    return IsCustomSiteName(m_siteName);
}

std::uint32_t SiteURLInfo::GetOperatorSiteNumber() const {
    return OperatorSiteNumber(m_siteName);
}

bool SiteURLInfo::IsIntegralVersionSite() const {
    return !m_siteName.empty() && !IsOperatorSite() && !IsActionSite() && !IsCustomSite();
}

std::string MakeActionSiteURL(std::string_view siteURL) {
    const URLInfo url{ConstData(siteURL)};
    std::string actionSiteURL(url.GetScheme().View());
    actionSiteURL.append("://").append(url.GetAuthority().View());
    const std::string_view folder = PathFolder(url.PathRange().View());
    actionSiteURL.append(folder.empty() ? "/" : folder);
    return actionSiteURL.append(ActionSiteName());
}
