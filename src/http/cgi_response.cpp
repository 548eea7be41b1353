#include "http/cgi_response.h"

#include <algorithm>
#include <cstdio>

#include "base/character_classes.h"
#include "base/const_data_buffer.h"
#include "base/numerals.h"
#include "formats/url_codec.h"
#include "net/url_info.h"
#include "net/url_path_iterator.h"
#include "foundation/clocks.h"
#include "platform/file_paths.h"

void ClientWriter::Receive(const Byte* begin, const Byte* end) {
    if (!WriteClient(begin, static_cast<std::size_t>(end - begin))) throw WriteClientError();
}

bool HTTPClientWriter::WriteClient(const Byte* data, std::size_t length) {
    try {
        m_interface.Receive(data, data + length);
        return true;
    } catch (const HTTPPlugInAbortException&) {
        throw;
    } catch (...) {
        return false;
    }
}

// The interface's ReadSome gives nothing while no byte has arrived yet; at the body's end nothing
// more will come, so that is a failure here rather than an endless wait.
bool HTTPClientWriter::ReadClient(Byte* buffer, std::size_t length, std::size_t& count) {
    count = 0;
    try {
        OutputRange range(buffer, length);
        while (range.begin == buffer && length != 0) {
            if (m_interface.AtEnd()) return false;
            m_interface.ReadSome(range);
        }
        count = static_cast<std::size_t>(range.begin - buffer);
        return true;
    } catch (const HTTPPlugInAbortException&) {
        throw;
    } catch (...) {
        count = 0;
        return false;
    }
}

const char* CGIStatusText(int status) {
    switch (status) {
        case 200:
            return "OK";
        case 302:
            return "Object Moved";
        case 400:
            return "Bad Request";
        case 401:
            return "Unauthorized";
        case 403:
            return "Forbidden";
        case 404:
            return "Not Found";
        case 405:
            return "Method Not Allowed";
        case 413:
            return "Request Entity Too Large";
        case 503:
            return "Service Unavailable";
        default:
            return "Internal Error";
    }
}

std::string CGIStatusLine(int status) {
    return std::to_string(status) + " " + CGIStatusText(status);
}

bool FormatCurrentHTTPDate(char* buffer, std::size_t capacity, bool withWeekdayAndGMT) {
    if (buffer == nullptr) return false;
    const CalendarTime now = CurrentCalendarTime();
    const int weekday = now.date.DayOfWeek();
    if (weekday < 0 || weekday > 6 || now.date.day > 31 || now.date.month < 1 || now.date.month > 12 ||
        now.time.hour > 24 || now.time.minute > 60 || now.time.second > 60)
        return false;
    const int written = std::snprintf(
        buffer, capacity, "%s%s%02u %s %u %02u:%02u:%02u %s", withWeekdayAndGMT ? kWeekdayNames[weekday] : "",
        withWeekdayAndGMT ? ", " : "", unsigned{now.date.day}, kShortMonthNames[now.date.month],
        now.date.year, unsigned{now.time.hour}, unsigned{now.time.minute}, unsigned{now.time.second},
        withWeekdayAndGMT ? "GMT" : "+0000");
    return written >= 0 && static_cast<std::size_t>(written) < capacity;
}

namespace {

constexpr std::size_t kMostHeaderBlockBytes = 8192;
constexpr std::size_t kMostBodyBytesPerRead = 4098;

ConstData Text(std::string_view text) {
    return ConstData(text);
}

// The head of a CGI reply; throws ConstDataCapacityExceeded when it passes the cap.
void AssembleHeaderBlock(ConstDataBuffer<kMostHeaderBlockBytes>& block, std::size_t bodyLength,
                         std::string_view extraHeaders, int status, bool omitStatusLine,
                         std::string_view contentTypeLine, bool clientStatusFlag) {
    if (!omitStatusLine) {
        block.Append(Text("HTTP/1.1 "));
        block.Append(Text(CGIStatusLine(status)));
        block.Append(Text("\r\n"));
        char date[64];
        if (extraHeaders.find("Date:") == std::string_view::npos &&
            FormatCurrentHTTPDate(date, sizeof date, true)) {
            block.Append(Text("Date: "));
            block.Append(ConstDataOfCString(date));
            block.Append(Text("\r\n"));
        }
    }
    block.Append(Text("MIME-Version: 1.0\r\n"));
    block.Append(Text(contentTypeLine));
    block.Append(Text(extraHeaders));
    block.Append(
        Text("Cache-Control: no-cache\r\nCache-Control: private\r\nExpires: 0\r\nPragma: no-cache\r\n"
             "Content-Length: "));
    block.Append(FormatDecimalDigits(bodyLength, 1).GetConstData());
    if (clientStatusFlag)
        block.Append(Text("\r\nx-veltra-itclient-status: 0\r\n\r\n"));
    else if (status == 200)
        block.Append(Text("\r\nx-veltra-itclient-status: 1\r\n\r\n"));
    else
        block.Append(Text("\r\n\r\n"));
}

}  // namespace

bool SendCGIResponse(ClientWriter& writer, std::string_view body, std::string_view extraHeaders, int status,
                     bool omitStatusLine, std::string_view contentTypeLine, bool clientStatusFlag) {
    ConstDataBuffer<kMostHeaderBlockBytes> block;
    try {
        AssembleHeaderBlock(block, body.size(), extraHeaders, status, omitStatusLine, contentTypeLine,
                            clientStatusFlag);
    } catch (const ConstDataCapacityExceeded&) {
        writer.ReportStatus(0, "Header block too large.");
        return false;
    }
    const ConstData head = block.GetConstData();
    if (!writer.WriteClient(head.begin, head.Length())) {
        writer.ReportStatus(0, "Unable to WriteClient header");
        return false;
    }
    if (!body.empty() && !writer.WriteClient(Text(body).begin, body.size())) {
        writer.ReportStatus(0, "Unable to WriteClient body");
        return false;
    }
    writer.ReportStatus(status, body);
    return true;
}

bool SendPlainTextResponse(ClientWriter& writer, std::string_view body, int status, bool omitStatusLine,
                           bool clientStatusFlag) {
    return SendPlainTextResponseWithHeaders(writer, body, "", status, omitStatusLine, clientStatusFlag);
}

bool SendPlainTextResponseWithHeaders(ClientWriter& writer, std::string_view body,
                                      std::string_view extraHeaders, int status, bool omitStatusLine,
                                      bool clientStatusFlag) {
    return SendCGIResponse(writer, body, extraHeaders, status, omitStatusLine, "Content-Type: text/plain\r\n",
                           clientStatusFlag);
}

bool SendHTMLResponse(ClientWriter& writer, std::string_view body, std::string_view extraHeaders, int status,
                      bool omitStatusLine) {
    return SendCGIResponse(writer, body, extraHeaders, status, omitStatusLine, "Content-Type: text/html\r\n",
                           false);
}

std::string DecodeFormValue(std::string_view text) {
    std::string plus(text);
    std::replace(plus.begin(), plus.end(), '+', ' ');
    return URLDecodeText(ConstData(std::string_view(plus)));
}

std::string PlugInCommandWord(std::string_view target) {
    const URLInfo info{ConstData(target)};
    std::string word = URLDecodeText(GetLastPathComponent(info.GetPath()).whole);
    for (char& c : word) c = static_cast<char>(Ascii::LowerCaseTable()[static_cast<Byte>(c)]);
    return word;
}

namespace {

StringPL DecodedStringPL(const std::string& text) {
    const std::string decoded = DecodeFormValue(text);
    return StringPL(decoded.c_str(), static_cast<int>(decoded.size()));
}

}  // namespace

NameValueList ParseNameValueList(std::string_view text) {
    NameValueList list;
    std::string name, value;
    bool inValue = false;
    for (char c : text) {
        const bool separator = c == '&' || c == ';';
        if (!inValue) {
            if (separator)
                name.clear();
            else if (c == '=')
                inValue = true;
            else
                name += c;
        } else if (separator) {
            list.Add({DecodedStringPL(name), DecodedStringPL(value)});
            name.clear();
            value.clear();
            inValue = false;
        } else {
            value += c;
        }
    }
    if (!name.empty() || !value.empty()) list.Add({DecodedStringPL(name), DecodedStringPL(value)});
    return list;
}

std::string EncodeNameValueList(const NameValueList& list) {
    std::string text;
    for (const auto& [name, value] : list) {
        if (!text.empty()) text += '&';
        text += URLEncodeText(name.GetConstData(), URLSafeCharacters());
        text += '=';
        text += URLEncodeText(value.GetConstData(), URLSafeCharacters());
    }
    return text;
}

void SaveRequestBodyToFile(ClientWriter& writer, const FileLocation& location, std::uint64_t length) {
    PosixPlatform::FileWritingPath file(location);
    Byte buffer[kMostBodyBytesPerRead];
    std::uint64_t position = 0;
    while (position < length) {
        std::size_t count = 0;
        const std::size_t wanted =
            static_cast<std::size_t>(std::min<std::uint64_t>(length - position, sizeof buffer));
        if (!writer.ReadClient(buffer, wanted, count)) throw CGIUtilityStdinUnavailableException();
        file.WriteAt(position, buffer, buffer + count);
        position += count;
    }
}

void DropRestOfBody(HTTPPlugInInterface& interface) {
    try {
        Byte buffer[4096];
        while (interface.HasMore()) {
            OutputRange free(buffer, sizeof buffer);
            interface.ReadSome(free);
        }
    } catch (...) {
    }
}
