// KVRGatherMirrorPlugIn: the HTTP plug-in through which clients and child relays get mirrored sites
// from this relay, named "KVRGatherMirror" for the path "cgi-bin/vtdaruravidu/KVRGatherMirror.exe".
// Its commands (the site directory request, the version queries, the version page) are
// gather_mirror_commands.h's; the mirror files they name are served by the server's file serving
// under the URLs of mirror_file_url.h.
//
// It also owns the gather service loop (gather_service_loop.h): Start runs the loop on a thread of
// the plug-in's own, which gathers the queued sites, installs inbox archives and drives the download
// manager's passes. The destructor sets the stop event and joins the loop, and with it every gather,
// so the gather state and the download manager may go after the plug-in.
//
// Each request runs on a plug-in thread of the server; HandleRequest is its one catch boundary: a
// failure other than a refused command is logged ("KVRGatherMirror: " and its text) and answered 500
// with its text, unless the reply had begun; a stop ends the request without a reply.
//
// Threads: HandleRequest runs on many threads at once and keeps no state of its own; the base URL is
// read once, when the plug-in is built. The components are not owned and outlive the plug-in.
#pragma once

#include <memory>
#include <string>

#include "foundation/thread_group.h"
#include "http/http_plugin.h"
#include "relay/gather/gather_service_loop.h"

class KVRGatherMirrorPlugIn : public HTTPPlugIn {
  public:
    explicit KVRGatherMirrorPlugIn(const GatherServiceComponents& components);
    ~KVRGatherMirrorPlugIn() override;

    void Start() override;
    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override;

  private:
    GatherServiceComponents m_components;
    const std::string m_serverBaseURL;
    // Last, so that destruction joins the loop before anything it uses goes.
    ThreadGroup m_thread;
};
