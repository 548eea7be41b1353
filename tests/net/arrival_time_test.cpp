#include "net/arrival_time.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/data_stages.h"

namespace {

// Records "offset+bytes@time" per report, and "start" and "finish".
class RecordingArrivals : public ArrivalTimeReceiver {
  public:
    void StartArrivals() override { calls.push_back("start"); }
    void ReceiveArrival(std::uint64_t offset, std::uint64_t bytes, std::uint64_t arrivalTime) override {
        calls.push_back(std::to_string(offset) + "+" + std::to_string(bytes) + "@" +
                        std::to_string(arrivalTime));
    }
    void FinishArrivals() override { calls.push_back("finish"); }

    std::vector<std::string> calls;
};

std::string WrittenBackChannel(const std::vector<std::pair<std::uint64_t, std::uint64_t>>& reports) {
    std::string bytes;
    StringReceiver target(bytes);
    ArrivalTimeWriter writer(target);
    writer.StartArrivals();
    for (const auto& [count, time] : reports) writer.ReceiveArrival(writer.GetTotal(), count, time);
    writer.FinishArrivals();
    return bytes;
}

std::vector<std::string> ReadBackChannel(const std::vector<std::string>& chunks) {
    RecordingArrivals arrivals;
    ArrivalTimeReader reader(arrivals);
    reader.Begin();
    for (const std::string& chunk : chunks) reader.Receive(ConstData(chunk));
    reader.End();
    return arrivals.calls;
}

TEST(ArrivalTimeWriter, WritesTheVersionByteThenBigEndianRecords) {
    std::string bytes = WrittenBackChannel({{0x01020304, 0x0A0B0C0D}, {5, 0x1'0000'0007}});
    EXPECT_EQ(bytes, std::string("\x00\x01\x02\x03\x04\x0A\x0B\x0C\x0D\x00\x00\x00\x05\x00\x00\x00\x07", 17));
}

TEST(ArrivalTimeWriter, SplitsReportsTooLargeForOneRecord) {
    std::string bytes = WrittenBackChannel({{0x1'0000'0001, 9}});
    EXPECT_EQ(bytes, std::string("\x00\xFF\xFF\xFF\xFF\x00\x00\x00\x09\x00\x00\x00\x02\x00\x00\x00\x09", 17));
}

TEST(ArrivalTimeReader, ReadsRecordsHoweverTheyAreCut) {
    std::string channel = WrittenBackChannel({{1000, 50}, {2000, 70}, {10, 90}});
    std::vector<std::string> expected = {"start", "0+1000@50", "1000+2000@70", "3000+10@90", "finish"};
    for (std::size_t cut = 0; cut <= channel.size(); ++cut) {
        EXPECT_EQ(ReadBackChannel({channel.substr(0, cut), channel.substr(cut)}), expected) << cut;
    }
    std::vector<std::string> bytes;
    for (char c : channel) bytes.emplace_back(1, c);
    EXPECT_EQ(ReadBackChannel(bytes), expected);
}

TEST(ArrivalTimeReader, ATimeGoingDownCountsAsAWrapOfTheClock) {
    std::string channel = WrittenBackChannel({{1, 0xFFFFFF00}, {1, 0x10}, {1, 0x20}, {1, 0x08}});
    EXPECT_EQ(ReadBackChannel({channel}),
              (std::vector<std::string>{"start", "0+1@4294967040", "1+1@4294967312", "2+1@4294967328",
                                        "3+1@8589934600", "finish"}));
}

TEST(ArrivalTimeReader, IgnoresAStreamWithAnotherVersionAndWaitsForPartialRecords) {
    std::string channel = WrittenBackChannel({{1000, 50}});
    std::string otherVersion = "\x01" + channel.substr(1);
    EXPECT_EQ(ReadBackChannel({otherVersion}), (std::vector<std::string>{"start", "finish"}));
    EXPECT_EQ(ReadBackChannel({channel.substr(0, 6)}), (std::vector<std::string>{"start", "finish"}));
}

TEST(ArrivalTimeMaker, FeedsItsPolicyAndCountsTheReportedBytes) {
    ArrivalTimeMaker maker;
    maker.GetThrottle().Start(0);
    maker.Begin();
    maker.GetThrottle().Account(1000, 2048, 2048);
    std::string channel = WrittenBackChannel({{1024, 77}, {1024, 99}});
    maker.ReceiveAt(1500, ConstData(channel));
    EXPECT_EQ(maker.GetReportedTotal(), 2048u);
    EXPECT_EQ(maker.GetPolicy().GetReportedTotal(), 2048u);
    EXPECT_EQ(maker.GetPolicy().GetDelayEstimate(), 500);
}

}  // namespace
