#include "relay/register/registration_list_file.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/line_maker.h"

namespace {

TEST(RegistrationListLine, EveryFieldRoundTrips) {
    const char* lines[] = {
        "202\tRelay:192.168.1.20\t2\t1700000000\t7\t1\t12\t1\t101\t3\t44\t1\t19\t192.168.0.0/16\t00-1a-2b-3c-4d-5e\t1\n",
        "18446744073709551615\t2001:db8::7\t4294967295\t4294967295\t4294967295\t0\t4294967295\t0\t"
        "18446744073709551615\t4294967295\t18446744073709551615\t0\t4294967295\t2001:db8::/32\t\t0\n",
        "5\t0.0.0.0\t1\t0\t0\t0\t0\t0\t0\t0\t0\t0\t0\t\t\t0\n",
    };
    for (std::string line : lines) {
        auto item = ParseRegistrationListLine(std::string_view(line).substr(0, line.size() - 1));
        ASSERT_TRUE(item) << line;
        EXPECT_EQ(FormatRegistrationListLine(*item), line);
    }
}

TEST(RegistrationListLine, ShortLinesTakeTheDefaults) {
    auto item = ParseRegistrationListLine("12\t10.0.0.1\t7\t1700000000");
    ASSERT_TRUE(item);
    ClientRegistrationListItem expected;
    expected.clientID = 12;
    expected.address = IPAddress(10, 0, 0, 1);
    expected.slot = 7;
    expected.regTime = 1700000000;
    EXPECT_EQ(*item, expected);

    // Empty optional fields read as their defaults too; text after the last field is ignored, and
    // any non-zero number is a true flag.
    item = ParseRegistrationListLine("12\t10.0.0.1\t7\t1700000000\t\t2\t\t\t\t\t\t\t\t\t\t5\tmore");
    ASSERT_TRUE(item);
    EXPECT_TRUE(item->resendPending);
    EXPECT_TRUE(item->canForwardWoL);
    EXPECT_EQ(item->parentID, 0u);
}

TEST(RegistrationListLine, CorruptLines) {
    const char* lines[] = {
        "",
        "\t10.0.0.1\t1\t5",
        "0\t10.0.0.1\t1\t5",
        "18446744073709551616\t10.0.0.1\t1\t5",
        "-1\t10.0.0.1\t1\t5",
        "12\t\t1\t5",
        "12\t10.0.0.300\t1\t5",
        "12\trelay:10.0.0.1\t1\t5",
        "12\tRelay:\t1\t5",
        "12\t10.0.0.1\t\t5",
        "12\t10.0.0.1\t1",
        "12\t10.0.0.1\t1\t4294967296",
        "12\t10.0.0.1\t1\t5\t0\ttrue",
        "12\t10.0.0.1\t1\t5\t0\t0\t0\t0\tx",
        "12\t10.0.0.1\t1\t5\t0\t0\t0\t0\t0\t0\t0\t0\t0\t10.0.0.1/8",
        "12\t10.0.0.1\t1\t5\t0\t0\t0\t0\t0\t0\t0\t0\t0\t10.0.0.0/33",
        "12\t10.0.0.1\t1\t5\t0\t0\t0\t0\t0\t0\t0\t0\t0\t\t00-11-22-33-44",
        "12\t10.0.0.1\t1\t5\t0\t0\t0\t0\t0\t0\t0\t0\t0\t\t00-11-22-33-44-5g",
        "12 10.0.0.1 1 5",
    };
    for (const char* line : lines) EXPECT_FALSE(ParseRegistrationListLine(line)) << '"' << line << '"';
}

TEST(ClientRegistrationLineReceiver, ReadsEveryLineEndAndALastLineWithoutOne) {
    std::vector<std::uint64_t> ids;
    ClientRegistrationLineReceiver receiver([&](const ClientRegistrationListItem& item) { ids.push_back(item.clientID); });
    LineMaker maker(receiver);
    std::string text = "1\t10.0.0.1\t1\t5\r\n2\t10.0.0.2\t2\t5\nbad\n\n3\t10.0.0.3\t3\t5";
    // Cut at every byte: lines may reach the receiver in pieces.
    maker.Begin();
    for (char c : text) maker.Write(ConstData(&c, 1));
    maker.End();
    EXPECT_EQ(ids, (std::vector<std::uint64_t>{1, 2, 3}));
    EXPECT_EQ(receiver.CorruptLineCount(), 2u);
}

}  // namespace
