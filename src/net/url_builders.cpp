#include "net/url_builders.h"

#include <algorithm>

#include "formats/url_codec.h"

namespace {

// The bytes a query name or value keeps as they are; the space among them then becomes "+".
const CharacterClass& QueryCharacters() {
    static const CharacterClass characters = CharacterClass(URLSafeCharacters()).Add(" ");
    return characters;
}

std::string QueryText(std::string_view text) {
    std::string escaped = URLEncodeText(ConstData(text), QueryCharacters());
    std::replace(escaped.begin(), escaped.end(), ' ', '+');
    return escaped;
}

}  // namespace

URLPathBuilder::URLPathBuilder(URL& url) : m_path(url.Path().value_or("")), m_url(&url) {}

void URLPathBuilder::AppendSeparator() {
    if (!m_path.empty() && m_path.back() != '/') m_path += '/';
}

URLPathBuilder& URLPathBuilder::AppendComponent(std::string_view component) {
    AppendSeparator();
    m_path += URLEncodeText(ConstData(component), URLPathSegmentCharacters());
    return *this;
}

URLPathBuilder& URLPathBuilder::AppendRawComponent(std::string_view component) {
    AppendSeparator();
    m_path += component;
    return *this;
}

URL& URLPathBuilder::ApplyToURL() {
    KVR_REQUIRE(m_url != nullptr);
    m_url->SetPath(m_path);
    return *m_url;
}

URLQueryBuilder& URLQueryBuilder::Add(std::string_view name, std::string_view value) {
    if (!m_query.empty()) m_query += '&';
    m_query += QueryText(name) + "=" + QueryText(value);
    return *this;
}

URLQueryEditor::URLQueryEditor(URL& url) : URLQueryBuilder(url.Query().value_or("")), m_url(url) {}

URL& URLQueryEditor::Commit() {
    m_url.SetQuery(Text());
    return m_url;
}
