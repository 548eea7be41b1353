// MessageMaker: the lines of a MIME-style message into MessageReceiver calls.
//
// The lines up to the first empty line are the header block (parsed by a HeaderMaker); the empty
// line itself is consumed, and every later line goes to the receiver that the target's Body returns.
// A message without an empty line is all header block: Body is still called, at the end offset, and
// its receiver begun and ended there before the target's End.
//
// ReadMessage and ReadMessageFile run a whole message from a reader or a file through a LineMaker
// and a MessageMaker.
//
// The maker does not own its target; Begin makes it ready for another message. One thread at a time.
#pragma once

#include <cstdint>

#include "base/data_pipeline.h"
#include "base/file_location.h"
#include "formats/header_maker.h"
#include "formats/message_receivers.h"

class MessageMaker : public LineReceiver {
  public:
    MessageMaker() = default;
    explicit MessageMaker(MessageReceiver& target) : m_target(&target) {}

    void SetTarget(MessageReceiver& target) { m_target = &target; }

    void Begin(std::uint64_t offset) override;
    void ReceiveText(const Byte* begin, const Byte* end) override;
    void EndLine(std::uint64_t textEnd, std::uint64_t nextStart) override;
    void End(std::uint64_t offset) override;

  private:
    MessageReceiver* m_target = nullptr;
    HeaderMaker m_headers;
    LineReceiver* m_current = nullptr;
    bool m_inHeaders = true;
    bool m_lineEmpty = true;
};

void ReadMessage(DataReader& reader, MessageReceiver& receiver);
// The message from byte `start` of the file to its end; offsets count from `start`.
void ReadMessageFile(const FileLocation& file, MessageReceiver& receiver, std::uint64_t start = 0);
