#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/character_classes.h"
#include "base/file_location.h"
#include "formats/header_maker.h"
#include "formats/message_maker.h"
#include "formats/message_receivers.h"
#include "formats/message_writer.h"
#include "formats/value_receivers.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "foundation/whole_file.h"
#include "support/pipeline_recorders.h"
#include "support/temporary_folder.h"

using Calls = std::vector<std::string>;

namespace {

// Records a message as "Begin(0)", "Header(0,a)", "Value(1 2)", "EndHeader(9)", "Body(19)", the
// body's lines as "Line(body)", and "End(25)". A value's or line's pieces are joined.
class RecordingMessageReceiver : public MessageReceiver {
  public:
    Calls calls;

    void Begin(std::uint64_t offset) override { calls.push_back("Begin(" + std::to_string(offset) + ")"); }
    DataReceiver& Header(std::uint64_t offset, ConstData name) override {
        calls.push_back("Header(" + std::to_string(offset) + "," + StringFromConstData(name) + ")");
        return m_value;
    }
    void EndHeader(std::uint64_t offset) override {
        calls.push_back("EndHeader(" + std::to_string(offset) + ")");
    }
    LineReceiver& Body(std::uint64_t offset) override {
        calls.push_back("Body(" + std::to_string(offset) + ")");
        return m_body;
    }
    void End(std::uint64_t offset) override { calls.push_back("End(" + std::to_string(offset) + ")"); }

  private:
    class ValueRecorder : public DataReceiver {
      public:
        explicit ValueRecorder(Calls& calls) : m_calls(calls) {}
        void Begin() override { m_text.clear(); }
        void Receive(const Byte* begin, const Byte* end) override { m_text.append(begin, end); }
        void End() override { m_calls.push_back("Value(" + m_text + ")"); }

      private:
        Calls& m_calls;
        std::string m_text;
    };

    class BodyRecorder : public LineReceiver {
      public:
        explicit BodyRecorder(Calls& calls) : m_calls(calls) {}
        void Begin(std::uint64_t offset) override {
            m_calls.push_back("BodyBegin(" + std::to_string(offset) + ")");
            m_line.clear();
        }
        void ReceiveText(const Byte* begin, const Byte* end) override { m_line.append(begin, end); }
        void EndLine(std::uint64_t, std::uint64_t) override {
            m_calls.push_back("Line(" + m_line + ")");
            m_line.clear();
        }
        void End(std::uint64_t offset) override {
            if (!m_line.empty()) m_calls.push_back("Line(" + m_line + ")");
            m_calls.push_back("BodyEnd(" + std::to_string(offset) + ")");
        }

      private:
        Calls& m_calls;
        std::string m_line;
    };

    ValueRecorder m_value{calls};
    BodyRecorder m_body{calls};
};

// The calls a MessageMaker makes for the text fed in chunks ending at the given positions.
Calls MessageCalls(const std::string& text, const std::vector<std::size_t>& chunkEnds) {
    RecordingMessageReceiver receiver;
    MessageMaker maker(receiver);
    LineMaker lines(maker);
    lines.Begin();
    std::size_t start = 0;
    for (std::size_t end : chunkEnds) {
        lines.Write(ConstData(text.data() + start, end - start));
        start = end;
    }
    lines.End();
    return receiver.calls;
}

// The same, checking that every way of cutting the text gives the calls of the whole text.
Calls MessageCallsCutAnywhere(const std::string& text) {
    const Calls whole = MessageCalls(text, {text.size()});
    std::vector<std::size_t> single;
    for (std::size_t end = 1; end <= text.size(); ++end) single.push_back(end);
    EXPECT_EQ(MessageCalls(text, single), whole) << "one byte per chunk: " << text;
    for (std::size_t split = 0; split <= text.size(); ++split)
        EXPECT_EQ(MessageCalls(text, {split, text.size()}), whole) << "split at " << split << ": " << text;
    return whole;
}

}  // namespace

TEST(MessageMaker, TurnsHeaderBlockAndBodyIntoCalls) {
    struct Case {
        std::string name;
        std::string text;
        Calls calls;
    };
    const std::string name47(47, 'n');
    const std::string name48(48, 'n');
    const Case cases[] = {
        {"folded field, second field, body",
         "A: 1\r\n  2\r\nB: 3\r\n\r\nbody\r\n",
         {"Begin(0)", "Header(0,a)", "Value(1 2)", "EndHeader(9)", "Header(11,b)", "Value(3)",
          "EndHeader(15)", "Body(19)", "BodyBegin(19)", "Line(body)", "BodyEnd(25)", "End(25)"}},
        {"no empty line: all header block, Body at the end",
         "X-One: a\nX-Two:b",
         {"Begin(0)", "Header(0,x-one)", "Value(a)", "EndHeader(8)", "Header(9,x-two)", "Value(b)",
          "EndHeader(16)", "Body(16)", "BodyBegin(16)", "BodyEnd(16)", "End(16)"}},
        {"no empty line, ending with a line end",
         "K: v\r\n",
         {"Begin(0)", "Header(0,k)", "Value(v)", "EndHeader(4)", "Body(6)", "BodyBegin(6)", "BodyEnd(6)",
          "End(6)"}},
        {"47-byte name delivered, 48-byte name dropped",
         name47 + ": x\n" + name48 + ": y\n\n",
         {"Begin(0)", "Header(0," + name47 + ")", "Value(x)", "EndHeader(50)", "Body(104)", "BodyBegin(104)",
          "BodyEnd(104)", "End(104)"}},
        {"blanks before the colon stay in the name, trailing blanks in the value",
         "Name \t: v  \n\n",
         {"Begin(0)", "Header(0,name \t)", "Value(v  )", "EndHeader(11)", "Body(13)", "BodyBegin(13)",
          "BodyEnd(13)", "End(13)"}},
        {"a line without a colon is dropped, a later field still comes",
         "garbage\nok: 1\n\n",
         {"Begin(0)", "Header(8,ok)", "Value(1)", "EndHeader(13)", "Body(15)", "BodyBegin(15)", "BodyEnd(15)",
          "End(15)"}},
        {"an empty value, a continuation of blanks only",
         "e:\n \t\nf: 2\n\nl1\nl2",
         {"Begin(0)", "Header(0,e)", "Value( )", "EndHeader(5)", "Header(6,f)", "Value(2)", "EndHeader(10)",
          "Body(12)", "BodyBegin(12)", "Line(l1)", "Line(l2)", "BodyEnd(17)", "End(17)"}},
        {"empty text", "", {"Begin(0)", "Body(0)", "BodyBegin(0)", "BodyEnd(0)", "End(0)"}},
        {"a second empty line belongs to the body",
         "\n\nx",
         {"Begin(0)", "Body(1)", "BodyBegin(1)", "Line()", "Line(x)", "BodyEnd(3)", "End(3)"}},
    };
    for (const Case& c : cases) EXPECT_EQ(MessageCallsCutAnywhere(c.text), c.calls) << c.name;
}

TEST(MessageMaker, ReadsMessagesFromReadersAndFiles) {
    RecordingMessageReceiver fromReader;
    ChunkReader reader({"Content-Type: text/plain\r\n", "\r\nhello"});
    ReadMessage(reader, fromReader);
    EXPECT_EQ(fromReader.calls,
              (Calls{"Begin(0)", "Header(0,content-type)", "Value(text/plain)", "EndHeader(24)", "Body(28)",
                     "BodyBegin(28)", "Line(hello)", "BodyEnd(33)", "End(33)"}));

    TemporaryFolder folder;
    const FileLocation file((folder / "message.txt").c_str());
    WriteWholeFile(ConstData(std::string_view("skip!A: b\n\nc")), file);
    RecordingMessageReceiver fromFile;
    ReadMessageFile(file, fromFile, 5);
    EXPECT_EQ(fromFile.calls, (Calls{"Begin(0)", "Header(0,a)", "Value(b)", "EndHeader(4)", "Body(6)",
                                     "BodyBegin(6)", "Line(c)", "BodyEnd(7)", "End(7)"}));
}

TEST(MessageWriter, WritesFieldsFoldedAndBodyLines) {
    std::string text;
    StringReceiver output(text);
    const Byte crlf[] = {'\r', '\n'};
    LineFlattener flattener(output, ConstData(crlf, crlf + 2));
    MessageWriter writer(flattener);

    writer.Begin(0);
    WriteHeaderField(writer, "Date", ConstData(std::string_view("today")));
    const std::string first = "multi\nline", second = " value";
    const ConstData pieces[] = {ConstData(std::string_view(first)), ConstData(std::string_view(second))};
    WriteHeaderField(writer, "X-Folded", pieces);
    LineReceiver& body = writer.Body(0);
    LineMaker bodyLines(body);
    ReceiveComplete(bodyLines, ConstData(std::string_view("b1\nb2")));
    writer.End(0);

    EXPECT_EQ(text, "Date: today\r\nX-Folded: multi\r\n\tline value\r\n\r\nb1\r\nb2");

    // What the writer wrote reads back as the same fields, each fold one space.
    RecordingMessageReceiver reread;
    ChunkReader written({text});
    ReadMessage(written, reread);
    EXPECT_EQ(reread.calls,
              (Calls{"Begin(0)", "Header(0,date)", "Value(today)", "EndHeader(11)", "Header(13,x-folded)",
                     "Value(multi line value)", "EndHeader(41)", "Body(45)", "BodyBegin(45)", "Line(b1)",
                     "Line(b2)", "BodyEnd(51)", "End(51)"}));
}

namespace {

// Records response or request fields as "name=value" entries.
class FieldRecorder : public HTTPResponseReceiver, public HTTPRequestReceiver {
  public:
    Calls fields;

    DataReceiver& ReceiveHeaderName(ConstData name) override {
        m_name = StringFromConstData(name);
        m_value.clear();
        return m_appender.SetTarget(m_value);
    }
    void EndHeaderValue() override { fields.push_back(m_name + "=" + m_value); }

  private:
    std::string m_name;
    std::string m_value;
    StringAppender m_appender;
};

}  // namespace

TEST(HeaderParsing, ParsesFieldsOfResponsesAndRequests) {
    const std::string head = "Content-Length: 12\r\nX-Long: a\r\n b\r\nbroken line\r\nEmpty:\r\n";
    const Calls expected{"content-length=12", "x-long=a b", "empty="};

    FieldRecorder response;
    ParseResponseHeaders(ConstData(std::string_view(head)), static_cast<HTTPResponseReceiver&>(response));
    EXPECT_EQ(response.fields, expected);

    FieldRecorder request;
    ParseRequestHeaders(ConstData(std::string_view(head)), static_cast<HTTPRequestReceiver&>(request));
    EXPECT_EQ(request.fields, expected);
}

TEST(HeaderParsing, FindsTheValueOfAHeaderLine) {
    struct Case {
        const char* text;
        const char* name;
        const char* value;
    };
    const Case cases[] = {
        {"content-length: 12\r\nx: y", "content-length:", "12"},
        {"a: 1\r\ncontent-length:\t 7 \r\n", "content-length:", "7 "},
        {"a: 1\ncontent-length:7", "content-length:", "7"},
        {"x-content-length: 1\r\ncontent-length: 2", "content-length:", "2"},
        {"x-content-length: 1", "content-length:", ""},
        {"content-length: 1", "", ""},
        {"a: 1\rb: 2\r\n", "b:", "2"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(StringFromConstData(FindHeaderLineValue(c.text, c.name)), c.value)
            << c.text << " / " << c.name;
}

TEST(ValueReceivers, Uint64MakerStoresOnlyValidNumbers) {
    struct Case {
        std::vector<std::string> chunks;
        std::uint64_t expected;
    };
    constexpr std::uint64_t kUntouched = 99;
    const Case cases[] = {
        {{"12"}, 12},
        {{"1 2"}, 12},
        {{" 4", "2 "}, 42},
        {{"18446744073709551615"}, std::numeric_limits<std::uint64_t>::max()},
        {{"18446744073709551616"}, kUntouched},
        {{"1x"}, kUntouched},
        {{"-1"}, kUntouched},
        {{"  "}, kUntouched},
        {{}, kUntouched},
    };
    for (const Case& c : cases) {
        std::uint64_t target = kUntouched;
        Uint64Maker maker;
        maker.SetTarget(target).Begin();
        for (const std::string& chunk : c.chunks) maker.Write(ConstData(std::string_view(chunk)));
        maker.End();
        EXPECT_EQ(target, c.expected) << ::testing::PrintToString(c.chunks);
    }
}

TEST(ValueReceivers, StringAppenderAppendsAlsoFromItself) {
    std::string text = "abc";
    StringAppender appender(text);
    appender.Begin();
    appender.Write(ConstData(std::string_view(text)));
    appender.Write(ConstData(std::string_view("!")));
    appender.End();
    EXPECT_EQ(text, "abcabc!");
}

TEST(ValueReceivers, DataCounterCountsEveryStream) {
    DataCounter counter;
    const Byte bytes[3] = {};
    counter.Begin();
    counter.Write(bytes, bytes + 3).Write(bytes, bytes);
    EXPECT_EQ(counter.Count(), 3u);
    EXPECT_FALSE(counter.Overflowed());
}

TEST(ValueReceivers, BufferFillerFillsThroughItsFilterAndDropsTheRest) {
    Byte storage[5];
    FillBuffer buffer(storage, storage + sizeof storage);
    BufferFiller filler;
    filler.SetUp(buffer, Ascii::CaseLoweringFilter::Instance()).Begin();
    filler.Write(ConstData(std::string_view("AbC"))).Write(ConstData(std::string_view("DEFG")));
    filler.End();
    EXPECT_EQ(StringFromConstData(buffer.Filled()), "abcde");

    EXPECT_THROW(filler.Write(ConstData(std::string_view("x"))), NullBufferFiller);

    // Begin empties the buffer for the next value.
    filler.SetUp(buffer, Ascii::CaseLoweringFilter::Instance()).Begin();
    filler.Write(ConstData(std::string_view("Q")));
    EXPECT_EQ(StringFromConstData(buffer.Filled()), "q");
}

TEST(SendHeaderField, SendsOneWholeFieldWithItsOffsets) {
    RecordingMessageReceiver receiver;
    SendHeaderField(receiver, 3, 17, "content-type", ConstData(std::string_view("text/plain")));
    const ConstData pieces[] = {ConstData(std::string_view("a, ")), ConstData(std::string_view("b"))};
    SendHeaderFieldRanges(receiver, 0, 0, "x-list", pieces);
    EXPECT_EQ(receiver.calls, (Calls{"Header(3,content-type)", "Value(text/plain)", "EndHeader(17)",
                                     "Header(0,x-list)", "Value(a, b)", "EndHeader(0)"}));
}
