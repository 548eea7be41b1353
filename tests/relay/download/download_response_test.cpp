#include "relay/download/download_response.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "base/const_data_reader.h"
#include "foundation/data_stages.h"
#include "relay/download/download_test_support.h"
#include "relay/download/versioned_object_list.h"

namespace {

using Status = DownloadResponseStatus;

const std::string kHex = "0101010101010101010101010101010101010101";

DownloadResponse Response(std::optional<std::uint32_t> actionID, std::optional<std::uint32_t> index,
                          std::optional<DigestRecord> hash, Status status) {
    return DownloadResponse{std::move(hash), actionID, index, status};
}

std::vector<std::string> Lines(const std::vector<DownloadResponse>& responses) {
    std::vector<std::string> lines;
    for (const DownloadResponse& response : responses) lines.push_back(FormatDownloadResponse(response));
    return lines;
}

std::vector<DownloadResponse> ReadText(const std::string& text) {
    ConstDataReader reader{ConstData(std::string_view(text))};
    return ReadDownloadResponseList(reader);
}

// The message of the refusal, or "accepted".
std::string Refusal(const std::string& line) {
    try {
        ParseDownloadResponse(line);
        return "accepted";
    } catch (const NotADownloadResponse& refused) {
        return refused.what();
    }
}

TEST(DownloadResponse, WritesFourValuesWithNullForTheAbsent) {
    EXPECT_EQ(FormatDownloadResponse(Response(12, 1, std::nullopt, Status::InProcess)),
              "aid=12,index=1,hash=null,status=InProcess");
    EXPECT_EQ(
        FormatDownloadResponse(Response(std::nullopt, std::nullopt, FilledDigest(0x01), Status::Available)),
        "aid=null,index=null,hash=" + kHex + ",status=Available");
    EXPECT_EQ(FormatDownloadResponse(Response(12, std::nullopt, std::nullopt, static_cast<Status>(7))),
              "aid=12,index=null,hash=null,status=Unknown");
}

TEST(DownloadResponse, ReadsWhatItWritesAndAcceptsNotAvailableAsInProcess) {
    const struct {
        std::string line;
        std::string read;  // the line as written again
    } cases[] = {
        {"aid=12,index=1,hash=null,status=Available", "aid=12,index=1,hash=null,status=Available"},
        {"aid=null,index=null,hash=" + kHex + ",status=InProcess",
         "aid=null,index=null,hash=" + kHex + ",status=InProcess"},
        {"a=12,b=1,c=" + kHex + ",d=NotAvailable", "aid=12,index=1,hash=" + kHex + ",status=InProcess"},
        // A URL request is answered by its action alone.
        {"aid=12,index=null,hash=null,status=Available", "aid=12,index=null,hash=null,status=Available"},
        {"aid=null,index=4,hash=" + kHex + ",status=Available",
         "aid=null,index=4,hash=" + kHex + ",status=Available"},
        {"aid=12,index=1,hash=null,status=Available,more=1", "aid=12,index=1,hash=null,status=Available"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(FormatDownloadResponse(ParseDownloadResponse(c.line)), c.read);
    }
}

TEST(DownloadResponse, RefusesALineThatDoesNotReadWithTheLineAsMessage) {
    const std::string lines[] = {
        "aid=null,index=null,hash=null,status=Available",
        "aid=null,index=3,hash=null,status=Available",
        "aid=12,index=1,hash=null,status=Unknown",
        "aid=12,index=1,hash=null,status=available",
        "aid=12,index=1,hash=null",
        "aid=12,index=1,hash=null,status",
        "aid=x,index=1,hash=null,status=Available",
        "aid=12,index=4294967296,hash=null,status=Available",
        "aid=NULL,index=null,hash=" + kHex + ",status=Available",
        "aid=12,index=1,hash=" + kHex.substr(1) + ",status=Available",
        "aid=12,index=1,hash=" + kHex + "01,status=Available",
        "",
    };
    for (const std::string& line : lines) EXPECT_EQ(Refusal(line), line);
}

TEST(DownloadResponse, OrdersByHashActionIndexAndStatusPresentValuesFirst) {
    std::vector<DownloadResponse> responses = {
        Response(std::nullopt, std::nullopt, FilledDigest(0x01), Status::Available),
        Response(2, std::nullopt, std::nullopt, Status::Available),
        Response(2, 1, std::nullopt, Status::InProcess),
        Response(2, 1, std::nullopt, Status::Available),
        Response(10, 0, std::nullopt, Status::Available),
        Response(1, 5, FilledDigest(0xff), Status::Available),
        Response(1, 5, FilledDigest(0x80), Status::Available),
    };
    std::sort(responses.begin(), responses.end(), DownloadResponseLess());
    // Hash bytes compare unsigned: 0x01 before 0x80.
    EXPECT_EQ(Lines(responses),
              (std::vector<std::string>{
                  "aid=null,index=null,hash=" + kHex + ",status=Available",
                  FormatDownloadResponse(Response(1, 5, FilledDigest(0x80), Status::Available)),
                  FormatDownloadResponse(Response(1, 5, FilledDigest(0xff), Status::Available)),
                  "aid=2,index=1,hash=null,status=Available",
                  "aid=2,index=1,hash=null,status=InProcess",
                  "aid=2,index=null,hash=null,status=Available",
                  "aid=10,index=0,hash=null,status=Available",
              }));
    EXPECT_FALSE(DownloadResponseLess()(responses[3], responses[3]));
}

TEST(DownloadResponseList, RoundTripsAndRefusesTheWholeListForOneBadLine) {
    const std::vector<DownloadResponse> responses = {
        Response(12, std::nullopt, std::nullopt, Status::Available),
        Response(12, 1, FilledDigest(0x01), Status::InProcess),
    };
    std::string text;
    StringReceiver receiver(text);
    WriteDownloadResponseList(responses, receiver);
    EXPECT_EQ(text, "0\naid=12,index=null,hash=null,status=Available\naid=12,index=1,hash=" + kHex +
                        ",status=InProcess\n");
    EXPECT_EQ(Lines(ReadText(text)), Lines(responses));
    EXPECT_TRUE(ReadText("0\n").empty());
    EXPECT_EQ(Lines(ReadText("0\r\n\r\naid=12,index=null,hash=null,status=NotAvailable")),
              std::vector<std::string>{"aid=12,index=null,hash=null,status=InProcess"});
    EXPECT_THROW(ReadText(text + "aid=null,index=null,hash=null,status=Available\n"), NotADownloadResponse);
    EXPECT_THROW(ReadText("x\n"), InvalidObjectListVersion);
}

}  // namespace
