// Documents written by Python's json module, in several styles, are parsed and written again in the
// single-line layout; the text must equal what the fixture generator (data/json_round_trip/
// make_fixtures.py) computed for the document, byte for byte.

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "formats/json_parser.h"
#include "formats/json_writer.h"

namespace {

const std::filesystem::path kFixtures =
    std::filesystem::path(KVR_SOURCE_DIR) / "tests/formats/data/json_round_trip";

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

SharingPtr<JSONValue> ParseInChunksOf(const std::string& text, std::size_t chunk) {
    JSONValueMaker maker;
    JSONParser parser;
    parser.SetReceiver(&maker);
    parser.Begin();
    auto* bytes = reinterpret_cast<const Byte*>(text.data());
    for (std::size_t from = 0; from < text.size(); from += chunk) {
        parser.Receive(bytes + from, bytes + std::min(text.size(), from + chunk));
    }
    parser.End();
    return maker.Result();
}

// Writes a tree through the writer (the documents hold no booleans or floats, which it cannot write).
class TreeWriter : public JSONVisitor {
  public:
    explicit TreeWriter(JSONTextWriter& writer) : m_writer(writer) {}

    void VisitObject(JSONObject* value) override {
        m_writer.BeginObject();
        for (const auto& [name, member] : value->GetMembers()) {
            m_writer.WriteKey(name);
            member->Accept(*this);
        }
        m_writer.EndObject();
    }
    void VisitArray(JSONArray* value) override {
        m_writer.BeginArray();
        for (const auto& item : value->GetItems()) item->Accept(*this);
        m_writer.EndArray();
    }
    void VisitNull(JSONNull*) override { m_writer.WriteNull(); }
    void VisitInteger(JSONInteger* value) override { m_writer.WriteInteger(value->Value()); }
    void VisitString(JSONString* value) override { m_writer.WriteString(value->Value()); }
    void VisitBool(JSONBool*) override { ADD_FAILURE() << "no booleans in the fixtures"; }
    void VisitFloat(JSONFloat*) override { ADD_FAILURE() << "no floats in the fixtures"; }

  private:
    JSONTextWriter& m_writer;
};

std::string WriteSingleLine(JSONValue& value) {
    UStringBuilder<UTF8> out;
    JSONTextWriter writer(&out, JSONTextWriter::Layout::SingleLine);
    TreeWriter tree(writer);
    writer.Begin();
    value.Accept(tree);
    writer.Finish();
    return out.Take();
}

}  // namespace

TEST(JSONRoundTrip, DocumentsWrittenByPython) {
    int documents = 0;
    for (const auto& entry : std::filesystem::directory_iterator(kFixtures)) {
        if (entry.path().extension() != ".json") continue;
        SCOPED_TRACE(entry.path().filename().string());
        std::string text = ReadFile(entry.path());
        // NAME.STYLE.json is checked against NAME.expected.
        std::string expected = ReadFile(kFixtures / (entry.path().stem().stem().string() + ".expected"));
        ASSERT_FALSE(expected.empty());
        SharingPtr<JSONValue> whole = ParseInChunksOf(text, text.size());
        EXPECT_EQ(WriteSingleLine(*whole), expected);
        EXPECT_EQ(WriteSingleLine(*ParseInChunksOf(text, 1)), expected);
        ++documents;
    }
    EXPECT_GE(documents, 20);
}
