// MessageWriter: MessageReceiver calls back into the lines of a message.
//
// Each field leaves as "name: value" and a line end; a value that holds line ends leaves as folded
// continuation lines, each starting with a tab. Body writes the empty line and then passes the body's
// lines through. The line-end text is the target LineReceiver's choice (a LineFlattener, say).
//
// WriteHeaderField writes one whole field into any MessageReceiver.
//
// The writer does not own its target, which is set before use. The receivers it hands out are its
// own members. One thread at a time.
#pragma once

#include <cstdint>
#include <span>

#include "base/const_data.h"
#include "base/data_pipeline.h"
#include "formats/message_receivers.h"
#include "foundation/line_maker.h"

class MessageWriter : public MessageReceiver {
  public:
    MessageWriter() = default;
    explicit MessageWriter(LineReceiver& target) : m_target(&target) {}

    void SetTarget(LineReceiver& target) { m_target = &target; }

    void Begin(std::uint64_t offset) override;
    DataReceiver& Header(std::uint64_t offset, ConstData name) override;
    void EndHeader(std::uint64_t offset) override;
    LineReceiver& Body(std::uint64_t offset) override;
    void End(std::uint64_t offset) override;

  private:
    // The lines of a field's value, each later line folded with a leading tab.
    class HeaderLineWriter : public LineReceiver {
      public:
        void SetTarget(LineReceiver& target) { m_target = &target; }
        void Begin(std::uint64_t) override {}
        void ReceiveText(const Byte* begin, const Byte* end) override;
        void EndLine(std::uint64_t textEnd, std::uint64_t nextStart) override;
        void End(std::uint64_t) override {}

      private:
        LineReceiver* m_target = nullptr;
    };

    // The body's lines, passed through without the target's Begin and End.
    class MessageBodyWriter : public LineReceiver {
      public:
        void SetTarget(LineReceiver& target) { m_target = &target; }
        void Begin(std::uint64_t) override {}
        void ReceiveText(const Byte* begin, const Byte* end) override;
        void EndLine(std::uint64_t textEnd, std::uint64_t nextStart) override;
        void End(std::uint64_t) override {}

      private:
        LineReceiver* m_target = nullptr;
    };

    LineReceiver* m_target = nullptr;
    LineMaker m_valueLines;
    HeaderLineWriter m_headerLines;
    MessageBodyWriter m_bodyLines;
};

// Header(0, name), then Begin, one Receive of the value, End on the value receiver, then EndHeader(0).
void WriteHeaderField(MessageReceiver& receiver, const char* name, ConstData value);
// The same with the value given in pieces, each passed to Receive in order.
void WriteHeaderField(MessageReceiver& receiver, const char* name, std::span<const ConstData> valuePieces);
