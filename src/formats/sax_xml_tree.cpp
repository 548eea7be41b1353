#include "formats/sax_xml_tree.h"

#include <initializer_list>
#include <string>

#include "base/const_data_reader.h"
#include "formats/message_templates.h"
#include "foundation/file_item.h"
#include "foundation/log_manager.h"
#include "foundation/whole_file.h"
#include "platform/sax_xml_reader.h"

namespace {

constexpr const char kSchemaFileNotFoundTemplate[] = "XML schema file '{schema}' does not exist.";
constexpr const char kParsingErrorTemplate[] =
    "XML parsing error:{_crlf}  {reason}  Line {line}, Character {character}";

std::string FilledTemplate(const char* templateText, std::initializer_list<std::string_view> values) {
    std::vector<OptionalText> arguments;
    for (std::string_view value : values) arguments.emplace_back(ConstData(value));
    ConstData text = ConstDataOfCString(templateText);
    return FormatToString(text, FormatText(text, arguments));
}

std::string ParsingErrorText(const PosixPlatform::SAXParseError& error) {
    return FilledTemplate(kParsingErrorTemplate,
                          {error.reason, std::to_string(error.line), std::to_string(error.column)});
}

// Hands the parser's events to a receiver, one value per attribute local name, and its warnings to
// the "debug" log.
class ReceiverForwarder : public PosixPlatform::SAXContentHandler {
  public:
    explicit ReceiverForwarder(XMLReceiver& receiver) : m_receiver(receiver) {}

    void StartElement(ConstData localName, std::span<const PosixPlatform::SAXAttribute> attributes) override {
        m_attributes.clear();
        for (const auto& attribute : attributes)
            m_attributes.insert_or_assign(std::string(attribute.localName.View()),
                                          std::string(attribute.value.View()));
        m_receiver.StartElement(localName, m_attributes);
    }
    void EndElement() override { m_receiver.EndElement(); }
    void Characters(ConstData text) override { m_receiver.Characters(text); }
    void Warning(const PosixPlatform::SAXParseError& warning) override {
        KVR_LOG("debug") << ParsingErrorText(warning);
    }

  private:
    XMLReceiver& m_receiver;
    XMLAttributeMap m_attributes;
};

std::unique_ptr<PosixPlatform::XMLSchema> LoadSchema(const FileLocation& schemaFile,
                                                     std::string_view schemaNamespace) {
    FileAttributes attributes(schemaFile);
    if (!attributes.Exists() || attributes.IsDirectory()) throw XMLSchemaFileNotFound(schemaFile);
    std::vector<Byte> schema = ReadWholeFile(schemaFile);
    return std::make_unique<PosixPlatform::XMLSchema>(ConstData(schema.data(), schema.size()),
                                                      schemaNamespace);
}

}  // namespace

XMLSchemaFileNotFound::XMLSchemaFileNotFound(const FileLocation& schemaFile)
    : ExceptionPL(FilledTemplate(kSchemaFileNotFoundTemplate, {schemaFile.GetConstData().View()})) {}

void XMLTreeParser::StartElement(ConstData name, const XMLAttributeMap& attributes) {
    XMLTreeNode node{.name = std::string(name.View()), .attributes = attributes};
    XMLTreeNode* stored;
    if (m_open.empty()) {
        m_root = std::make_unique<XMLTreeNode>(std::move(node));
        stored = m_root.get();
    } else {
        stored = &m_open.back()->children.emplace_back(std::move(node));
    }
    m_open.push_back(stored);
}

void XMLTreeParser::EndElement() {
    if (!m_open.empty()) m_open.pop_back();
}

void XMLTreeParser::Characters(ConstData text) {
    if (!m_open.empty()) m_open.back()->text.append(text.View());
}

std::unique_ptr<XMLTreeNode> XMLTreeParser::TakeRoot() {
    m_open.clear();
    return std::move(m_root);
}

std::unique_ptr<XMLTreeNode> ParseXMLDocument(ConstData document, const FileLocation& schemaFile,
                                              std::string_view schemaNamespace) {
    std::unique_ptr<PosixPlatform::XMLSchema> schema;
    if (!schemaFile.IsEmpty()) schema = LoadSchema(schemaFile, schemaNamespace);

    XMLTreeParser builder;
    ReceiverForwarder forwarder(builder);
    ConstDataReader reader(document);
    std::optional<PosixPlatform::SAXParseError> error =
        PosixPlatform::ParseXMLWithSAX(reader, forwarder, schema.get());
    if (error) throw ExceptionPL(ParsingErrorText(*error));
    std::unique_ptr<XMLTreeNode> root = builder.TakeRoot();
    if (!root) throw FormatError();
    return root;
}
