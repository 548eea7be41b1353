// The fixture of the site gather tests: the gather state's fixture (a registry and storage folder of
// the test's own), a scripted parent named as the parent gather URL, the socket system started, and
// the transport of the test's parameter (true: the libcurl one, false: the socket client).
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "net/started_socket_system.h"
#include "relay/gather/gather_state_fixture.h"
#include "support/scripted_parent.h"
#include "relay/gather/site_gather_worker.h"
#include "relay/gather/url_fetcher.h"

inline constexpr const char* kGatherPath = "/cgi-bin/vtdaruravidu/KVRGatherMirror.exe";

class SiteGatherTest : public GatherStateTest, public ::testing::WithParamInterface<bool> {
  protected:
    static constexpr std::uint32_t kSiteID = 3;

    SiteGatherTest() {
        StartedSocketSystem();
        SetUseUrlMoniker(GetParam());
        SetClientSetting("_KVRGather_Comm_ParentRelayURL", m_parent.URL(kGatherPath));
    }
    ~SiteGatherTest() override { SetUseUrlMoniker(true); }

    // A worker for the site kUpdates (id kSiteID) holding the local version.
    std::unique_ptr<SiteGatherWorker> Worker(std::uint32_t localVersion = 0) {
        SiteGatherParams request;
        request.siteID = kSiteID;
        request.localVersion = localVersion;
        request.siteURL = kUpdates;
        return std::make_unique<SiteGatherWorker>(request, m_options, m_stop, State());
    }
    // A worker that has asked the parent for the site directory, which answered `list` with the reply
    // header lines (each ending in "\r\n").
    std::unique_ptr<SiteGatherWorker> AnsweredWorker(const std::string& replyHeaders, const std::string& list = "list") {
        m_parent.Serve(kGatherPath, list, replyHeaders);
        std::unique_ptr<SiteGatherWorker> worker = Worker();
        worker->RequestSiteDirectory();
        return worker;
    }

    ScriptedParent m_parent;
};

inline std::string TransportName(const ::testing::TestParamInfo<bool>& info) {
    return info.param ? "URLMoniker" : "Socket";
}
