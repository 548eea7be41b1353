#include "formats/sax_xml_tree.h"

#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <string>

#include "foundation/whole_file.h"
#include "platform/sax_xml_reader.h"
#include "support/temporary_folder.h"

namespace {

std::unique_ptr<XMLTreeNode> Parse(const std::string& document) {
    return ParseXMLDocument(ConstData(document));
}

// The message ParseXMLDocument throws for the document; empty when it parses.
std::string ParseError(const std::string& document, const FileLocation& schema = FileLocation(),
                       std::string_view schemaNamespace = {}) {
    try {
        ParseXMLDocument(ConstData(document), schema, schemaNamespace);
    } catch (const std::exception& error) {
        return error.what();
    }
    return "";
}

std::string ParsingError(const std::string& reason, int line, int character) {
    return "XML parsing error:\r\n  " + reason + "  Line " + std::to_string(line) + ", Character " +
           std::to_string(character);
}

// The classic entity-expansion bomb: ten to the ninth "lol"s from a few hundred bytes.
std::string EntityBomb(const std::string& use) {
    std::string document = "<!DOCTYPE lolz [<!ENTITY lol0 \"lol\">";
    for (int i = 1; i <= 9; ++i) {
        document += "<!ENTITY lol" + std::to_string(i) + " \"";
        for (int j = 0; j < 10; ++j) document += "&lol" + std::to_string(i - 1) + ";";
        document += "\">";
    }
    return document + "]>" + use;
}

// A loopback listener that counts the connections it was offered.
class WatchedPort {
  public:
    WatchedPort() {
        m_socket = socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        EXPECT_EQ(bind(m_socket, reinterpret_cast<sockaddr*>(&address), length), 0);
        EXPECT_EQ(listen(m_socket, 8), 0);
        getsockname(m_socket, reinterpret_cast<sockaddr*>(&address), &length);
        m_port = ntohs(address.sin_port);
    }
    ~WatchedPort() { close(m_socket); }

    std::string URL(const std::string& path) const {
        return "http://127.0.0.1:" + std::to_string(m_port) + "/" + path;
    }
    bool WasContacted() const {
        int connection = accept4(m_socket, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0) return false;
        close(connection);
        return true;
    }

  private:
    int m_socket = -1;
    int m_port = 0;
};

constexpr const char kServerListSchema[] = R"(<?xml version="1.0"?>
<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema" targetNamespace="urn:relay:test"
           xmlns="urn:relay:test" elementFormDefault="qualified">
  <xs:element name="list">
    <xs:complexType>
      <xs:sequence>
        <xs:element name="server" minOccurs="0" maxOccurs="unbounded">
          <xs:complexType>
            <xs:attribute name="name" type="xs:string" use="required"/>
            <xs:attribute name="port" type="xs:unsignedShort"/>
          </xs:complexType>
        </xs:element>
      </xs:sequence>
    </xs:complexType>
  </xs:element>
</xs:schema>
)";

}  // namespace

TEST(SAXXMLTree, BuildsTheTreeOfLocalNamesAttributesAndText) {
    auto root = Parse("<a x=\"1\"><b>t</b>u</a>");
    EXPECT_EQ(root->name, "a");
    EXPECT_EQ(root->GetAttribute("x"), "1");
    EXPECT_EQ(root->text, "u");
    ASSERT_EQ(root->children.size(), 1u);
    EXPECT_EQ(root->children[0].name, "b");
    EXPECT_EQ(root->children[0].text, "t");
    EXPECT_THROW(root->GetAttribute("y"), NoSuchAttribute);

    auto empty = Parse("<a/>");
    EXPECT_EQ(empty->GetText().begin, nullptr);
    EXPECT_TRUE(empty->GetText().IsEmpty());

    auto mixed =
        Parse("<?xml version='1.0'?>\n<!-- c --><r>\n <x>1</x>\n <?pi data?><![CDATA[<c>]]>&#xe9;&lt;</r>");
    EXPECT_EQ(mixed->text, "\n \n <c>\xC3\xA9<");
    EXPECT_EQ(mixed->children.size(), 1u);
}

TEST(SAXXMLTree, KeepsTheLaterOfTwoAttributesWithTheSameLocalName) {
    auto root = Parse(
        "<p:a xmlns:p=\"urn:p\" xmlns:q=\"urn:q\" xmlns:r=\"urn:r\" q:x=\"1\" y=\"3\" "
        "r:x=\"2\"><p:b/></p:a>");
    EXPECT_EQ(root->name, "a");
    EXPECT_EQ(root->attributes, (XMLAttributeMap{{"x", "2"}, {"y", "3"}}));
    EXPECT_EQ(root->children.at(0).name, "b");
}

TEST(SAXXMLTree, ReadsOtherEncodingsAsUTF8) {
    std::u16string utf16 = u"\uFEFF<\u00E9t\u00E9 v=\"\u20AC\">\U0001F600</\u00E9t\u00E9>";
    auto fromUTF16 = ParseXMLDocument(ConstData(utf16.data(), utf16.size() * 2));
    EXPECT_EQ(fromUTF16->name, "\xC3\xA9t\xC3\xA9");
    EXPECT_EQ(fromUTF16->GetAttribute("v"), "\xE2\x82\xAC");
    EXPECT_EQ(fromUTF16->text, "\xF0\x9F\x98\x80");

    auto fromLatin1 = Parse("<?xml version=\"1.0\" encoding=\"ISO-8859-1\"?><a>caf\xE9</a>");
    EXPECT_EQ(fromLatin1->text, "caf\xC3\xA9");
}

TEST(SAXXMLTree, ExpandsInternalEntitiesButLoadsNothingFromOutside) {
    auto internal = Parse("<!DOCTYPE a [<!ENTITY e \"<b>x</b>y\"><!ENTITY v \"w\">]><a k='&v;!'>&e;&e;</a>");
    EXPECT_EQ(internal->text, "yy");
    EXPECT_EQ(internal->children.size(), 2u);
    EXPECT_EQ(internal->GetAttribute("k"), "w!");

    WatchedPort port;
    const std::string outside[] = {
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"file:///etc/passwd\">]><a>&x;</a>",
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"/etc/passwd\">]><a>&x;</a>",
        "<!DOCTYPE a [<!ENTITY % p SYSTEM \"file:///etc/passwd\"> %p;]><a>t</a>",
        "<!DOCTYPE a SYSTEM \"/etc/passwd\"><a>t</a>",
        "<!DOCTYPE a [<!ENTITY x SYSTEM \"" + port.URL("entity") + "\">]><a>&x;</a>",
        "<!DOCTYPE a [<!ENTITY % p SYSTEM \"" + port.URL("parameter") + "\"> %p;]><a>t</a>",
        "<!DOCTYPE a SYSTEM \"" + port.URL("dtd") + "\"><a>t</a>",
        "<a xmlns:xi=\"http://www.w3.org/2001/XInclude\"><xi:include href=\"/etc/passwd\" "
        "parse=\"text\"/></a>",
    };
    for (const std::string& document : outside) {
        std::unique_ptr<XMLTreeNode> root;
        ASSERT_NO_THROW(root = Parse(document)) << document;
        EXPECT_EQ(root->text.find("root:"), std::string::npos) << document;
        EXPECT_TRUE(root->text == "t" || root->text.empty()) << document << ": " << root->text;
    }
    EXPECT_FALSE(port.WasContacted());

    EXPECT_EQ(ParseError("<!DOCTYPE a [<!ENTITY x SYSTEM \"/etc/passwd\">]><a v='&x;'/>"),
              ParsingError("Attribute references external entity 'x'", 1, 57));
}

TEST(SAXXMLTree, RefusesEntityBombs) {
    for (const std::string& use : {std::string("<lolz>&lol9;</lolz>"), std::string("<lolz v='&lol9;'/>")}) {
        std::string error = ParseError(EntityBomb(use));
        EXPECT_EQ(error.rfind("XML parsing error:\r\n  ", 0), 0u) << error;
    }
}

TEST(SAXXMLTree, ReportsTheFirstErrorWithItsPosition) {
    struct Case {
        std::string document;
        std::string message;
    };
    const Case cases[] = {
        {"<a><b>t</b>", ParsingError("Premature end of data in tag a line 1", 1, 12)},
        {"<a>\n <b>\n</a>", ParsingError("Opening and ending tag mismatch: b line 2 and a", 3, 5)},
        {"", ParsingError("Document is empty", 1, 1)},
        {"<a>&undefined;</a>", ParsingError("Entity 'undefined' not defined", 1, 15)},
        {"<a x='1' x='2'/>", ParsingError("Attribute x redefined", 1, 15)},
        {"<a>\xFF</a>",
         ParsingError("Input is not proper UTF-8, indicate encoding !\nBytes: 0xFF 0x3C 0x2F 0x61", 1, 4)},
        {"<a/><b/>", ParsingError("Extra content at the end of the document", 1, 5)},
        // Taken for UCS-4 by its first bytes; the switch to that encoding fails.
        {std::string("<\0\0\0\0\0\0\0a>", 10),
         ParsingError("input conversion failed due to input error, bytes 0x00 0x00 0x00 0x00", 1, 1)},
    };
    for (const Case& c : cases) EXPECT_EQ(ParseError(c.document), c.message) << c.document;
}

// The position is the parser's when it found the error: the end of the start tag, which for an
// empty-element tag is its "/>".
TEST(SAXXMLTree, ValidatesAgainstASchemaFile) {
    TemporaryFolder folder;
    FileLocation schema((folder / "servers.xsd").c_str());
    WriteWholeFile(ConstData(std::string_view(kServerListSchema)), schema);

    auto valid = ParseXMLDocument(
        ConstData(
            std::string_view("<list xmlns=\"urn:relay:test\"><server name=\"a\" port=\"52311\"/></list>")),
        schema, "urn:relay:test");
    EXPECT_EQ(valid->children.at(0).GetAttribute("name"), "a");

    const std::string wrongElement =
        "<?xml version=\"1.0\"?>\n<list xmlns=\"urn:relay:test\">\n"
        "  <server name=\"a\"/>\n  <bogus/>\n</list>\n";
    EXPECT_EQ(ParseError(wrongElement, schema, "urn:relay:test"),
              ParsingError("Element '{urn:relay:test}bogus': This element is not expected. Expected is ( "
                           "{urn:relay:test}server ).",
                           4, 9));
    const std::string badValue = "<list xmlns=\"urn:relay:test\">\n<server name=\"a\" port=\"x\"/></list>";
    EXPECT_EQ(
        ParseError(badValue, schema, "urn:relay:test"),
        ParsingError("Element '{urn:relay:test}server', attribute 'port': 'x' is not a valid value of the "
                     "atomic type 'xs:unsignedShort'.",
                     2, 26));
    EXPECT_EQ(ParseError("<list/>", schema, "urn:relay:test"),
              ParsingError(
                  "Element 'list': No matching global declaration available for the validation root.", 1, 6));
}

TEST(SAXXMLTree, ChecksTheSchemaFileBeforeParsing) {
    TemporaryFolder folder;
    FileLocation missing((folder / "missing.xsd").c_str());
    EXPECT_EQ(ParseError("not even XML", missing, "urn:relay:test"),
              "XML schema file '" + folder / "missing.xsd" + "' does not exist.");
    EXPECT_EQ(ParseError("<a/>", FileLocation(folder.Path().c_str()), "urn:relay:test"),
              "XML schema file '" + folder.Path() + "' does not exist.");

    FileLocation schema((folder / "servers.xsd").c_str());
    WriteWholeFile(ConstData(std::string_view(kServerListSchema)), schema);
    EXPECT_THROW(ParseXMLDocument(ConstData(std::string_view("<list/>")), schema, "urn:other"),
                 PosixPlatform::XMLSchemaError);

    FileLocation broken((folder / "broken.xsd").c_str());
    WriteWholeFile(ConstData(std::string_view("<xs:schema xmlns:xs=\"http://www.w3.org/2001/XMLSchema\">")),
                   broken);
    EXPECT_THROW(ParseXMLDocument(ConstData(std::string_view("<list/>")), broken, ""),
                 PosixPlatform::XMLSchemaError);
}
