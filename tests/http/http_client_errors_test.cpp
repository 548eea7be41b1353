#include "http/http_client_errors.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "http/http_status_line.h"

namespace {

template <class Kind>
std::string NameOf() {
    try {
        throw Kind();
    } catch (...) {
        return GetCurrentHttpErrorName();
    }
}

TEST(GetCurrentHttpErrorName, NamesEachKind) {
    EXPECT_EQ(NameOf<Http_err_AuthenticationFailed>(), "Http_err_AuthenticationFailed");
    EXPECT_EQ(NameOf<Http_err_PROTOCOL>(), "Http_err_PROTOCOL");
    EXPECT_EQ(NameOf<Http_err_MEMORY>(), "Http_err_MEMORY");
    EXPECT_EQ(NameOf<Http_err_BAD_SERVERNAME>(), "Http_err_BAD_SERVERNAME");
    EXPECT_EQ(NameOf<Http_err_SOCKET_START>(), "Http_err_SOCKET_START");
    EXPECT_EQ(NameOf<Http_err_SOCKET_CREATE>(), "Http_err_SOCKET_CREATE");
    EXPECT_EQ(NameOf<Http_err_SOCKET_CONNECT>(), "Http_err_SOCKET_CONNECT");
    EXPECT_EQ(NameOf<Http_err_SOCKET_SEND>(), "Http_err_SOCKET_SEND");
    EXPECT_EQ(NameOf<Http_err_SOCKET_RECEIVE>(), "Http_err_SOCKET_RECEIVE");
    EXPECT_EQ(NameOf<Http_err_SHORT_RESPONSE>(), "Http_err_SHORT_RESPONSE");
    EXPECT_EQ(NameOf<Http_err_SSL1>(), "Http_err_SSL1");
    EXPECT_EQ(NameOf<Http_err_SSL2>(), "Http_err_SSL2");
    EXPECT_EQ(NameOf<Http_err_SSL3>(), "Http_err_SSL3");
    EXPECT_EQ(NameOf<Http_err_BAD_URL>(), "Http_err_BAD_URL");
    EXPECT_EQ(NameOf<Http_err_PROXY_CONNECT>(), "Http_err_PROXY_CONNECT");
    EXPECT_EQ(NameOf<Http_err_SOCKET_WSOCK>(), "Http_err_SOCKET_WSOCK");
}

TEST(GetCurrentHttpErrorName, PassesOtherExceptionsOn) {
    EXPECT_THROW(NameOf<Http_err_SOCKET_TIMEOUT>(), Http_err_SOCKET_TIMEOUT);
    EXPECT_THROW(NameOf<Http_err_CHUNKED_TRANSFER>(), Http_err_CHUNKED_TRANSFER);
    EXPECT_THROW(NameOf<std::bad_function_call>(), std::bad_function_call);
}

TEST(StatusLine, FirstLineAndStatusAfterTheVersion) {
    auto text = [](ConstData range) { return std::string(range.View()); };
    EXPECT_EQ(text(GetFirstLine(ConstData(std::string_view("HTTP/1.1 404 Not Found\r\nServer: x")))),
              "HTTP/1.1 404 Not Found");
    EXPECT_EQ(text(GetFirstLine(ConstData(std::string_view("one\ntwo")))), "one");
    EXPECT_EQ(text(GetFirstLine(ConstData(std::string_view("one")))), "one");
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"HTTP/1.1 404 Not Found", "404 Not Found"},
        {"http/1.0 \t 200", "200"},
        {"HTTP/1.0", ""},
        {"HTTPS/1.0 200 OK", ""},
        {"ICY 200 OK", ""},
    };
    for (const auto& [line, status] : cases)
        EXPECT_EQ(text(GetStatusAfterVersion(ConstData(line))), status) << line;
}

}  // namespace
