#include "http/request_url.h"

#include <string_view>

#include "base/character_classes.h"
#include "foundation/data_stages.h"
#include "net/url_info.h"

std::optional<RequestURL> ParseRequestURL(const ByteString& url) {
    URLInfo info(url);
    RequestURL parsed;
    ConstData scheme = info.HasScheme() ? info.GetScheme() : ConstData();
    if (Ascii::EqualIgnoringCase(scheme, ConstData(std::string_view("https")))) {
        parsed.tls = true;
        parsed.port = RequestURL::kHTTPSPort;
    } else if (!Ascii::EqualIgnoringCase(scheme, ConstData(std::string_view("http")))) {
        return std::nullopt;
    }
    parsed.hasAuthority = info.HasAuthority();
    if (info.HasAuthority()) parsed.host = StringFromConstData(info.GetUnbracketedHost());
    if (info.HasPort()) {
        try {
            parsed.port = static_cast<std::uint16_t>(info.GetPort());
        } catch (const InvalidURLInfoUse&) {
            // A port that is not a number keeps the scheme's.
        }
    }
    ConstData text = url.GetConstData();
    const Byte* end = info.HasFragment() ? info.GetFragment().begin - 1 : text.end;
    if (info.HasPathStart()) {
        parsed.target = StringFromConstData({info.PathRange().begin, end});
    } else {
        parsed.target = "/";
        if (info.HasQuery()) parsed.target += StringFromConstData({info.GetQuery().begin - 1, end});
    }
    return parsed;
}
