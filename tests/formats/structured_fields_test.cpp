#include "formats/structured_fields.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "formats/chunked_input_support.h"

namespace {

// Records the elements as "kind(content)" words, specials as the character alone.
class RecordingFieldReceiver : public StructuredFieldReceiver {
  public:
    explicit RecordingFieldReceiver(const char* extraSpecials, const char* specialsInTokens = "")
        : StructuredFieldReceiver(CharacterClass().Add(extraSpecials),
                                  CharacterClass().Add(specialsInTokens)) {}

    void Begin() override { text += "<"; }
    void Special(Byte c) override { text += std::string(1, static_cast<char>(c)) + " "; }
    DataReceiver& Token() override { return m_element.Named(text, "token"); }
    DataReceiver& QuotedString() override { return m_element.Named(text, "quoted"); }
    DataReceiver& DomainLiteral() override { return m_element.Named(text, "literal"); }
    DataReceiver& Comment() override { return m_element.Named(text, "comment"); }
    void End() override { text += ">"; }

    std::string text;

  private:
    class Element : public DataReceiver, public DataWriter {
      public:
        Element& Named(std::string& text, const char* kind) {
            m_text = &text;
            m_kind = kind;
            return *this;
        }
        void Begin() override { *m_text += std::string(m_kind) + "("; }
        void Receive(const Byte* begin, const Byte* end) override { m_text->append(begin, end); }
        void End() override { *m_text += ") "; }

      private:
        std::string* m_text = nullptr;
        const char* m_kind = "";
    };
    Element m_element;
};

ChunkedOutcome<char> Tokenize(const std::string& input, const char* extraSpecials,
                              const std::vector<std::size_t>& cutting) {
    RecordingFieldReceiver receiver(extraSpecials);
    StructuredFieldMaker maker(receiver);
    maker.Begin();
    std::size_t from = 0;
    for (std::size_t end : cutting) {
        maker.Receive(ConstData(input.data() + from, end - from));
        from = end;
    }
    maker.End();
    ChunkedOutcome<char> outcome;
    outcome.output.assign(receiver.text.begin(), receiver.text.end());
    return outcome;
}

}  // namespace

TEST(StructuredFieldMaker, CutsValuesIntoElementsHoweverTheInputIsCut) {
    struct Case {
        std::string value;
        const char* extraSpecials;
        std::string elements;
    };
    const Case cases[] = {
        {"", "", "<>"},
        {"text/plain; charset=\"ISO_8859-1\" (a comment)",
         "/=", "<token(text) / token(plain) ; token(charset) = quoted(ISO_8859-1) comment(a comment) >"},
        {"text/plain", "", "<token(text/plain) >"},
        {"\"a\\\"b\" (x (nested) \\) y) [dom\\]ain]", "",
         "<quoted(a\"b) comment(x (nested) ) y) literal(dom]ain) >"},
        {"a.b@c, <d>:e\\f", "", "<token(a) . token(b) @ token(c) , < token(d) > : token(e) \\ token(f) >"},
        {"a\x01"
         "b\x7f c\xE9",
         "", "<token(a) token(b\x7f) token(c\xE9) >"},
        {"  \t a \t ", "", "<token(a) >"},
        {"\"unclosed \\", "", "<quoted(unclosed ) >"},
        {"(open (comment)", "", "<comment(open (comment)) >"},
        {"a\"b\"c(d)e[f]g", "", "<token(a) quoted(b) token(c) comment(d) token(e) literal(f) token(g) >"},
        {"x]y)", "", "<token(x) ] token(y) ) >"},
        {"\"\\\\\"", "", "<quoted(\\) >"},
        {"a.b/c=d.e", "/=", "<token(a) . token(b) / token(c) = token(d) . token(e) >"},
    };
    for (const Case& c : cases) {
        auto outcome = ExpectSameOutcomeForAllCuttings<char>(
            c.value.size(), [&](const std::vector<std::size_t>& cutting) {
                return Tokenize(c.value, c.extraSpecials, cutting);
            });
        EXPECT_EQ(std::string(outcome.output.begin(), outcome.output.end()), c.elements) << c.value;
    }
}

TEST(StructuredFieldMaker, AReceiverMayReadCommonSpecialsAsTokenBytes) {
    RecordingFieldReceiver receiver("/=", ".");
    StructuredFieldMaker maker(receiver);
    ReceiveComplete(maker, ConstData(std::string_view("vnd.ms-excel/x.y=a.b;.")));
    EXPECT_EQ(receiver.text, "<token(vnd.ms-excel) / token(x.y) = token(a.b) ; token(.) >");
}

TEST(StructuredFieldMaker, AQuotedStringGoesToTheTokenReceiverByDefault) {
    class TokensOnly : public StructuredFieldReceiver {
      public:
        DataReceiver& Token() override { return m_tokens; }
        std::string tokens;

      private:
        class Appender : public DataReceiver, public DataWriter {
          public:
            explicit Appender(std::string& text) : m_text(text) {}
            void Begin() override { m_text += "["; }
            void Receive(const Byte* begin, const Byte* end) override { m_text.append(begin, end); }
            void End() override { m_text += "]"; }

          private:
            std::string& m_text;
        };
        Appender m_tokens{tokens};
    };
    TokensOnly receiver;
    StructuredFieldMaker maker(receiver);
    ReceiveComplete(maker, ConstData(std::string_view("a \"b c\" (d) [e]")));
    EXPECT_EQ(receiver.tokens, "[a][b c]");
}
