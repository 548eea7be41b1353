// The time-stamp and interval parsers and the value makers over arbitrary bytes: they must never
// crash, must give the same outcome whether the text arrives whole or one byte at a time, and a time
// they accept must read back unchanged from the text the writer makes of it.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "foundation/endian.h"
#include "foundation/integer_maker.h"
#include "foundation/interval_parser.h"
#include "foundation/many_version_maker.h"
#include "foundation/time_parser.h"
#include "foundation/time_text.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Feeds the text whole (chunk 0) or in chunks of the given size.
void Feed(DataReceiver& receiver, ConstData text, std::size_t chunk) {
    receiver.Begin();
    if (chunk == 0) {
        receiver.Receive(text);
    } else {
        for (const Byte* at = text.begin; at < text.end; at += std::min<std::size_t>(chunk, text.end - at))
            receiver.Receive(at, at + std::min<std::size_t>(chunk, text.end - at));
    }
    receiver.End();
}

// The result as text, or the failure's class name.
template <class Lexer, class Describe>
std::string Outcome(ConstData text, std::size_t chunk, Describe describe) {
    Lexer lexer;
    try {
        Feed(lexer, text, chunk);
        return describe(lexer.Result());
    } catch (const std::exception& failure) {
        return failure.what();
    }
}

std::string DescribeTime(const CalendarTime& t) {
    const CalendarDate& d = t.date;
    return std::to_string(d.year) + "-" + std::to_string(d.month) + "-" + std::to_string(d.day) + " " +
           std::to_string(t.time.SecondsOfDay()) + " " + std::to_string(t.zone.seconds);
}

void CheckTime(ConstData text) {
    std::string whole = Outcome<TimeLexer>(text, 0, DescribeTime);
    Check(whole == Outcome<TimeLexer>(text, 1, DescribeTime));
    try {
        CalendarTime parsed = ParseTimeText(text);
        // A zone of 100 hours or more ('+9999' is 100:39) has no text form; everything else reads back.
        if (parsed.zone.seconds / 3600 >= 100 || parsed.zone.seconds / 3600 <= -100) return;
        CalendarTime again = ParseTimeText(FormatCalendarTime(parsed).GetConstData());
        Check(again.IsSameTime(parsed) && again.zone.seconds == parsed.zone.seconds);
    } catch (const std::exception&) {
    }
}

void CheckInterval(ConstData text) {
    auto describe = [](std::int64_t microseconds) { return std::to_string(microseconds); };
    Check(Outcome<IntervalLexer>(text, 0, describe) == Outcome<IntervalLexer>(text, 1, describe));
}

void CheckValueMakers(ConstData text) {
    ManyVersionList whole, byByte;
    ManyVersionMaker maker;
    Feed(maker.GetReceiver(whole), text, 0);
    Feed(maker.GetReceiver(byByte), text, 1);
    Check(whole == byByte);

    std::uint32_t first = 7, second = 7;
    IntegerMaker integer(&first);
    Feed(integer, text, 0);
    integer.SetTarget(&second);
    Feed(integer, text, 1);
    Check(first == second);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ConstData text(data, size);
    CheckTime(text);
    CheckInterval(text);
    CheckValueMakers(text);
    return 0;
}
