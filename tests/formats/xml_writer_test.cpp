#include "formats/xml_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "formats/xml_test_support.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"
#include "support/pipeline_recorders.h"

namespace {

XMLAttributeList Attributes(std::initializer_list<Pair<StringPL, StringPL>> pairs) {
    XMLAttributeList list;
    for (const auto& pair : pairs) list.Add(pair);
    return list;
}

// What the writer script leaves in a string, with LF as the line end.
std::string Written(XMLLayout layout, const std::function<void(XMLWriterPL&)>& script) {
    std::string output;
    StringReceiver collector(output);
    LineFlattener flattener(collector, ConstData(std::string_view("\n")));
    XMLWriterPL writer(flattener, layout);
    script(writer);
    return output;
}

// A document with every kind of step: attributes, escapes, an empty element, text after an end tag.
void WriteSample(XMLWriterPL& writer) {
    writer.WriteDeclaration("List", Attributes({{"Version", "1"}}), StringPL("UTF-8"));
    writer.StartElement("Item", Attributes({{"name", "a\"b"}}));
    writer.WriteText("x<y \xC3\xA9");
    writer.EndElement();
    writer.StartElement("Empty");
    writer.EndElement();
    writer.StartElement("Group");
    writer.StartElement("Inner");
    writer.WriteText("t");
    writer.EndElement();
    writer.WriteText("tail");
    writer.EndElement();
    writer.Finish();
}

}  // namespace

TEST(XMLWriterPL, WritesEachLayoutExactly) {
    struct Case {
        XMLLayout layout;
        std::string expected;
    };
    const Case cases[] = {
        {XMLLayout::Indented,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<List Version=\"1\">\n\t<Item name=\"a&quot;b\">x&lt;y "
         "\xC3\xA9</Item>\n\t<Empty></Empty>\n\t<Group>\n\t\t<Inner>t</Inner>\ntail</Group>\n</List>"},
        {XMLLayout::LineBreaks,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<List Version=\"1\">\n<Item name=\"a&quot;b\">x&lt;y "
         "\xC3\xA9</Item>\n<Empty></Empty>\n<Group>\n<Inner>t</Inner>\ntail</Group>\n</List>"},
        {XMLLayout::SingleLine,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><List Version=\"1\"><Item name=\"a&quot;b\">x&lt;y "
         "\xC3\xA9</Item><Empty></Empty><Group><Inner>t</Inner>tail</Group></List>"},
    };
    for (const Case& c : cases) {
        std::string output = Written(c.layout, WriteSample);
        EXPECT_EQ(output, c.expected) << static_cast<int>(c.layout);
        EXPECT_TRUE(XmllintAccepts(output)) << output;
    }
}

TEST(XMLWriterPL, WritesTheDeclarationWithoutEncodingAndIndentsChildren) {
    std::vector<std::string> lines;
    LineListMaker lineList(lines);
    XMLWriterPL writer(lineList, XMLLayout::Indented);
    writer.WriteDeclaration("List", {});
    writer.StartElement("Item");
    writer.WriteText("a&b");
    writer.Finish();
    EXPECT_EQ(lines, (std::vector<std::string>{"<?xml version=\"1.0\"?>", "<List>", "\t<Item>a&amp;b</Item>",
                                               "</List>"}));
}

TEST(XMLWriterPL, PassesUnchangedTextOnInRuns) {
    RecordingLineReceiver lines;
    XMLWriterPL writer(lines, XMLLayout::SingleLine);
    writer.StartElement("a");
    writer.WriteText("ab&cd");
    EXPECT_EQ(lines.calls, (std::vector<std::string>{"Text(<)", "Text(a)", "Text(>)", "Text(ab)",
                                                     "Text(&amp;)", "Text(cd)"}));
}

TEST(XMLWriterPL, WritesUTF8AsItIsAndStrayBytesAsCharacterReferences) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"\xE9", "&#xe9;"},
        {"caf\xC3\xA9", "caf\xC3\xA9"},
        {"\xF0\x9F\x98\x80!", "\xF0\x9F\x98\x80!"},
        {"\xE2\x82", "&#xe2;&#x82;"},                      // cut short
        {"\xC0\xAF", "&#xc0;&#xaf;"},                      // overlong
        {"\xED\xA0\x80", "&#xed;&#xa0;&#x80;"},            // encoded surrogate
        {"\xF4\x90\x80\x80", "&#xf4;&#x90;&#x80;&#x80;"},  // above U+10FFFF
        {"\"'", "\"'"},
    };
    for (const Case& c : cases) {
        std::string output = Written(XMLLayout::SingleLine, [&](XMLWriterPL& writer) {
            writer.StartElement("a");
            writer.WriteText(c.text);
            writer.EndElement();
        });
        EXPECT_EQ(output, "<a>" + std::string(c.expected) + "</a>") << c.text;
        EXPECT_TRUE(XmllintAccepts(output)) << output;
    }
    std::string attribute = Written(XMLLayout::SingleLine, [](XMLWriterPL& writer) {
        writer.StartElement("a", Attributes({{"v", "\xE9<&>'"}}));
        writer.EndElement();
    });
    EXPECT_EQ(attribute, "<a v=\"\xE9&lt;&amp;&gt;'\"></a>");
}

TEST(XMLWriterPL, RefusesInvalidNamesBeforeWritingTheTag) {
    for (const char* name : {"1abc", "", "a b", "-a", "a\xC3\xA9", "\xB7"}) {
        std::string output = Written(XMLLayout::SingleLine, [&](XMLWriterPL& writer) {
            writer.StartElement("r");
            try {
                writer.StartElement(name);
                ADD_FAILURE() << "accepted '" << name << "'";
            } catch (const InvalidXMLElementName& error) {
                EXPECT_EQ(error.what(), "Unable to write XML element with invalid element name '" +
                                            std::string(name) + "'");
            }
        });
        EXPECT_EQ(output, "<r>");
    }
    for (const char* name : {"a:b", "_x", "x-1.2", "A\xB7\x62", ":"}) {
        std::string output = Written(XMLLayout::SingleLine, [&](XMLWriterPL& writer) {
            writer.StartElement(name, Attributes({{name, "v"}}));
        });
        EXPECT_EQ(output, "<" + std::string(name) + " " + name + "=\"v\">");
    }
    std::string output = Written(XMLLayout::SingleLine, [](XMLWriterPL& writer) {
        writer.StartElement("r");
        try {
            writer.StartElement("Item", Attributes({{"ok", "1"}, {"9", "2"}, {"", "3"}}));
            ADD_FAILURE() << "accepted the attribute '9'";
        } catch (const InvalidXMLAttributeName& error) {
            EXPECT_STREQ(error.what(), "Unable to write XML element 'Item' with invalid attribute name '9'");
        }
    });
    EXPECT_EQ(output, "<r>");
}
