#include "formats/named_templates.h"

#include <gtest/gtest.h>

#include <string>

TEST(TemplateArguments, FillTemplatesByPositionOrGrowingPacks) {
    EXPECT_EQ(TemplateArguments<0>("abc").ToString(), "abc");
    EXPECT_THROW(TemplateArguments<0>("{x}").ToString(), TooManyFormatArguments);

    TemplateArguments<0> head("{header}: {sequence}{_crlf}");
    TemplateArguments<1> one(head, "x-a");
    TemplateArguments<2> two(one, std::string_view("7"));
    EXPECT_EQ(two.ToString(), "x-a: 7\r\n");
    EXPECT_STREQ(two.ToText().GetText(), "x-a: 7\r\n");

    std::string sequence = "7";
    EXPECT_EQ(TemplateArguments(MessageTemplates::kSequenceHeader, "x-a", sequence).ToString(), "x-a: 7\r\n");
    EXPECT_EQ(TemplateArguments("[{a}]", static_cast<const char*>(nullptr)).ToString(), "[]");
    EXPECT_THROW(TemplateArguments("{a}", "1", "2").ToString(), TooFewFormatArguments);
}

TEST(TemplateArguments, TheRelaysTemplates) {
    using namespace MessageTemplates;
    EXPECT_EQ(TemplateArguments(kSiteVersionHeader, "h", "http://s/", "5").ToString(), "h: http://s/ 5\r\n");
    EXPECT_EQ(TemplateArguments(kSiteManyVersionHeader, "h", "u", "1", "5").ToString(), "h: u 1 5\r\n");
    EXPECT_EQ(TemplateArguments(kSequenceRangeHeader, "h", "3", "1", "9").ToString(), "h: 3 1 9\r\n");
    EXPECT_EQ(TemplateArguments(kSequenceVersionHeader, "h", "3", "v").ToString(), "h: 3 v\r\n");
    EXPECT_EQ(TemplateArguments(kSequenceManyVersionHeader, "h", "3", "m").ToString(), "h: 3 m\r\n");
    EXPECT_EQ(TemplateArguments(kAdapterInfoHeader, "x-a", "info").ToString(), "x-a: info\r\n");
    EXPECT_EQ(TemplateArguments(kRegistrationRefusal, "r", "t", "n").ToString(), "r\r\nt\r\nn\r\n");
    EXPECT_EQ(TemplateArguments(kTooManyChildrenHeader, "12").ToString(),
              "x-veltra-clientregister-toomanychildren: 12\r\n");
    EXPECT_EQ(TemplateArguments(kTooManyChildRelaysHeader, "3").ToString(),
              "x-veltra-clientregister-toomanychildrelays: 3\r\n");
    EXPECT_EQ(
        TemplateArguments(kHopLimitRefusal, "Refused", "1", "4").ToString(),
        "Refused\r\nThis relay only accepts clients with minhop counts <= 1 and maxhop counts <= 4\r\n");
    EXPECT_EQ(TemplateArguments(kXMLParsingError, "bad tag", "3", "14").ToString(),
              "XML parsing error:\r\n  bad tag  Line 3, Character 14");
    EXPECT_EQ(TemplateArguments(kXMLSchemaMissing, "/etc/x.xsd").ToString(),
              "XML schema file '/etc/x.xsd' does not exist.");
}

TEST(TemplateArguments, ToStringKeepsBytesAndToTextConvertsToTheDefaultCodePage) {
    const std::string letter = "\xc3\xa9";  // e acute in UTF-8
    EXPECT_EQ(TemplateArguments("{v}", letter).ToString(), letter);
    EXPECT_STREQ(TemplateArguments("{v}", letter).ToText().GetText(),
                 "\xc3\xa9");  // the default code page is UTF-8
    EXPECT_STREQ(TemplateArguments("{v}",
                                   "a\xff"
                                   "b")
                     .ToText()
                     .GetText(),
                 "a\xef\xbf\xbd"
                 "b");  // malformed: U+FFFD
}

TEST(FormattedText, BorrowsOrOwns) {
    FormattedText absent = FormattedTextOfCString(nullptr);
    EXPECT_EQ(absent.GetText(), nullptr);
    EXPECT_FALSE(absent.OwnsText());

    const char* constant = "borrowed";
    FormattedText borrowed = FormattedTextOfCString(constant);
    EXPECT_EQ(borrowed.GetText(), constant);
    EXPECT_FALSE(borrowed.OwnsText());

    FormattedText owned = TemplateArguments<1>(TemplateArguments<0>("{a}!"), "x").ToText();
    EXPECT_TRUE(owned.OwnsText());
    FormattedText copy = owned;
    EXPECT_NE(copy.GetText(), owned.GetText());
    EXPECT_STREQ(copy.GetText(), "x!");

    std::string text = "abc";
    FormattedText set;
    set.SetText(text.data(), text.data() + 3, true);
    EXPECT_EQ(set.GetText(), text.data());
    set.SetText(text.data(), text.data() + 2, false);
    EXPECT_STREQ(set.GetText(), "ab");
    EXPECT_TRUE(set.OwnsText());
    set.SetText(text.data(), text.data(), false);
    EXPECT_STREQ(set.GetText(), "");
    EXPECT_FALSE(set.OwnsText());
    EXPECT_STREQ(FormattedText().GetText(), "");

    EXPECT_STREQ(FormattedTextOfUTF16(u"caf\u00e9").GetText(), "caf\xc3\xa9");
    EXPECT_EQ(UTF8ToDefaultCodePage(ConstData(std::string_view("plain"))), "plain");
}
