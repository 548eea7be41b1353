// The relay's validating SAX parser for XML from outside (documents from servers), over libxml2's
// SAX2 interface and its XSD validator.
//
// Hostile documents are expected:
// - nothing is ever fetched: no network, no external DTD subset, no external entity. libxml2's
//   process-wide external-entity loader is replaced, on first use, by one that refuses everything,
//   so a reference to an external entity stands for nothing;
// - document type declarations and internal subsets are accepted; internal entities expand through
//   the content events;
// - libxml2's limits stay on: nesting depth, text size and entity amplification.
// Names and texts reach the handler in UTF-8 whatever the document's encoding.
//
// The first error, of well-formedness or of validation, ends the parse: the handler hears nothing
// after it. Its position is the parser's when the error was found (the end of the start tag for an
// element the schema refuses).
//
// A parse runs on the calling thread; separate parses may run on separate threads at once.
#pragma once

#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "base/exceptions.h"

struct _xmlSchema;

namespace PosixPlatform {

// An attribute by its local name (without prefix); valid only during the call that reports it.
struct SAXAttribute {
    ConstData localName;
    ConstData value;
};

// Why and where a parse stopped, or what the parser warns of. Lines and columns count from 1.
struct SAXParseError {
    std::string reason;
    int line = 0;
    int column = 0;
};

// Receives the content of a document and the parser's warnings. An exception thrown from a content
// event ends the parse (the handler hears nothing more) and is thrown again by ParseXMLWithSAX.
class SAXContentHandler {
  public:
    virtual ~SAXContentHandler() = default;
    // The element's local name and its attributes in document order (namespace declarations are not
    // attributes).
    virtual void StartElement(ConstData localName, std::span<const SAXAttribute> attributes) = 0;
    virtual void EndElement() = 0;
    // Character data, CDATA sections included, in any number of pieces.
    virtual void Characters(ConstData text) = 0;
    // A warning of the parser, which goes on; an exception thrown here is dropped.
    virtual void Warning(const SAXParseError& warning) {}
};

// A schema that cannot be compiled, or whose target namespace is not the one expected.
class XMLSchemaError : public ExceptionPL {
  public:
    using ExceptionPL::ExceptionPL;
};

// A compiled XML schema (XSD). Its own includes and imports are refused, like every other resource:
// the schema must be one self-contained document. Immutable once built.
class XMLSchema {
  public:
    // Compiles the schema; `targetNamespace` must be the schema's target namespace (empty for a
    // schema without one). XMLSchemaError otherwise.
    XMLSchema(ConstData document, std::string_view targetNamespace);

    _xmlSchema* Get() const { return m_schema.get(); }

  private:
    struct Release {
        void operator()(_xmlSchema* schema) const;
    };
    std::unique_ptr<_xmlSchema, Release> m_schema;
};

// Parses the document read from `document` (pulled until the reader is at its end), reporting its
// content to `handler` and, when a schema is given, validating it. Returns the error that stopped the
// parse, or nothing when the whole document was read and is well-formed (and valid). An exception of
// the handler or of the reader is thrown again once the parser is released; a parse that ends without
// having read the whole document, and without naming an error, is still an error.
std::optional<SAXParseError> ParseXMLWithSAX(DataReader& document, SAXContentHandler& handler,
                                             const XMLSchema* schema = nullptr);

}  // namespace PosixPlatform
