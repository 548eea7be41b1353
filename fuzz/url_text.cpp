// The URL parser and the code that rebuilds and resolves URLs, over arbitrary bytes: nothing may
// crash or read outside the text, the getters throw only their own errors, and a URL equals itself.

#include <cstdint>
#include <cstdlib>
#include <functional>

#include "net/url.h"
#include "net/url_info.h"
#include "net/url_path_iterator.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

void Touch(const std::function<ConstData()>& getter) {
    try {
        ConstData part = getter();
        Check(part.begin <= part.end);
    } catch (const InvalidURLInfoUse&) {
    }
}

void ReadEveryPart(const URLInfo& info, ConstData text) {
    Touch([&] { return info.GetScheme(); });
    Touch([&] { return info.GetOpaquePart(); });
    Touch([&] { return info.GetAuthority(); });
    Touch([&] { return info.GetUserInfo(); });
    Touch([&] { return info.GetHost(); });
    Touch([&] { return info.GetUnbracketedHost(); });
    Touch([&] { return info.GetPath(); });
    Touch([&] { return info.GetQuery(); });
    Touch([&] { return info.GetFragment(); });
    try {
        info.GetPort();
    } catch (const InvalidURLInfoUse&) {
    }
    for (auto it = URLPathIterator::First(info.PathRange()); !it.AtEnd(); it.Next())
        Check(it.Current().whole.begin >= text.begin && it.Current().whole.end <= text.end);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConstData text(data, size);
    URLInfo info(text);
    ReadEveryPart(info, text);
    Check(URLInfo::Equals(info, info));

    ConstData base(data, size / 2), reference(data + size / 2, size - size / 2);
    try {
        URL url(text);
        url.ToString();
        ResolveURLReference(URLInfo(reference), URLInfo(base));
    } catch (const InvalidPortNumber&) {
    }
    return 0;
}
