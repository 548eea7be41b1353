#include "http/raw_http_exchange.h"

#include <gtest/gtest.h>

#include <string>

#include "formats/message_writer.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"

namespace {

TEST(WriteHTTPRequestHead, RequestLinesDirectThroughAProxyAndForATunnel) {
    struct Case {
        HTTPRequestHead head;
        std::string expected;
    };
    auto head = [](std::string_view host, std::uint16_t port, bool tls, bool viaProxy, bool connect) {
        HTTPRequestHead h;
        h.host = host;
        h.port = port;
        h.target = "/x?q=1";
        h.tls = tls;
        h.viaProxy = viaProxy;
        h.connect = connect;
        return h;
    };
    const Case cases[] = {
        {head("h", 8080, false, false, false), "GET /x?q=1 HTTP/1.0\r\n"},
        {head("h", 8080, false, true, false), "GET http://h:8080/x?q=1 HTTP/1.0\r\n"},
        {head("h", 80, false, true, false), "GET http://h/x?q=1 HTTP/1.0\r\n"},
        {head("h", 443, true, true, false), "GET https://h/x?q=1 HTTP/1.0\r\n"},
        {head("h", 80, true, true, false), "GET https://h:80/x?q=1 HTTP/1.0\r\n"},
        {head("h", 443, true, true, true), "CONNECT h:443 HTTP/1.0\r\n"},
        {head("::1", 8443, true, true, true), "CONNECT [::1]:8443 HTTP/1.0\r\n"},
        {head("::1", 81, false, true, false), "GET http://[::1]:81/x?q=1 HTTP/1.0\r\n"},
    };
    for (const Case& c : cases) EXPECT_EQ(WriteHTTPRequestLine(c.head), c.expected);
}

TEST(WriteHTTPRequestHead, FieldsInTheirOrder) {
    HTTPRequestHead head;
    head.host = "h";
    head.port = 8080;
    head.target = "/x";
    EXPECT_EQ(WriteHTTPRequestHead(head),
              "GET /x HTTP/1.0\r\nConnection: Keep-Alive\r\nHost: h\r\nAccept: */*\r\n");

    head.post = true;
    head.viaProxy = true;
    head.contentLength = 12345678901;
    head.authorization = "Basic a";
    head.proxyAuthorization = "Basic b";
    EXPECT_EQ(
        WriteHTTPRequestHead(head),
        "POST http://h:8080/x HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\nContent-Length: 12345678901\r\n"
        "Host: h\r\nAccept: */*\r\nAuthorization: Basic a\r\nProxy-Authorization: Basic b\r\n");
}

TEST(WriteHTTPRequestFields, WritesTheSameFieldsAsEventsAndAnswersTheRequestLine) {
    HTTPRequestHead head;
    head.host = "h";
    head.port = 8080;
    head.target = "/x";
    head.post = true;
    head.viaProxy = true;
    head.contentLength = 7;
    head.authorization = "Digest a";
    std::string fields;
    StringReceiver text(fields);
    LineFlattener lines(text, ConstData(std::string_view("\r\n")));
    MessageWriter writer(lines);
    writer.Begin(0);
    std::string requestLine = WriteHTTPRequestFields(head, writer);
    writer.Body(0);
    writer.End(0);
    EXPECT_EQ(requestLine + fields, WriteHTTPRequestHead(head) + "\r\n");
}

TEST(RequestFieldGuard, PassesFieldsOnAndRefusesLineBreaksInNamesAndValues) {
    std::string fields;
    StringReceiver text(fields);
    LineFlattener lines(text, ConstData(std::string_view("\r\n")));
    MessageWriter writer(lines);
    RequestFieldGuard guard(writer);
    guard.Begin(0);
    WriteHeaderField(guard, "User-Agent", ConstData(std::string_view("KVRRelay")));
    EXPECT_THROW(WriteHeaderField(guard, "X: y", ConstData(std::string_view("v"))), UnsafeHeaderText);
    for (const char* name : {"X\r", "", "X Y", "X\tY"})
        EXPECT_THROW(WriteHeaderField(guard, name, ConstData(std::string_view("v"))), UnsafeHeaderText) << name;
    EXPECT_EQ(fields, "User-Agent: KVRRelay\r\n");
    EXPECT_THROW(WriteHeaderField(guard, "X", ConstData(std::string_view("a\nb"))), UnsafeHeaderText);
    EXPECT_THROW(WriteHeaderField(guard, "X", ConstData(std::string_view("a\0b", 3))), UnsafeHeaderText);
}

TEST(WriteHTTPRequestHead, RefusesTextsThatWouldSplitTheRequest) {
    for (std::string_view bad : {std::string_view("a\r\nX-Injected: 1"), std::string_view("a\nb"),
                                 std::string_view("a\rb"), std::string_view("a\0b", 3)}) {
        for (std::string_view HTTPRequestHead::*text :
             {&HTTPRequestHead::host, &HTTPRequestHead::target, &HTTPRequestHead::authorization,
              &HTTPRequestHead::proxyAuthorization}) {
            HTTPRequestHead head;
            head.host = "h";
            head.target = "/";
            head.*text = bad;
            EXPECT_THROW(WriteHTTPRequestHead(head), UnsafeHeaderText);
        }
    }
}

TEST(WriteHTTPRequestHead, ARequestLineBeyondItsBoundIsRefused) {
    HTTPRequestHead head;
    head.host = "h";
    std::string target =
        "/" + std::string(kMaxRequestLineLength - std::string("GET / HTTP/1.0\r\n").size(), 'a');
    head.target = target;
    EXPECT_EQ(WriteHTTPRequestLine(head).size(), kMaxRequestLineLength);
    target += "a";
    head.target = target;
    EXPECT_THROW(WriteHTTPRequestLine(head), RequestLineTooLong);
}

TEST(RandomBelow, StaysInItsRange) {
    for (unsigned n : {1u, 2u, 7u, 100000u}) {
        for (int i = 0; i < 200; ++i) EXPECT_LT(RandomBelow(n), n);
    }
    EXPECT_EQ(RandomBelow(0), 0u);
}

}  // namespace
