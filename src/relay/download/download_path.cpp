#include "relay/download/download_path.h"

#include <string_view>
#include <utility>

#include "base/numerals.h"
#include "net/url_path_iterator.h"
#include "relay/service/download_request_target.h"

namespace {

constexpr std::string_view kSha1Component = "sha1";
constexpr std::string_view kRequestFilePrefix = "dl_";

bool StartsWithSlash(ConstData text) {
    return text.Length() > 0 && *text.begin == '/';
}

std::optional<std::uint32_t> DecimalComponent(std::string_view text) {
    std::uint32_t value = 0;
    if (ParseDecimalUInt32(ConstData(text), value) != NumeralStatus::Success) return std::nullopt;
    return value;
}

// "dl_<action id>", optionally followed by "_" and anything.
bool NamesRequestFileOf(std::string_view component, std::uint32_t actionID) {
    if (!component.starts_with(kRequestFilePrefix)) return false;
    const std::string_view rest = component.substr(kRequestFilePrefix.size());
    const std::optional<std::uint32_t> named = DecimalComponent(rest.substr(0, rest.find('_')));
    return named == actionID;
}

// What follows the prefix: the component iterator stands on the first component after it.
DownloadPath ParseAfterPrefix(URLPathIterator& component) {
    if (component.AtEnd()) return {};
    const std::string_view first = component.Current().whole.View();
    component.Next();
    const std::string_view second = component.AtEnd() ? std::string_view() : component.Current().whole.View();
    if (first == kSha1Component) {
        if (component.AtEnd()) return {};
        const std::optional<DigestRecord> sha1 = Sha1FromHexText(second);
        return sha1 ? DownloadPath::Sha1(*sha1) : DownloadPath();
    }
    const std::optional<std::uint32_t> actionID = DecimalComponent(first);
    if (!actionID || *actionID == 0 || component.AtEnd()) return {};
    if (const std::optional<std::uint32_t> index = DecimalComponent(second))
        return DownloadPath::ActionIndex(*actionID, *index);
    if (NamesRequestFileOf(second, *actionID)) return DownloadPath::RequestFile(*actionID);
    return {};
}

}  // namespace

DownloadPath DownloadPath::RequestFile(std::uint32_t actionID) {
    DownloadPath path;
    path.m_kind = DownloadPathKind::RequestFile;
    path.m_actionID = actionID;
    return path;
}

DownloadPath DownloadPath::ActionIndex(std::uint32_t actionID, std::uint32_t index) {
    DownloadPath path;
    path.m_kind = DownloadPathKind::ActionIndex;
    path.m_actionID = actionID;
    path.m_index = index;
    return path;
}

DownloadPath DownloadPath::Sha1(DigestRecord sha1) {
    DownloadPath path;
    path.m_kind = DownloadPathKind::Sha1;
    path.m_sha1 = std::move(sha1);
    return path;
}

std::uint32_t DownloadPath::GetActionID() const {
    if (!m_actionID) throw NoSuchDownloadURLComponent();
    return *m_actionID;
}

std::uint32_t DownloadPath::GetIndex() const {
    if (!m_index) throw NoSuchDownloadURLComponent();
    return *m_index;
}

const DigestRecord& DownloadPath::GetSHA1() const {
    if (!m_sha1) throw NoSuchDownloadURLComponent();
    return *m_sha1;
}

DownloadPath ParseDownloadPath(ConstData path, ConstData prefix) {
    if (StartsWithSlash(path) != StartsWithSlash(prefix)) return {};
    URLPathIterator component = URLPathIterator::First(path);
    for (URLPathIterator expected = URLPathIterator::First(prefix); !expected.AtEnd();
         expected.Next(), component.Next()) {
        if (component.AtEnd() || !ConstDataEqual(component.Current().whole, expected.Current().whole)) return {};
    }
    return ParseAfterPrefix(component);
}
