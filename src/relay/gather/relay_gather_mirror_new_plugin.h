// RelayGatherMirrorNewPlugIn: the operator's view of site gathering, named "KVRGatherMirrorNew" for
// the path "cgi-bin/vtdaruravidu/KVRGatherMirrorNew.exe". It shows the gather status report, tells
// its version and queues gathers by hand: the commands are in gather_mirror_new_commands.h.
//
// Each request runs on a plug-in thread of the server. A refused command is answered by its
// configuration message; any other failure is logged through the request ("KVRGatherMirrorNew:
// <text>") and answered with status 500 and the plain-text body "Unhandled Exception", unless the
// reply has begun or the relay is stopping.
//
// Threads: HandleRequest runs on many threads at once; the plug-in keeps no state of its own. The
// gather state and map are not owned and outlive the plug-in.
#pragma once

#include <memory>

#include "http/http_plugin.h"
#include "relay/gather/gather_state.h"
#include "relay/gather/url_to_gather_id_map.h"

class RelayGatherMirrorNewPlugIn : public HTTPPlugIn {
  public:
    RelayGatherMirrorNewPlugIn(URLToGatherIDMap& gatherMap, GatherState& state);

    void HandleRequest(std::unique_ptr<HTTPPlugInInterface> interface) override;

  private:
    URLToGatherIDMap& m_gatherMap;
    GatherState& m_state;
};
