#include "http/response_head_parser.h"

#include <algorithm>
#include <string_view>

#include "base/character_classes.h"
#include "base/numerals.h"

namespace {

bool IsLineEnd(Byte c) {
    return c == '\r' || c == '\n';
}

bool StartsWithIgnoringCase(ConstData text, std::string_view prefix) {
    return text.Length() >= prefix.size() &&
           Ascii::EqualIgnoringCase({text.begin, text.begin + prefix.size()}, ConstData(prefix));
}

// The value of a field line whose name (with its colon) is `name`, leading blanks skipped; false
// when the line is another field.
bool FieldValue(ConstData line, std::string_view name, ConstData& value) {
    if (!StartsWithIgnoringCase(line, name)) return false;
    value = Ascii::SkipBlanks({line.begin + name.size(), line.end});
    return true;
}

// The status of a status line: the decimal digits after the first run of blanks.
unsigned StatusOf(ConstData line) {
    const Byte* p = std::find_if(line.begin, line.end, [](Byte c) { return Ascii::Blanks().Contains(c); });
    p = Ascii::SkipBlanks({p, line.end}).begin;
    static constexpr unsigned kStatusLimit = 1'000'000;
    unsigned status = 0;
    for (; p != line.end && Ascii::Digits().Contains(*p) && status < kStatusLimit; ++p)
        status = status * 10 + (*p - '0');
    return status;
}

std::uint64_t ContentLengthOf(ConstData value) {
    // ParseHeaderDecimal64 answers 0 for bad text too: 0 stands only for a text of zeros and spaces.
    std::string_view text = Ascii::TrimBlanks(value).View();
    std::uint64_t length = ParseHeaderDecimal64(ConstData(text));
    bool zero =
        text.find('0') != std::string_view::npos && text.find_first_not_of("0 ") == std::string_view::npos;
    if (length == 0 && !zero) throw MalformedContentLength();
    return length;
}

}  // namespace

std::uint64_t ParseHeaderDecimal64(ConstData text) {
    std::uint64_t value = 0;
    for (Byte c : std::string_view(text.Chars(), text.Length())) {
        if (c == ' ') continue;
        if (!Ascii::Digits().Contains(c)) return 0;
        unsigned digit = c - '0';
        if (!MultiplyFitsIn64(value, 10) || !AddFitsIn64(value * 10, digit)) return 0;
        value = value * 10 + digit;
    }
    return value;
}

bool ResponseHeadParser::Consume(ConstData& input) {
    while (!input.IsEmpty()) {
        Byte c = *input.begin;
        if (m_skipLineFeed) {
            m_skipLineFeed = false;
            if (c == '\n') {
                ++input.begin;
                continue;
            }
        }
        if (m_complete) return true;
        ++input.begin;
        if (IsLineEnd(c)) {
            AddLineEnd(c);
        } else {
            if (m_head.size() >= kMaxHeadLength) throw ResponseHeadTooLarge();
            m_head += static_cast<char>(c);
        }
    }
    return m_complete;
}

void ResponseHeadParser::AddLineEnd(Byte lineEnd) {
    m_skipLineFeed = lineEnd == '\r';
    if (m_lineCount > 0 && m_lineStart == m_head.size()) {
        m_complete = true;
        return;
    }
    if (m_head.size() >= kMaxHeadLength) throw ResponseHeadTooLarge();
    ConstData line(m_head.data() + m_lineStart, m_head.size() - m_lineStart);
    ExamineLine(line, lineEnd);
    m_head += static_cast<char>(lineEnd);
    m_lineStart = m_head.size();
    ++m_lineCount;
}

void ResponseHeadParser::ExamineLine(ConstData line, Byte lineEnd) {
    ConstData value;
    if (m_lineCount == 0) {
        if (StartsWithIgnoringCase(line, "http/")) m_statusCode = StatusOf(line);
    } else if (FieldValue(line, "content-length:", value)) {
        m_contentLength = ContentLengthOf(value);
        m_hasContentLength = true;
    } else if (FieldValue(line, "transfer-encoding:", value)) {
        m_chunked = StartsWithIgnoringCase(value, "chunked");
    } else if (FieldValue(line, "proxy-connection:", value)) {
        m_proxyKeepAlive = StartsWithIgnoringCase(value, "keep-alive");
    } else if (FieldValue(line, "connection:", value)) {
        m_keepAlive = StartsWithIgnoringCase(value, "keep-alive");
    } else if (FieldValue(line, "www-authenticate:", value)) {
        m_serverChallenges.append(Ascii::TrimBlanks(value).View()).push_back(static_cast<char>(lineEnd));
    } else if (FieldValue(line, "proxy-authenticate:", value)) {
        m_proxyChallenges.append(Ascii::TrimBlanks(value).View()).push_back(static_cast<char>(lineEnd));
    }
}

bool ChunkedBodyDrain::Consume(ConstData& input) {
    while (!input.IsEmpty() && m_state != State::Done) {
        if (m_state == State::Data) {
            std::size_t take = static_cast<std::size_t>(std::min<std::uint64_t>(m_remaining, input.Length()));
            input.begin += take;
            m_remaining -= take;
            if (m_remaining == 0) m_state = State::DataEnd;
            continue;
        }
        Byte c = *input.begin++;
        if (c == '\n') {
            EndLine();
        } else if (c != '\r') {
            if (m_line.size() >= kMaxLineLength) throw MalformedChunkedBody();
            m_line += static_cast<char>(c);
        }
    }
    return m_state == State::Done;
}

void ChunkedBodyDrain::EndLine() {
    std::string line = std::move(m_line);
    m_line.clear();
    switch (m_state) {
        case State::SizeLine: {
            // The size ends at a chunk extension (";") or at blanks.
            std::size_t end = line.find_first_of("; \t");
            std::string_view digits = std::string_view(line).substr(0, end);
            if (ParseHexUInt64(ConstData(digits), m_remaining) != NumeralStatus::Success)
                throw MalformedChunkedBody();
            m_state = m_remaining == 0 ? State::Trailer : State::Data;
            break;
        }
        case State::DataEnd:
            if (!line.empty()) throw MalformedChunkedBody();
            m_state = State::SizeLine;
            break;
        case State::Trailer:
            if (line.empty()) m_state = State::Done;
            break;
        case State::Data:
        case State::Done:
            break;
    }
}

ResponseBodyFraming::ResponseBodyFraming(const ResponseHeadParser& head) {
    if (head.IsChunked())
        m_chunks.emplace();
    else if (head.HasContentLength())
        m_remaining = head.ContentLength();
}

bool ResponseBodyFraming::Take(ConstData& input) {
    if (m_chunks) {
        bool ended = m_chunks->Consume(input);
        input.end = input.begin;
        return ended;
    }
    if (!m_remaining) return false;
    if (input.Length() > *m_remaining) input.end = input.begin + *m_remaining;
    *m_remaining -= input.Length();
    return *m_remaining == 0;
}

bool ResponseBodyFraming::IsCutShort() const {
    return m_chunks ? !m_chunks->IsComplete() : m_remaining && *m_remaining > 0;
}

std::string ResponseHeadParser::LowerCasedHead() const {
    std::string lowered = m_head;
    for (char& c : lowered) c = static_cast<char>(Ascii::LowerCaseTable()[static_cast<Byte>(c)]);
    return lowered;
}
