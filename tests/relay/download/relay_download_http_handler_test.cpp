#include "relay/download/relay_download_http_handler.h"

#include <gtest/gtest.h>

#include <string>

#include "relay/download/download_files.h"
#include "relay/download/download_test_support.h"

namespace {

TEST(ParseContentRange, ReadsFirstLastAndTotal) {
    const struct {
        const char* value;
        std::uint64_t first, last, total;
    } accepted[] = {
        {"bytes 0-9/10", 0, 9, 10},
        {"bytes 1000-1999/2000", 1000, 1999, 2000},
        {" bytes 5-9/10 ", 5, 9, 10},
        {"bytes 1000-999/1000", 1000, 999, 1000},  // the empty range at the end of a whole file
    };
    for (const auto& c : accepted) {
        SCOPED_TRACE(c.value);
        const ContentRange range = ParseContentRange(ConstData(std::string_view(c.value)));
        EXPECT_EQ(range.first, c.first);
        EXPECT_EQ(range.last, c.last);
        EXPECT_EQ(range.total, c.total);
    }
    for (const char* refused : {"bytes 0-9/11", "bytes 0-9/*", "bytes */10", "Bytes 0-9/10", "bytes=0-9/10",
                                "bytes 0-9", "bytes -9/10", "bytes 0-9/10x", "bytes 0 -9/10", "",
                                "bytes 0-18446744073709551615/0", "bytes 0-9/99999999999999999999"}) {
        SCOPED_TRACE(refused);
        EXPECT_THROW(ParseContentRange(ConstData(std::string_view(refused))), BadContentRangeHeader);
    }
}

class CheckLengthTest : public DownloadSettingsFixture {
  protected:
    CheckLengthTest() {
        OpenDownloadStateDatabase(m_settings);
        m_state = std::make_unique<DownloadState>(m_settings);
    }

    // The failure's text, or "fits".
    std::string Check(const DownloadRequestTarget& target, std::uint64_t total) {
        RelayDownloadHttpHandler handler(target, "http://parent/f", Location(m_folder / "part"), {}, *m_state,
                                         m_interruptor);
        try {
            handler.CheckLength(total);
            return "fits";
        } catch (const std::exception& failure) {
            return failure.what();
        }
    }

    std::unique_ptr<DownloadState> m_state;
    Interruptor m_interruptor;
};

TEST_F(CheckLengthTest, ATotalMustBeTheSizeTheTargetMustHave) {
    const DownloadRequestTarget dynamic = DownloadRequestTarget::Dynamic(7, FilledDigest(1), 2000, "http://site/f");
    EXPECT_EQ(Check(dynamic, 2000), "fits");
    EXPECT_EQ(Check(dynamic, 1999), "Requested size 2000 does not match actual size 1999");
    EXPECT_EQ(Check(DownloadRequestTarget::URLRequest(7), 12345), "fits");

    // An indexed target is held to the Size of its row, and the total it was offered is recorded.
    const DownloadRequestTarget indexed = DownloadRequestTarget::Indexed(7, 1, "http://site/f");
    m_state->SetNew(indexed);
    EXPECT_EQ(Check(indexed, 3000), "fits");
    EXPECT_EQ(m_state->GetContentLength(7, 1), 3000u);
    m_state->SetSize(7, 1, 2000);
    EXPECT_EQ(Check(indexed, 3000), "Requested size 2000 does not match actual size 3000");
    EXPECT_EQ(Check(indexed, 2000), "fits");
    EXPECT_EQ(m_state->GetContentLength(7, 1), 2000u);
}

}  // namespace
