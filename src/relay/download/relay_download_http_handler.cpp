#include "relay/download/relay_download_http_handler.h"

#include <exception>
#include <string_view>

#include "base/character_classes.h"
#include "base/numerals.h"
#include "formats/http_reason_phrases.h"
#include "formats/message_writer.h"
#include "foundation/file_item.h"
#include "foundation/text_ranges.h"
#include "http/header_field_search.h"
#include "relay/download/completed_download.h"

namespace {

constexpr int kOK = 200;
constexpr int kPartialContent = 206;

std::uint64_t CurrentSize(const FileLocation& file) {
    FileItem item;
    return item.Lookup(file) ? item.GetSize() : 0;
}

// The number before `separator` (or the end of the text when it is NUL), the text moved past both.
bool TakeNumber(std::string_view& text, char separator, std::uint64_t& value) {
    const std::size_t end = separator == '\0' ? text.size() : text.find(separator);
    if (end == std::string_view::npos) return false;
    if (ParseDecimalUInt64(ConstData(text.substr(0, end)), value) != NumeralStatus::Success) return false;
    text.remove_prefix(separator == '\0' ? end : end + 1);
    return true;
}

void WriteNumberField(MessageReceiver& request, const char* name, std::uint64_t value) {
    WriteHeaderField(request, name, FormatDecimalDigits(value, 1).GetConstData());
}

// The value of a field of the lower-cased head, without the blanks and line breaks around it; none
// when the head has no such field.
std::optional<ConstData> FieldValue(ConstData head, std::string_view name) {
    if (FindHeaderField(head, name).IsEmpty()) return std::nullopt;
    return TrimWhitespaceRange(GetHeaderFieldValue(head, name));
}

}  // namespace

BadContentRangeHeader::BadContentRangeHeader() : ExceptionPL("Received bad content-range header from server") {}

BadContentLengthHeader::BadContentLengthHeader() : ExceptionPL("Received bad content-length header from server") {}

ContentRange ParseContentRange(ConstData value) {
    std::string_view text = Ascii::TrimBlanks(value.View());
    constexpr std::string_view kUnit = "bytes ";
    if (!text.starts_with(kUnit)) throw BadContentRangeHeader();
    text.remove_prefix(kUnit.size());
    ContentRange range;
    if (!TakeNumber(text, '-', range.first) || !TakeNumber(text, '/', range.last) ||
        !TakeNumber(text, '\0', range.total) || range.last == UINT64_MAX || range.last + 1 != range.total)
        throw BadContentRangeHeader();
    return range;
}

RelayDownloadHttpHandler::RelayDownloadHttpHandler(const DownloadRequestTarget& target, std::string url,
                                                   FileLocation progressFile, ThrottleRequest throttle,
                                                   DownloadState& state, Interruptor& interruptor)
    : m_target(target),
      m_url(std::move(url)),
      m_progressFile(std::move(progressFile)),
      m_throttle(std::move(throttle)),
      m_state(state),
      m_interruptor(interruptor),
      m_resumeOffset(CurrentSize(m_progressFile)) {}

void RelayDownloadHttpHandler::CheckLength(std::uint64_t total) {
    if (m_target.IsURLRequest()) return;
    const std::uint32_t action = *m_target.GetActionID();
    const std::optional<std::uint64_t> expected =
        m_target.IsDynamic() ? m_target.GetSize() : m_state.GetSize(action, *m_target.GetIndex());
    if (expected && *expected != total) throw DownloadSizeFailure(*expected, total);
    if (m_target.IsIndexed()) m_state.SetContentLength(action, *m_target.GetIndex(), total);
}

ByteString RelayDownloadHttpHandler::GetURL() { return ByteString(ConstData(std::string_view(m_url))); }

void RelayDownloadHttpHandler::WriteRequestHeaders(MessageReceiver& request) {
    WriteHeaderField(request, "User-Agent", ConstDataOfCString(kUserAgent));
    const std::string range = "bytes=" + std::to_string(m_resumeOffset) + "-";
    WriteHeaderField(request, "Range", ConstData(std::string_view(range)));
    if (m_throttle.rate != 0) {
        WriteNumberField(request, "x-kvr-download-bytespersecond", m_throttle.rate);
        if (!m_throttle.group.empty())
            WriteHeaderField(request, "x-kvr-download-throttlegroup", ConstData(std::string_view(m_throttle.group)));
    }
    if (m_throttle.dynamic.enabled) {
        WriteHeaderField(request, "x-kvr-dynamic-enabled", ConstData(std::string_view("1")));
        WriteNumberField(request, "x-kvr-dynamic-maxbytespersecond", m_throttle.dynamic.maximum);
        WriteNumberField(request, "x-kvr-dynamic-minbytespersecond", m_throttle.dynamic.minimum);
        WriteNumberField(request, "x-kvr-dynamic-percentage", m_throttle.dynamic.percentage);
    }
}

void RelayDownloadHttpHandler::ReceiveStatusCode(int code) {
    if (code != kOK && code != kPartialContent) throw UnexpectedHTTPResponse(code, HTTPReasonPhrase(code));
    m_status = code;
}

// The transports check the body against its Content-Length; the total is what tells whether the file
// is whole, so it is kept for EndBody.
void RelayDownloadHttpHandler::ReceiveResponseHeaders(const char* head) {
    const ConstData text(std::string_view{head});
    if (const std::optional<ConstData> range = FieldValue(text, "content-range:")) {
        const ContentRange parsed = ParseContentRange(*range);
        if (parsed.first != m_resumeOffset) throw BadContentRangeHeader();
        m_total = parsed.total;
    } else if (const std::optional<ConstData> length = FieldValue(text, "x-kvr-downloadservice-contentlength:")) {
        std::uint64_t total = 0;
        if (ParseDecimalUInt64(*length, total) != NumeralStatus::Success) throw BadContentLengthHeader();
        m_resumeOffset = 0;
        m_total = total;
    } else {
        if (m_status == kPartialContent) throw BadContentRangeHeader();
        m_resumeOffset = 0;
        m_total = m_announcedLength;
    }
    if (m_total) CheckLength(*m_total);
    SetBackChannel(FieldValue(text, "x-kvr-sendbackchannel:").has_value());
}

void RelayDownloadHttpHandler::BeginBody() {
    try {
        m_file.emplace();
        if (m_resumeOffset != 0) {
            m_file->OpenAlways(m_progressFile);
            m_file->SetLength(m_resumeOffset);
        } else {
            m_file->OpenCreateAlways(m_progressFile);
        }
    } catch (const std::exception& error) {
        m_file.reset();
        throw RelayDownloadHttpError(std::string("Unable to open progress file: ") + error.what());
    }
    m_position = m_resumeOffset;
}

void RelayDownloadHttpHandler::ReceiveBody(ConstData bytes) {
    m_file->WriteAt(m_position, bytes.begin, bytes.end);
    m_position += bytes.Length();
}

// What arrived stays in the file either way: a body cut short is resumed by the next attempt.
void RelayDownloadHttpHandler::EndBody() {
    if (m_file) {
        m_file->Flush();
        m_file.reset();
    }
    if (m_total && m_position != *m_total)
        throw RelayDownloadHttpError("The download ended at byte " + std::to_string(m_position) + " of " +
                                     std::to_string(*m_total));
}
