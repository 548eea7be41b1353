#include "formats/message_maker.h"

#include "foundation/line_maker.h"
#include "foundation/whole_file.h"

void MessageMaker::Begin(std::uint64_t offset) {
    m_headers.SetTarget(*m_target);
    m_current = &m_headers;
    m_inHeaders = true;
    m_lineEmpty = true;
    m_target->Begin(offset);
    m_headers.Begin(offset);
}

void MessageMaker::ReceiveText(const Byte* begin, const Byte* end) {
    m_current->ReceiveText(begin, end);
    m_lineEmpty = false;
}

// The empty line that ends the header block is consumed here and never reaches the body.
void MessageMaker::EndLine(std::uint64_t textEnd, std::uint64_t nextStart) {
    if (m_lineEmpty && m_inHeaders) {
        m_headers.End(textEnd);
        m_inHeaders = false;
        m_current = &m_target->Body(nextStart);
        m_current->Begin(nextStart);
    } else {
        m_current->EndLine(textEnd, nextStart);
    }
    m_lineEmpty = true;
}

void MessageMaker::End(std::uint64_t offset) {
    m_current->End(offset);
    if (m_inHeaders) {
        m_inHeaders = false;
        m_current = &m_target->Body(offset);
        m_current->Begin(offset);
        m_current->End(offset);
    }
    m_target->End(offset);
}

void ReadMessage(DataReader& reader, MessageReceiver& receiver) {
    MessageMaker maker(receiver);
    PumpLines(reader, maker);
}

void ReadMessageFile(const FileLocation& file, MessageReceiver& receiver, std::uint64_t start) {
    MessageMaker maker(receiver);
    ReadFileLines(file, maker, start);
}
