#include "formats/xml_tree_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/xml_writer.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"

namespace {

XMLTreeParserPL& Parse(XMLTreeParserPL& parser, const std::string& document) {
    parser.Receive(document.data(), document.size());
    return parser;
}

std::vector<std::string> ChildNames(XMLElementPL& element) {
    std::vector<std::string> names;
    for (XMLElementPL& child : element.Children()) names.push_back(child.Name());
    return names;
}

}  // namespace

TEST(XMLTreeParserPL, BuildsElementsWithAttributesAndText) {
    XMLTreeParserPL parser;
    Parse(parser, "<?xml version=\"1.0\"?>\n<a x=\"1\" y='&lt;2'>t&amp;u<b k=\"v\">in</b> w</a>");
    XMLElementPL* root = parser.Root();
    ASSERT_NE(root, nullptr);
    EXPECT_FALSE(parser.HasOpenElements());
    EXPECT_EQ(root->Name(), "a");
    EXPECT_EQ(root->Attributes(), (std::vector<XMLAttribute>{{"x", "1"}, {"y", "<2"}}));
    EXPECT_EQ(root->GetAttribute("y"), "<2");
    EXPECT_TRUE(root->HasAttribute("x"));
    EXPECT_FALSE(root->HasAttribute("X"));
    EXPECT_EQ(root->GetAttribute("X"), "");
    EXPECT_EQ(root->Text(), "t&u w");
    ASSERT_EQ(ChildNames(*root), std::vector<std::string>{"b"});
    EXPECT_EQ(root->Children().front().Text(), "in");
    EXPECT_EQ(root->Children().front().GetAttribute("k"), "v");
}

TEST(XMLTreeParserPL, HandlesTheEdgesOfTheSubset) {
    XMLTreeParserPL references;
    EXPECT_EQ(Parse(references, "<a>&#x41;&#65;<![CDATA[<b>]]><!-- x -> y --></a>").Root()->Text(),
              "A&#65;<b>");

    XMLTreeParserPL selfClosed;
    EXPECT_EQ(Parse(selfClosed, "<a/>").Root(), nullptr);

    XMLTreeParserPL unfinished;
    Parse(unfinished, "<a><b></b>");
    EXPECT_TRUE(unfinished.HasOpenElements());

    XMLTreeParserPL twoCalls;
    Parse(twoCalls, "<a>x</");
    Parse(twoCalls, "a>");
    EXPECT_EQ(twoCalls.Root()->Text(), "x");
    EXPECT_FALSE(twoCalls.HasOpenElements());

    XMLTreeParserPL siblings;
    Parse(siblings, "<list><server name=\"a\"/><server name=\"b\" /><server name=\"c\"></server></list>");
    // '<server name="a"/>' and '<server name="b" />' are both one element with its end.
    ASSERT_EQ(ChildNames(*siblings.Root()), (std::vector<std::string>{"server", "server", "server"}));
    std::vector<std::string> names;
    for (XMLElementPL& server : siblings.Root()->Children()) names.push_back(server.GetAttribute("name"));
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "c"}));
    EXPECT_FALSE(siblings.HasOpenElements());
}

TEST(XMLTreeParserPL, RefillsTheTreeFromASmallerDocument) {
    XMLTreeParserPL parser;
    Parse(parser, "<r v=\"1\">x<a k=\"1\">y<b></b><c></c></a><d></d><e></e></r>");
    XMLElementPL* firstRoot = parser.Root();
    Parse(parser, "<s><f>z</f></s>");

    ASSERT_EQ(parser.Root(), firstRoot);
    XMLElementPL& root = *parser.Root();
    EXPECT_EQ(root.Name(), "s");
    EXPECT_TRUE(root.Attributes().empty());
    EXPECT_EQ(root.Text(), "");
    ASSERT_EQ(ChildNames(root), std::vector<std::string>{"f"});
    XMLElementPL& f = root.Children().front();
    EXPECT_EQ(f.Text(), "z");
    EXPECT_TRUE(f.Attributes().empty());
    EXPECT_TRUE(f.Children().empty());

    // A copy taken before anyone asked for the children holds only those of the new document.
    Parse(parser, "<t><g></g></t>");
    XMLElementPL copy = *parser.Root();
    EXPECT_EQ(ChildNames(copy), std::vector<std::string>{"g"});
    EXPECT_EQ(ChildNames(*parser.Root()), std::vector<std::string>{"g"});
}

TEST(XMLTreeParserPL, ReadsNonASCIITextWrittenByTheWriterAndByOlderWriters) {
    const std::string text = "caf\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80 \xE9";
    const std::string value = "\xC3\xBC<\"&>";
    std::string document;
    StringReceiver collector(document);
    LineFlattener flattener(collector, ConstData(std::string_view("\r\n")));
    XMLWriterPL writer(flattener, XMLLayout::Indented);
    XMLAttributeList attributes;
    attributes.Add({"v", value.c_str()});
    writer.WriteDeclaration("r", {});
    writer.StartElement("item", attributes);
    writer.WriteText(text.c_str());
    writer.Finish();

    XMLTreeParserPL parser;
    Parse(parser, document);
    XMLElementPL& item = parser.Root()->Children().front();
    EXPECT_EQ(item.Text(), text);
    EXPECT_EQ(item.GetAttribute("v"), value);

    XMLTreeParserPL older;
    Parse(older, "<r>caf&#xc3;&#xa9;</r>");
    EXPECT_EQ(older.Root()->Text(), "caf\xC3\xA9");
}

TEST(XMLElementPL, CopiesAndDestroysDeepTreesWithoutRecursion) {
    constexpr int kDepth = 100000;
    std::string document;
    for (int i = 0; i < kDepth; ++i) document += "<a>";
    document += "leaf";
    for (int i = 0; i < kDepth; ++i) document += "</a>";
    auto parser = std::make_unique<XMLTreeParserPL>();
    Parse(*parser, document);
    XMLElementPL copy = *parser->Root();
    parser.reset();

    int depth = 1;
    XMLElementPL* element = &copy;
    while (!element->Children().empty()) {
        element = &element->Children().front();
        ++depth;
    }
    EXPECT_EQ(depth, kDepth);
    EXPECT_EQ(element->Text(), "leaf");
}
