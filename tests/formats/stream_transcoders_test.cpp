#include "formats/stream_transcoders.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/chunked_input_support.h"

using namespace std::string_literals;

namespace {

std::vector<Byte> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}
std::vector<char16_t> Units(const std::u16string& text) {
    return {text.begin(), text.end()};
}

std::string Repeat(const std::string& piece, int count) {
    std::string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}
std::u16string Repeat(const std::u16string& piece, int count) {
    std::u16string text;
    for (int i = 0; i < count; ++i) text += piece;
    return text;
}

template <class Target, class Source>
ChunkedOutcome<typename Target::Unit> Transcode(const std::vector<typename Source::Unit>& input,
                                                const std::vector<std::size_t>& cutting) {
    RecordingTextReceiver<Target> sink;
    StreamTranscoder<Target, Source> transcoder(&sink);
    ChunkedOutcome<typename Target::Unit> outcome;
    try {
        transcoder.Begin();
        std::size_t from = 0;
        for (std::size_t to : cutting) {
            transcoder.Receive(input.data() + from, input.data() + to);
            from = to;
        }
        transcoder.End();
    } catch (const DebuggableException& error) {
        outcome.error = error.what();
    }
    outcome.output = sink.units;
    outcome.ended = sink.ends == 1;
    return outcome;
}

template <class Target, class Source>
struct TranscodingCase {
    const char* name;
    std::vector<typename Source::Unit> input;
    std::vector<typename Target::Unit> expected;  // ignored when `error` is set
    const char* error = "";
};

template <class Target, class Source>
void CheckCases(const std::vector<TranscodingCase<Target, Source>>& cases) {
    using Unit = typename Target::Unit;
    for (const auto& test : cases) {
        SCOPED_TRACE(test.name);
        ChunkedOutcome<Unit> outcome = ExpectSameOutcomeForAllCuttings<Unit>(
            test.input.size(), [&](const std::vector<std::size_t>& cutting) {
                return Transcode<Target, Source>(test.input, cutting);
            });
        EXPECT_EQ(outcome.error, test.error);
        if (*test.error == '\0') {
            EXPECT_EQ(outcome.output, test.expected);
            EXPECT_TRUE(outcome.ended);
        }
    }
}

constexpr const char* kInvalid = "class InvalidTextEncoding";

}  // namespace

TEST(StreamTranscoders, UTF8IntoUTF16) {
    CheckCases<UTF16, UTF8>({
        {"two-byte sequence after ASCII", Bytes("A\xC3\xA9"), Units(u"A\u00E9")},
        {"four bytes become a surrogate pair", Bytes("\xF0\x9F\x98\x80"), {0xD83D, 0xDE00}},
        {"three-byte sequences at the surrogate edges",
         Bytes("\xE2\x82\xAC\xED\x9F\xBF\xEE\x80\x80\xEF\xBF\xBF"),
         {0x20AC, 0xD7FF, 0xE000, 0xFFFF}},
        {"largest code point", Bytes("\xF4\x8F\xBF\xBF"), {0xDBFF, 0xDFFF}},
        {"overlong NUL decodes to its value", Bytes("\xC0\x80"), {0x0000}},
        {"overlong three-byte form decodes to its value", Bytes("\xE0\x81\x81"), {0x0041}},
        {"empty text", {}, {}},
        {"more than the output buffer holds", Bytes(Repeat("\xC3\xA9", 2100)),
         Units(Repeat(u"\u00E9", 2100))},
        {"encoded surrogate", Bytes("\xED\xA0\x80"), {}, kInvalid},
        {"truncated tail", Bytes("ab\xE2\x82"), {}, kInvalid},
        {"truncated four-byte tail", Bytes("\xF0\x9F\x98"), {}, kInvalid},
        {"continuation byte as lead", Bytes("a\x80"), {}, kInvalid},
        {"lead followed by ASCII", Bytes("\xC3\x41"), {}, kInvalid},
        {"lead byte beyond U+10FFFF", Bytes("\xF5\x80\x80\x80"), {}, kInvalid},
        {"four-byte value beyond U+10FFFF", Bytes("\xF4\x90\x80\x80"), {}, kInvalid},
        {"overlong four-byte form", Bytes("\xF0\x80\x80\x80"), {}, kInvalid},
        {"byte 0xFF", Bytes("\xFF"), {}, kInvalid},
    });
}

TEST(StreamTranscoders, UTF16IntoUTF8) {
    CheckCases<UTF8, UTF16>({
        {"surrogate pair becomes four bytes", {0xD83D, 0xDE00}, Bytes("\xF0\x9F\x98\x80")},
        {"one, two and three bytes", Units(u"A\u00E9\u20AC\uFFFF"),
         Bytes("A\xC3\xA9\xE2\x82\xAC\xEF\xBF\xBF")},
        {"NUL unit", {0x0000}, Bytes("\0"s)},
        {"more than the output buffer holds", Units(Repeat(u"\U0001F600", 1100)),
         Bytes(Repeat("\xF0\x9F\x98\x80", 1100))},
        {"lone low surrogate", {0xDC00}, {}, kInvalid},
        {"high surrogate before a letter", {0xD800, 0x0041}, {}, kInvalid},
        {"high surrogate at the end", {0x0041, 0xD800}, {}, kInvalid},
        {"two high surrogates", {0xD800, 0xD800, 0xDC00}, {}, kInvalid},
    });
}

TEST(StreamTranscoders, USAsciiAndLatin1) {
    CheckCases<UTF8, USAscii>({
        {"ASCII passes unchanged", Bytes("plain \x7F text"), Bytes("plain \x7F text")},
        {"byte 0x80", Bytes("ab\x80"), {}, kInvalid},
    });
    CheckCases<UTF16, USAscii>({
        {"ASCII widens", Bytes("ab\0c"s), Units(u"ab\0c"s)},
        {"more than the output buffer holds", Bytes(std::string(2100, 'x')),
         Units(std::u16string(2100, u'x'))},
        {"byte 0x80", Bytes("ab\x80"), {}, kInvalid},
    });
    CheckCases<UTF8, Latin1>({
        {"e acute", Bytes("\xE9"), Bytes("\xC3\xA9")},
        {"ASCII and the high half", Bytes("a\x7F\x80\xFF"), Bytes("a\x7F\xC2\x80\xC3\xBF")},
        {"more than the output buffer holds", Bytes(std::string(2100, '\xE9')),
         Bytes(Repeat("\xC3\xA9", 2100))},
    });
}

TEST(StreamTranscoders, ASCIIIntoUTF8PassesTheCallersRange) {
    struct RangeCheck : UTextReceiver<UTF8> {
        const Byte* seen = nullptr;
        void Receive(const Byte* begin, const Byte* end) override { seen = begin; }
    } check;
    StreamTranscoder<UTF8, USAscii> transcoder(&check);
    const Byte text[] = {'a', 'b'};
    transcoder.Begin();
    transcoder.Receive(text, text + 2);
    EXPECT_EQ(check.seen, text);
}

TEST(StreamTranscoders, BeginForgetsAnIncompleteCharacter) {
    RecordingTextReceiver<UTF16> sink;
    StreamTranscoder<UTF16, UTF8> transcoder(&sink);
    const std::string cut = "\xE2\x82";
    transcoder.Begin();
    transcoder.Receive(reinterpret_cast<const Byte*>(cut.data()),
                       reinterpret_cast<const Byte*>(cut.data()) + 2);
    transcoder.Begin();
    const Byte letter = 'A';
    transcoder.Receive(&letter, &letter + 1);
    transcoder.End();
    EXPECT_EQ(sink.units, std::vector<char16_t>{u'A'});
    EXPECT_EQ(sink.ends, 1);
}

namespace {

ChunkedOutcome<Byte> TranscodeNamed(const std::string& charset, const std::vector<Byte>& input,
                                    const std::vector<std::size_t>& cutting) {
    RecordingTextReceiver<UTF8> sink;
    StreamTranscoder<UTF8, IANANamedTextEncoding> transcoder(&sink);
    ChunkedOutcome<Byte> outcome;
    try {
        transcoder.Begin(IANANamedTextEncoding(ConstData(charset)));
        std::size_t from = 0;
        for (std::size_t to : cutting) {
            transcoder.Receive(input.data() + from, input.data() + to);
            from = to;
        }
        transcoder.End();
    } catch (const DebuggableException& error) {
        outcome.error = error.what();
    }
    outcome.output = sink.units;
    outcome.ended = sink.ends == 1;
    return outcome;
}

}  // namespace

TEST(StreamTranscoders, NamedCharsets) {
    struct Case {
        std::string charset;
        std::vector<Byte> input;
        std::vector<Byte> expected;
        const char* error = "";
    };
    const char* unknown = "class EncodingUnknownToSimpleIANATranscoder";
    for (const Case& test : std::vector<Case>{
             {"Latin1", Bytes("caf\xE9"), Bytes("caf\xC3\xA9")},
             {"ISO_8859-1:1987", Bytes("\xFF"), Bytes("\xC3\xBF")},
             {"iso-8859-1", Bytes("\xE9"), Bytes("\xC3\xA9")},
             {"UTF-8", Bytes("\xF0\x9F\x98\x80"), Bytes("\xF0\x9F\x98\x80")},
             {"US", Bytes("plain"), Bytes("plain")},
             {"ANSI_X3.4-1968", Bytes("x"), Bytes("x")},
             {"us-ascii", Bytes("\xE9"), {}, kInvalid},
             {"UTF8", Bytes("x"), {}, unknown},
             {"windows-1252", Bytes("x"), {}, unknown},
             {"", Bytes("x"), {}, unknown},
         }) {
        SCOPED_TRACE(test.charset);
        auto outcome = ExpectSameOutcomeForAllCuttings<Byte>(
            test.input.size(), [&](const std::vector<std::size_t>& cutting) {
                return TranscodeNamed(test.charset, test.input, cutting);
            });
        EXPECT_EQ(outcome.error, test.error);
        if (*test.error == '\0') {
            EXPECT_EQ(outcome.output, test.expected);
            EXPECT_TRUE(outcome.ended);
        }
    }
}

TEST(StreamTranscoders, NamedCharsetRefusedStaysRefused) {
    RecordingTextReceiver<UTF8> sink;
    StreamTranscoder<UTF8, IANANamedTextEncoding> transcoder(&sink);
    const Byte text[] = {'a'};
    EXPECT_THROW(transcoder.Begin(IANANamedTextEncoding(ConstData(std::string_view("koi8-r")))),
                 EncodingUnknownToSimpleIANATranscoder);
    EXPECT_THROW(transcoder.Receive(text, text + 1), EncodingUnknownToSimpleIANATranscoder);
    EXPECT_TRUE(sink.units.empty());
}
