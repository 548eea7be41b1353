// URL percent-escapes as a DataFilter pair, the character sets that may pass unescaped, and one-shot
// helpers.
//
// URLEncoder escapes every byte outside its safe set as "%" and two lower-case hex digits ("%2f",
// "%c3"). URLDecoder turns "%" and two hex digits of either case into the byte and lets every invalid
// escape pass unchanged ("%zz", "%4z"); "+" stays "+". Both may be fed and drained in pieces of any
// size, down to a one-byte output, and are back in their initial state after Finish.
//
// The sets are built at compile time and may be read from any thread. No byte of 128 or more belongs
// to any of them, so every non-ASCII byte is escaped.
#pragma once

#include <cstdint>
#include <string>
#include <utility>

#include "base/character_classes.h"
#include "base/data_pipeline.h"

// A-Z a-z 0-9 - . _ ~
const CharacterClass& URLSafeCharacters();
// The safe characters and ! $ % & ' ( ) * + , ; = : @ (not "/").
const CharacterClass& URLPathSegmentCharacters();
// URLPathSegmentCharacters without ":".
const CharacterClass& URLPathNoColonCharacters();

class URLEncoder : public DataFilter {
  public:
    // The set is not owned and must outlive the encoder.
    explicit URLEncoder(const CharacterClass& safe) : m_safe(&safe) {}

    void Filter(ConstData& input, OutputRange& output) override;
    bool IsComplete() override { return m_digitsDue == 0; }
    // Writes the digits of an escape still due, as far as the output has room.
    void Finish(OutputRange& output) override;

  private:
    bool WriteDueDigits(OutputRange& output);

    const CharacterClass* m_safe;
    Byte m_escaped = 0;
    std::uint8_t m_digitsDue = 0;
};

class URLDecoder : public DataFilter {
  public:
    void Filter(ConstData& input, OutputRange& output) override;
    bool IsComplete() override { return m_state == State::Text; }
    // Writes an escape cut off by the end of the input as text; DataOverflow when the output is full.
    void Finish(OutputRange& output) override;

  private:
    enum class State : std::uint32_t {
        Text,          // plain text
        Percent,       // "%" read
        PercentDigit,  // "%" and one hex digit read
        HeldDigitDue,  // "%" written for an invalid escape; the held digit still to write
    };

    State m_state = State::Text;
    Byte m_heldDigit = 0;
};

std::string URLEncodeText(ConstData text, const CharacterClass& safe);
// Decodes in one pass without Finish: an escape cut off at the end of the text ("a%4") is dropped.
std::string URLDecodeText(ConstData text);

// True when every byte of the range is in the class (so also for an empty range).
bool AllCharactersIn(ConstData range, const CharacterClass& characters);

// The text before the first ";", and the rest from that ";" on (empty when there is none).
std::pair<ConstData, ConstData> SplitAtSemicolon(ConstData text);
