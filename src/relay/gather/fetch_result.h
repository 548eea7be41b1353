// FetchResult: the outcome of one gather fetch (url_fetcher.h), as a code, a detail code, a message
// and the HTTP status when one was received.
//
// Codes (FetchResultCode): 0 success, 2 invalid URL, 3 the start value of a new result, 4 the fetch
// was stopped by a stop request, 13 an unknown platform failure (the socket fetcher's own failures),
// 23 a local file that could not be written, 24 a general transport failure (a socket error, or an
// HTTP status other than 200); the other codes of the table in fetch_result.cpp name the failures of
// the site gather. 11 to 13 carry a detail code, read as the platform download service's error
// number.
//
// Texts: Text() is the code's fixed text ("General transport failure."), or the text of the HTTP 304
// reply whatever the code; FullText() adds CR LF and the message when there is one:
//     "General transport failure.\r\n'http://p/x' http failure code 404"
//
// A plain value; copy it freely.
#pragma once

#include <cstdint>
#include <string>

namespace FetchResultCode {
inline constexpr std::int32_t kSuccess = 0;
inline constexpr std::int32_t kInvalidURL = 2;
inline constexpr std::int32_t kUndefined = 3;
inline constexpr std::int32_t kInterrupted = 4;
inline constexpr std::int32_t kPlatformFailure = 11;
inline constexpr std::int32_t kPlatformTimeout = 12;
inline constexpr std::int32_t kUnknownPlatformFailure = 13;
inline constexpr std::int32_t kLocalFileFailure = 23;
inline constexpr std::int32_t kTransportFailure = 24;
}  // namespace FetchResultCode

struct FetchResult {
    std::int32_t resultCode = FetchResultCode::kUndefined;
    std::int32_t detailCode = 0;
    std::string message;
    bool httpStatusKnown = false;
    std::int32_t httpStatus = 0;

    bool IsSuccessful() const { return resultCode == FetchResultCode::kSuccess; }
    bool IsInterrupted() const { return resultCode == FetchResultCode::kInterrupted; }

    std::string Text() const;
    std::string FullText() const;
};
