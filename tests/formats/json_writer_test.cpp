#include "formats/json_writer.h"

#include <gtest/gtest.h>

#include <string>

using namespace std::string_literals;

namespace {

// An object holding an integer, an array whose items are an integer and an object, an array whose
// first item is an array, and an empty object.
std::string WriteSample(JSONTextWriter::Layout layout) {
    UStringBuilder<UTF8> out;
    JSONTextWriter writer(&out, layout);
    writer.Begin().BeginObject();
    writer.WriteKey("id").WriteInteger(5);
    writer.WriteKey("list")
        .BeginArray()
        .WriteInteger(1)
        .BeginObject()
        .WriteKey("a")
        .WriteNull()
        .EndObject()
        .EndArray();
    writer.WriteKey("grid").BeginArray().BeginArray().WriteInteger(2).EndArray().EndArray();
    writer.WriteKey("empty").BeginObject().EndObject();
    writer.EndObject().Finish();
    return out.Take();
}

std::string WriteOneString(std::string_view text) {
    UStringBuilder<UTF8> out;
    JSONTextWriter(&out, JSONTextWriter::Layout::SingleLine).Begin().WriteString(text).Finish();
    return out.Take();
}

}  // namespace

TEST(JSONTextWriter, IndentedLayout) {
    EXPECT_EQ(WriteSample(JSONTextWriter::Layout::Indented),
              "{\n"
              "  \"id\" : 5, \n"
              "  \"list\" : \n"
              "    [\n"
              "      1, \n"
              "        {\n"
              "          \"a\" : null\n"
              "        }\n"
              "    ], \n"
              "  \"grid\" : \n"
              "    [\n"
              "\n"
              "        [\n"
              "          2\n"
              "        ]\n"
              "    ], \n"
              "  \"empty\" : \n"
              "    {\n"
              "\n"
              "    }\n"
              "}");
}

TEST(JSONTextWriter, OneItemPerLineLayout) {
    EXPECT_EQ(
        WriteSample(JSONTextWriter::Layout::OneItemPerLine),
        "{\n\"id\" : 5, \n\"list\" : \n[\n1, \n{\n\"a\" : null\n}\n], \n\"grid\" : \n[\n\n[\n2\n]\n], \n"
        "\"empty\" : \n{\n\n}\n}");
}

TEST(JSONTextWriter, SingleLineLayout) {
    EXPECT_EQ(WriteSample(JSONTextWriter::Layout::SingleLine),
              R"({"id" : 5, "list" : [1, {"a" : null}], "grid" : [[2]], "empty" : {}})");
}

TEST(JSONTextWriter, SmallestObjectInTheIndentedLayout) {
    UStringBuilder<UTF8> out;
    JSONTextWriter(&out, JSONTextWriter::Layout::Indented)
        .Begin()
        .BeginObject()
        .WriteKey("a")
        .WriteInteger(1)
        .EndObject()
        .Finish();
    EXPECT_EQ(out.Text(), "{\n  \"a\" : 1\n}");
}

TEST(JSONTextWriter, Values) {
    UStringBuilder<UTF8> out;
    JSONTextWriter writer(&out, JSONTextWriter::Layout::SingleLine);
    writer.Begin().BeginArray();
    writer.WriteInteger(0).WriteInteger(-1).WriteInteger(INT64_MIN).WriteInteger(INT64_MAX);
    writer.WriteString(u"\u00E9\U0001F600").WriteString(u"lone \xD800");
    writer.WriteString(ByteString(ConstData(std::string_view("a/\0b", 4))));
    const Byte sha1Start[] = {0xDA, 0x39, 0xA3, 0xEE};
    writer.WriteString(DigestRecord(sha1Start, sha1Start + 4));
    writer.EndArray().Finish();
    EXPECT_EQ(out.Text(),
              "[0, -1, -9223372036854775808, 9223372036854775807, \"\xC3\xA9\xF0\x9F\x98\x80\", "
              "\"lone \xEF\xBF\xBD\", \"a\\u002F\\u0000b\", \"da39a3ee\"]");
}

TEST(JSONTextWriter, Escapes) {
    struct Case {
        std::string text;
        const char* written;
    };
    for (const Case& test : {
             Case{"\x01", R"("\u0001")"},
             Case{"a/b", R"("a\u002Fb")"},
             Case{"it's", R"("it\u0027s")"},
             Case{"\"q\" \\", R"("\"q\" \\")"},
             Case{"\b\t\n\f\r", R"("\b\t\n\f\r")"},
             Case{"\x0B\x1F\x7F", R"("\u000b\u001f\u007f")"},
             Case{"\0"s, R"("\u0000")"},
             Case{"\xC3\xA9\xF0\x9F\x98\x80 \x80\xFF", "\"\xC3\xA9\xF0\x9F\x98\x80 \x80\xFF\""},
             Case{"", R"("")"},
         }) {
        EXPECT_EQ(WriteOneString(test.text), test.written) << test.text;
    }
}

TEST(JSONEscaper, EscapesWhatPassesAndForwardsBeginAndEnd) {
    struct Recorder : UTextReceiver<UTF8> {
        std::string text;
        int begins = 0, ends = 0;
        void Begin() override { ++begins; }
        void Receive(const Byte* begin, const Byte* end) override { text.append(begin, end); }
        void End() override { ++ends; }
    } recorder;
    JSONEscaper escaper(&recorder);
    const std::string pieces[] = {"a/", "b\n", "c"};
    escaper.Begin();
    for (const std::string& piece : pieces) {
        auto* bytes = reinterpret_cast<const Byte*>(piece.data());
        escaper.Receive(bytes, bytes + piece.size());
    }
    escaper.End();
    EXPECT_EQ(recorder.text, R"(a\u002Fb\nc)");
    EXPECT_EQ(recorder.begins, 1);
    EXPECT_EQ(recorder.ends, 1);
}
