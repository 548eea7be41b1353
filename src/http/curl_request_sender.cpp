#include "http/curl_request_sender.h"

#include <curl/curl.h>

#include <algorithm>
#include <cstdint>
#include <exception>
#include <new>
#include <string_view>
#include <type_traits>
#include <vector>

#include "base/character_classes.h"
#include "formats/header_maker.h"
#include "formats/value_receivers.h"
#include "foundation/data_stages.h"
#include "foundation/text_ranges.h"
#include "http/http_request_context.h"
#include "http/http_status_line.h"
#include "http/proxy_authentication.h"
#include "http/raw_http_exchange.h"
#include "http/socket_http_client.h"
#include "http/tls_client.h"
#include "net/url_info.h"

// Why the transfer runs on a multi handle of its own rather than curl_easy_perform: an idle easy
// transfer calls its progress callback only about once a second, so a stop would wait that long.
// Our own loop waits at most kStopPollMilliseconds for the transfer's sockets and asks the
// interruptor between the waits, and the body callback asks it again before each delivery.
//
// The platform client this sender stands in for binds "silently, without writing the cache, getting
// the newest version": libcurl has no cache and no user interface, and each request makes its own
// handles, so no connection or state outlives it.

namespace {

constexpr std::string_view kSuppressedFieldPrefix = "x-kvr-dynamic";
constexpr std::string_view kPost = "POST";
constexpr int kStopPollMilliseconds = 10;
// A transfer that moves less than this many bytes a second for the send or receive time limit has
// stalled.
constexpr long kStalledBytesPerSecond = 1;

struct EasyDeleter {
    void operator()(CURL* easy) const { curl_easy_cleanup(easy); }
};
struct MultiDeleter {
    void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
struct URLDeleter {
    void operator()(CURLU* url) const { curl_url_cleanup(url); }
};
struct ListDeleter {
    void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct CurlTextDeleter {
    void operator()(char* text) const { curl_free(text); }
};
using EasyHandle = std::unique_ptr<CURL, EasyDeleter>;
using MultiHandle = std::unique_ptr<CURLM, MultiDeleter>;
using URLHandle = std::unique_ptr<CURLU, URLDeleter>;
using HeaderList = std::unique_ptr<curl_slist, ListDeleter>;
using CurlText = std::unique_ptr<char, CurlTextDeleter>;

[[noreturn]] void ThrowTransferError(CURLcode code, const char* errorText) {
    const char* text = errorText != nullptr && *errorText != '\0' ? errorText : curl_easy_strerror(code);
    throw CurlTransferError(static_cast<int>(code), text);
}

void CheckMulti(CURLMcode code) {
    if (code != CURLM_OK)
        throw CurlTransferError(static_cast<int>(code), std::string("multi: ") + curl_multi_strerror(code));
}

// libcurl's process-wide set-up, done once before the first handle is made; its state lives until
// the process ends.
void InitializeCurl() {
    static const CURLcode result = curl_global_init(CURL_GLOBAL_DEFAULT);
    if (result != CURLE_OK) ThrowTransferError(result, nullptr);
}

// Numbers, curl_off_t ones included (the same type on this platform).
static_assert(std::is_same_v<curl_off_t, long>);
void SetOption(CURL* easy, CURLoption option, long value) {
    if (CURLcode code = curl_easy_setopt(easy, option, value); code != CURLE_OK)
        ThrowTransferError(code, nullptr);
}
void SetOption(CURL* easy, CURLoption option, const void* value) {
    if (CURLcode code = curl_easy_setopt(easy, option, value); code != CURLE_OK)
        ThrowTransferError(code, nullptr);
}
void SetOption(CURL* easy, CURLoption option, const std::string& value) {
    SetOption(easy, option, static_cast<const void*>(value.c_str()));
}
using DataCallback = std::size_t (*)(char* data, std::size_t size, std::size_t count, void* self);
void SetOption(CURL* easy, CURLoption option, DataCallback callback) {
    if (CURLcode code = curl_easy_setopt(easy, option, callback); code != CURLE_OK)
        ThrowTransferError(code, nullptr);
}

// Keeps an easy handle on a multi handle; taking it off aborts a transfer still running.
class MultiAttachment {
  public:
    MultiAttachment(CURLM* multi, CURL* easy) : m_multi(multi), m_easy(easy) {
        CheckMulti(curl_multi_add_handle(multi, easy));
    }
    ~MultiAttachment() { curl_multi_remove_handle(m_multi, m_easy); }
    MultiAttachment(const MultiAttachment&) = delete;
    MultiAttachment& operator=(const MultiAttachment&) = delete;

  private:
    CURLM* m_multi;
    CURL* m_easy;
};

// Whole seconds, rounded up, at least 1; a limit of 0 or less is 0, which libcurl takes for none of
// ours (no stall limit, its own connect default).
long Seconds(std::int64_t microseconds) {
    if (microseconds <= 0) return 0;
    std::int64_t seconds = microseconds / 1'000'000 + (microseconds % 1'000'000 > 0 ? 1 : 0);
    return static_cast<long>(seconds);
}
long Milliseconds(std::int64_t microseconds) {
    if (microseconds <= 0) return 0;
    return static_cast<long>(microseconds < 1'000 ? 1 : microseconds / 1'000);
}

// The reason phrase of a status line: what follows the version, the status digits and the blanks.
ConstData ReasonPhrase(const std::string& statusLine) {
    ConstData status = GetStatusAfterVersion(GetFirstLine(ConstData(statusLine)));
    const Byte* p = status.begin;
    while (p != status.end && Ascii::Digits().Contains(*p)) ++p;
    while (p != status.end && Ascii::Blanks().Contains(*p)) ++p;
    return {p, status.end};
}

// One transfer: the easy handle and its callbacks, which deliver the final response to the
// receiver. Only the head of the last response before the body (or before the end, for a response
// without body) is delivered; libcurl itself skips the bodies of the responses it answers.
class CurlTransfer {
  public:
    CurlTransfer(HTTPResponseReceiver& response, Interruptor& interruptor)
        : m_response(response), m_interruptor(interruptor), m_easy(curl_easy_init()) {
        if (!m_easy) throw std::bad_alloc();
        CURL* easy = m_easy.get();
        SetOption(easy, CURLOPT_ERRORBUFFER, static_cast<const void*>(m_errorText));
        SetOption(easy, CURLOPT_NOSIGNAL, 1L);
        // A stop during a name look-up leaves the resolver thread behind instead of joining it.
        SetOption(easy, CURLOPT_QUICK_EXIT, 1L);
        SetOption(easy, CURLOPT_HEADERFUNCTION, &OnHeaderLine);
        SetOption(easy, CURLOPT_HEADERDATA, static_cast<const void*>(this));
        SetOption(easy, CURLOPT_WRITEFUNCTION, &OnBody);
        SetOption(easy, CURLOPT_WRITEDATA, static_cast<const void*>(this));
    }
    // libcurl holds this object's address and its error buffer's.
    CurlTransfer(const CurlTransfer&) = delete;
    CurlTransfer& operator=(const CurlTransfer&) = delete;

    CURL* Handle() const { return m_easy.get(); }

    // Runs the transfer to its end and delivers the end of the response. A stop, and any exception
    // a callback caught, leave unchanged; a failed transfer throws CurlTransferError.
    void Run() {
        MultiHandle multi(curl_multi_init());
        if (!multi) throw std::bad_alloc();
        MultiAttachment attachment(multi.get(), m_easy.get());

        int running = 1;
        while (running != 0) {
            m_interruptor.CheckForInterruption();
            CheckMulti(curl_multi_perform(multi.get(), &running));
            if (m_caught) std::rethrow_exception(m_caught);
            if (running != 0)
                CheckMulti(curl_multi_poll(multi.get(), nullptr, 0, kStopPollMilliseconds, nullptr));
        }
        int queued = 0;
        CURLMsg* message = curl_multi_info_read(multi.get(), &queued);
        CURLcode result =
            message != nullptr && message->msg == CURLMSG_DONE ? message->data.result : CURLE_RECV_ERROR;
        if (result != CURLE_OK) ThrowTransferError(result, m_errorText);

        BeginBody();
        m_body->End();
        m_response.EndResponse();
    }

  private:
    static std::size_t OnHeaderLine(char* data, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<CurlTransfer*>(self);
        std::size_t length = size * count;
        bool taken = transfer.Guard([&] { transfer.TakeHeaderLine(ConstData(data, length)); });
        return taken ? length : CURL_WRITEFUNC_ERROR;
    }

    static std::size_t OnBody(char* data, std::size_t size, std::size_t count, void* self) {
        auto& transfer = *static_cast<CurlTransfer*>(self);
        std::size_t length = size * count;
        bool delivered = transfer.Guard([&] {
            transfer.m_interruptor.CheckForInterruption();
            transfer.BeginBody();
            transfer.m_body->Receive(ConstData(data, length));
        });
        return delivered ? length : CURL_WRITEFUNC_ERROR;
    }

    // Runs the work; an exception is kept for Run to throw once libcurl has returned, as none may
    // pass through libcurl's frames.
    template <class Work>
    bool Guard(Work&& work) noexcept {
        try {
            work();
            return true;
        } catch (...) {
            m_caught = std::current_exception();
            return false;
        }
    }

    // Each response's head starts at its status line and ends at the empty line; lines outside a head
    // (the trailer of a chunked body, the replies of an ftp server) are not a response head.
    void TakeHeaderLine(ConstData line) {
        if (m_body != nullptr) return;
        ConstData text = GetFirstLine(line);
        if (!m_inHead) {
            if (GetStatusAfterVersion(text).IsEmpty()) return;
            m_statusLine.assign(text.View());
            m_fields.clear();
            m_inHead = m_haveHead = true;
        } else if (text.IsEmpty()) {
            m_inHead = false;
        } else {
            m_fields.append(line.View());
        }
    }

    void BeginBody() {
        if (m_body != nullptr) return;
        if (m_haveHead) {
            long code = 0;
            curl_easy_getinfo(m_easy.get(), CURLINFO_RESPONSE_CODE, &code);
            m_response.ReceiveStatus(static_cast<unsigned>(code), ReasonPhrase(m_statusLine));
            ParseResponseHeaders(ConstData(m_fields), m_response);
        }
        m_body = &m_response.EndHeaders();
        m_body->Begin();
    }

    HTTPResponseReceiver& m_response;
    Interruptor& m_interruptor;
    EasyHandle m_easy;
    char m_errorText[CURL_ERROR_SIZE] = {};
    std::exception_ptr m_caught;
    bool m_inHead = false;
    bool m_haveHead = false;
    std::string m_statusLine;
    std::string m_fields;
    DataReceiver* m_body = nullptr;
};

class CurlRequestSender : public HTTPRequestReceiver {
  public:
    CurlRequestSender(HTTPResponseReceiver& response, HTTPRequestContext& context,
                      const HTTPClientSession& session)
        : m_response(response), m_context(context), m_session(session) {
        InitializeCurl();
    }

    void ReceiveRequestLine(ConstData method, ConstData url) override {
        m_post = method.View() == kPost;
        URLInfo info(url);
        if (!info.HasScheme()) throw CurlRequestError("The URL has no protocol");
        auto isScheme = [scheme = info.GetScheme()](std::string_view name) {
            return Ascii::EqualIgnoringCase(scheme, ConstData(name));
        };
        m_http = isScheme("http") || isScheme("https");
        if (!m_http && !isScheme("ftp"))
            throw CurlRequestError("The only supported protocols are http, https, and ftp");

        std::string text(url.View());
        m_url.reset(curl_url());
        if (!m_url) throw std::bad_alloc();
        if (text.find('\0') != std::string::npos ||
            curl_url_set(m_url.get(), CURLUPART_URL, text.c_str(), 0) != CURLUE_OK)
            throw CurlRequestError("Invalid URLMon URL");
        char* host = nullptr;
        if (curl_url_get(m_url.get(), CURLUPART_HOST, &host, 0) == CURLUE_OK) {
            CurlText owned(host);
            std::string_view name(host);
            if (name.size() >= 2 && name.front() == '[' && name.back() == ']')
                name = name.substr(1, name.size() - 2);
            m_host.assign(name);
        }
    }

    DataReceiver& ReceiveHeaderName(ConstData name) override {
        m_suppressed = ConstDataStartsWith(name, ConstData(kSuppressedFieldPrefix));
        if (m_suppressed) return IgnoreDataReceiver::Instance();
        m_fieldName.assign(name.View());
        m_fieldValue.clear();
        return m_valueAppender.SetTarget(m_fieldValue);
    }

    void EndHeaderValue() override {
        if (m_suppressed) return;
        RefuseUnsafeFieldName(m_fieldName);
        RefuseUnsafeHeaderText(m_fieldValue);
        // libcurl drops a "name:" line with a blank value; "name;" sends the field with an empty one.
        AddField(TrimWhitespaceRange(ConstData(m_fieldValue)).IsEmpty() ? m_fieldName + ";"
                                                                        : m_fieldName + ": " + m_fieldValue);
    }

    DataReceiver& EndHeaders(std::uint64_t contentLength) override {
        if (!m_post) return IgnoreDataReceiver::Instance();
        m_body.assign(contentLength, 0);
        m_bodyBuffer = FillBuffer(m_body.data(), m_body.data() + m_body.size());
        return m_bodyFiller.SetUp(m_bodyBuffer, m_copy);
    }

    void EndRequest() override {
        CurlTransfer transfer(m_response, m_context.ActiveInterruptor());
        CURL* easy = transfer.Handle();
        SetOption(easy, CURLOPT_CURLU, static_cast<const void*>(m_url.get()));
        SetOption(easy, CURLOPT_PROTOCOLS_STR, static_cast<const void*>("http,https,ftp"));
        SetOption(easy, CURLOPT_HTTP_VERSION, static_cast<long>(CURL_HTTP_VERSION_1_1));
        SetOption(easy, CURLOPT_SSL_VERIFYPEER, 1L);
        SetOption(easy, CURLOPT_SSL_VERIFYHOST, 2L);
        if (std::string trusted = TrustedCertificateFile(); !trusted.empty())
            SetOption(easy, CURLOPT_CAINFO, trusted);
        SetOption(easy, CURLOPT_CONNECTTIMEOUT_MS, Milliseconds(m_context.ConnectTimeLimit()));
        SetOption(easy, CURLOPT_LOW_SPEED_LIMIT, kStalledBytesPerSecond);
        SetOption(easy, CURLOPT_LOW_SPEED_TIME,
                  Seconds(std::max(m_context.SendTimeLimit(), m_context.ReceiveTimeLimit())));
        if (!m_context.UserAgent().empty()) SetOption(easy, CURLOPT_USERAGENT, m_context.UserAgent());
        // libcurl announces a body of more than 1 MiB with "Expect: 100-continue" and sends it after
        // "100 Continue" or a second's wait, so that a 401 or 407 comes before the body is spent.
        // That round pays only where credentials can answer such a challenge.
        if (!HasCredentials()) AddField("Expect:");
        SetOption(easy, CURLOPT_HTTPHEADER, static_cast<const void*>(m_fields.get()));
        SetBody(easy);
        SetProxy(easy);
        SetServerCredentials(easy);
        transfer.Run();
    }

  private:
    void AddField(const std::string& line) {
        curl_slist* head = curl_slist_append(m_fields.get(), line.c_str());
        if (head == nullptr) throw std::bad_alloc();
        if (head != m_fields.get()) {
            (void)m_fields.release();
            m_fields.reset(head);
        }
    }

    void SetBody(CURL* easy) {
        if (!m_post) {
            SetOption(easy, CURLOPT_HTTPGET, 1L);
            return;
        }
        ConstData body = m_bodyBuffer.Filled();
        static constexpr char kEmpty[] = "";
        SetOption(easy, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body.Length()));
        SetOption(easy, CURLOPT_POSTFIELDS, body.IsEmpty() ? static_cast<const void*>(kEmpty) : body.begin);
    }

    // More than one scheme makes libcurl wait for the challenge before it sends any credentials.
    long AuthenticationSchemes() const {
        return static_cast<long>(CURLAUTH_DIGEST | CURLAUTH_NTLM |
                                 (m_session.RefusesBasic() ? 0 : CURLAUTH_BASIC));
    }

    bool UsesProxy() const { return !m_session.ProxyHost().empty() && !IsLocalTargetHost(m_host); }
    bool HasProxyCredentials() const {
        return !m_session.ProxyUser().empty() && !m_session.ProxyPassword().empty();
    }
    bool HasServerCredentials() const {
        return m_http && !m_session.ServerUser().empty() && !m_session.ServerPassword().empty();
    }
    bool HasCredentials() const { return (UsesProxy() && HasProxyCredentials()) || HasServerCredentials(); }

    void SetProxy(CURL* easy) {
        // An empty proxy text also keeps libcurl from taking one from the environment.
        std::string proxy;
        if (UsesProxy()) {
            const std::string& host = m_session.ProxyHost();
            bool literal = host.find(':') != std::string::npos;
            proxy =
                "http://" + (literal ? "[" + host + "]" : host) + ":" + std::to_string(m_session.ProxyPort());
        }
        SetOption(easy, CURLOPT_PROXY, proxy);
        if (proxy.empty()) return;
        SetOption(easy, CURLOPT_SUPPRESS_CONNECT_HEADERS, 1L);
        if (!HasProxyCredentials()) return;
        SetOption(easy, CURLOPT_PROXYUSERNAME, m_session.ProxyUser());
        SetOption(easy, CURLOPT_PROXYPASSWORD, m_session.ProxyPassword());
        SetOption(easy, CURLOPT_PROXYAUTH, AuthenticationSchemes());
    }

    void SetServerCredentials(CURL* easy) {
        if (!HasServerCredentials()) return;
        SetOption(easy, CURLOPT_USERNAME, m_session.ServerUser());
        SetOption(easy, CURLOPT_PASSWORD, m_session.ServerPassword());
        SetOption(easy, CURLOPT_HTTPAUTH, AuthenticationSchemes());
    }

    HTTPResponseReceiver& m_response;
    HTTPRequestContext& m_context;
    const HTTPClientSession& m_session;
    bool m_post = false;
    bool m_http = false;
    URLHandle m_url;
    std::string m_host;
    HeaderList m_fields;
    std::string m_fieldName;
    std::string m_fieldValue;
    StringAppender m_valueAppender;
    bool m_suppressed = false;
    std::vector<Byte> m_body;
    FillBuffer m_bodyBuffer;
    DataFilter m_copy;
    BufferFiller m_bodyFiller;
};

}  // namespace

CurlTransferError::CurlTransferError(int code, const std::string& text)
    : ExceptionPL("curl error " + std::to_string(code) + ": " + text) {}

std::unique_ptr<HTTPRequestReceiver> MakeCurlRequestSender(HTTPResponseReceiver& response,
                                                           HTTPRequestContext& context,
                                                           const HTTPClientSession& session) {
    return std::make_unique<CurlRequestSender>(response, context, session);
}
