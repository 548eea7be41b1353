#include "formats/simple_xml_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

// Records every event as text: "Start(a x=1)", "End(a)", "Text(t)", "PI(?xml version=1.0)".
class RecordingParser : public SimpleXMLParserPL {
  public:
    void StartElement(const std::string& name, std::span<const XMLAttribute> attributes) override {
        events.push_back("Start(" + name + Joined(attributes) + ")");
    }
    void EndElement(const std::string& name) override { events.push_back("End(" + name + ")"); }
    void Characters(const std::string& text) override { events.push_back("Text(" + text + ")"); }
    void ProcessingInstruction(const std::string& name, std::span<const XMLAttribute> attributes) override {
        events.push_back("PI(" + name + Joined(attributes) + ")");
    }

    std::vector<std::string> events;

  private:
    static std::string Joined(std::span<const XMLAttribute> attributes) {
        std::string text;
        for (const auto& [name, value] : attributes) text += " " + name + "=" + value;
        return text;
    }
};

// The events for the document fed whole, one byte at a time, and in two pieces at every point.
std::vector<std::string> EventsOf(const std::string& document) {
    RecordingParser whole;
    whole.Receive(document.data(), document.size());
    RecordingParser bytewise;
    for (char c : document) bytewise.Receive(&c, 1);
    EXPECT_EQ(bytewise.events, whole.events) << "byte by byte: " << document;
    for (std::size_t split = 0; split <= document.size(); ++split) {
        RecordingParser cut;
        cut.Receive(document.data(), split);
        cut.Receive(document.data() + split, document.size() - split);
        EXPECT_EQ(cut.events, whole.events) << "split at " << split << ": " << document;
    }
    return whole.events;
}

using Events = std::vector<std::string>;

}  // namespace

TEST(SimpleXMLParserPL, ReportsTheEventsOfTheAcceptedSubset) {
    struct Case {
        std::string document;
        Events events;
    };
    const Case cases[] = {
        {"<a x=\"1\" y='&lt;2'>t&amp;u</a>",
         {"Start(a x=1 y=<2)", "Text(t)", "Text(&)", "Text(u)", "End(a)"}},
        {"<a>&#x41;&#65;</a>", {"Start(a)", "Text(A)", "Text(&#65;)", "End(a)"}},
        {"<a>&apos;&#x100;&#x;&#xzz;&#X41;&quot;&gt;</a>",
         {"Start(a)", "Text(&apos;)", "Text(&#x100;)", "Text(&#x;)", "Text(&#xzz;)", "Text(&#X41;)",
          "Text(\")", "Text(>)", "End(a)"}},
        {"<a v=\"&#xc3;&#xa9;&quot;&apos;\">", {"Start(a v=\xC3\xA9\"&apos;)"}},
        {"<a><![CDATA[<b>&amp;]]></a>", {"Start(a)", "Text(<b>&amp;)", "End(a)"}},
        {"<a><![CDATA[x]y]]]></a>", {"Start(a)", "Text(x]y])", "End(a)"}},
        {"<a><!-- x -> y --></a>", {"Start(a)", "End(a)"}},
        {"<a>x<!---->y</a>", {"Start(a)", "Text(x)", "Text(y)", "End(a)"}},
        {"<a/>", {"End(a)"}},
        {"</a >", {"End(a )"}},
        {"<?xml version=\"1.0\" encoding='UTF-8'?>\n<a>",
         {"PI(?xml version=1.0 encoding=UTF-8)", "Text(\n)", "Start(a)"}},
        {"<a>t</a>tail", {"Start(a)", "Text(t)", "End(a)"}},
        {"<x-1.2 k-v=\"1\">t</x-1.2>", {"Start(x-1.2 k-v=1)", "Text(t)", "End(x-1.2)"}},
        {"<!DOCTYPE a><a>t</a>", {"Start(a)", "Text(t)", "End(a)"}},
        {"<a>\xC3\xA9\xE9</a>", {"Start(a)", "Text(\xC3\xA9\xE9)", "End(a)"}},
    };
    for (const Case& c : cases) EXPECT_EQ(EventsOf(c.document), c.events) << c.document;
}

TEST(SimpleXMLParserPL, EndsSelfClosingTagsWithAttributesWithoutSwallowingTheRest) {
    struct Case {
        std::string document;
        Events events;
    };
    const Case cases[] = {
        {"<r><a x=\"1\"/><b>t</b></r>",
         {"Start(r)", "Start(a x=1)", "End(a)", "Start(b)", "Text(t)", "End(b)", "End(r)"}},
        {"<r><a x='1' y=\"2\" /><b/></r>", {"Start(r)", "Start(a x=1 y=2)", "End(a)", "End(b)", "End(r)"}},
        {"<r><a /><b>t</b></r>",
         {"Start(r)", "Start(a)", "End(a)", "Start(b)", "Text(t)", "End(b)", "End(r)"}},
        // An attribute without a value is dropped where the tag ends.
        {"<r><a flag>t</a><b flag/></r>",
         {"Start(r)", "Start(a)", "Text(t)", "End(a)", "Start(b)", "End(b)", "End(r)"}},
        // A "/" followed by more attributes is not a self-closing mark.
        {"<a / x=\"1\">t</a>", {"Start(a x=1)", "Text(t)", "End(a)"}},
    };
    for (const Case& c : cases) EXPECT_EQ(EventsOf(c.document), c.events) << c.document;
}
