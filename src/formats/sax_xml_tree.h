// Parsing XML from outside the relay (documents from servers) into a tree of XMLTreeNode, through the
// platform's validating SAX parser (platform/sax_xml_reader.h: no network, no external entities, no
// external DTD), optionally against an XML schema.
//
// XMLReceiver is the shape of the parser's events; XMLTreeParser is the receiver that builds the
// tree. ParseXMLDocument runs the whole parse:
// - a schema file is given: XMLSchemaFileNotFound before any parsing when it does not exist (or is a
//   directory); a schema that does not compile, or whose target namespace is not the one given,
//   throws PosixPlatform::XMLSchemaError; file errors of reading it pass through;
// - the document is not well-formed or breaks the schema: ExceptionPL "XML parsing error:" CR LF,
//   two spaces, the parser's reason, two spaces, "Line <l>, Character <c>", for the first error;
// - the receiver or the parser fails: that exception, never a half-built tree;
// - no element at all: FormatError.
// The parser's warnings go, in the same form as errors, to the "debug" log when it is enabled.
// Each call works on its own objects; calls may run on several threads at once.
#pragma once

#include <memory>
#include <string_view>
#include <vector>

#include "base/exceptions.h"
#include "base/file_location.h"
#include "formats/xml_tree_node.h"

class XMLSchemaFileNotFound : public ExceptionPL {
  public:
    explicit XMLSchemaFileNotFound(const FileLocation& schemaFile);
};

// The events of a parsed document; names are local names, all text UTF-8, and the arguments are
// valid only during the call. Every event does nothing unless overridden.
class XMLReceiver {
  public:
    virtual ~XMLReceiver() = default;
    // `attributes` holds one value per local name: of two attributes with the same local name in
    // different namespaces, the later.
    virtual void StartElement(ConstData name, const XMLAttributeMap& attributes) {}
    virtual void EndElement() {}
    virtual void Characters(ConstData text) {}
};

class XMLTreeParser : public XMLReceiver {
  public:
    void StartElement(ConstData name, const XMLAttributeMap& attributes) override;
    void EndElement() override;
    void Characters(ConstData text) override;

    // Hands the tree over; null when no element has started.
    std::unique_ptr<XMLTreeNode> TakeRoot();

  private:
    std::unique_ptr<XMLTreeNode> m_root;
    // The open elements, innermost last. They point into the tree: an open element's children only
    // grow while it is the innermost, so the pointers to it and its ancestors stay valid.
    std::vector<XMLTreeNode*> m_open;
};

// The root of the document [document.begin, document.end). With an empty `schemaFile` the document is
// not validated; otherwise `schemaNamespace` is the schema's target namespace.
std::unique_ptr<XMLTreeNode> ParseXMLDocument(ConstData document,
                                              const FileLocation& schemaFile = FileLocation(),
                                              std::string_view schemaNamespace = {});
