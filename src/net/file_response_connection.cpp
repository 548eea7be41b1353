#include "net/file_response_connection.h"

#include "formats/http_reason_phrases.h"
#include "formats/message_writer.h"
#include "foundation/clocks.h"
#include "foundation/data_stages.h"
#include "foundation/log_manager.h"
#include "foundation/time_text.h"
#include "net/http_response_writer.h"
#include "net/ip_address.h"

namespace {
const std::string_view kServerSoftware = "VeltraHTTPServer/8.0.627.0";
}  // namespace

FileResponseConnection::FileResponseConnection(int status, std::shared_ptr<HTTPRequest> request,
                                               const HTTPServerSettings& settings, std::int64_t time)
    : m_request(std::move(request)), m_settings(settings), m_lastProgress(time) {
    StringReceiver output(m_output);
    HTTPResponseWriter reply(output);
    reply.ReceiveStatus(static_cast<unsigned>(status), HTTPReasonPhrase(status));
    HeadersToResponse fields(reply);
    WriteHeaderField(fields, "Server", ConstData(kServerSoftware));
    WriteHeaderField(fields, "Date", FormatTimeText(GetCurrentUTCTime(), TimeZoneOffset()).GetConstData());
    reply.EndHeaders();
    reply.EndResponse();
}

bool FileResponseConnection::PrepareToSend(std::int64_t) {
    return m_sent < m_output.size();
}

void FileResponseConnection::WriteStep(std::int64_t time) {
    ConstData unsent(m_output.data() + m_sent, m_output.size() - m_sent);
    const std::size_t written = m_request->Connection().Write(unsent);
    if (written != 0) {
        m_sent += written;
        m_lastProgress = time;
    }
    if (m_sent == m_output.size()) Close();
}

void FileResponseConnection::CheckWriteTimeOut(std::int64_t time) {
    if (time - m_lastProgress > m_settings.writeTimeOut) Close();
}

void FileResponseConnection::Close() {
    KVR_LOG("debug") << "Closing HTTP connection on " << FormatIPAddress(m_request->ClientAddress()).View();
    m_finished = true;
}
