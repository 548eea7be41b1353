#include "http/file_response_connection.h"

#include <algorithm>
#include <cerrno>
#include <limits>

#include "base/numerals.h"
#include "formats/http_reason_phrases.h"
#include "formats/message_writer.h"
#include "foundation/clocks.h"
#include "foundation/file_item.h"
#include "foundation/log_manager.h"
#include "foundation/time_text.h"
#include "http/served_file_request.h"
#include "net/ip_address.h"
#include "net/socket_errors.h"

namespace {

constexpr std::size_t kUnlimited = std::numeric_limits<std::size_t>::max();

// The one value of a throttle header, empty when absent; a header given twice is a bad request.
ConstData ThrottleHeader(const HTTPRequest& request, std::string_view name) {
    const std::vector<std::string>* values = request.FindHeaderValues(name);
    if (values == nullptr || values->empty()) return {};
    if (values->size() > 1) throw HTTPRequestError(400);
    return ConstData(std::string_view(values->front()));
}

// Absent and malformed numbers read as 0, "no wish".
std::uint64_t ThrottleNumber(const HTTPRequest& request, std::string_view name) {
    return DecimalToUInt64OrDefault(ThrottleHeader(request, name), 0);
}

ThrottleRequest ReadThrottleRequest(const HTTPRequest& request) {
    DynamicThrottleRequest dynamic(ThrottleNumber(request, "x-kvr-dynamic-enabled") != 0,
                                   ThrottleNumber(request, "x-kvr-dynamic-maxbytespersecond"),
                                   ThrottleNumber(request, "x-kvr-dynamic-minbytespersecond"),
                                   ThrottleNumber(request, "x-kvr-dynamic-percentage"));
    return ThrottleRequest(ThrottleNumber(request, "x-kvr-download-bytespersecond"),
                           ThrottleHeader(request, "x-kvr-download-throttlegroup"), dynamic);
}

}  // namespace

FileResponseConnection::FileResponseConnection(std::shared_ptr<HTTPRequest> request, ConstData path,
                                               PosixPlatform::HeldFolder& root, const HTTPServerSettings& settings,
                                               std::int64_t now)
    : m_request(std::move(request)),
      m_settings(settings),
      m_socketWriter(m_request->Connection()),
      m_lastProgress(now) {
    std::optional<FileLocation> location = ResolveServedFilePath(root.GetLocation(), path);
    if (!location) throw HTTPRequestError(400);
    std::string_view method = m_request->Method().View();
    if (method == "POST") throw HTTPRequestError(405);
    if (method != "GET") throw HTTPRequestError(501);
    if (location->IsEmpty()) throw HTTPRequestError(404);  // no root, no files

    try {
        m_file.OpenBeneath(root, *location);
    } catch (const PathOutsideRootError& error) {
        KVR_LOG("debug") << "Not serving " << location->GetPathString() << ": a symbolic link leads to "
                         << error.SecondPath() << ", outside the server root";
        throw HTTPRequestError(404);
    } catch (const FileNotFoundError&) {
        throw HTTPRequestError(404);
    } catch (const DirectoryNotFoundError&) {
        throw HTTPRequestError(404);
    } catch (const FilePermissionError&) {
        // Only regular files open: a folder is refused like a file without permission.
        throw HTTPRequestError(FileAttributes(*location).IsDirectory() ? 404 : 403);
    } catch (const std::exception& error) {
        KVR_LOG("debug") << "Error opening " << location->GetPathString() << ": " << error.what();
        throw HTTPRequestError(500);
    }
    const PosixPlatform::PathStatus& status = m_file.GetStatusAtOpen();
    m_lastWriteTime = status.lastWriteTime;
    m_size = status.size;
    m_start = RangeStart(ConstData(m_request->FirstHeaderValue("Range")));
    // A start at the end asks for nothing and gets an empty 206 whose range, "bytes <size>-<size - 1>/
    // <size>", still names the file's size: a downloader that holds the whole file learns from it that
    // it is complete. Past the end the length would wrap below zero.
    if (m_start > m_size) throw HTTPRequestError(416);
    m_position = m_start;
    WriteHead(m_start != 0 ? 206 : 200, now);
}

FileResponseConnection::FileResponseConnection(int status, std::shared_ptr<HTTPRequest> request,
                                               const HTTPServerSettings& settings, std::int64_t now)
    : m_request(std::move(request)),
      m_settings(settings),
      m_socketWriter(m_request->Connection()),
      m_lastProgress(now) {
    WriteHead(status, now);
}

FileResponseConnection::~FileResponseConnection() = default;

// A reply that no throttle can ever pace (no server rate, no requested rate, no dynamic throttling)
// and that needs no encryption leaves the file's bytes to sendfile from the start, unless the file is
// small: then the head and the whole file go out in one send. Every other reply buffers its first
// chunk behind the head.
void FileResponseConnection::WriteHead(int status, std::int64_t now) {
    m_throttleRequest = ReadThrottleRequest(*m_request);
    m_dynamic = m_settings.dynamicThrottleEnabled && m_throttleRequest.dynamic.enabled;
    m_backChannel.GetThrottle().Start(static_cast<std::uint64_t>(now));
    m_backChannel.Begin();

    m_responseWriter.SetOutput(m_output);
    m_responseWriter.ReceiveStatus(static_cast<unsigned>(status), HTTPReasonPhrase(status));
    HeadersToResponse fields(m_responseWriter);
    WriteHeaderField(fields, "Server", ConstDataOfCString(kServerName));
    TimeValue utcNow = GetCurrentUTCTime();
    WriteHeaderField(fields, "Date", FormatTimeText(utcNow, TimeZoneOffset()).GetConstData());
    if (m_file.IsOpen()) {
        if (m_start != 0) {
            std::string range = "bytes " + std::to_string(m_start) + "-" + std::to_string(m_size - 1) + "/" +
                                std::to_string(m_size);
            WriteHeaderField(fields, "Content-Range", ConstData(std::string_view(range)));
        }
        WriteHeaderField(fields, "Content-Length", FormatDecimalDigits(m_size - m_start, 1).GetConstData());
        WriteHeaderField(fields, "Last-Modified",
                         FormatTimeText(std::min(m_lastWriteTime, utcNow), TimeZoneOffset()).GetConstData());
        if (m_dynamic) WriteHeaderField(fields, "x-kvr-sendbackchannel", ConstData(std::string_view("1")));
    }
    m_responseWriter.EndHeaders();
    bool neverPaced = m_settings.throttleKBPS == 0 && m_throttleRequest.rate == 0 && !m_dynamic;
    if (!m_file.IsOpen() || !FileHasMore()) {
        m_responseWriter.EndResponse();
    } else if (!neverPaced || !m_socketWriter.CanSendFiles() || m_size - m_position <= kSmallFileSize) {
        PumpChunk();
    }
}

void FileResponseConnection::PumpChunk() {
    Byte chunk[kChunkSize];
    std::size_t wanted = static_cast<std::size_t>(std::min<std::uint64_t>(kChunkSize, m_size - m_position));
    std::size_t read = m_file.ReadAt(m_position, chunk, wanted);
    if (read == 0) throw EndOfFileError(m_file.GetLocation().GetConstData(), 0);
    m_position += read;
    m_output.Receive(chunk, chunk + read);
    if (!FileHasMore()) m_responseWriter.EndResponse();
}

bool FileResponseConnection::PrepareToSend(std::int64_t now, const ServerThrottleShares& shares,
                                           const ThrottleGroupCounts& groups) {
    ConnectionThrottle throttle = CombineThrottle(m_throttleRequest, shares, groups);
    ConfigureThrottle(m_backChannel, throttle, m_dynamic);
    m_unthrottled = !m_dynamic && throttle.rate == 0;
    if (m_finished || !HasSomethingToSend()) return false;
    const TimeDebtDataThrottle& pace = m_backChannel.GetThrottle();
    if (m_unthrottled || (static_cast<std::uint64_t>(now) >= pace.GetNextTime() && pace.GetBudget() != 0)) {
        return true;
    }
    m_lastProgress = now;
    return false;
}

bool FileResponseConnection::WantsBackChannel() const {
    return m_dynamic && m_file.IsOpen() && !m_finished;
}

// Without a throttle the socket takes what it can: the buffered bytes, then the rest of the file
// straight from the page cache, or through the buffer when TLS must encrypt it.
std::size_t FileResponseConnection::WriteUnthrottled() {
    // The head of a file of moderate size waits for the file's first bytes, to leave in one packet
    // with them. Behind a larger file it goes alone: sharing a packet with the head puts every later
    // packet's boundary in the middle of a page of the file, which costs the receiving side more
    // than the one packet saved.
    const bool headWithFile = m_headMayWaitForFile && m_socketWriter.CanSendFiles() && FileHasMore() &&
                              m_size - m_position <= kMostBytesWithHead;
    m_socketWriter.SetMoreFollows(headWithFile);
    std::size_t written = m_output.Pump(m_socketWriter, kUnlimited);
    m_socketWriter.SetMoreFollows(false);
    if (!m_output.IsEmpty() || !FileHasMore()) return written;
    if (!m_socketWriter.CanSendFiles()) {
        PumpChunk();
        return written + m_output.Pump(m_socketWriter, kUnlimited);
    }
    std::size_t sent =
        m_socketWriter.SendFile(m_file, m_position, static_cast<std::size_t>(m_size - m_position));
    m_position += sent;
    if (!FileHasMore()) m_responseWriter.EndResponse();
    return written + sent;
}

void FileResponseConnection::WriteStep(std::int64_t now) {
    if (m_finished) return;
    std::size_t written;
    if (m_unthrottled) {
        written = WriteUnthrottled();
    } else {
        TimeDebtDataThrottle& pace = m_backChannel.GetThrottle();
        std::uint32_t budget = pace.GetBudget();
        while (m_output.GetSize() < budget && FileHasMore()) PumpChunk();
        std::size_t offered = std::min<std::size_t>(budget, m_output.GetSize());
        written = m_output.Pump(m_socketWriter, budget);
        pace.Account(static_cast<std::uint64_t>(now), written, offered);
    }
    if (written != 0) {
        m_lastProgress = now;
        m_bytesSent += written;
    }
    if (!m_dynamic && !HasSomethingToSend()) Close();
}

void FileResponseConnection::ReadBackChannel(std::int64_t now) {
    if (m_finished || !m_throttleRequest.dynamic.enabled || !m_file.IsOpen()) return;
    Byte buffer[kBackChannelReadSize];
    OutputRange range(buffer, sizeof buffer);
    try {
        m_request->Connection().Read(range);
    } catch (const SocketError& error) {
        if (error.Code() == EAGAIN || error.Code() == EWOULDBLOCK) return;
        throw;
    }
    m_backChannel.ReceiveAt(static_cast<std::uint64_t>(now), ConstData(buffer, range.begin));
    if (!HasSomethingToSend() && m_backChannel.GetReportedTotal() >= m_bytesSent) Close();
}

void FileResponseConnection::CheckWriteTimeOut(std::int64_t now) {
    if (!m_finished && now - m_lastProgress > m_settings.writeTimeOut) Close();
}

void FileResponseConnection::Close() {
    if (m_finished) return;
    m_backChannel.GetThrottle().Finish();
    m_backChannel.End();
    try {
        m_file.Close();
    } catch (...) {
    }
    KVR_LOG("debug") << "Closing HTTP connection on " << FormatIPAddress(m_request->ClientAddress()).View();
    m_finished = true;
}
