// Header values from the network: the structured-field tokenizer, the content-type reader and the
// encoded-word decoder over arbitrary bytes must never fail (a content type's micalg name longer
// than its buffer excepted) and must give the same result whether the value arrives whole or in
// chunks. The first input byte sets the chunk size.

#include <cstdint>
#include <cstdlib>
#include <string>

#include "formats/content_type.h"
#include "formats/structured_fields.h"
#include "formats/text_header_decoder.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

// Appends each element or piece as "<kind>" + its bytes, to one text.
class Recorder : public DataReceiver, public DataWriter {
  public:
    Recorder& Named(std::string& text, std::string kind) {
        m_text = &text;
        m_kind = std::move(kind);
        return *this;
    }
    void Begin() override { *m_text += "<" + m_kind + ">"; }
    void Receive(const Byte* begin, const Byte* end) override { m_text->append(begin, end); }
    void End() override { *m_text += "</>"; }

  private:
    std::string* m_text = nullptr;
    std::string m_kind;
};

class FieldRecorder : public StructuredFieldReceiver {
  public:
    FieldRecorder() : StructuredFieldReceiver(CharacterClass().Add("/=")) {}
    void Special(Byte c) override { text += static_cast<char>(c); }
    DataReceiver& Token() override { return m_element.Named(text, "t"); }
    DataReceiver& QuotedString() override { return m_element.Named(text, "q"); }
    DataReceiver& DomainLiteral() override { return m_element.Named(text, "d"); }
    DataReceiver& Comment() override { return m_element.Named(text, "c"); }

    std::string text;

  private:
    Recorder m_element;
};

class PieceRecorder : public MulticharsetTextReceiver {
  public:
    void Begin() override {}
    DataReceiver& TextInDefaultCharset() override { return m_piece.Named(text, ""); }
    DataReceiver& TextInCharset(ConstData name) override {
        return m_piece.Named(text, std::string(name.View()));
    }
    void End() override {}

    std::string text;

  private:
    Recorder m_piece;
};

void Feed(DataReceiver& receiver, ConstData value, std::size_t chunk) {
    receiver.Begin();
    for (const Byte* at = value.begin; at < value.end;) {
        const Byte* end = static_cast<std::size_t>(value.end - at) < chunk ? value.end : at + chunk;
        receiver.Receive(at, end);
        at = end;
    }
    receiver.End();
}

std::string Fields(ConstData value, std::size_t chunk) {
    FieldRecorder recorder;
    StructuredFieldMaker maker(recorder);
    Feed(maker, value, chunk);
    return recorder.text;
}

std::string ContentType(ConstData value, std::size_t chunk) {
    ContentTypeReceiver receiver;
    StructuredFieldMaker maker(receiver);
    try {
        Feed(maker, value, chunk);
    } catch (const DataOverflow&) {
        return "overflow";
    }
    return std::to_string(receiver.Type()) + "/" + std::to_string(receiver.Subtype()) + ";" +
           std::string(receiver.Boundary().View()) + ";" + std::string(receiver.TypeParameter().View()) +
           ";" + std::string(receiver.Charset().View()) + ";" + std::string(receiver.Protocol().View()) +
           ";" + std::to_string(receiver.HashAlgorithms());
}

std::string Pieces(ConstData value, std::size_t chunk) {
    PieceRecorder recorder;
    TextHeaderDecoder decoder(recorder);
    Feed(decoder, value, chunk);
    return recorder.text;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    std::size_t chunk = data[0] % 16 + 1;
    ConstData value(data + 1, size - 1);
    std::size_t whole = value.Length() + 1;
    Check(Fields(value, chunk) == Fields(value, whole));
    Check(ContentType(value, chunk) == ContentType(value, whole));
    Check(Pieces(value, chunk) == Pieces(value, whole));
    return 0;
}
