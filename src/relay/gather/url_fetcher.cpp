#include "relay/gather/url_fetcher.h"

#include <atomic>
#include <mutex>
#include <utility>

#include "foundation/file_operations.h"
#include "foundation/log_manager.h"
#include "foundation/temporary_files.h"
#include "http/get_stop_functor.h"
#include "http/handler_requests.h"
#include "http/header_handler.h"
#include "http/http_client.h"
#include "http/http_client_session.h"

namespace {

constexpr int kHTTPOK = 200;

std::atomic<bool> g_useUrlMoniker{true};

struct Credentials {
    std::mutex lock;
    std::string user;
    std::string password;
};

Credentials& URLMonikerCredentials() {
    static Credentials credentials;
    return credentials;
}

FetchResult Success(std::string_view url) {
    return {.resultCode = FetchResultCode::kSuccess, .message = std::string(url), .httpStatusKnown = true,
            .httpStatus = kHTTPOK};
}

FetchResult HTTPStatusResult(std::string_view url, int status) {
    if (status == kHTTPOK) return Success(url);
    return {.resultCode = FetchResultCode::kTransportFailure,
            .message = "'" + std::string(url) + "' http failure code " + std::to_string(status),
            .httpStatusKnown = true,
            .httpStatus = status};
}

FetchResult Interrupted() {
    FetchResult result;
    result.resultCode = FetchResultCode::kInterrupted;
    return result;
}

FetchResult WithMessage(std::int32_t code, std::string message) {
    return {.resultCode = code, .message = std::move(message)};
}

bool IsSocketTransportFailure(int clientResult) {
    return clientResult == -1 || (clientResult <= -3 && clientResult >= -13) ||
           clientResult == TransferResult::kProxyTunnelFailed || clientResult == -101;
}

}  // namespace

void SetUseUrlMoniker(bool useUrlMoniker) {
    g_useUrlMoniker.store(useUrlMoniker);
}

bool GetUseUrlMoniker() {
    return g_useUrlMoniker.load();
}

void SetUrlMonikerCredentials(std::string user, std::string password) {
    Credentials& credentials = URLMonikerCredentials();
    std::lock_guard<std::mutex> lock(credentials.lock);
    credentials.user = std::move(user);
    credentials.password = std::move(password);
}

FetchResult SocketFetchResult(std::string_view url, int clientResult, int httpStatus) {
    if (clientResult == TransferResult::kSuccess) return HTTPStatusResult(url, httpStatus);
    if (IsSocketTransportFailure(clientResult))
        return WithMessage(FetchResultCode::kTransportFailure, "winsock error " + std::to_string(clientResult));
    switch (clientResult) {
        case TransferResult::kStopped:
            return Interrupted();
        case TransferResult::kEmptyURL:
            return WithMessage(FetchResultCode::kInvalidURL, "missing url");
        case TransferResult::kBadURL:
            return WithMessage(FetchResultCode::kInvalidURL, std::string(url));
        default:
            return WithMessage(FetchResultCode::kUnknownPlatformFailure, "winsock error " + std::to_string(clientResult));
    }
}

URLFetcher::URLFetcher(std::string url) : m_url(std::move(url)), m_useUrlMoniker(GetUseUrlMoniker()) {}

// The body lands in a temporary file beside the destination, which takes the destination's place
// only after a 200: an error page, or a body cut short, never stands where a file is expected.
FetchResult URLFetcher::GetURL(const FileLocation& destination, HeaderHandler& handler, HTTPClientSession& session,
                               GetStopFunctor& stop) {
    try {
        TemporaryFileLocation body(destination.GetParentLocation());
        FetchResult result = m_useUrlMoniker ? GetThroughURLMoniker(body.GetLocation(), handler, session, stop)
                                             : GetThroughSocket(body.GetLocation(), handler, session, stop);
        if (result.IsSuccessful()) ReplacePath(body.GetLocation(), destination);
        return result;
    } catch (const std::exception&) {
        // Neither transport throws: what arrives here is the temporary file's or the replace's failure.
        return WithMessage(FetchResultCode::kLocalFileFailure, CurrentExceptionText());
    }
}

FetchResult URLFetcher::GetThroughURLMoniker(const FileLocation& body, HeaderHandler& handler,
                                             HTTPClientSession& session, GetStopFunctor& stop) {
    {
        Credentials& credentials = URLMonikerCredentials();
        std::lock_guard<std::mutex> lock(credentials.lock);
        session.SetServerCredentials(credentials.user, credentials.password);
    }
    for (int attempt = 1;; ++attempt) {
        std::uint64_t bodyBytes = 0;
        const HandlerRequestResult request = GetWithHeaderHandler(m_url, body, bodyBytes, handler, stop, session);
        if (request.succeeded) return HTTPStatusResult(m_url, handler.GetStatusCode());
        if (stop.ShouldStop()) return Interrupted();
        if (attempt == kURLMonikerAttempts) return WithMessage(FetchResultCode::kTransportFailure, request.errorText);
        KVR_LOG("debug") << "GetURL attempt " << attempt << " of " << kURLMonikerAttempts << " on " << m_url
                         << " failed: " << request.errorText;
    }
}

// An exception of the client itself counts as its result kException.
FetchResult URLFetcher::GetThroughSocket(const FileLocation& body, HeaderHandler& handler, HTTPClientSession& session,
                                         GetStopFunctor& stop) {
    int status = 0;
    int clientResult = TransferResult::kException;
    try {
        clientResult = GetHTTP(m_url, session, body, handler, status, kSocketTimeLimit, {}, stop);
    } catch (...) {
        clientResult = TransferResult::kException;
    }
    return SocketFetchResult(m_url, clientResult, status);
}

FetchResult FetchURLForGather(const ByteString& url, const FileLocation& destination, HeaderHandler& handler,
                              HTTPClientSession& session, GetStopFunctor& stop) {
    URLFetcher fetcher(std::string(url.GetConstData().View()));
    return fetcher.GetURL(destination, handler, session, stop);
}
