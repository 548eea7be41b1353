#include "foundation/data_stages.h"

EmptyDataReader& EmptyDataReader::Instance() {
    static EmptyDataReader instance;
    return instance;
}

IgnoreDataReceiver& IgnoreDataReceiver::Instance() {
    static IgnoreDataReceiver instance;
    return instance;
}

void StringReceiver::Begin() {
    m_target->clear();
}

void StringReceiver::Receive(const Byte* begin, const Byte* end) {
    m_target->append(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
}

void DataAppender::Receive(const Byte* begin, const Byte* end) {
    m_target->Receive(begin, end);
}

void DataTee2::Begin() {
    m_first->Begin();
    m_second->Begin();
}

void DataTee2::Receive(const Byte* begin, const Byte* end) {
    m_first->Receive(begin, end);
    m_second->Receive(begin, end);
}

void DataTee2::End() {
    m_first->End();
    m_second->End();
}

void LineListMaker::Begin(std::uint64_t) {
    m_target->clear();
    m_line.clear();
}

void LineListMaker::ReceiveText(const Byte* begin, const Byte* end) {
    m_line.append(reinterpret_cast<const char*>(begin), static_cast<std::size_t>(end - begin));
}

void LineListMaker::EndLine(std::uint64_t, std::uint64_t) {
    m_target->push_back(std::move(m_line));
    m_line.clear();
}

void LineListMaker::End(std::uint64_t) {
    m_target->push_back(std::move(m_line));
    m_line.clear();
}
