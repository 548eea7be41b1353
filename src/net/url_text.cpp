#include "net/url_text.h"

#include <string>

#include "net/url.h"
#include "net/url_builders.h"

ByteString ResolveURLText(const ByteString& base, const ByteString& relative) {
    std::string resolved = ResolveURLReference(URLInfo(relative), URLInfo(base));
    return ByteString(resolved.data(), resolved.data() + resolved.size());
}

std::string ResolveURLText(std::string_view base, std::string_view relative) {
    return ResolveURLReference(URLInfo(ByteString(ConstData(relative))), URLInfo(ByteString(ConstData(base))));
}

// Equivalence by parsed URL and order by bytes do not always agree: "x/%41b" equals "x/Ab", yet
// "x/Aa" sorts between them. A map keyed this way finds a URL by another spelling of it only when no
// other key sorts between the two spellings.
bool URLTextLess(const ByteString& a, const ByteString& b) {
    ConstData left = a.GetConstData(), right = b.GetConstData();
    if (left.View() == right.View() || URLInfo::Equals(URLInfo(left), URLInfo(right))) return false;
    return left.View() < right.View();
}

ByteString ComposeURLPath(const ByteString& first, const ByteString& second) {
    URL url;
    url.EditPath()
        .AppendComponent(first.GetConstData().View())
        .AppendComponent(second.GetConstData().View())
        .ApplyToURL();
    std::string text = url.ToString();
    return ByteString(text.data(), text.data() + text.size());
}
