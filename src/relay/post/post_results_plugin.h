// PostResultsPlugIn: accepts the result reports that clients and child relays POST to
// "cgi-bin/vtdaruravidu/PostResults.exe", leaves each on disk and, through its PostResultsForwarder,
// carries them to the parent.
//
// The server calls HandleRequest on its loop thread (the plug-in is not threaded), which only decides:
// - while forwarding fails, a client on the loopback address (the relay's own agent) is refused with
//   "Local client rejected because of failure to post to parent." (the server answers 500), so that it
//   posts elsewhere; other clients are still served;
// - beyond "_HTTPServer_ThreadLimit_PostResults" (default 250) running requests, the client gets 503;
// - otherwise the request runs on a thread of the plug-in's own (HandlePost).
//
// HandlePost, for one request (time-out "TimeoutSeconds" of no progress):
// - not a POST: 200 with "PostResults\r\nVersion 8.0.627.0\r\nUse POST to submit results.";
// - a forwarding buffer over "BufferDirectoryMaxCount" files or "BufferDirectoryMaxSize" bytes
//   (counted at most every 5 seconds through the relay's LockedCounters): 503 with
//   "Error: Overloaded buffer directory. Try again later.";
// - otherwise the body is taken apart into its reports (report_processor.h) and stored
//   (report_files.h), with a copy of the whole body under "RawCarbonCopyPath" when that is set (the
//   copy takes its name only after the whole body was processed); then 200 with an empty body.
// Every reply carries "x-veltra-itclient-status": 1 for success, 0 for a failure, whose text is the
// body (status 200, or the status of an HTTPErrorResponse). A failure is logged through the request's
// debug log as "PostResults: <reason>" (and the raw copy's name when one was being written), and the
// rest of the body is read and dropped. Reports completed before a failure stay.
//
// Start (once, by the relay service) builds the configuration, creates the folders (buffer,
// temporary, carbon copies, forwarding buffer, rejected) and starts the forwarder's thread; any
// failure leaves Start and fails the relay's start-up.
//
// Threads: the forwarding-failed flag is shared between the forwarder (writes) and HandleRequest
// (reads) under its own lock; the configuration guards itself. The directory limits and the stop event
// are the relay's and outlive the plug-in. The destructor sets the stop event and joins the request
// threads, then the forwarder, before the configuration they use goes.
#pragma once

#include <memory>

#include "foundation/event.h"
#include "foundation/locked_counters.h"
#include "foundation/locked_object.h"
#include "foundation/thread.h"
#include "foundation/thread_group.h"
#include "http/cgi_response.h"
#include "http/http_plugin.h"
#include "relay/post/post_results_configuration.h"
#include "relay/post/post_results_forwarder.h"
#include "relay/post/report_processor.h"

class PostResultsPlugIn : public HTTPPlugIn {
  public:
    // `certificateSource` and `limits` are for tests; the relay uses the defaults.
    PostResultsPlugIn(LockedCounters& directoryLimits, Event& stopEvent,
                      PostResultsConfiguration::CertificateSource certificateSource = {},
                      ReportLimits limits = {});
    ~PostResultsPlugIn() override;

    void Start() override;
    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override;

    // Null before Start.
    PostResultsConfiguration* Configuration() { return m_configuration.get(); }
    bool IsForwardingFailed() { return *LockObject(m_forwardingFailed); }

  private:
    void HandlePost(HTTPPlugInInterface& interface);
    void ProcessPost(HTTPPlugInInterface& interface, ClientWriter& writer, OptionalFileLocation& rawCopyFile);
    void CreateDirectories();

    Event& m_stopEvent;
    LockedCounters& m_directoryLimits;
    PostResultsConfiguration::CertificateSource m_certificateSource;
    ReportLimits m_limits;
    Guarded<bool> m_forwardingFailed;
    std::unique_ptr<PostResultsConfiguration> m_configuration;
    std::unique_ptr<PostResultsForwarder> m_forwarder;
    ThreadHandle m_forwarderThread;
    ThreadGroup m_requestThreads;
};
