#include "relay/gather/site_directory_request.h"

#include "base/character_classes.h"
#include "formats/url_codec.h"
#include "relay/gather/many_version_list.h"

namespace {

// Every byte but the controls and " #%&+" passes as it is.
const CharacterClass& SiteURLQueryCharacters() {
    static const CharacterClass kept = CharacterClass().Add(Ascii::Control()).Add(" #%&+").Complement();
    return kept;
}

}  // namespace

std::string EscapeSiteURLForQuery(std::string_view siteURL) {
    return URLEncodeText(ConstData(siteURL), SiteURLQueryCharacters());
}

std::string SiteDirectoryRequestURL(std::string_view parentGatherURL, const SiteGatherParams& request) {
    std::string url(parentGatherURL);
    url.append("?url=").append(EscapeSiteURLForQuery(request.siteURL));
    url.append("&ManyVersionSHA1=").append(ManyVersionDigestText(request.localManyVersion));
    const SiteVersion& expected = request.expectedVersion;
    const bool expectsVersion = expected.IsSet() && expected.GetValue() != 0;
    if (expectsVersion) {
        url.append(expected.IsCRC() ? "&ExpectedManyVersionCRC=" : "&ExpectedVersion=")
            .append(std::to_string(expected.GetValue()));
    } else if (request.localVersion == 0 && IsManyVersionEmpty(request.localManyVersion)) {
        url.append("&Expect404Flag=true");
    }
    return url;
}
