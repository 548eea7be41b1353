#include "relay/post/post_results_plugin.h"

#include <string>
#include <vector>

#include "foundation/data_stages.h"
#include "foundation/file_operations.h"
#include "foundation/file_replacing_data_sink.h"
#include "http/cgi_response.h"
#include "http/http_error_response.h"
#include "http/plugin_log_functor.h"
#include "relay/post/carbon_copying_reader.h"
#include "relay/post/report_files.h"

namespace {

constexpr const char* kVersionText = "PostResults\r\nVersion 8.0.627.0\r\nUse POST to submit results.";

// One accepted request on the plug-in's thread: it holds one of the plug-in's threads, and the
// request, until Finish (or until it is dropped without running, when its thread could not start).
class PostRequest {
  public:
    PostRequest(HTTPPlugIn& plugIn, std::unique_ptr<HTTPPlugInInterface> interface)
        : m_plugIn(plugIn), m_interface(std::move(interface)) {}
    PostRequest(const PostRequest&) = delete;
    PostRequest& operator=(const PostRequest&) = delete;
    ~PostRequest() { Finish(); }

    HTTPPlugInInterface& Interface() { return *m_interface; }
    // Ends the request (the reply is flushed, the connection let go), then gives the thread back.
    void Finish() {
        if (!m_interface) return;
        m_interface.reset();
        m_plugIn.ReleaseThread();
    }

  private:
    HTTPPlugIn& m_plugIn;
    std::unique_ptr<HTTPPlugInInterface> m_interface;
};

int StatusOfCurrentFailure() {
    try {
        throw;
    } catch (const HTTPErrorResponse& error) {
        return error.Status();
    } catch (...) {
        return 200;
    }
}

}  // namespace

PostResultsPlugIn::PostResultsPlugIn(LockedCounters& directoryLimits, Event& stopEvent,
                                     PostResultsConfiguration::CertificateSource certificateSource,
                                     ReportLimits limits)
    : HTTPPlugIn("PostResults", false),
      m_stopEvent(stopEvent),
      m_directoryLimits(directoryLimits),
      m_certificateSource(std::move(certificateSource)),
      m_limits(limits) {
    AddName("cgi-bin/vtdaruravidu/PostResults.exe");
}

// The request threads and the forwarder use the configuration: both end before it goes.
PostResultsPlugIn::~PostResultsPlugIn() {
    m_stopEvent.Set();
    m_requestThreads.JoinAll();
    WaitAndCloseThreadHandle(m_forwarderThread);
}

void PostResultsPlugIn::Start() {
    m_configuration = std::make_unique<PostResultsConfiguration>(m_certificateSource);
    CreateDirectories();
    m_forwarder = std::make_unique<PostResultsForwarder>(*m_configuration, *m_configuration, m_stopEvent,
                                                         m_forwardingFailed);
    try {
        m_forwarderThread = StartCallableThread(*m_forwarder);
    } catch (...) {
        m_forwarder.reset();
        throw;
    }
}

void PostResultsPlugIn::CreateDirectories() {
    PostResultsConfiguration& configuration = *m_configuration;
    std::vector<FileLocation> directories{configuration.GetBufferDirectory(),
                                          configuration.GetTemporaryDirectory()};
    if (OptionalFileLocation carbonCopies = configuration.GetCarbonCopyDirectory())
        directories.push_back(*carbonCopies);
    if (OptionalFileLocation rawCarbonCopies = configuration.GetRawCarbonCopyDirectory())
        directories.push_back(*rawCarbonCopies);
    directories.push_back(configuration.GetForwardingBufferDirectory());
    directories.push_back(configuration.GetRejectedDirectory());
    for (const FileLocation& directory : directories) {
        if (directory.IsEmpty()) throw EmptyFileLocationError();
        CreateDirectoryTree(directory);
    }
}

void PostResultsPlugIn::HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) {
    if (!m_configuration) throw ExceptionPL("PostResults has not been started.");
    {
        const LockedObject<bool> forwardingFailed = LockObject(m_forwardingFailed);
        if (*forwardingFailed && interface->GetClientAddress().IsLoopback())
            throw ExceptionPL("Local client rejected because of failure to post to parent.");
    }
    if (!TryAcquireThread()) {
        RejectBusy(std::move(interface));
        return;
    }
    auto request = std::make_shared<PostRequest>(*this, std::move(interface));
    m_requestThreads.Start([this, request] {
        HandlePost(request->Interface());
        request->Finish();
    });
}

void PostResultsPlugIn::HandlePost(HTTPPlugInInterface& interface) {
    HTTPClientWriter writer(interface);
    PlugInLogFunctor log(interface, "PostResults: ");
    OptionalFileLocation rawCopyFile;
    try {
        interface.SetTimeout(m_configuration->GetRequestTimeout());
        if (interface.Request().Method().View() != "POST") {
            SendPlainTextResponse(writer, kVersionText, 200, false, false);
            return;
        }
        ProcessPost(interface, writer, rawCopyFile);
    } catch (...) {
        const std::string text = CurrentExceptionText();
        const int status = StatusOfCurrentFailure();
        log.Log(text);
        if (rawCopyFile) log.Log("Raw carbon copy abandoned: " + rawCopyFile->GetPathString());
        try {
            if (!interface.Request().ReplyStarted()) SendPlainTextResponse(writer, text, status, false, true);
        } catch (...) {
        }
        DropRestOfBody(interface);
    }
}

// The raw copy gets its name only after the reply: it holds the whole body, processed.
void PostResultsPlugIn::ProcessPost(HTTPPlugInInterface& interface, ClientWriter& writer,
                                    OptionalFileLocation& rawCopyFile) {
    PostResultsConfiguration& configuration = *m_configuration;
    if (m_directoryLimits.IsOverLimits(configuration.GetForwardingBufferDirectory(),
                                       GetBufferDirectoryMaxCount(), GetBufferDirectoryMaxSize()))
        throw HTTPErrorResponse("Error: Overloaded buffer directory. Try again later.", 503);
    rawCopyFile = configuration.GetNextRawCarbonCopyFile();
    FileReplacingDataSink rawCopy;
    DataReceiver* copyTarget = &IgnoreDataReceiver::Instance();
    if (rawCopyFile) {
        rawCopy.Open(*rawCopyFile, configuration.GetTemporaryDirectory());
        copyTarget = &rawCopy;
    }
    const std::vector<CertificateAndKey> keys = configuration.GetDecryptionKeys();
    copyTarget->Begin();
    CarbonCopyingReader body(interface, *copyTarget);
    ReportFiles storage(configuration);
    ReportProcessor(storage, keys, m_limits).ProcessReport(body);
    SendPlainTextResponse(writer, "", 200, false, false);
    try {
        copyTarget->End();
    } catch (...) {
    }
}
