// Argument packs that fill a template (message_templates.h), the text holder FormattedText, and the
// relay's own templates.
//
// A pack holds the template and its arguments as borrowed text ranges: the texts must outlive the
// pack, so a pack is normally built and used in one expression:
//
//     std::string line = TemplateArguments(kSequenceHeaderTemplate, name, sequence).ToString();
//
// A pack may also grow one argument at a time, TemplateArguments<N>(pack of N - 1, argument). An
// argument is a C string (null gives an absent argument, inserted as empty text), a std::string, a
// std::string_view or a ConstData.
//
// ToString returns the bytes as the template and the values give them (UTF-8 by convention). ToText
// returns the same text in the system's default 8-bit code page, which on this platform is UTF-8:
// valid text comes out unchanged and a malformed UTF-8 sequence becomes U+FFFD.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "formats/message_templates.h"
#include "foundation/optional_value.h"

// A NUL-terminated text that is either borrowed or an owned copy; the copy is freed with the holder.
// The text may also be absent (null), which is not the same as empty.
class FormattedText {
  public:
    // The shared empty text "".
    FormattedText() = default;
    // An owned copy of UTF-8 text converted to the default code page.
    explicit FormattedText(const std::string& utf8);
    FormattedText(const FormattedText& other);
    FormattedText& operator=(const FormattedText& other);
    FormattedText(FormattedText&&) noexcept = default;
    FormattedText& operator=(FormattedText&&) noexcept = default;

    // Borrows the range when `borrow` is set (the range must then end before a NUL that the holder
    // may read), else takes a NUL-terminated copy. An empty range gives the shared empty text.
    void SetText(const char* begin, const char* end, bool borrow);

    // Null for an absent text.
    const char* GetText() const { return m_text; }
    bool OwnsText() const { return m_copy != nullptr; }

    friend FormattedText FormattedTextOfCString(const char* text);

  private:
    const char* m_text = "";
    std::unique_ptr<char[]> m_copy;
};

// Borrows a C string; a null pointer gives an absent text.
FormattedText FormattedTextOfCString(const char* text);

// UTF-8 text in the default code page, as ToText converts it.
std::string UTF8ToDefaultCodePage(ConstData utf8);
// UTF-16 text as an owned FormattedText in the default code page.
FormattedText FormattedTextOfUTF16(std::u16string_view text);

namespace TemplateArgumentText {
inline OptionalText Of(const char* text) {
    return OptionalText(text);
}
inline OptionalText Of(std::string_view text) {
    return OptionalText(ConstData(text));
}
inline OptionalText Of(const std::string& text) {
    return OptionalText(ConstData(std::string_view(text)));
}
inline OptionalText Of(ConstData text) {
    return OptionalText(text);
}
inline OptionalText Of(OptionalText text) {
    return text;
}
}  // namespace TemplateArgumentText

template <std::size_t N>
class TemplateArguments {
  public:
    // A template and all its arguments at once.
    template <class... Arguments>
    requires(sizeof...(Arguments) == N) explicit TemplateArguments(const char* templateText,
                                                                   const Arguments&... arguments)
        : m_template(templateText), m_arguments{TemplateArgumentText::Of(arguments)...} {}

    // A pack of N - 1 arguments and one more.
    template <class Argument>
    requires(N > 0) TemplateArguments(const TemplateArguments<N - 1>& earlier, const Argument& argument)
        : m_template(earlier.Template()) {
        for (std::size_t i = 0; i + 1 < N; ++i) m_arguments[i] = earlier.Arguments()[i];
        m_arguments[N - 1] = TemplateArgumentText::Of(argument);
    }

    // The filled template; the template formatter's exceptions pass to the caller.
    std::string ToString() const {
        return FormatToString(m_template.text, FormatText(m_template.text, m_arguments));
    }
    // ToString converted to the default code page, as an owned copy.
    FormattedText ToText() const { return FormattedText(ToString()); }

    const OptionalText& Template() const { return m_template; }
    const std::array<OptionalText, N>& Arguments() const { return m_arguments; }

  private:
    OptionalText m_template;
    std::array<OptionalText, N> m_arguments;
};

template <class... Arguments>
TemplateArguments(const char*, const Arguments&...) -> TemplateArguments<sizeof...(Arguments)>;

// The relay's templates. The comment gives the arguments in order.
namespace MessageTemplates {
// Command header lines sent upstream.
inline constexpr const char* kSiteVersionHeader =
    "{header}: {siteurl} {version}{_crlf}";  // header, site URL, version
inline constexpr const char* kSiteManyVersionHeader =
    "{header}: {siteurl} {isManyVersion} {version}{_crlf}";  // header, site URL, many-version flag, version
inline constexpr const char* kSequenceRangeHeader =
    "{header}: {seq} {min} {max}{_crlf}";  // header, sequence, min, max
inline constexpr const char* kSequenceVersionHeader =
    "{header}: {sequence} {version}{_crlf}";  // header, sequence, version
inline constexpr const char* kSequenceManyVersionHeader =
    "{header}: {sequence} {manyversion}{_crlf}";  // header, sequence, many-version
inline constexpr const char* kSequenceHeader = "{header}: {sequence}{_crlf}";  // header, sequence
// Client registration replies.
inline constexpr const char* kAdapterInfoHeader =
    "{adapterInfoHeader}: {adapterInfo}{_crlf}";  // header name, adapter information
inline constexpr const char* kRegistrationRefusal =
    "{reject}{_crlf}{tooMany}{_crlf}{howMany}{_crlf}";  // rejection, too-many text, how-many text
inline constexpr const char* kTooManyChildrenHeader =
    "x-veltra-clientregister-toomanychildren: {childCount}{_crlf}";  // child count
inline constexpr const char* kTooManyChildRelaysHeader =
    "x-veltra-clientregister-toomanychildrelays: {childCount}{_crlf}";  // child count
inline constexpr const char* kHopLimitRefusal =
    "{rejection}{_crlf}This relay only accepts clients with minhop counts <= {minhop} and maxhop counts <= "
    "{maxhop}{_crlf}";  // rejection, minimum hops, maximum hops
// Messages of the platform XML parser.
inline constexpr const char* kXMLParsingError =
    "XML parsing error:{_crlf}  {reason}  Line {line}, Character {character}";  // reason, line, column
inline constexpr const char* kXMLSchemaMissing = "XML schema file '{schema}' does not exist.";  // schema path
}  // namespace MessageTemplates
