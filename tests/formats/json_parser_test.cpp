#include "formats/json_parser.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "base/file_errors.h"
#include "base/file_location.h"
#include "formats/chunked_input_support.h"
#include "foundation/whole_file.h"
#include "support/pipeline_recorders.h"
#include "support/temporary_folder.h"

using namespace std::string_literals;

namespace {

// Records the parser's events as short texts: "[", "]", "{", "}", "key:a", "str:x", "int:1",
// "float:1.5", "bool:1", "null", "end". Text runs of one key or string are joined.
class EventRecorder : public JSONReceiver {
  public:
    std::vector<std::string> events;

    void Begin() override { events.clear(); }
    void End() override { events.push_back("end"); }
    void BeginObject() override { events.push_back("{"); }
    void EndObject() override { events.push_back("}"); }
    void BeginArray() override { events.push_back("["); }
    void EndArray() override { events.push_back("]"); }
    void BeginKey() override { m_text.clear(); }
    void EndKey() override { events.push_back("key:" + m_text); }
    void BeginString() override { m_text.clear(); }
    void EndString() override { events.push_back("str:" + m_text); }
    void Text(const char* begin, const char* end) override { m_text.append(begin, end); }
    void Integer(std::int64_t value) override { events.push_back("int:" + std::to_string(value)); }
    void Float(double value) override {
        char text[64];
        std::snprintf(text, sizeof text, "float:%.17g", value);
        events.push_back(text);
    }
    void Bool(bool value) override { events.push_back(value ? "bool:1" : "bool:0"); }
    void Null() override { events.push_back("null"); }

  private:
    std::string m_text;
};

ChunkedOutcome<std::string> Parse(const std::string& text, const std::vector<std::size_t>& cutting) {
    EventRecorder recorder;
    JSONParser parser;
    parser.SetReceiver(&recorder);
    ChunkedOutcome<std::string> outcome;
    auto* bytes = reinterpret_cast<const Byte*>(text.data());
    try {
        parser.Begin();
        std::size_t from = 0;
        for (std::size_t to : cutting) {
            parser.Receive(bytes + from, bytes + to);
            from = to;
        }
        parser.End();
    } catch (const DebuggableException& error) {
        outcome.error = error.what();
    }
    outcome.output = recorder.events;
    outcome.ended = !recorder.events.empty() && recorder.events.back() == "end";
    return outcome;
}

struct ParseCase {
    std::string text;
    std::vector<std::string> events;  // without the final "end"; ignored when `error` is set
    const char* error = "";
};

// Parses each text whole, one byte per call and cut at every point; all must agree, and agree with
// the case.
void CheckParseCases(const std::vector<ParseCase>& cases) {
    for (const ParseCase& test : cases) {
        SCOPED_TRACE("text: " + test.text);
        auto outcome = ExpectSameOutcomeForAllCuttings<std::string>(
            test.text.size(),
            [&](const std::vector<std::size_t>& cutting) { return Parse(test.text, cutting); });
        EXPECT_EQ(outcome.error, test.error);
        if (*test.error == '\0') {
            auto expected = test.events;
            expected.push_back("end");
            EXPECT_EQ(outcome.output, expected);
        }
    }
}

constexpr const char* kInvalid = "class InvalidJSON";

}  // namespace

TEST(JSONParser, Structure) {
    CheckParseCases({
        {"[1, 2]", {"[", "int:1", "int:2", "]"}},
        {" {\"a\" : [true, false, null], \"b\":{}}\r\n\t",
         {"{", "key:a", "[", "bool:1", "bool:0", "null", "]", "key:b", "{", "}", "}"}},
        {"[[],[[]]]", {"[", "[", "]", "[", "[", "]", "]", "]"}},
        {"\"top\"", {"str:top"}},
        {"null", {"null"}},
        {"{\"a\":1,\"a\":2}", {"{", "key:a", "int:1", "key:a", "int:2", "}"}},
        {"[1]   \n", {"[", "int:1", "]"}},
        {"\xEF\xBB\xBF[1]", {"[", "int:1", "]"}},
        {"[1,]", {}, kInvalid},
        {"{,}", {}, kInvalid},
        {"{\"a\" 1}", {}, kInvalid},
        {"{\"a\":}", {}, kInvalid},
        {"{1:2}", {}, kInvalid},
        {"[1] x", {}, kInvalid},
        {"[1][2]", {}, kInvalid},
        {"", {}, kInvalid},
        {"   ", {}, kInvalid},
        {"[1", {}, kInvalid},
        {"{\"a\":1", {}, kInvalid},
        {"]", {}, kInvalid},
        {"tru", {}, kInvalid},
        {"True", {}, kInvalid},
        {"nul1", {}, kInvalid},
        {"\xEF\xBB\xBF", {}, kInvalid},
        {"\xEF\xBB[1]", {}, kInvalid},
    });
}

TEST(JSONParser, Numbers) {
    const std::string digits128(128, '7');
    const std::string fraction128 = "1." + std::string(126, '0');
    CheckParseCases({
        {"42", {"int:42"}},
        {"-0", {"int:0"}},
        {"[0,-7]", {"[", "int:0", "int:-7", "]"}},
        {"1.5E+3", {"float:1500"}},
        {"1.0e5", {"float:100000"}},
        {"-2.5e-1", {"float:-0.25"}},
        {"0.125", {"float:0.125"}},
        {"9223372036854775807", {"int:9223372036854775807"}},
        {"-9223372036854775808", {"int:-9223372036854775808"}},
        {fraction128, {"float:1"}},
        {"-1.0e999", {"float:-inf"}},
        {"1.0e-999", {"float:0"}},
        {"9223372036854775808", {}, kInvalid},
        {"-9223372036854775809", {}, kInvalid},
        {digits128, {}, kInvalid},
        {digits128 + "7", {}, "class DataOverflow"},
        {"1e5", {}, kInvalid},
        {"01", {}, kInvalid},
        {"-01", {}, kInvalid},
        {"+1", {}, kInvalid},
        {".5", {}, kInvalid},
        {"1.", {}, kInvalid},
        {"1.e5", {}, kInvalid},
        {"1.0e", {}, kInvalid},
        {"1.0e+", {}, kInvalid},
        {"-", {}, kInvalid},
        {"- 1", {}, kInvalid},
        {"[1.5x]", {}, kInvalid},
    });
}

TEST(JSONParser, Strings) {
    CheckParseCases({
        {R"(["a\"b\\c\/d\b\f\n\r\t"])", {"[", "str:a\"b\\c/d\b\f\n\r\t", "]"}},
        {R"("\u00e9\u00C9\u20ac")", {"str:\xC3\xA9\xC3\x89\xE2\x82\xAC"}},
        {R"("\ud83d\ude00")", {"str:\xF0\x9F\x98\x80"}},
        {R"({"\u0000k":"a\u0000b"})", {"{", "key:\0k"s, "str:a\0b"s, "}"}},
        {"\"raw\tcontrol \x01 and \xC3\xA9\"", {"str:raw\tcontrol \x01 and \xC3\xA9"}},
        {R"("")", {"str:"}},
        {R"("\ud83d")", {}, kInvalid},
        {R"("\ud83dx")", {}, kInvalid},
        {R"("\ud83d\n")", {}, kInvalid},
        {R"("\ude00")", {}, kInvalid},
        {R"("\ud83d\u0041")", {}, kInvalid},
        {R"("\ud83d\ud83d")", {}, kInvalid},
        {R"("\u12G4")", {}, kInvalid},
        {R"("\x")", {}, kInvalid},
        {R"("\')", {}, kInvalid},
        {"\"open", {}, kInvalid},
        {"\"open\\", {}, kInvalid},
    });
}

TEST(JSONParser, NestingIsLimited) {
    const std::size_t limit = JSONParser::kMaxNesting;
    std::string deepest = std::string(limit, '[') + std::string(limit, ']');
    std::string tooDeep = std::string(limit + 1, '[') + std::string(limit + 1, ']');
    EXPECT_EQ(Parse(deepest, {deepest.size()}).error, "");
    EXPECT_EQ(Parse(tooDeep, {tooDeep.size()}).error, kInvalid);
    std::string objects;
    for (std::size_t level = 0; level <= limit; ++level) objects += "{\"a\":";
    EXPECT_EQ(Parse(objects, {objects.size()}).error, kInvalid);
}

TEST(JSONParser, BeginStartsOver) {
    EventRecorder recorder;
    JSONParser parser;
    parser.SetReceiver(&recorder);
    const std::string broken = "[{\"a\":\"unfinished";
    parser.Begin();
    parser.Receive(reinterpret_cast<const Byte*>(broken.data()),
                   reinterpret_cast<const Byte*>(broken.data()) + broken.size());
    const std::string text = "[7]";
    parser.Begin();
    parser.Receive(reinterpret_cast<const Byte*>(text.data()),
                   reinterpret_cast<const Byte*>(text.data()) + text.size());
    parser.End();
    EXPECT_EQ(recorder.events, (std::vector<std::string>{"[", "int:7", "]", "end"}));
}

TEST(ParseJSON, ReadsTheWholeReader) {
    ChunkReader reader({"{\"id\" : 5, \"inb", "ox\" : [\"x\"", ", null]}  "});
    SharingPtr<JSONValue> document = ParseJSON(reader);
    JSONObject& object = GetJSONObject(*document);
    EXPECT_EQ(JSONAsInteger(*object.GetMember("id")), 5);
    JSONArray& inbox = GetJSONArray(*object.GetMember("inbox"));
    ASSERT_EQ(inbox.GetItems().size(), 2u);
    EXPECT_EQ(JSONStringCopy(*inbox.GetItems()[0]), "x");
    EXPECT_TRUE(inbox.GetItems()[1]->IsNull());

    ChunkReader truncated({"{\"id\" : 5"});
    EXPECT_THROW(ParseJSON(truncated), InvalidJSON);
    ChunkReader empty({});
    EXPECT_THROW(ParseJSON(empty), InvalidJSON);
}

TEST(ParseJSONFile, ReadsTheFileAndLetsFileErrorsThrough) {
    TemporaryFolder folder;
    const std::string text = "{\"message\" : \"add\", \"protocol\" : \"kvr\"}\n";
    FileLocation file((folder / "plugin_1").c_str());
    WriteWholeFile(ConstData(text), file);
    SharingPtr<JSONValue> document = ParseJSONFile(file);
    EXPECT_EQ(JSONStringCopy(*GetJSONObject(*document).GetMember("protocol")), "kvr");

    EXPECT_THROW(ParseJSONFile(FileLocation((folder / "missing").c_str())), FileNotFoundError);
    WriteWholeFile(ConstData(text.substr(0, 10)), file);
    EXPECT_THROW(ParseJSONFile(file), InvalidJSON);
}
