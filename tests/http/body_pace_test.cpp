#include "http/body_pace.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/captured_log.h"

namespace {

constexpr std::int64_t kSecond = 1'000'000;
constexpr std::int64_t kReadTimeOut = 10 * kSecond;
constexpr std::uint32_t kRate = 100;  // so each window of 10 s must bring 1000 bytes

struct Arrival {
    std::int64_t time;
    std::size_t count;
};

}  // namespace

// Each case starts a pace at 0, feeds it the arrivals and judges it at the given time.
TEST(BodyPaceTest, JudgesSilenceAndRateOverWindowsOfTheReadTimeOut) {
    using Verdict = BodyPace::Verdict;
    struct Case {
        const char* name;
        std::uint32_t rate;
        std::vector<Arrival> arrivals;
        std::int64_t judgedAt;
        Verdict verdict;
    };
    const Case cases[] = {
        {"nothing yet, within the read time-out", kRate, {}, kReadTimeOut, Verdict::kKeep},
        {"nothing for longer than the read time-out", kRate, {}, kReadTimeOut + 1, Verdict::kSilent},
        {"silence counts from the last byte", kRate, {{5 * kSecond, 1000}}, 15 * kSecond + 1, Verdict::kSilent},
        {"a byte every 5 s, below the rate", kRate, {{5 * kSecond, 1}, {10 * kSecond, 1}}, kReadTimeOut + 1,
         Verdict::kTooSlow},
        {"a window's share in one burst at its end", kRate, {{kReadTimeOut, 1000}}, kReadTimeOut + 1,
         Verdict::kKeep},
        {"one byte short of the share", kRate, {{kSecond, 999}}, kReadTimeOut + 1,
         Verdict::kTooSlow},
        {"a slow window is not judged before it is over", kRate, {{5 * kSecond, 1}}, kReadTimeOut,
         Verdict::kKeep},
        {"a rate of 0 keeps a trickle", 0, {{5 * kSecond, 1}, {10 * kSecond, 1}}, 14 * kSecond, Verdict::kKeep},
        {"a rate of 0 still drops silence", 0, {{5 * kSecond, 1}}, 15 * kSecond + 1, Verdict::kSilent},
    };
    for (const Case& c : cases) {
        BodyPace pace;
        pace.Start(0, kReadTimeOut, c.rate);
        for (const Arrival& arrival : c.arrivals) pace.Received(arrival.count, arrival.time);
        EXPECT_EQ(pace.Judge(c.judgedAt), c.verdict) << c.name;
    }
}

// A window that brought its share is followed by a new one from the judgement on: each must bring its
// own share, bytes of the earlier one do not count.
TEST(BodyPaceTest, EachWindowMustBringItsOwnShare) {
    BodyPace pace;
    pace.Start(0, kReadTimeOut, kRate);
    pace.Received(5000, kSecond);
    EXPECT_EQ(pace.NextJudgement(), kReadTimeOut + 1);
    ASSERT_EQ(pace.Judge(kReadTimeOut + 1), BodyPace::Verdict::kKeep);
    EXPECT_EQ(pace.NextJudgement(), kSecond + kReadTimeOut + 1);  // silence, from the last byte

    pace.Received(1, 10 * kSecond + 5);
    EXPECT_EQ(pace.NextJudgement(), 2 * kReadTimeOut + 2);
    EXPECT_EQ(pace.Judge(2 * kReadTimeOut + 1), BodyPace::Verdict::kKeep);
    EXPECT_EQ(pace.Judge(2 * kReadTimeOut + 2), BodyPace::Verdict::kTooSlow);
}

TEST(BodyPaceTest, KeepsEveryClientBeforeItStarts) {
    BodyPace pace;
    EXPECT_EQ(pace.Judge(1'000 * kReadTimeOut), BodyPace::Verdict::kKeep);
}

// The share of a window is the rate times the read time-out, in whole and part seconds, without
// overflow at the largest settings.
TEST(BodyPaceTest, TheShareOfTheLargestWindowDoesNotOverflow) {
    BodyPace pace;
    const std::int64_t longest = 4'294'967'295LL * kSecond;
    pace.Start(0, longest, 4'294'967'295u);
    pace.Received(1, longest);
    EXPECT_EQ(pace.Judge(longest + 1), BodyPace::Verdict::kTooSlow);

    pace.Start(0, kSecond / 2, 1000);  // half a second: 500 bytes
    pace.Received(500, 1);
    EXPECT_EQ(pace.Judge(kSecond / 2 + 1), BodyPace::Verdict::kKeep);
}

TEST(BodyPaceTest, LogsOneDebugLineWithTheClient) {
    CapturedLog log;
    BodyPace pace;
    pace.Start(0, kReadTimeOut, kRate);
    const IPAddress client = ParseIPAddress("192.0.2.7");
    pace.LogDrop(BodyPace::Verdict::kSilent, client);
    pace.LogDrop(BodyPace::Verdict::kTooSlow, client);
    EXPECT_EQ(log.LinesStartingWith("debug: Closing"),
              (std::vector<std::string>{
                  "debug: Closing HTTP connection on 192.0.2.7: no request body bytes for longer than the read "
                  "time-out",
                  "debug: Closing HTTP connection on 192.0.2.7: request body slower than 100 bytes per second"}));
}
