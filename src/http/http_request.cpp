#include "http/http_request.h"

#include <algorithm>

#include "base/character_classes.h"
#include "base/numerals.h"

namespace {

// One read of a held body: a 64 KiB body arriving at once takes four reads.
constexpr std::size_t kBodyReadChunk = 16 * 1024;

}  // namespace

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
    begin = std::min(begin, m_buffer.size());
    end = std::clamp(end, begin, m_buffer.size());
    m_body.assign(m_buffer.begin() + begin, m_buffer.begin() + end);
    m_bodyServed = 0;
}

std::size_t HTTPRequest::BodyBytesToHold() const {
    const std::uint64_t length = DecimalToUInt64OrDefault(ConstData(FirstHeaderValue("Content-Length")), 0);
    return static_cast<std::size_t>(std::min<std::uint64_t>(length, kMostHeldBodyBytes));
}

// The held bytes grow by what arrives, never by what the client announced: a client that announces
// a long body and trickles it costs the bytes it sent.
std::size_t HTTPRequest::ReadBodyToHold() {
    const std::size_t wanted = BodyBytesToHold();
    if (m_body.size() >= wanted) return 0;
    Byte chunk[kBodyReadChunk];
    OutputRange room(chunk, std::min(sizeof chunk, wanted - m_body.size()));
    const std::size_t count = m_connection.Read(room);
    m_body.insert(m_body.end(), chunk, chunk + count);
    return count;
}

std::size_t HTTPRequest::TakeBodyBytes(OutputRange& output) {
    const std::size_t count = std::min(output.Room(), m_body.size() - m_bodyServed);
    CopyIntoOutputRange(output, ConstData(m_body.data() + m_bodyServed, count));
    m_bodyServed += count;
    return count;
}
