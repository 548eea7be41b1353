// SiteURLInfo: the name of a gathered site, taken from its URL, and the kind of site it names.
//
// A URL with a scheme and an authority names the site of its path's last segment
// (".../cgi-bin/vtgather.exe/actionsite" names "actionsite"); any other text names the empty site.
// The kinds follow the name's spelling (crypto/site_names.h): operator sites ("opsite<number>"),
// the action site ("actionsite"), custom sites ("CustomSite_..."). Every site that is none of these
// and has a name is an integral-version site; all others, the nameless included, are many-version
// sites. A plain value; copy it freely.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "net/url_info.h"

class SiteURLInfo {
  public:
    explicit SiteURLInfo(std::string_view url);
    explicit SiteURLInfo(const URLInfo& url);

    const std::string& GetSiteName() const { return m_siteName; }
    bool IsOperatorSite() const;
    bool IsActionSite() const;
    bool IsCustomSite() const;
    // The number after "opsite"; NotANumeral or NumeralTooLarge (base/numerals.h) when that is not
    // a decimal of 32 bits.
    std::uint32_t GetOperatorSiteNumber() const;
    bool IsIntegralVersionSite() const;

  private:
    std::string m_siteName;
};

// The URL of the action site of the same server: the site URL with its last path segment replaced
// by "actionsite"; scheme, authority and the other segments kept, query and fragment dropped.
// NoSchemeError or NoAuthorityError (net/url_info.h) for a text without them.
std::string MakeActionSiteURL(std::string_view siteURL);
