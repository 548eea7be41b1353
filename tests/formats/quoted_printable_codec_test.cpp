#include "formats/quoted_printable_codec.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/data_stages.h"
#include "support/filter_runs.h"
#include "support/pipeline_recorders.h"

namespace {

// Decodes lines, each given as the pieces in which it arrives, into the list of decoded lines (the
// text after the last line end is the last entry).
std::vector<std::string> Decode(const std::vector<std::vector<std::string>>& lines) {
    std::vector<std::string> decoded;
    LineListMaker list(decoded);
    QuotedPrintableLineMaker maker;
    maker.SetTarget(list);
    maker.Begin(0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        for (const std::string& piece : lines[i]) {
            ConstData text(piece.data(), piece.size());
            maker.ReceiveText(text.begin, text.end);
        }
        if (i + 1 < lines.size()) maker.EndLine(0, 0);
    }
    maker.End(0);
    return decoded;
}

}  // namespace

TEST(QuotedPrintableLineMaker, DecodesTheSameHoweverALineIsCut) {
    const std::string longBlanks(200, ' ');
    const std::pair<std::string, std::string> cases[] = {
        {"a=3Db  ", "a=b"},
        {"x=41y", "xAy"},
        {"a =41 b \t ", "a A b"},
        {"   ", ""},
        {"", ""},
        {"=3d=3D", "=="},
        {"= 41", "= 41"},
        {"=4 1", "=4 1"},
        {"=4", "=4"},
        {"=", "="},  // a soft line break passes as "="
        {"a= \t", "a="},
        {"=zz=4g", "=zz=4g"},
        {"==41", "=A"},
        {"=4=41", "=4A"},
        {"a" + longBlanks + "b", "a" + longBlanks + "b"},  // blanks inside a line are kept, however many
        {"\ta\t=20\t", "\ta\t "},
        {"caf=C3=A9", "caf\xc3\xa9"},
    };
    for (const auto& [line, decoded] : cases) {
        EXPECT_EQ(Decode({{line}}), std::vector<std::string>{decoded}) << line;
        for (std::size_t position = 0; position <= line.size(); ++position)
            EXPECT_EQ(Decode({SplitAt(line, position)}), std::vector<std::string>{decoded})
                << line << " cut at " << position;
        EXPECT_EQ(Decode({SplitIntoBytes(line)}), std::vector<std::string>{decoded})
            << line << " byte by byte";
    }
}

TEST(QuotedPrintableLineMaker, EndsEachLineAndRemovesItsTrailingBlanks) {
    EXPECT_EQ(Decode({{"x=4", "1y"}, {"a=", "3Db  "}, {"  ", "=4"}, {"tail"}}),
              (std::vector<std::string>{"xAy", "a=b", "  =4", "tail"}));
}

TEST(QuotedPrintableLineMaker, PassesLinePositionsOn) {
    RecordingLineReceiver target;
    QuotedPrintableLineMaker maker;
    maker.SetTarget(target);
    maker.Begin(7);
    ConstData text(std::string_view("a=41 "));
    maker.ReceiveText(text.begin, text.end);
    maker.EndLine(12, 14);
    maker.End(14);
    EXPECT_EQ(target.calls,
              (std::vector<std::string>{"Begin(7)", "Text(a)", "Text(A)", "EndLine(12,14)", "End(14)"}));
}

namespace {

// The body lines through the stage SelectDecoder picks for the transfer encoding, as one byte stream.
std::string DecodeBody(const std::string& transferEncoding, const std::vector<std::string>& lines) {
    std::string bytes;
    StringReceiver collected(bytes);
    QuotedPrintableLineMaker maker;
    LineReceiver& decoder = maker.SelectDecoder(ConstData(transferEncoding), collected);
    decoder.Begin(0);
    for (std::size_t i = 0; i < lines.size(); ++i) {
        ConstData text(lines[i]);
        decoder.ReceiveText(text.begin, text.end);
        if (i + 1 < lines.size()) decoder.EndLine(0, 0);
    }
    decoder.End(0);
    return bytes;
}

}  // namespace

TEST(QuotedPrintableLineMaker, SelectDecoderChoosesByTheExactLowerCaseName) {
    const std::vector<std::string> base64Lines = {"aGVs", "bG8="};
    const std::vector<std::string> escapedLines = {"a=41 ", "b"};
    const struct {
        std::string encoding;
        const std::vector<std::string>& lines;
        std::string bytes;
    } cases[] = {
        {"base64", base64Lines, "hello"},
        {"quoted-printable", escapedLines, "aA\r\nb"},
        // Anything else is text, line by line, with CR LF after each line.
        {"Base64", base64Lines, "aGVs\r\nbG8="},
        {"QUOTED-PRINTABLE", escapedLines, "a=41 \r\nb"},
        {"7bit", escapedLines, "a=41 \r\nb"},
        {"8bit", base64Lines, "aGVs\r\nbG8="},
        {"", base64Lines, "aGVs\r\nbG8="},
        {"base64 ", base64Lines, "aGVs\r\nbG8="},
    };
    for (const auto& c : cases) EXPECT_EQ(DecodeBody(c.encoding, c.lines), c.bytes) << c.encoding;
}

TEST(QuotedPrintableLineMaker, SelectDecoderServesOneBodyAfterAnother) {
    const struct {
        const char* encoding;
        std::string_view line;
        std::string decoded;
    } bodies[] = {
        {"quoted-printable", "A=3D", "A=\r\n"},
        {"7bit", "A=3D", "A=3D\r\n"},
        {"base64", "QT0=", "A="},
        {"quoted-printable", "=41", "A\r\n"},
    };
    std::string bytes;
    StringReceiver collected(bytes);
    QuotedPrintableLineMaker maker;
    for (const auto& body : bodies) {
        LineReceiver& decoder = maker.SelectDecoder(ConstDataOfCString(body.encoding), collected);
        decoder.Begin(0);
        decoder.ReceiveText(ConstData(body.line).begin, ConstData(body.line).end);
        decoder.EndLine(0, 0);
        decoder.End(0);
        EXPECT_EQ(bytes, body.decoded) << body.encoding;
    }
}
