#include "relay/download/download_request_plugin.h"

#include <exception>
#include <string_view>
#include <vector>

#include "foundation/data_stages.h"
#include "foundation/log_manager.h"
#include "http/http_error_response.h"
#include "relay/download/cached_targets.h"
#include "relay/download/download_response.h"
#include "relay/download/download_state.h"
#include "relay/download/service_download_manager.h"
#include "relay/download/versioned_object_list.h"
#include "settings/crash_report.h"

namespace {

constexpr int kOK = 200;
constexpr int kMethodNotAllowed = 405;
constexpr int kPayloadTooLarge = 413;
constexpr int kInternalServerError = 500;
constexpr std::string_view kPostOnly =
    "Error: this script only accepts POST operations\r\n\r\nDownloadRequestPlugIn\r\nVersion 8.0.627.0";

// One request's work, on the handler's stack: its own connection to the download state, the
// responses in target order and what goes to the manager afterwards.
class DownloadRequestBatch {
  public:
    explicit DownloadRequestBatch(const DownloadSettingsProvider& settings) : m_settings(settings), m_state(settings) {}

    // A target whose cache test fails is logged and gets no response.
    void ProcessDownloadRequest(const DownloadRequestTarget& target) {
        KVR_LOG("performance") << "Processing download request: {" << downloadRequestTargetText(target) << "}";
        try {
            if (IsTargetCached(target, m_settings, m_state)) {
                m_responses.push_back(ResponseTo(target, DownloadResponseStatus::Available));
                if (!m_state.GetState(target)) m_cachedWithoutRow.push_back(target);
            } else {
                m_responses.push_back(ResponseTo(target, DownloadResponseStatus::InProcess));
                m_requestUpstream.push_back(target);
            }
        } catch (const std::exception& error) {
            KVR_LOG("critical") << "Unexpected exception while processing download request: " << error.what();
        }
    }

    const std::vector<DownloadResponse>& Responses() const { return m_responses; }
    const std::vector<DownloadRequestTarget>& RequestUpstream() const { return m_requestUpstream; }
    const std::vector<DownloadRequestTarget>& CachedWithoutRow() const { return m_cachedWithoutRow; }

  private:
    static DownloadResponse ResponseTo(const DownloadRequestTarget& target, DownloadResponseStatus status) {
        return DownloadResponse{
            .hash = target.GetSha1(), .actionID = target.GetActionID(), .index = target.GetIndex(), .status = status};
    }

    const DownloadSettingsProvider& m_settings;
    DownloadState m_state;
    std::vector<DownloadResponse> m_responses;
    std::vector<DownloadRequestTarget> m_requestUpstream;
    std::vector<DownloadRequestTarget> m_cachedWithoutRow;
};

// The posted list. A body that does not read is the client's fault, not the relay's: it is answered
// without a crash report.
std::vector<DownloadRequestTarget> ReadPostedTargets(HTTPPlugInInterface& interface) {
    try {
        const std::uint64_t length = interface.GetContentLength();
        if (length > DownloadRequestPlugIn::kMostBodyBytes)
            throw HTTPErrorResponse("Error: the request body of " + std::to_string(length) + " bytes exceeds " +
                                        std::to_string(DownloadRequestPlugIn::kMostBodyBytes) + " bytes",
                                    kPayloadTooLarge);
        return ReadDownloadRequestTargetList(interface, DownloadRequestPlugIn::kMostTargets);
    } catch (const ObjectListTooLong&) {
        throw HTTPErrorResponse("Error: the request lists more than " +
                                    std::to_string(DownloadRequestPlugIn::kMostTargets) + " download targets",
                                kPayloadTooLarge);
    } catch (const HTTPErrorResponse&) {
        throw;
    } catch (const HTTPPlugInAbortException&) {
        throw;
    } catch (const HTTPPlugInTimeoutException&) {
        throw;
    } catch (const std::exception& error) {
        throw HTTPErrorResponse(error.what(), kInternalServerError);
    }
}

}  // namespace

DownloadRequestPlugIn::DownloadRequestPlugIn(const DownloadSettingsProvider& settings, ServiceDownloadManager& manager)
    : HTTPPlugIn("DownloadRequest", true), m_settings(settings), m_manager(manager) {
    AddName("cgi-bin/DownloadRequest");
}

void DownloadRequestPlugIn::HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) {
    HTTPClientWriter writer(*interface);
    if (interface->Request().Method().View() != "POST") {
        ReplyWithError(*interface, writer, kMethodNotAllowed, std::string(kPostOnly));
        return;
    }
    try {
        RunWithMiniDumpGuard([&] { HandleDownloadRequest(*interface, writer); });
    } catch (const HTTPErrorResponse& error) {
        ReplyWithError(*interface, writer, error.Status(), error.what());
    } catch (const std::exception& error) {
        ReplyWithError(*interface, writer, kInternalServerError, error.what());
    } catch (...) {
        ReplyWithError(*interface, writer, kInternalServerError, "No diagnostic message available");
    }
}

void DownloadRequestPlugIn::HandleDownloadRequest(HTTPPlugInInterface& interface, ClientWriter& writer) {
    DownloadRequestBatch batch(m_settings);
    for (const DownloadRequestTarget& target : ReadPostedTargets(interface)) batch.ProcessDownloadRequest(target);
    m_manager.AddRequestedTargets(batch.RequestUpstream());
    m_manager.AddDownloads(batch.CachedWithoutRow(), false);
    std::string body;
    StringReceiver bodyText(body);
    WriteDownloadResponseList(batch.Responses(), bodyText);
    SendPlainTextResponse(writer, body, kOK, false, false);
}

// A request whose reply has begun, or that the stop ended, gets no second reply.
void DownloadRequestPlugIn::ReplyWithError(HTTPPlugInInterface& interface, ClientWriter& writer, int status,
                                           const std::string& message) {
    interface.LogDebug("DownloadRequestPlugIn: ", message);
    if (interface.Request().ReplyStarted()) return;
    try {
        SendPlainTextResponse(writer, message, status, false, false);
    } catch (...) {
    }
}
