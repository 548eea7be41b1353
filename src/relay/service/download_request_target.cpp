#include "relay/service/download_request_target.h"

#include <utility>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "crypto/openssl_hash.h"
#include "formats/url_codec.h"

namespace {

constexpr std::string_view kAbsent = "null";
constexpr std::size_t kSha1HexDigits = 2 * kSha1DigestLength;

// -1, 0 or 1 as `a` sorts before, with or after `b`; a present value before an absent one.
template <class T, class Less>
int CompareOptional(const std::optional<T>& a, const std::optional<T>& b, Less less) {
    if (a && b) return less(*a, *b) ? -1 : less(*b, *a) ? 1 : 0;
    if (a) return -1;
    if (b) return 1;
    return 0;
}

bool NumberLess(std::uint64_t a, std::uint64_t b) {
    return a < b;
}

bool DigestBytesLess(const DigestRecord& a, const DigestRecord& b) {
    return ConstDataLess(a.Bytes(), b.Bytes());
}

bool BytesLess(const std::string& a, const std::string& b) {
    return ConstDataLess(ConstData(a), ConstData(b));
}

template <class T>
void AppendField(std::string& text, const char* key, const std::optional<T>& value) {
    if (!text.empty()) text += ',';
    text += key;
    if (!value)
        text += kAbsent;
    else if constexpr (std::is_same_v<T, DigestRecord>)
        text += value->ToHex();
    else if constexpr (std::is_same_v<T, std::string>)
        text += URLEncodeText(ConstData(*value), URLSafeCharacters());
    else
        text += std::to_string(*value);
}

template <class Convert>
auto ConvertValue(std::optional<std::string_view> value, Convert convert)
    -> std::optional<decltype(convert(std::string_view()))> {
    if (!value) return std::nullopt;
    return convert(*value);
}

DigestRecord Sha1FromHex(std::string_view digits) {
    std::optional<DigestRecord> sha1 = Sha1FromHexText(digits);
    if (!sha1) throw NotADownloadRequestTarget();
    return *sha1;
}

}  // namespace

std::optional<DigestRecord> Sha1FromHexText(std::string_view text) {
    if (text.size() != kSha1HexDigits || !AllCharactersIn(ConstData(text), Ascii::HexDigits())) return std::nullopt;
    return DigestRecordFromHex(text);
}

std::optional<std::string_view> PositionalValueReader::Next() {
    const std::size_t equals = m_text.find('=', m_position);
    if (equals == std::string_view::npos) throw NextValueException();
    std::size_t end = m_text.find(',', equals + 1);
    if (end == std::string_view::npos) end = m_text.size();
    m_position = end;
    const std::string_view value = m_text.substr(equals + 1, end - equals - 1);
    if (value == kAbsent) return std::nullopt;
    return value;
}

DownloadRequestTarget::DownloadRequestTarget(std::optional<std::uint32_t> actionID,
                                             std::optional<std::uint32_t> index,
                                             std::optional<DigestRecord> sha1,
                                             std::optional<std::uint64_t> size,
                                             std::optional<std::string> url)
    : m_actionID(actionID), m_index(index), m_sha1(std::move(sha1)), m_size(size), m_url(std::move(url)) {
    if (!IsURLRequest() && !IsIndexed() && !IsDynamic()) throw NotADownloadRequestTarget();
    if (m_sha1 && m_sha1->Bytes().Length() != kSha1DigestLength) throw NotADownloadRequestTarget();
}

DownloadRequestTarget DownloadRequestTarget::URLRequest(std::uint32_t actionID) {
    return DownloadRequestTarget(actionID, std::nullopt, std::nullopt, std::nullopt, std::nullopt);
}

DownloadRequestTarget DownloadRequestTarget::Indexed(std::uint32_t actionID, std::uint32_t index, std::string url,
                                                     std::optional<DigestRecord> sha1,
                                                     std::optional<std::uint64_t> size) {
    return DownloadRequestTarget(actionID, index, std::move(sha1), size, std::move(url));
}

DownloadRequestTarget DownloadRequestTarget::Dynamic(std::uint32_t actionID, DigestRecord sha1, std::uint64_t size,
                                                     std::string url) {
    return DownloadRequestTarget(actionID, std::nullopt, std::move(sha1), size, std::move(url));
}

bool DownloadRequestTarget::IsURLRequest() const {
    return m_actionID && !m_index && !m_sha1 && !m_size && !m_url;
}

bool DownloadRequestTarget::IsIndexed() const {
    return m_actionID && m_index && m_url;
}

bool DownloadRequestTarget::IsDynamic() const {
    return m_actionID && !m_index && m_url && m_sha1 && m_size;
}

std::string downloadRequestTargetText(const DownloadRequestTarget& target) {
    std::string text;
    AppendField(text, "aid=", target.GetActionID());
    AppendField(text, "index=", target.GetIndex());
    AppendField(text, "sha1=", target.GetSha1());
    AppendField(text, "size=", target.GetSize());
    AppendField(text, "url=", target.GetURL());
    return text;
}

DownloadRequestTarget ParseDownloadRequestTarget(std::string_view text) {
    PositionalValueReader values(text);
    auto actionID = ConvertValue(values.Next(), [](std::string_view v) { return DecimalToUInt32(ConstData(v)); });
    auto index = ConvertValue(values.Next(), [](std::string_view v) { return DecimalToUInt32(ConstData(v)); });
    auto sha1 = ConvertValue(values.Next(), Sha1FromHex);
    auto size = ConvertValue(values.Next(), [](std::string_view v) { return DecimalToUInt64(ConstData(v)); });
    auto url = ConvertValue(values.Next(), [](std::string_view v) { return URLDecodeText(ConstData(v)); });
    return DownloadRequestTarget(actionID, index, std::move(sha1), size, std::move(url));
}

bool DownloadRequestTargetLess::operator()(const DownloadRequestTarget& a, const DownloadRequestTarget& b) const {
    int order = CompareOptional(a.GetActionID(), b.GetActionID(), NumberLess);
    if (order == 0) order = CompareOptional(a.GetSha1(), b.GetSha1(), DigestBytesLess);
    if (order == 0) order = CompareOptional(a.GetSize(), b.GetSize(), NumberLess);
    if (order == 0) order = CompareOptional(a.GetIndex(), b.GetIndex(), NumberLess);
    if (order == 0) order = CompareOptional(a.GetURL(), b.GetURL(), BytesLess);
    return order < 0;
}
