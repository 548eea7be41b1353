#include "formats/header_maker.h"

#include <cstring>

#include "base/character_classes.h"
#include "foundation/data_stages.h"
#include "foundation/line_maker.h"

namespace {
const Byte kSpace[] = {' '};
}  // namespace

void HeaderMaker::Begin(std::uint64_t offset) {
    m_nameLength = 0;
    m_value = &IgnoreDataReceiver::Instance();
    m_lastTextEnd = offset;
    m_lastNextStart = offset;
    m_state = State::LineStart;
    m_fieldOpen = false;
}

void HeaderMaker::ReceiveText(const Byte* begin, const Byte* end) {
    const Byte* p = begin;
    while (p != end) {
        switch (m_state) {
            case State::LineStart:
                p = StartLine(p);
                break;
            case State::Name:
                p = ReadName(p, end);
                break;
            case State::SkipBlanks:
                while (p != end && Ascii::Blanks().Contains(*p)) ++p;
                if (p != end) m_state = State::Value;
                break;
            case State::Value:
                m_value->Receive(p, end);
                p = end;
                break;
        }
    }
}

// The first byte of a line decides, without being consumed, whether it continues the open field.
const Byte* HeaderMaker::StartLine(const Byte* p) {
    if (Ascii::Blanks().Contains(*p)) {
        m_value->Receive(kSpace, kSpace + 1);
        m_state = State::SkipBlanks;
        return p;
    }
    EndValue();
    m_nameLength = 0;
    m_state = State::Name;
    if (m_fieldOpen) {
        m_fieldOpen = false;
        m_target->EndHeader(m_lastTextEnd);
    }
    return p;
}

const Byte* HeaderMaker::ReadName(const Byte* p, const Byte* end) {
    const Byte* colon = static_cast<const Byte*>(std::memchr(p, ':', static_cast<std::size_t>(end - p)));
    const Byte* nameEnd = colon != nullptr ? colon : end;
    const Ascii::CaseTable& lower = Ascii::LowerCaseTable();
    for (; p != nameEnd && m_nameLength < kNameCapacity; ++p) m_name[m_nameLength++] = lower[*p];
    if (colon == nullptr) return end;
    if (m_nameLength < kNameCapacity) {
        m_value = &m_target->Header(m_lastNextStart, ConstData(m_name, m_name + m_nameLength));
        m_fieldOpen = true;
        m_value->Begin();
    } else {
        m_value = &IgnoreDataReceiver::Instance();
    }
    m_state = State::SkipBlanks;
    return colon + 1;
}

void HeaderMaker::EndValue() {
    DataReceiver* value = m_value;
    m_value = &IgnoreDataReceiver::Instance();
    value->End();
}

// A line end inside a value is not passed on: the next line shows whether the field continues.
void HeaderMaker::EndLine(std::uint64_t textEnd, std::uint64_t nextStart) {
    m_lastTextEnd = textEnd;
    m_lastNextStart = nextStart;
    m_state = State::LineStart;
}

void HeaderMaker::End(std::uint64_t offset) {
    EndValue();
    if (m_fieldOpen) {
        m_fieldOpen = false;
        m_target->EndHeader(offset == m_lastNextStart ? m_lastTextEnd : offset);
    }
}

namespace {

void ParseHeaderText(ConstData text, MessageReceiver& fields) {
    HeaderMaker maker(fields);
    LineMaker lines(maker);
    ReceiveComplete(lines, text);
}

}  // namespace

void ParseResponseHeaders(ConstData text, HTTPResponseReceiver& receiver) {
    HeadersToResponse fields(receiver);
    ParseHeaderText(text, fields);
}

void ParseRequestHeaders(ConstData text, HTTPRequestReceiver& receiver) {
    HeadersToRequest fields(receiver);
    ParseHeaderText(text, fields);
}

ConstData FindHeaderLineValue(const char* headerText, const char* name) {
    const std::size_t nameLength = std::strlen(name);
    if (nameLength == 0) return {};
    for (const char* found = std::strstr(headerText, name); found != nullptr;
         found = std::strstr(found + 1, name)) {
        if (found != headerText && found[-1] != '\r' && found[-1] != '\n') continue;
        const char* value = found + nameLength;
        while (*value == ' ' || *value == '\t') ++value;
        return ConstData(value, value + std::strcspn(value, "\r\n"));
    }
    return {};
}
