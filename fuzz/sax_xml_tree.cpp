// Feeds arbitrary bytes to the XML tree over the platform's SAX parser, without and with schema
// validation, and checks that the two agree where they must: a document that is refused without a
// schema is refused with one too, and a parse that succeeds always yields a root.
//
// Input: the whole input is the document.

#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "base/const_data_reader.h"
#include "formats/sax_xml_tree.h"
#include "platform/sax_xml_reader.h"

namespace {

constexpr std::string_view kSchema = R"(<xs:schema xmlns:xs="http://www.w3.org/2001/XMLSchema">
  <xs:element name="list"><xs:complexType><xs:sequence>
    <xs:element name="server" minOccurs="0" maxOccurs="unbounded"><xs:complexType mixed="true">
      <xs:attribute name="name" type="xs:string" use="required"/>
      <xs:attribute name="port" type="xs:unsignedShort"/>
    </xs:complexType></xs:element>
  </xs:sequence></xs:complexType></xs:element>
</xs:schema>)";

class Counter : public PosixPlatform::SAXContentHandler {
  public:
    void StartElement(ConstData, std::span<const PosixPlatform::SAXAttribute>) override { ++depth; }
    void EndElement() override { --depth; }
    void Characters(ConstData) override {}
    int depth = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    ConstData document(data, size);
    bool parsed = false;
    try {
        if (!ParseXMLDocument(document)) std::abort();
        parsed = true;
    } catch (const ExceptionPL&) {
    }

    static const PosixPlatform::XMLSchema schema(ConstData(kSchema), "");
    Counter counter;
    ConstDataReader reader(document);
    std::optional<PosixPlatform::SAXParseError> error =
        PosixPlatform::ParseXMLWithSAX(reader, counter, &schema);
    if (!parsed && !error) std::abort();
    if (!error && counter.depth != 0) std::abort();
    return 0;
}
