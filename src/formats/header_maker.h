// HeaderMaker: the lines of a header block into MessageReceiver calls.
//
// Each "name: value" line becomes Header (the name lower-cased, the offset of its line), the value
// on the returned receiver, and EndHeader. A line that starts with a space or tab continues the
// previous field: the value receiver gets one space for the fold, and the blanks after the fold and
// after the colon are skipped (trailing blanks stay in the value). A line without ':' is dropped, and
// so is a field whose name is 48 bytes or longer; blanks before the colon stay in the name. Lines may
// arrive in pieces cut anywhere.
//
// Also here: parsing a whole header text into the fields of a response or request, and finding one
// field's value in a header text.
//
// The maker does not own its target; Begin makes it ready for another header block. One thread at
// a time.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "formats/message_receivers.h"

class HeaderMaker : public LineReceiver {
  public:
    HeaderMaker() = default;
    explicit HeaderMaker(MessageReceiver& target) : m_target(&target) {}

    void SetTarget(MessageReceiver& target) { m_target = &target; }

    void Begin(std::uint64_t offset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t textEnd, std::uint64_t nextStart) override;
    void End(std::uint64_t offset) override;

  private:
    static constexpr std::size_t kNameCapacity = 48;
    enum class State { LineStart, Name, SkipBlanks, Value };

    const Byte* StartLine(const Byte* p);
    const Byte* ReadName(const Byte* p, const Byte* end);
    void EndValue();

    MessageReceiver* m_target = nullptr;
    State m_state = State::LineStart;
    Byte m_name[kNameCapacity] = {};
    std::size_t m_nameLength = 0;
    DataReceiver* m_value = nullptr;
    std::uint64_t m_lastTextEnd = 0;
    std::uint64_t m_lastNextStart = 0;
    bool m_fieldOpen = false;
};

// The fields of a header text (no status or request line, no body) as ReceiveHeaderName, the value,
// EndHeaderValue on the receiver.
void ParseResponseHeaders(ConstData text, HTTPResponseReceiver& receiver);
void ParseRequestHeaders(ConstData text, HTTPRequestReceiver& receiver);

// The value of the first line of `headerText` that starts with `name` (such as "content-length:",
// matched byte for byte) at the start of the text or after a CR or LF: from after the blanks that
// follow the name up to the next CR, LF or the end. Empty when there is no such line or the name is
// empty. The range points into `headerText`.
ConstData FindHeaderLineValue(const char* headerText, const char* name);
