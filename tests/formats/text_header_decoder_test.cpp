#include "formats/text_header_decoder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/chunked_input_support.h"
#include "formats/header_transcoder.h"
#include "formats/q_decoding_data_maker.h"
#include "foundation/data_stages.h"

namespace {

// Feeds the input cut at the given chunk ends.
void Feed(DataReceiver& receiver, const std::string& input, const std::vector<std::size_t>& cutting) {
    receiver.Begin();
    std::size_t from = 0;
    for (std::size_t end : cutting) {
        receiver.Receive(ConstData(input.data() + from, end - from));
        from = end;
    }
    receiver.End();
}

ChunkedOutcome<char> QDecode(const std::string& input, const std::vector<std::size_t>& cutting) {
    ChunkedOutcome<char> outcome;
    std::string decoded;
    StringReceiver target(decoded);
    QDecodingDataMaker maker(target);
    Feed(maker, input, cutting);
    outcome.output.assign(decoded.begin(), decoded.end());
    outcome.ended = true;
    return outcome;
}

// Records each piece as "[charset:text]", the default charset as the empty name.
class RecordingMulticharsetReceiver : public MulticharsetTextReceiver {
  public:
    void Begin() override { text += "<"; }
    DataReceiver& TextInDefaultCharset() override { return m_piece.Named(text, ""); }
    DataReceiver& TextInCharset(ConstData charsetName) override {
        return m_piece.Named(text, std::string(charsetName.View()));
    }
    void End() override { text += ">"; }

    std::string text;

  private:
    class Piece : public DataReceiver, public DataWriter {
      public:
        Piece& Named(std::string& text, std::string name) {
            m_text = &text;
            m_name = std::move(name);
            return *this;
        }
        void Begin() override { *m_text += "[" + m_name + ":"; }
        void Receive(const Byte* begin, const Byte* end) override { m_text->append(begin, end); }
        void End() override { *m_text += "]"; }

      private:
        std::string* m_text = nullptr;
        std::string m_name;
    };
    Piece m_piece;
};

ChunkedOutcome<char> DecodeHeader(const std::string& input, const std::vector<std::size_t>& cutting) {
    ChunkedOutcome<char> outcome;
    RecordingMulticharsetReceiver target;
    TextHeaderDecoder decoder(target);
    Feed(decoder, input, cutting);
    outcome.output.assign(target.text.begin(), target.text.end());
    outcome.ended = true;
    return outcome;
}

std::string Text(const ChunkedOutcome<char>& outcome) {
    return std::string(outcome.output.begin(), outcome.output.end());
}

}  // namespace

TEST(QDecodingDataMaker, DecodesTheSameHoweverTheInputIsCut) {
    const std::pair<std::string, std::string> cases[] = {
        {"", ""},           {"plain text", "plain text"},
        {"a_b__", "a b  "}, {"=41", "A"},
        {"=4a=4A", "JJ"},   {"caf=E9", "caf\xE9"},
        {"=", "="},         {"=4", "=4"},
        {"a=3", "a=3"},     {"=4g", "=4g"},
        {"=zz", "=zz"},     {"==41", "=A"},
        {"=4=41", "=4A"},   {"=_", "= "},
        {"=4_", "=4 "},     {"=\r\n", "=\r\n"},
        {"=3D=3d", "=="},   {"x=00y", std::string("x\0y", 3)},
    };
    for (const auto& [input, decoded] : cases) {
        auto outcome = ExpectSameOutcomeForAllCuttings<char>(
            input.size(), [&](const std::vector<std::size_t>& cutting) { return QDecode(input, cutting); });
        EXPECT_EQ(Text(outcome), decoded) << input;
    }
}

TEST(TextHeaderDecoder, DecodesEncodedWordsHoweverTheInputIsCut) {
    const std::string longHead = "=?" + std::string(90, 'c') + "?Q?x?=";
    const std::string manyBlanks(90, ' ');
    const std::pair<std::string, std::string> cases[] = {
        {"", "<>"},
        {"plain text", "<[:plain text]>"},
        {"=?iso-8859-1?Q?caf=E9_ok?=", "<[iso-8859-1:caf\xE9 ok]>"},
        {"a =?utf-8?B?w7w=?= b", "<[:a ][utf-8:\xC3\xBC][: b]>"},
        {"=?us-ascii?q?a?= =?us-ascii?b?Yg==?=", "<[us-ascii:a][us-ascii:b]>"},
        {"=?cs?Q?a?= \t =?cs?Q?b?=", "<[cs:a][cs:b]>"},
        {"=?cs?Q?a?==?cs?Q?b?=", "<[cs:a][cs:b]>"},
        {"=?cs?Q?a?=  x", "<[cs:a][:  x]>"},
        {"=?cs?Q?a?= =x", "<[cs:a][: =x]>"},
        {"=?cs?Q?a?= ", "<[cs:a][: ]>"},
        {"=?iso-8859-1?X?abc?=", "<[:=?iso-8859-1?X?abc?=]>"},
        {"=?cs?Q?a?= =?cs?X?b?=", "<[cs:a][: =?cs?X?b?=]>"},
        {"=??Q?a?=", "<[:=??Q?a?=]>"},
        {"a = b == c", "<[:a = b == c]>"},
        {"x=?", "<[:x=?]>"},
        {"x=?cs", "<[:x=?cs]>"},
        {"x=?cs?Q", "<[:x=?cs?Q]>"},
        {"x=?cs?Qz", "<[:x=?cs?Qz]>"},
        {"=?cs?Q?ab", "<[cs:ab]>"},
        {"=?cs?Q?ab?", "<[cs:ab?]>"},
        {"=?cs?Q?a?b??c?=", "<[cs:a?b??c]>"},
        {longHead, "<[:" + longHead + "]>"},
        {"=?cs?Q?a?=" + manyBlanks + "=?cs?Q?b?=", "<[cs:a][:" + manyBlanks + "][cs:b]>"},
    };
    for (const auto& [input, decoded] : cases) {
        auto outcome = ExpectSameOutcomeForAllCuttings<char>(
            input.size(),
            [&](const std::vector<std::size_t>& cutting) { return DecodeHeader(input, cutting); });
        EXPECT_EQ(Text(outcome), decoded) << input;
    }
}

TEST(TextHeaderDecoder, JoinsThePiecesIntoUtf8ThroughTheHeaderTranscoder) {
    RecordingTextReceiver<UTF8> text;
    HeaderTranscoder transcoder(&text);
    transcoder.SetDefaultCharset(ConstData(std::string_view("iso-8859-1")));
    TextHeaderDecoder decoder(transcoder);
    ReceiveComplete(decoder,
                    ConstData(std::string_view("Site \xA7 =?iso-8859-1?Q?caf=E9?= =?UTF-8?B?w7w=?=!")));
    EXPECT_EQ(std::string(text.units.begin(), text.units.end()), "Site \xC2\xA7 caf\xC3\xA9\xC3\xBC!");
}
