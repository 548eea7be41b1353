// The template formatter: texts with named fields in braces, such as "{header}: {sequence}{_crlf}".
//
// A template is cut into literal pieces and fields. "{" always opens a field and the field's name
// runs to the next "}"; there is no escape, a "}" in literal text is an ordinary character, and
// literal braces come from the built-in fields. A name beginning with "_" is built in and takes no
// argument:
//     _cbrace "}"   _cr CR   _crlf CR LF   _lf LF   _obrace "{"   _tab TAB
// Every other field takes the next argument in order (by position, not by name: a name used twice
// takes two arguments); its name must be letters, digits and "_" after the first character, which may
// be anything. Argument texts are inserted unchanged, never scanned for braces. An absent argument
// (made from a null C string) is inserted as empty text.
//
// Templates are constants of the program, so every failure here is a mismatch between a template
// and the code that fills it: BadFormatStringError (a "{" without "}"), ImproperFormatVariableName,
// UndefinedFormatVariable (an unknown built-in), TooManyFormatArguments (a field finds no argument
// left), TooFewFormatArguments (arguments are left over). Nothing is returned on failure.
//
// Callers normally fill templates through TemplateArguments (named_templates.h).
#pragma once

#include <span>
#include <string>
#include <vector>

#include "base/exceptions.h"
#include "foundation/optional_value.h"

class BadFormatStringError : public DebuggableException {};
class TooManyFormatArguments : public DebuggableException {};
class TooFewFormatArguments : public DebuggableException {};
class ImproperFormatVariableName : public DebuggableException {};
class UndefinedFormatVariable : public DebuggableException {};

// One piece of a template: literal text, or a field and the name between its braces.
struct FormatPiece {
    ConstData text;
    bool isVariable = false;
};

// Walks a template piece by piece. The template is not copied and must outlive the scanner.
class FormatStringScanner {
  public:
    explicit FormatStringScanner(ConstData templateText)
        : m_next(templateText.begin), m_end(templateText.end) {}

    // Advances to the next piece; false when the template is used up. BadFormatStringError for a "{"
    // without its "}".
    bool Next();
    const FormatPiece& Piece() const { return m_piece; }

  private:
    const Byte* m_next;
    const Byte* m_end;
    FormatPiece m_piece;
};

// A field that takes an argument, and the argument it was paired with.
struct FormatBinding {
    ConstData name;
    OptionalText value;
};

// Throws ImproperFormatVariableName for an empty name or a bad character after the first, and
// UndefinedFormatVariable for a name beginning with "_" that is not built in.
void CheckFormatVariableName(ConstData name);
// True when the name begins with "_"; ImproperFormatVariableName for an empty name.
bool IsBuiltInFormatVariable(ConstData name);
// The value of a built-in, or of the field's argument in bindings sorted as FormatText sorts them.
// Names match exactly, case included; UndefinedFormatVariable when there is no match.
OptionalText LookUpFormatVariable(ConstData name, std::span<const FormatBinding> bindings);
// A literal piece's own text, or the value of a field.
OptionalText FormatPieceValue(const FormatPiece& piece, std::span<const FormatBinding> bindings);

// Checks every field of the template and pairs the argument-taking fields with the arguments in
// order; returns the pairing sorted by name (and by value between equal names).
std::vector<FormatBinding> FormatText(ConstData templateText, std::span<const OptionalText> arguments);
// The template with every field replaced by its value from the pairing FormatText made.
std::string FormatToString(ConstData templateText, std::span<const FormatBinding> bindings);
