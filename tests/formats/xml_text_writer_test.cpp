#include "formats/xml_text_writer.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "formats/xml_test_support.h"

namespace {

std::string Written(XMLLayout layout, const std::function<void(XMLTextWriter&)>& script) {
    TextCollector collector;
    XMLTextWriter writer(collector, layout);
    script(writer);
    return collector.text;
}

void WriteSample(XMLTextWriter& writer) {
    writer.WriteDeclaration(false);
    writer.StartElement("Report");
    writer.StartElement("Item");
    writer.WriteText(ConstDataOfCString("a<b"));
    writer.EndElement();
    writer.StartElement("Empty");
    writer.EndElement();
    writer.StartElement("Group");
    writer.StartElement("Ok");
    writer.WriteBool(true);
    writer.EndElement();
    writer.WriteEscapedText(ConstDataOfCString("tail \xC3\xA9"));
    writer.EndElement();
    writer.Finish();
}

}  // namespace

TEST(XMLTextWriter, WritesEachLayoutExactly) {
    struct Case {
        XMLLayout layout;
        std::string expected;
    };
    const Case cases[] = {
        {XMLLayout::Indented,
         "<?xml version=\"1.0\" "
         "encoding=\"UTF-8\"?>\n<Report>\n\t<Item><![CDATA[a<b]]></Item>\n\t<Empty></Empty>"
         "\n\t<Group>\n\t\t<Ok>true</Ok>\ntail \xC3\xA9</Group>\n</Report>"},
        {XMLLayout::LineBreaks,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<Report>\n<Item><![CDATA[a<b]]></Item>\n<Empty></Empty>"
         "\n<Group>\n<Ok>true</Ok>\ntail \xC3\xA9</Group>\n</Report>"},
        {XMLLayout::SingleLine,
         "<?xml version=\"1.0\" encoding=\"UTF-8\"?><Report><Item><![CDATA[a<b]]></Item><Empty></Empty>"
         "<Group><Ok>true</Ok>tail \xC3\xA9</Group></Report>"},
    };
    for (const Case& c : cases) {
        std::string output = Written(c.layout, WriteSample);
        EXPECT_EQ(output, c.expected) << static_cast<int>(c.layout);
        EXPECT_TRUE(XmllintAccepts(output)) << output;
    }
}

TEST(XMLTextWriter, BeginsWithALineBreakWithoutDeclarationAndEndsTheReceiverOnce) {
    TextCollector collector;
    XMLTextWriter writer(collector, XMLLayout::Indented);
    writer.StartElement("a");
    writer.StartElement("b");
    writer.WriteBool(true);
    writer.EndElement();
    writer.EndElement();
    writer.Finish();
    EXPECT_EQ(collector.text, "\n<a>\n\t<b>true</b>\n</a>");
    EXPECT_EQ(collector.begins, 0);
    EXPECT_EQ(collector.ends, 1);

    EXPECT_EQ(Written(XMLLayout::SingleLine, [](XMLTextWriter& w) { w.WriteDeclaration(true); }),
              "<?xml version=\"1.0\"?>");
}

TEST(XMLTextWriter, ChoosesCDATAOnlyWhereItHelps) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"a<b", "<![CDATA[a<b]]>"},
        {"x & y", "<![CDATA[x & y]]>"},
        {"a<]]>", "a&lt;]]&gt;"},
        {"plain \xE2\x82\xAC", "plain \xE2\x82\xAC"},
        {"", ""},
    };
    for (const Case& c : cases) {
        std::string output = Written(XMLLayout::SingleLine, [&](XMLTextWriter& writer) {
            writer.StartElement("t");
            writer.WriteText(ConstDataOfCString(c.text));
            writer.EndElement();
        });
        EXPECT_EQ(output, "<t>" + std::string(c.expected) + "</t>");
        EXPECT_TRUE(XmllintAccepts(output)) << output;
    }
}

TEST(XMLTextWriter, EscapesLineBreaksOnlyWhenAsked) {
    for (bool escape : {true, false}) {
        std::string output = Written(XMLLayout::SingleLine, [&](XMLTextWriter& writer) {
            writer.SetEscapeLineBreaks(escape);
            writer.StartElement("t");
            writer.WriteEscapedText(ConstDataOfCString("x\r\ny"));
            writer.EndElement();
        });
        EXPECT_EQ(output, escape ? "<t>x&#xd;&#xa;y</t>" : "<t>x\r\ny</t>");
    }
}

TEST(XMLTextWriter, TranscodesUTF16Text) {
    std::string output = Written(XMLLayout::SingleLine, [](XMLTextWriter& writer) {
        writer.StartElement("t");
        writer.WriteUTF16Text(u"\u00E9<");
        writer.WriteUTF16Text(std::u16string_view(u"\xD800!", 2));
        const char16_t units[] = {u'o', u'k'};
        ByteString bytes(reinterpret_cast<const char*>(units), reinterpret_cast<const char*>(units) + 4);
        writer.WriteUTF16Text(bytes);
        ByteString odd(reinterpret_cast<const char*>(units), reinterpret_cast<const char*>(units) + 3);
        writer.WriteUTF16Text(odd);
        writer.EndElement();
    });
    EXPECT_EQ(output, "<t><![CDATA[\xC3\xA9<]]>\xEF\xBF\xBD!oko</t>");
    EXPECT_TRUE(XmllintAccepts(output)) << output;
}
