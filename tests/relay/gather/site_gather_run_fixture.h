// The fixture of the tests that run whole site gathers: the gather state's fixture, a parent that
// publishes signed sites (support/site_parent.h) named as the parent gather URL, the sites' mastheads
// where the relay's masthead search finds them, and the socket system started.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>

#include "crypto/masthead_signature_policy.h"
#include "net/started_socket_system.h"
#include "relay/gather/gather_state_fixture.h"
#include "relay/gather/many_version_list.h"
#include "relay/gather/site_gather_threads.h"
#include "support/site_parent.h"

inline const std::vector<SiteFile> kSiteVersion1 = {{"a.txt", "one", 100}, {"b.txt", "unchanged", 200}};
inline const std::vector<SiteFile> kSiteVersion2 = {
    {"a.txt", "one and two", 300}, {"b.txt", "unchanged", 200}, {"c.txt", "new", 400}};

class SiteGatherRunTest : public GatherStateTest {
  protected:
    static void SetUpTestSuite() {
        GatherStateTest::SetUpTestSuite();
        SetMastheadRootFolder(FileLocation(MastheadRootsFolder().c_str()));
    }

    SiteGatherRunTest() {
        StartedSocketSystem();
        PlaceSiteMastheads(Storage() + "/MerivantData/gather");
        SetClientSetting("_KVRGather_Comm_ParentRelayURL", m_sites.GatherURL());
    }

    // The request the gather state queues for the site (latest version), or a copy of it with the
    // local version given.
    SiteGatherParams Queued(const std::string& url) {
        State().QueueSiteGatherRequest(url, SiteVersion());
        std::optional<SiteGatherParams> request = State().PopQueuedRequest();
        EXPECT_TRUE(request.has_value());
        return request.value_or(SiteGatherParams());
    }
    // A gather thread's whole work for the request, on this thread.
    void Process(const SiteGatherParams& request) {
        ProcessSiteGatherRequest(std::make_shared<const SiteGatherParams>(request), m_options, m_stop, State());
    }
    void Gather(const std::string& url) { Process(Queued(url)); }

    std::uint32_t SiteID(const std::string& url) { return Map().GetGatherID(url); }
    std::string SiteFolder(const std::string& url, std::uint32_t version) {
        return MirrorSites() + "/daruravidumirror_" + std::to_string(SiteID(url)) + "_" + std::to_string(version);
    }
    std::string ManyFolder(const std::string& url, std::uint32_t version, const std::string& manyVersion) {
        return MirrorSites() + "/manymirror_" + std::to_string(SiteID(url)) + "_" + std::to_string(version) + "_" +
               std::to_string(ManyVersionCRC(ManyVersionFromText(manyVersion)));
    }
    std::string DirLists(const std::string& url) { return MirrorSites() + "/manydirlists_" + std::to_string(SiteID(url)); }

    ScriptedParent m_parent;
    SiteParent m_sites{m_parent};
};
