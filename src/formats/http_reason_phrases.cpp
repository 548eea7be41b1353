#include "formats/http_reason_phrases.h"

#include <algorithm>
#include <cstring>
#include <iterator>
#include <string>

namespace {

struct ReasonPhrase {
    int code;
    const char* phrase;
};

// Sorted by code. 302 keeps the wording that the relay's clients have always seen.
constexpr ReasonPhrase kReasonPhrases[] = {
    {200, "OK"},
    {206, "Partial Content"},
    {302, "Object Moved"},
    {400, "Bad Request"},
    {401, "Unauthorized"},
    {403, "Forbidden"},
    {404, "Not Found"},
    {405, "Method Not Allowed"},
    {413, "Request Entity Too Large"},
    {414, "Request-URI Too Long"},
    {416, "Requested Range Not Satisfiable"},
    {500, "Internal Server Error"},
    {501, "Not Implemented"},
    {503, "Service Unavailable"},
};

std::string UnexpectedResponseText(std::int32_t code, ConstData reason) {
    std::string text = "Unexpected HTTP response: " + std::to_string(code) + " ";
    text.append(reason.View());
    return text;
}

}  // namespace

ConstData HTTPReasonPhrase(int code) {
    auto found = std::lower_bound(std::begin(kReasonPhrases), std::end(kReasonPhrases), code,
                                  [](const ReasonPhrase& entry, int key) { return entry.code < key; });
    if (found == std::end(kReasonPhrases) || found->code != code) return {};
    return ConstData(found->phrase, std::strlen(found->phrase));
}

UnexpectedHTTPResponse::UnexpectedHTTPResponse(std::int32_t code, ConstData reason)
    : ExceptionPL(UnexpectedResponseText(code, reason)), m_code(code) {
    // The buffer has room for the longest kept reason and its terminating NUL.
    std::size_t kept = std::min(reason.Length(), kReasonCapacity);
    if (kept != 0) std::memcpy(m_reason, reason.begin, kept);
    m_reason[kept] = '\0';
}
