#include "http/response_head_parser.h"

#include <gtest/gtest.h>

#include <string>

namespace {

struct ParsedHead {
    bool complete = false;
    std::string rest;  // the bytes after the head
    unsigned status = 0;
    bool hasLength = false;
    std::uint64_t length = 0;
    bool chunked = false;
    bool keepAlive = false;
    std::string serverChallenges;
    std::string proxyChallenges;
    std::string head;
};

// Feeds the response in pieces of `piece` bytes.
ParsedHead Parse(const std::string& response, std::size_t piece) {
    ResponseHeadParser parser;
    ParsedHead parsed;
    for (std::size_t at = 0; at < response.size(); at += piece) {
        ConstData input(response.data() + at, std::min(piece, response.size() - at));
        parser.Consume(input);
        if (parser.IsComplete()) parsed.rest.append(input.View());
    }
    parsed.complete = parser.IsComplete();
    parsed.status = parser.StatusCode();
    parsed.hasLength = parser.HasContentLength();
    parsed.length = parser.ContentLength();
    parsed.chunked = parser.IsChunked();
    parsed.keepAlive = parser.KeepsProxyConnectionAlive();
    parsed.serverChallenges = parser.ServerChallenges();
    parsed.proxyChallenges = parser.ProxyChallenges();
    parsed.head = parser.Head();
    return parsed;
}

TEST(ResponseHeadParser, ReadsTheHeadInPiecesOfAnySize) {
    const std::string response =
        "HTTP/1.1 407 Proxy Authentication Required\r\n"
        "Content-Length: 1 2\r\n"
        "Proxy-Connection: keep-alive\r\n"
        "Proxy-Authenticate: NTLM\r\n"
        "proxy-authenticate: \t Basic realm=\"squid\" \t\r\n"
        "WWW-Authenticate: Digest nonce=\"n\"\r\n"
        "\r\n"
        "\nbody";
    for (std::size_t piece : {response.size(), std::size_t{1}, std::size_t{7}}) {
        ParsedHead parsed = Parse(response, piece);
        ASSERT_TRUE(parsed.complete);
        EXPECT_EQ(parsed.rest, "\nbody");  // only the LF of the last CR LF is the head's
        EXPECT_EQ(parsed.status, 407u);
        EXPECT_TRUE(parsed.hasLength);
        EXPECT_EQ(parsed.length, 12u);
        EXPECT_FALSE(parsed.chunked);
        EXPECT_TRUE(parsed.keepAlive);
        EXPECT_EQ(parsed.proxyChallenges, "NTLM\rBasic realm=\"squid\"\r");
        EXPECT_EQ(parsed.serverChallenges, "Digest nonce=\"n\"\r");
        EXPECT_EQ(
            parsed.head,
            "HTTP/1.1 407 Proxy Authentication Required\rContent-Length: 1 2\rProxy-Connection: keep-alive\r"
            "Proxy-Authenticate: NTLM\rproxy-authenticate: \t Basic realm=\"squid\" \t\r"
            "WWW-Authenticate: Digest nonce=\"n\"\r");
    }
}

TEST(ResponseHeadParser, LineEndsAndStatusLines) {
    struct Case {
        std::string response;
        bool complete;
        unsigned status;
        std::string rest;
    };
    const Case cases[] = {
        {"HTTP/1.0 200 OK\n\nx", true, 200, "x"},
        {"HTTP/1.0 200 OK\r\rx", true, 200, "x"},
        {"HTTP/1.0 200 OK\n\r\nx", true, 200, "x"},
        {"http/1.0   204\r\n\r\n", true, 204, ""},
        {"ICY 200 OK\r\n\r\n", true, 0, ""},
        {"HTTP/1.0 200 OK\r\nServer: x\r\n", false, 200, ""},
        {"HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n0\r\n\r\n", true, 200, "0\r\n\r\n"},
    };
    for (const Case& c : cases) {
        ParsedHead parsed = Parse(c.response, 1);
        EXPECT_EQ(parsed.complete, c.complete) << c.response;
        EXPECT_EQ(parsed.status, c.status) << c.response;
        EXPECT_EQ(parsed.rest, c.rest) << c.response;
    }
    EXPECT_TRUE(Parse(cases[6].response, 3).chunked);
}

TEST(ResponseHeadParser, KeepAliveFields) {
    struct Case {
        const char* field;
        bool proxyKeepAlive;
        bool keepAlive;
    };
    const Case cases[] = {
        {"Proxy-Connection: keep-alive", true, false},   {"Connection: Keep-Alive", false, true},
        {"connection:keep-alive, Upgrade", false, true}, {"Connection: close", false, false},
        {"X-Connection: keep-alive", false, false},
    };
    for (const Case& c : cases) {
        ResponseHeadParser parser;
        std::string response =
            std::string("HTTP/1.1 407 Proxy Authentication Required\r\n") + c.field + "\r\n\r\n";
        ConstData input(response.data(), response.size());
        ASSERT_TRUE(parser.Consume(input));
        EXPECT_EQ(parser.KeepsProxyConnectionAlive(), c.proxyKeepAlive) << c.field;
        EXPECT_EQ(parser.KeepsConnectionAlive(), c.keepAlive) << c.field;
    }
}

TEST(ResponseHeadParser, ContentLengthMustBeANumber) {
    for (const char* good : {"0", " 00 ", "18446744073709551615", "5\t"}) {
        ParsedHead parsed = Parse(std::string("HTTP/1.0 200 OK\r\nContent-Length: ") + good + "\r\n\r\n", 4);
        EXPECT_TRUE(parsed.hasLength) << good;
    }
    for (const char* bad : {"", "12a", "-1", "0x10", "18446744073709551616"}) {
        EXPECT_THROW(Parse(std::string("HTTP/1.0 200 OK\r\nContent-Length: ") + bad + "\r\n\r\n", 4),
                     MalformedContentLength)
            << bad;
    }
}

TEST(ResponseHeadParser, AHeadBeyond64KiBIsRefused) {
    std::string line = "X-Filler: " + std::string(1000, 'f') + "\r\n";
    std::string head = "HTTP/1.0 200 OK\r\n";
    while (head.size() < ResponseHeadParser::kMaxHeadLength - line.size()) head += line;
    EXPECT_TRUE(Parse(head + "\r\n", 4096).complete);
    EXPECT_THROW(Parse(head + line + "\r\n", 4096), ResponseHeadTooLarge);
    // A head that never ends is refused at the bound too.
    EXPECT_THROW(Parse(std::string(ResponseHeadParser::kMaxHeadLength + 1, 'x'), 4096), ResponseHeadTooLarge);
}

TEST(ParseHeaderDecimal64, SkipsSpacesAndRefusesEverythingElse) {
    const std::pair<std::string_view, std::uint64_t> cases[] = {
        {"1 2", 12},
        {"12a", 0},
        {"", 0},
        {" 42 ", 42},
        {"18446744073709551615", 18446744073709551615u},
        {"18446744073709551616", 0},
        {"99999999999999999999", 0},
    };
    for (const auto& [text, value] : cases) EXPECT_EQ(ParseHeaderDecimal64(ConstData(text)), value) << text;
}

// Drains the body in pieces; answers what follows it, or "(incomplete)".
std::string Drain(const std::string& body, std::size_t piece) {
    ChunkedBodyDrain drain;
    std::string rest;
    for (std::size_t at = 0; at < body.size(); at += piece) {
        ConstData input(body.data() + at, std::min(piece, body.size() - at));
        if (drain.IsComplete() || drain.Consume(input)) rest.append(input.View());
    }
    return drain.IsComplete() ? rest : "(incomplete)";
}

TEST(ChunkedBodyDrain, ReadsToTheLastChunkAndItsTrailers) {
    const std::pair<std::string, std::string> cases[] = {
        {"5\r\nhello\r\n1A;ext=1\r\n" + std::string(26, 'z') + "\r\n0\r\n\r\nNEXT", "NEXT"},
        {"0\r\nTrailer: x\r\n\r\n", ""},
        {"0\n\n", ""},
        {"5\r\nhel", "(incomplete)"},
        {"0\r\n", "(incomplete)"},
    };
    for (const auto& [body, rest] : cases) {
        for (std::size_t piece : {body.size(), std::size_t{1}, std::size_t{3}})
            EXPECT_EQ(Drain(body, piece), rest) << body;
    }
}

TEST(ChunkedBodyDrain, RefusesMalformedBodies) {
    for (const std::string& body :
         {std::string("x\r\n"), std::string("\r\n"), std::string("5\r\nhelloX\r\n"),
          std::string(1025, '1') + "\r\n", "0\r\n" + std::string(1025, 't') + "\r\n"}) {
        EXPECT_THROW(Drain(body, 7), MalformedChunkedBody) << body.substr(0, 20);
    }
    EXPECT_EQ(Drain(std::string(1024, '0') + "\r\n\r\n", 5), "");
}

}  // namespace

TEST(ResponseBodyFraming, KeepsTheBodyUpToItsEndAndTellsWhenItWasCutShort) {
    struct Case {
        const char* response;
        const char* kept;  // the body bytes kept
        bool ended;        // the body ended within the response
        bool cutShort;     // the connection ending there cuts the body short
    };
    const Case cases[] = {
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhello and more", "hello", true, false},
        {"HTTP/1.0 200 OK\r\nContent-Length: 5\r\n\r\nhel", "hel", false, true},
        {"HTTP/1.0 200 OK\r\nContent-Length: 0\r\n\r\n", "", true, false},
        // Without a length the body runs to the end of the connection.
        {"HTTP/1.0 200 OK\r\n\r\nall of it", "all of it", false, false},
        // A chunked body is read and dropped.
        {"HTTP/1.1 407 Proxy\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\nnext", "", true,
         false},
        {"HTTP/1.1 407 Proxy\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nab", "", false, true},
    };
    for (const Case& c : cases) {
        std::string response = c.response;
        ResponseHeadParser head;
        ConstData input(response);
        ASSERT_TRUE(head.Consume(input)) << c.response;
        ResponseBodyFraming framing(head);
        std::string kept;
        bool ended = false;
        // One byte at a time: the framing must not depend on how the body arrives.
        for (const Byte* p = input.begin; p != input.end && !ended; ++p) {
            ConstData piece(p, 1);
            ended = framing.Take(piece);
            kept.append(piece.View());
        }
        if (input.IsEmpty()) ended = framing.Take(input);
        EXPECT_EQ(kept, c.kept) << c.response;
        EXPECT_EQ(ended, c.ended) << c.response;
        EXPECT_EQ(framing.IsCutShort(), c.cutShort) << c.response;
    }
}
