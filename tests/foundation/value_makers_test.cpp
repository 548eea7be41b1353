#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/integer_maker.h"
#include "foundation/many_version_maker.h"

namespace {

void Feed(DataReceiver& receiver, const std::string& text, std::size_t chunk) {
    receiver.Begin();
    for (std::size_t at = 0; at < text.size(); at += chunk)
        receiver.Receive(ConstData(std::string_view(text).substr(at, chunk)));
    receiver.End();
}

// The list's leading values up to the zeros that fill the rest.
std::vector<std::uint32_t> Versions(const std::string& text, std::size_t chunk) {
    ManyVersionList list;
    list.fill(7);
    ManyVersionMaker maker;
    Feed(maker.GetReceiver(list), text, chunk);
    std::size_t used = list.size();
    while (used > 0 && list[used - 1] == 0) --used;
    return std::vector<std::uint32_t>(list.begin(), list.begin() + used);
}

}  // namespace

TEST(ManyVersionMaker, ReadsNumbersUntilOtherText) {
    using List = std::vector<std::uint32_t>;
    const struct {
        std::string text;
        List values;
    } cases[] = {
        {"3, 17 ,250", {3, 17, 250}},
        {"1,x,3", {1}},
        {"1 2\t3\r\n4", {1, 2, 3, 4}},
        {",,5,,", {5}},
        {"99999999999999999999", {4'294'967'295}},  // beyond 64 bits
        {"4294967297", {1}},                        // the low 32 bits
        {"18446744073709551615", {4'294'967'295}},  // the largest 64-bit value: its low 32 bits
        {"7a8", {7}},
        {"", {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Versions(c.text, c.text.size() + 1), c.values) << c.text;
        EXPECT_EQ(Versions(c.text, 1), c.values) << c.text << " fed one byte at a time";
    }
}

TEST(ManyVersionMaker, KeepsTheFirst128AndZeroesTheRest) {
    std::string text;
    for (int i = 1; i <= 200; ++i) text += std::to_string(i) + ",";
    ManyVersionList list;
    ManyVersionMaker maker;
    Feed(maker.GetReceiver(list), text, 3);
    EXPECT_EQ(list[0], 1u);
    EXPECT_EQ(list[127], 128u);

    Feed(maker.GetReceiver(list), "5", 1);  // a second list through the same maker
    EXPECT_EQ(list[0], 5u);
    EXPECT_EQ(list[1], 0u);
    EXPECT_EQ(list[127], 0u);
}

TEST(IntegerMaker, StoresOnlyAWholeGoodNumber) {
    const struct {
        std::string text;
        std::uint32_t stored;
    } cases[] = {
        {" 42 ", 42},        {"4 2", 42},   {"\t7", 7},  {"4294967295", 4'294'967'295},
        {"42a", 99},         {"4\r\n", 99}, {"", 99},    {"4294967296", 99},
        {"42949672950", 99}, {"-1", 99},    {"   ", 99}, {"0", 0},
    };
    for (const auto& c : cases) {
        for (std::size_t chunk : {c.text.size() + 1, std::size_t{1}}) {
            std::uint32_t target = 99;
            IntegerMaker maker(&target);
            Feed(maker, c.text, chunk);
            EXPECT_EQ(target, c.stored) << "'" << c.text << "' in chunks of " << chunk;
        }
    }
    IntegerMaker withoutTarget;
    Feed(withoutTarget, "12", 1);  // nothing to store into: no effect
}
