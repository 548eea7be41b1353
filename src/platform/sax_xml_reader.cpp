#include "platform/sax_xml_reader.h"

#include <libxml/SAX2.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/schemasInternals.h>
#include <libxml/xmlerror.h>
#include <libxml/xmlschemas.h>

#include <algorithm>
#include <climits>
#include <exception>
#include <mutex>
#include <new>
#include <vector>

// libxml2 is a C library: no exception may cross its frames. Every callback catches what the relay's
// code throws and keeps the exception, which ParseXMLWithSAX throws again after the parser is gone.
//
// The parser is never halted from a callback: in this libxml2 (2.9) halting frees the input buffer,
// which the code that raised an error may still be using (an encoding switch that fails, for one).
// Instead, once an error or an exception is kept, no further content reaches the handler; libxml2
// stops by itself after a fatal error, and after any other error it reads the rest of the input
// without effect.
//
// Errors are taken through the thread's structured error handler rather than the SAX handler's: the
// schema validator, once plugged into the SAX stream, does not pass the SAX handler's error callback
// on, and its own messages and the parser's must reach the same place. The generic error handler is
// silenced for the same span, as some validator paths print debugging texts through it.

namespace PosixPlatform {
namespace {

// Stands in for libxml2's loader of external DTDs, entities and schema parts: nothing is loaded,
// from the file system or the network.
xmlParserInputPtr RefuseExternalResource(const char*, const char*, xmlParserCtxtPtr) {
    return nullptr;
}

void InitializeLibxml() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        xmlSetExternalEntityLoader(RefuseExternalResource);
    });
}

void IgnoreGenericError(void*, const char*, ...) {}

// The thread's error handlers for the life of one parse or schema compilation.
class ErrorRedirection {
  public:
    ErrorRedirection(xmlStructuredErrorFunc handler, void* context)
        : m_structured(xmlStructuredError),
          m_structuredContext(xmlStructuredErrorContext),
          m_generic(xmlGenericError),
          m_genericContext(xmlGenericErrorContext) {
        xmlSetStructuredErrorFunc(context, handler);
        xmlSetGenericErrorFunc(nullptr, IgnoreGenericError);
    }
    ~ErrorRedirection() {
        xmlSetStructuredErrorFunc(m_structuredContext, m_structured);
        xmlSetGenericErrorFunc(m_genericContext, m_generic);
    }
    ErrorRedirection(const ErrorRedirection&) = delete;
    ErrorRedirection& operator=(const ErrorRedirection&) = delete;

  private:
    xmlStructuredErrorFunc m_structured;
    void* m_structuredContext;
    xmlGenericErrorFunc m_generic;
    void* m_genericContext;
};

std::string ReasonOf(const xmlError* error) {
    std::string reason = error->message ? error->message : "unknown error";
    while (!reason.empty() && (reason.back() == '\n' || reason.back() == ' ')) reason.pop_back();
    return reason;
}

ConstData TextOf(const xmlChar* text) {
    return ConstDataOfCString(reinterpret_cast<const char*>(text));
}

// The first error-level message of a schema compilation, positioned as libxml2 gives it.
void KeepFirstSchemaError(void* context, xmlErrorPtr error) {
    auto* first = static_cast<std::optional<SAXParseError>*>(context);
    if (error->level < XML_ERR_ERROR || first->has_value()) return;
    try {
        *first = SAXParseError{ReasonOf(error), error->line, error->int2};
    } catch (...) {
        // Out of memory for the text: the compilation fails without it.
    }
}

struct SchemaParserRelease {
    void operator()(xmlSchemaParserCtxtPtr context) const { xmlSchemaFreeParserCtxt(context); }
};

// Everything a parse's callbacks share; reached through the parser context's _private field, which
// libxml2 also hands on to the contexts it opens for entity contents.
struct ParseState {
    ParseState(DataReader& reader, SAXContentHandler& handler) : reader(reader), handler(handler) {}

    bool Stopped() const { return error.has_value() || failure != nullptr; }

    DataReader& reader;
    SAXContentHandler& handler;
    xmlParserCtxtPtr parser = nullptr;
    std::optional<SAXParseError> error;
    std::exception_ptr failure;
    // The current start tag's attribute values and the views of them handed to the handler.
    std::vector<std::string> values;
    std::vector<SAXAttribute> attributes;
};

ParseState& StateOf(void* callbackContext) {
    return *static_cast<ParseState*>(static_cast<xmlParserCtxtPtr>(callbackContext)->_private);
}

// Runs one content event unless an error or exception has been kept, keeping any exception it throws.
template <class Event>
void Deliver(void* callbackContext, Event&& event) {
    ParseState& state = StateOf(callbackContext);
    if (state.Stopped()) return;
    try {
        event(state);
    } catch (...) {
        state.failure = std::current_exception();
    }
}

struct XmlCharsRelease {
    void operator()(xmlChar* text) const { xmlFree(text); }
};

// An attribute value as the parser leaves it still holds references to the document's own entities
// ("&e;"; character references and the predefined entities are already replaced): they are expanded
// here, as the tree builder of libxml2 would. Nothing when the expansion fails, which the parser has
// reported as an error.
std::optional<std::string> ExpandedAttributeValue(void* context, const xmlChar* begin, const xmlChar* end) {
    std::size_t length = static_cast<std::size_t>(end - begin);
    if (std::find(begin, end, '&') == end) return std::string(reinterpret_cast<const char*>(begin), length);
    std::unique_ptr<xmlChar, XmlCharsRelease> expanded(
        xmlStringLenDecodeEntities(static_cast<xmlParserCtxtPtr>(context), begin, static_cast<int>(length),
                                   XML_SUBSTITUTE_REF, 0, 0, 0));
    if (!expanded) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(expanded.get()));
}

void OnStartElement(void* context, const xmlChar* localName, const xmlChar*, const xmlChar*, int,
                    const xmlChar**, int attributeCount, int, const xmlChar** attributes) {
    Deliver(context, [&](ParseState& state) {
        state.values.clear();
        state.attributes.clear();
        // Five pointers per attribute: local name, prefix, namespace, value begin, value end.
        for (int i = 0; i < attributeCount; ++i) {
            const xmlChar** attribute = attributes + 5 * i;
            std::optional<std::string> value = ExpandedAttributeValue(context, attribute[3], attribute[4]);
            if (!value) return;
            state.values.push_back(std::move(*value));
        }
        for (int i = 0; i < attributeCount; ++i)
            state.attributes.push_back({TextOf(attributes[5 * i]), ConstData(state.values[i])});
        state.handler.StartElement(TextOf(localName), state.attributes);
    });
}

void OnEndElement(void* context, const xmlChar*, const xmlChar*, const xmlChar*) {
    Deliver(context, [](ParseState& state) { state.handler.EndElement(); });
}

void OnCharacters(void* context, const xmlChar* text, int length) {
    Deliver(context, [&](ParseState& state) {
        state.handler.Characters(ConstData(text, static_cast<std::size_t>(length)));
    });
}

xmlParserInputPtr OnResolveEntity(void*, const xmlChar*, const xmlChar*) {
    return nullptr;
}

// Keeps the first error-level message with the parser's current position; warnings pass.
void OnParseError(void* context, xmlErrorPtr error) {
    auto& state = *static_cast<ParseState*>(context);
    if (error->level < XML_ERR_ERROR || state.Stopped()) return;
    try {
        state.error = SAXParseError{ReasonOf(error), xmlSAX2GetLineNumber(state.parser),
                                    xmlSAX2GetColumnNumber(state.parser)};
    } catch (...) {
        state.failure = std::current_exception();
    }
}

// Pulls the next bytes; 0 only at the reader's end.
int ReadDocument(void* context, char* buffer, int length) {
    auto& state = *static_cast<ParseState*>(context);
    try {
        OutputRange range(buffer, static_cast<std::size_t>(length));
        while (range.begin == reinterpret_cast<Byte*>(buffer) && !range.IsFull() && !state.reader.AtEnd())
            state.reader.ReadSome(range);
        return static_cast<int>(range.begin - reinterpret_cast<Byte*>(buffer));
    } catch (...) {
        if (!state.failure) state.failure = std::current_exception();
        return -1;
    }
}

// SAX2 with the tree-building defaults that keep the document type declaration (so that internal
// entities resolve), and the relay's own content events. Comments, processing instructions and
// entity-reference nodes are not wanted; external subsets and entities are never resolved. Ignorable
// white space and CDATA go to the text, as the schema validator passes CDATA on as white space.
xmlSAXHandler ContentHandlerCallbacks() {
    xmlSAXHandler callbacks;
    xmlSAXVersion(&callbacks, 2);
    callbacks.startElementNs = OnStartElement;
    callbacks.endElementNs = OnEndElement;
    callbacks.characters = OnCharacters;
    callbacks.ignorableWhitespace = OnCharacters;
    callbacks.cdataBlock = OnCharacters;
    callbacks.comment = nullptr;
    callbacks.processingInstruction = nullptr;
    callbacks.reference = nullptr;
    callbacks.externalSubset = nullptr;
    callbacks.resolveEntity = OnResolveEntity;
    return callbacks;
}

struct ParserRelease {
    void operator()(xmlParserCtxtPtr parser) const {
        if (parser->myDoc != nullptr) xmlFreeDoc(parser->myDoc);
        xmlFreeParserCtxt(parser);
    }
};

struct ValidatorRelease {
    void operator()(xmlSchemaValidCtxtPtr validator) const { xmlSchemaFreeValidCtxt(validator); }
};

// The schema validator plugged into a parser's SAX stream while it lives; it must be unplugged before
// the parser is freed.
class SchemaValidation {
  public:
    SchemaValidation(const XMLSchema* schema, xmlParserCtxtPtr parser, ParseState& state) {
        if (schema == nullptr) return;
        m_validator.reset(xmlSchemaNewValidCtxt(schema->Get()));
        if (!m_validator) throw std::bad_alloc();
        xmlSchemaSetValidStructuredErrors(m_validator.get(), OnParseError, &state);
        m_plug = xmlSchemaSAXPlug(m_validator.get(), &parser->sax, &parser->userData);
        if (m_plug == nullptr) throw std::bad_alloc();
    }
    ~SchemaValidation() {
        if (m_plug != nullptr) xmlSchemaSAXUnplug(m_plug);
    }
    SchemaValidation(const SchemaValidation&) = delete;
    SchemaValidation& operator=(const SchemaValidation&) = delete;

    bool FoundValid() const { return !m_validator || xmlSchemaIsValid(m_validator.get()) == 1; }

  private:
    std::unique_ptr<xmlSchemaValidCtxt, ValidatorRelease> m_validator;
    xmlSchemaSAXPlugPtr m_plug = nullptr;
};

}  // namespace

void XMLSchema::Release::operator()(_xmlSchema* schema) const {
    xmlSchemaFree(schema);
}

XMLSchema::XMLSchema(ConstData document, std::string_view targetNamespace) {
    InitializeLibxml();
    if (document.IsEmpty()) throw XMLSchemaError("Invalid XML schema: the schema document is empty");
    if (document.Length() > INT_MAX)
        throw XMLSchemaError("Invalid XML schema: the schema document is too large");
    std::optional<SAXParseError> error;
    ErrorRedirection redirection(KeepFirstSchemaError, &error);
    std::unique_ptr<xmlSchemaParserCtxt, SchemaParserRelease> parser(
        xmlSchemaNewMemParserCtxt(document.Chars(), static_cast<int>(document.Length())));
    if (!parser) throw std::bad_alloc();
    xmlSchemaSetParserStructuredErrors(parser.get(), KeepFirstSchemaError, &error);
    m_schema.reset(xmlSchemaParse(parser.get()));
    if (!m_schema) {
        if (!error) throw XMLSchemaError("Invalid XML schema");
        throw XMLSchemaError("Invalid XML schema: " + error->reason + "  Line " +
                             std::to_string(error->line) + ", Character " + std::to_string(error->column));
    }
    std::string_view actual =
        m_schema->targetNamespace ? TextOf(m_schema->targetNamespace).View() : std::string_view();
    if (actual != targetNamespace) {
        throw XMLSchemaError("XML schema with target namespace '" + std::string(actual) + "' used for '" +
                             std::string(targetNamespace) + "'");
    }
}

std::optional<SAXParseError> ParseXMLWithSAX(DataReader& document, SAXContentHandler& handler,
                                             const XMLSchema* schema) {
    InitializeLibxml();
    ParseState state(document, handler);
    ErrorRedirection redirection(OnParseError, &state);
    xmlSAXHandler callbacks = ContentHandlerCallbacks();
    std::unique_ptr<xmlParserCtxt, ParserRelease> parser(
        xmlCreateIOParserCtxt(&callbacks, nullptr, ReadDocument, nullptr, &state, XML_CHAR_ENCODING_NONE));
    if (!parser) {
        if (state.failure) std::rethrow_exception(state.failure);
        throw std::bad_alloc();
    }
    parser->_private = &state;
    state.parser = parser.get();
    xmlCtxtUseOptions(parser.get(), XML_PARSE_NONET);

    bool complete;
    {
        SchemaValidation validation(schema, parser.get(), state);
        int result = xmlParseDocument(parser.get());
        complete = result == 0 && parser->wellFormed && validation.FoundValid();
    }
    if (state.failure) std::rethrow_exception(state.failure);
    if (state.error) return state.error;
    if (!complete) {
        return SAXParseError{"The parser stopped without naming an error", xmlSAX2GetLineNumber(parser.get()),
                             xmlSAX2GetColumnNumber(parser.get())};
    }
    return std::nullopt;
}

}  // namespace PosixPlatform
