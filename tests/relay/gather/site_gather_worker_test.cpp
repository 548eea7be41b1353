// The worker's exchanges with a scripted parent, over both transports.
#include "relay/gather/site_gather_worker.h"

#include <gtest/gtest.h>

#include "relay/gather/site_gather_fixture.h"

namespace {

using SiteGatherWorkerTest = SiteGatherTest;

TEST_P(SiteGatherWorkerTest, TheDirectoryRequestTellsTheLocalVersionAndTakesTheRepliesURLs) {
    m_parent.Serve(kGatherPath, "the signed list",
                   "x-kvr-http-local-addr: http://internal:80/vtmirror/vtsites/manydirlists_3/\r\n"
                   "x-kvrgather-fullsite-url: http://internal:80/vtmirror/vtsites/manydirlists_3/__fullsite_ab\r\n"
                   "x-kvrgather-mdirlist-url: http://internal:80/vtmirror/vtsites/manydirlists_3/__mdirlistc_ab\r\n"
                   "x-kvrgather-alldiffs-url: http://internal:80/vtmirror/vtsites/manydirlists_3/__alldiffs_ab\r\n"
                   "x-kvrgather-single-fullsite-url: http://internal:80/vtmirror/vtsites/manymirror_3_9_1/__fullsite\r\n");
    std::unique_ptr<SiteGatherWorker> worker = Worker(7);
    EXPECT_EQ(worker->RequestSiteDirectory(), std::string("the signed list").size());
    EXPECT_EQ(ReadWholeFile(worker->GetReplyFile().ToString()), "the signed list");
    const std::string at = m_parent.URL("/vtmirror/vtsites/");
    EXPECT_EQ(worker->GetLocalAddress(), at + "manydirlists_3/");
    EXPECT_EQ(worker->GetFullSiteURL(), at + "manydirlists_3/__fullsite_ab");
    EXPECT_EQ(worker->GetMDirListURL(), at + "manydirlists_3/__mdirlistc_ab");
    EXPECT_EQ(worker->GetAllDiffsURL(), at + "manydirlists_3/__alldiffs_ab");
    EXPECT_EQ(worker->GetSingleFullSiteURL(), at + "manymirror_3_9_1/__fullsite");

    const std::string request = m_parent.Requests().at(0);
    const std::string target = std::string(kGatherPath) + "?url=" + kUpdates + "&ManyVersionSHA1=";
    EXPECT_EQ(request.substr(0, 4 + target.size()), "GET " + target) << request;
    EXPECT_NE(request.find("&Time="), std::string::npos) << request;
    EXPECT_EQ(request.find("Expect404Flag"), std::string::npos) << request;
    EXPECT_NE(request.find("x_veltra_client_site_version: 7\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("x_veltra_last_server_date: <daruravidumirror>\r\n"), std::string::npos) << request;
    EXPECT_NE(request.find("x_veltra_client_valid: true\r\n"), std::string::npos) << request;
}

TEST_P(SiteGatherWorkerTest, AParentWithNothingNewerAnswersAnEmptyBody) {
    m_parent.Serve(kGatherPath, "");
    EXPECT_EQ(Worker()->RequestSiteDirectory(), 0u);
    EXPECT_NE(m_parent.Requests().at(0).find("&Expect404Flag=true"), std::string::npos);
}

// Without a single-full-site URL, a relay parent's files are taken from its local address.
TEST_P(SiteGatherWorkerTest, ContentComesFromTheLocalAddressOnlyWithoutASingleFullSiteURL) {
    m_parent.Serve(kGatherPath, "list", "x-kvr-http-local-addr: http://internal/vtmirror/vtsites/daruravidumirror_3_9/\r\n");
    m_parent.Serve("/vtmirror/vtsites/daruravidumirror_3_9/__fullsite", "from the parent's folder");
    std::unique_ptr<SiteGatherWorker> worker = Worker();
    worker->RequestSiteDirectory();
    const FileLocation destination((m_folder / "fetched").c_str());
    worker->FetchContent("http://root.example.test/sites/Updates/__fullsite", destination);
    EXPECT_EQ(ReadWholeFile(destination.ToString()), "from the parent's folder");

    m_parent.Serve(kGatherPath, "list",
                   "x-kvr-http-local-addr: http://internal/vtmirror/vtsites/gathercache/\r\n"
                   "x-kvrgather-single-fullsite-url: http://internal/vtmirror/vtsites/manymirror_3_9_1/__fullsite\r\n");
    m_parent.Serve("/vtmirror/vtsites/manymirror_3_9_1/__alldiffs", "beside the single full site");
    std::unique_ptr<SiteGatherWorker> many = Worker();
    many->RequestSiteDirectory();
    many->FetchContent(m_parent.URL("/vtmirror/vtsites/manymirror_3_9_1/__alldiffs"), destination);
    EXPECT_EQ(ReadWholeFile(destination.ToString()), "beside the single full site");
}

INSTANTIATE_TEST_SUITE_P(BothTransports, SiteGatherWorkerTest, ::testing::Bool(), TransportName);

}  // namespace
