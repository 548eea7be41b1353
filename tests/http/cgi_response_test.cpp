#include "http/cgi_response.h"

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <utility>
#include <vector>

#include "base/file_location.h"
#include "formats/message_writer.h"
#include "foundation/data_stages.h"
#include "http/http_response_writer.h"
#include "support/temporary_folder.h"
#include "support/temporary_registry.h"

namespace {

// A client held in memory: what was written, the outcomes reported, and a body to read from.
class MemoryClient : public ClientWriter {
  public:
    bool WriteClient(const Byte* data, std::size_t length) override {
        ++writes;
        if (failWrites) return false;
        written.append(reinterpret_cast<const char*>(data), length);
        return true;
    }
    bool ReadClient(Byte* buffer, std::size_t length, std::size_t& count) override {
        count = std::min({length, body.size() - bodyRead, std::size_t{7}});  // small pieces
        std::copy_n(body.data() + bodyRead, count, buffer);
        bodyRead += count;
        return count != 0;
    }
    void ReportStatus(int status, std::string_view text) override { reports.emplace_back(status, text); }

    std::string written;
    int writes = 0;
    bool failWrites = false;
    std::string body;
    std::size_t bodyRead = 0;
    std::vector<std::pair<int, std::string>> reports;
};

const std::string kFixedFields =
    "Cache-Control: no-cache\r\nCache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n";

}  // namespace

TEST(CGIResponse, WritesTheReplyBlockByteForByte) {
    struct Case {
        int status;
        bool clientStatusFlag;
        std::string body;
        std::string expected;
    };
    const Case cases[] = {
        {200, false, "hello",
         "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n" + kFixedFields +
             "Content-Length: 5\r\nx-veltra-itclient-status: 1\r\n\r\nhello"},
        {404, false, "gone",
         "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n" + kFixedFields +
             "Content-Length: 4\r\n\r\ngone"},
        {404, true, "",
         "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n" + kFixedFields +
             "Content-Length: 0\r\nx-veltra-itclient-status: 0\r\n\r\n"},
        {200, true, "x",
         "MIME-Version: 1.0\r\nContent-Type: text/plain\r\n" + kFixedFields +
             "Content-Length: 1\r\nx-veltra-itclient-status: 0\r\n\r\nx"},
    };
    for (const Case& c : cases) {
        MemoryClient client;
        EXPECT_TRUE(SendPlainTextResponse(client, c.body, c.status, true, c.clientStatusFlag));
        EXPECT_EQ(client.written, c.expected) << c.status << " " << c.clientStatusFlag;
        EXPECT_EQ(client.writes, c.body.empty() ? 1 : 2);
        EXPECT_EQ(client.reports, (std::vector<std::pair<int, std::string>>{{c.status, c.body}}));
    }
}

TEST(CGIResponse, WritesTheStatusLineAndADateUnlessTheCallerGivesOne) {
    MemoryClient dated;
    EXPECT_TRUE(SendHTMLResponse(dated, "<p/>", "X-One: 1\r\n", 302, false));
    EXPECT_TRUE(std::regex_match(
        dated.written,
        std::regex(
            "HTTP/1\\.1 302 Object Moved\r\nDate: [A-Z][a-z]{2}, \\d\\d [A-Z][a-z]{2} \\d{4} "
            "\\d\\d:\\d\\d:\\d\\d GMT\r\nMIME-Version: 1\\.0\r\nContent-Type: text/html\r\nX-One: 1\r\n"
            "Cache-Control: no-cache\r\nCache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n"
            "Content-Length: 4\r\n\r\n<p/>")))
        << dated.written;

    MemoryClient undated;
    EXPECT_TRUE(SendPlainTextResponseWithHeaders(undated, "", "Date: then\r\n", 500, false, false));
    EXPECT_EQ(undated.written,
              "HTTP/1.1 500 Internal Error\r\nMIME-Version: 1.0\r\nContent-Type: text/plain\r\n"
              "Date: then\r\n" +
                  kFixedFields + "Content-Length: 0\r\n\r\n");
}

TEST(CGIResponse, ReportsFailuresByItsAnswer) {
    MemoryClient tooLarge;
    EXPECT_FALSE(SendPlainTextResponseWithHeaders(tooLarge, "b", std::string(8000, 'h'), 200, false, false));
    EXPECT_EQ(tooLarge.writes, 0);
    EXPECT_EQ(tooLarge.reports, (std::vector<std::pair<int, std::string>>{{0, "Header block too large."}}));

    MemoryClient failing;
    failing.failWrites = true;
    EXPECT_FALSE(SendPlainTextResponse(failing, "b", 200, false, false));
    EXPECT_EQ(failing.reports,
              (std::vector<std::pair<int, std::string>>{{0, "Unable to WriteClient header"}}));
    EXPECT_THROW(failing.Write(ConstData(std::string_view("x"))), WriteClientError);
}

TEST(CGIResponse, StatusTexts) {
    const std::pair<int, const char*> cases[] = {
        {200, "OK"},
        {302, "Object Moved"},
        {400, "Bad Request"},
        {401, "Unauthorized"},
        {403, "Forbidden"},
        {404, "Not Found"},
        {405, "Method Not Allowed"},
        {413, "Request Entity Too Large"},
        {503, "Service Unavailable"},
        {500, "Internal Error"},
        {201, "Internal Error"},
    };
    for (const auto& [status, text] : cases) EXPECT_STREQ(CGIStatusText(status), text) << status;
    EXPECT_EQ(CGIStatusLine(404), "404 Not Found");
}

TEST(CGIResponse, FormatsTheCurrentDate) {
    char buffer[64];
    ASSERT_TRUE(FormatCurrentHTTPDate(buffer, sizeof buffer, true));
    EXPECT_TRUE(std::regex_match(buffer, std::regex("(Sun|Mon|Tue|Wed|Thu|Fri|Sat), \\d\\d "
                                                    "(Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                                    "\\d{4} \\d\\d:\\d\\d:\\d\\d GMT")))
        << buffer;
    ASSERT_TRUE(FormatCurrentHTTPDate(buffer, sizeof buffer, false));
    EXPECT_TRUE(
        std::regex_match(buffer, std::regex("\\d\\d [A-Z][a-z]{2} \\d{4} \\d\\d:\\d\\d:\\d\\d \\+0000")))
        << buffer;
    EXPECT_FALSE(FormatCurrentHTTPDate(buffer, 29, true));  // 29 characters and the NUL need 30
    EXPECT_FALSE(FormatCurrentHTTPDate(nullptr, 64, true));
}

TEST(CGIForms, ParsesNameValueLists) {
    using Pairs = std::vector<std::pair<std::string, std::string>>;
    const std::pair<const char*, Pairs> cases[] = {
        {"a=1&b&c=2", {{"a", "1"}, {"c", "2"}}},
        {"a=1&b", {{"a", "1"}, {"b", ""}}},
        {"x=1=2", {{"x", "1=2"}}},
        {"a=1;b=2&", {{"a", "1"}, {"b", "2"}}},
        {"n+m=%41+b%2B&=v", {{"n m", "A b+"}, {"", "v"}}},
        {"", {}},
        {"&&;", {}},
    };
    for (const auto& [text, expected] : cases) {
        Pairs parsed;
        for (const auto& [name, value] : ParseNameValueList(text))
            parsed.emplace_back(name.GetCString(), value.GetCString());
        EXPECT_EQ(parsed, expected) << text;
    }
    EXPECT_EQ(DecodeFormValue("a+b%2B"), "a b+");
}

TEST(CGIForms, EncodesNameValueLists) {
    NameValueList list;
    EXPECT_EQ(EncodeNameValueList(list), "");
    list.Add({"a b", "1+2"});
    list.Add({"x", "~y-z._"});
    EXPECT_EQ(EncodeNameValueList(list), "a%20b=1%2b2&x=~y-z._");
    NameValueList back = ParseNameValueList(EncodeNameValueList(list));
    ASSERT_EQ(back.Count(), 2u);
    EXPECT_STREQ(back.begin()->second.GetCString(), "1+2");
}

TEST(CGIForms, SavesTheRequestBodyToAFile) {
    TemporaryFolder folder;
    const FileLocation file((folder / "body.bin").c_str());
    MemoryClient client;
    client.body = std::string(10000, 'z') + "end";
    SaveRequestBodyToFile(client, file, client.body.size());
    EXPECT_EQ(ReadWholeFile(folder / "body.bin"), client.body);

    MemoryClient shortBody;
    shortBody.body = "abc";
    EXPECT_THROW(SaveRequestBodyToFile(shortBody, file, 4), CGIUtilityStdinUnavailableException);
}

TEST(HTTPResponseWriter, WritesResponseEventsAsAnHTTP10Reply) {
    std::string text;
    StringReceiver output(text);
    HTTPResponseWriter writer(output);
    writer.ReceiveStatus(206, ConstData(std::string_view("Partial Content")));
    HeadersToResponse fields(writer);
    WriteHeaderField(fields, "Content-Range", ConstData(std::string_view("bytes 1-2/3")));
    WriteHeaderField(fields, "X-Empty", ConstData());
    ReceiveComplete(writer.EndHeaders(), ConstData(std::string_view("ab")));
    writer.EndResponse();
    EXPECT_EQ(text, "HTTP/1.0 206 Partial Content\r\nContent-Range: bytes 1-2/3\r\nX-Empty: \r\n\r\nab");
}
