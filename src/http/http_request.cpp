#include "http/http_request.h"

#include <algorithm>

#include "base/character_classes.h"

bool HTTPRequest::NameLess::operator()(std::string_view a, std::string_view b) const {
    return Ascii::CompareIgnoringCase(ConstData(a), ConstData(b)) < 0;
}

void HTTPRequest::AddHeaderValue(ConstData name, ConstData value) {
    auto entry = m_headers.find(name.View());
    if (entry == m_headers.end())
        entry = m_headers.emplace(std::string(name.View()), std::vector<std::string>()).first;
    entry->second.emplace_back(value.View());
}

const std::vector<std::string>* HTTPRequest::FindHeaderValues(std::string_view name) const {
    auto entry = m_headers.find(name);
    return entry == m_headers.end() ? nullptr : &entry->second;
}

std::string_view HTTPRequest::FirstHeaderValue(std::string_view name) const {
    const std::vector<std::string>* values = FindHeaderValues(name);
    return values == nullptr || values->empty() ? std::string_view() : std::string_view(values->front());
}

void HTTPRequest::SetBodyWindow(std::size_t begin, std::size_t end) {
    m_bodyRead = std::min(begin, m_buffer.size());
    m_bodyEnd = std::clamp(end, m_bodyRead, m_buffer.size());
}

std::size_t HTTPRequest::TakeBodyBytes(OutputRange& output) {
    const std::size_t count = std::min(output.Room(), m_bodyEnd - m_bodyRead);
    CopyIntoOutputRange(output, ConstData(m_buffer.data() + m_bodyRead, count));
    m_bodyRead += count;
    return count;
}
