#include "formats/message_writer.h"

namespace {
const Byte kNameSeparator[] = {':', ' '};
const Byte kFold[] = {'\t'};
}  // namespace

void MessageWriter::Begin(std::uint64_t offset) {
    m_target->Begin(offset);
}

DataReceiver& MessageWriter::Header(std::uint64_t, ConstData name) {
    m_target->ReceiveText(name.begin, name.end);
    m_target->ReceiveText(kNameSeparator, kNameSeparator + sizeof kNameSeparator);
    m_headerLines.SetTarget(*m_target);
    m_valueLines.SetReceiver(m_headerLines);
    return m_valueLines;
}

void MessageWriter::EndHeader(std::uint64_t offset) {
    m_target->EndLine(offset, offset);
}

LineReceiver& MessageWriter::Body(std::uint64_t offset) {
    m_target->EndLine(offset, offset);
    m_bodyLines.SetTarget(*m_target);
    return m_bodyLines;
}

void MessageWriter::End(std::uint64_t offset) {
    m_target->End(offset);
}

void MessageWriter::HeaderLineWriter::ReceiveText(const Byte* begin, const Byte* end) {
    m_target->ReceiveText(begin, end);
}

void MessageWriter::HeaderLineWriter::EndLine(std::uint64_t textEnd, std::uint64_t nextStart) {
    m_target->EndLine(textEnd, nextStart);
    m_target->ReceiveText(kFold, kFold + sizeof kFold);
}

void MessageWriter::MessageBodyWriter::ReceiveText(const Byte* begin, const Byte* end) {
    m_target->ReceiveText(begin, end);
}

void MessageWriter::MessageBodyWriter::EndLine(std::uint64_t textEnd, std::uint64_t nextStart) {
    m_target->EndLine(textEnd, nextStart);
}

void WriteHeaderField(MessageReceiver& receiver, const char* name, ConstData value) {
    WriteHeaderField(receiver, name, std::span<const ConstData>(&value, 1));
}

void WriteHeaderField(MessageReceiver& receiver, const char* name, std::span<const ConstData> valuePieces) {
    DataReceiver& value = receiver.Header(0, ConstDataOfCString(name));
    ReceiveCompleteEach(value, valuePieces);
    receiver.EndHeader(0);
}
