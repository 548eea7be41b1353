#include "platform/sax_xml_reader.h"

#include <gtest/gtest.h>

#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "base/const_data_reader.h"
#include "support/temporary_folder.h"

using PosixPlatform::ParseXMLWithSAX;
using PosixPlatform::SAXAttribute;
using PosixPlatform::XMLSchema;
using PosixPlatform::XMLSchemaError;

namespace {

class HandlerFailure : public DebuggableException {};

// Records the events; throws HandlerFailure at the start of the element named `failAt`.
class RecordingHandler : public PosixPlatform::SAXContentHandler {
  public:
    explicit RecordingHandler(std::string failAt = "") : m_failAt(std::move(failAt)) {}

    void StartElement(ConstData localName, std::span<const SAXAttribute> attributes) override {
        if (localName.View() == m_failAt) throw HandlerFailure();
        std::string event = "Start(" + std::string(localName.View());
        for (const auto& attribute : attributes)
            event +=
                " " + std::string(attribute.localName.View()) + "=" + std::string(attribute.value.View());
        events.push_back(event + ")");
    }
    void EndElement() override { events.push_back("End"); }
    void Characters(ConstData text) override { events.push_back("Text(" + std::string(text.View()) + ")"); }

    std::vector<std::string> events;

  private:
    std::string m_failAt;
};

// Hands out its bytes a few at a time, then throws NoMoreData instead of ending.
class FailingReader : public DataReader {
  public:
    explicit FailingReader(std::string bytes) : m_bytes(std::move(bytes)) {}
    bool AtEnd() override { return false; }
    void ReadSome(OutputRange& range) override {
        if (m_offset == m_bytes.size()) throw NoMoreData();
        std::size_t count = std::min<std::size_t>({3, range.Room(), m_bytes.size() - m_offset});
        CopyIntoOutputRange(range, ConstData(m_bytes.data() + m_offset, count));
        m_offset += count;
    }

  private:
    std::string m_bytes;
    std::size_t m_offset = 0;
};

std::optional<PosixPlatform::SAXParseError> Parse(const std::string& document, RecordingHandler& handler,
                                                  const XMLSchema* schema = nullptr) {
    ConstDataReader reader{ConstData(document)};
    return ParseXMLWithSAX(reader, handler, schema);
}

constexpr const char kSchema[] = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:element name="a"><xs:complexType><xs:sequence>
    <xs:element name="b" type="xs:int" maxOccurs="unbounded"/>
  </xs:sequence></xs:complexType></xs:element>
</xs:schema>)";

}  // namespace

TEST(SAXXMLReader, ReportsTheContentInUTF8) {
    RecordingHandler handler;
    EXPECT_FALSE(Parse("<a x='1'>t<b/><![CDATA[c]]></a>", handler));
    EXPECT_EQ(handler.events,
              (std::vector<std::string>{"Start(a x=1)", "Text(t)", "Start(b)", "End", "Text(c)", "End"}));
}

TEST(SAXXMLReader, ThrowsWhatTheHandlerOrTheReaderThrewInsteadOfEndingQuietly) {
    RecordingHandler handler("b");
    EXPECT_THROW(Parse("<a><b/><c/></a>", handler), HandlerFailure);
    EXPECT_EQ(handler.events, std::vector<std::string>{"Start(a)"});

    RecordingHandler reading;
    FailingReader reader("<a><b>text</b>");
    EXPECT_THROW(ParseXMLWithSAX(reader, reading), NoMoreData);

    // The same through the schema validator, which stands between the parser and the handler.
    XMLSchema schema(ConstData(std::string_view(kSchema)), "");
    RecordingHandler validated("b");
    EXPECT_THROW(Parse("<a><b>1</b></a>", validated, &schema), HandlerFailure);
}

TEST(SAXXMLReader, ValidatesAndStopsAtTheFirstViolation) {
    XMLSchema schema(ConstData(std::string_view(kSchema)), "");
    RecordingHandler valid;
    EXPECT_FALSE(Parse("<a><b>1</b><b>2</b></a>", valid, &schema));

    RecordingHandler invalid;
    auto error = Parse("<a>\n<b>x</b><b>y</b></a>", invalid, &schema);
    ASSERT_TRUE(error);
    EXPECT_EQ(error->reason, "Element 'b': 'x' is not a valid value of the atomic type 'xs:int'.");
    EXPECT_EQ(error->line, 2);
    EXPECT_EQ(error->column, 9);
    EXPECT_EQ(invalid.events,
              (std::vector<std::string>{"Start(a)", "Text(\n)", "Start(b)", "Text(x)", "End"}));
}

TEST(SAXXMLReader, RefusesSchemasThatDoNotCompileOrReachOutside) {
    TemporaryFolder folder;
    std::ofstream(folder / "part.xsd") << kSchema;
    const std::string refused[] = {
        "",
        "<a/>",
        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:element name=\"a\" "
        "type=\"nothing\"/></xs:schema>",
        // The included file exists, but is not loaded.
        "<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\"><xs:include schemaLocation=\"" +
            folder / "part.xsd" + "\"/></xs:schema>",
    };
    for (const std::string& document : refused)
        EXPECT_THROW(XMLSchema(ConstData(document), ""), XMLSchemaError) << document;

    try {
        XMLSchema schema(ConstData(std::string_view(kSchema)), "urn:x");
        ADD_FAILURE() << "accepted the wrong namespace";
    } catch (const XMLSchemaError& error) {
        EXPECT_STREQ(error.what(), "XML schema with target namespace '' used for 'urn:x'");
    }
}

// Error handlers are per thread: parses on several threads keep their own errors and content.
TEST(SAXXMLReader, ParsesOnSeveralThreadsAtOnce) {
    XMLSchema schema(ConstData(std::string_view(kSchema)), "");
    std::vector<std::thread> threads;
    std::vector<int> mistakes(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 50; ++i) {
                RecordingHandler valid;
                if (Parse("<a><b>" + std::to_string(i) + "</b></a>", valid, &schema) ||
                    valid.events.size() != 5)
                    ++mistakes[t];
                RecordingHandler broken;
                auto error = Parse("<a><b>" + std::to_string(t) + "</b>", broken);
                if (!error || error->reason != "Premature end of data in tag a line 1") ++mistakes[t];
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(mistakes, std::vector<int>(4, 0));
}
