#include "relay/download/download_pings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "foundation/checksum_receiver.h"
#include "relay/download/action_targets.h"
#include "relay/download/download_manager_fixture.h"

namespace {

const std::string kContent = "ready bytes";

std::string Text(const DownloadRequestTarget& target) {
    return downloadRequestTargetText(target);
}

class DownloadPingsTest : public DownloadManagerFixture {
  protected:
    // Hands the pings' targets to the downloader: the texts of the targets started.
    std::vector<std::string> Started() {
        Downloader().started.clear();
        Manager().DoWork();
        return Downloader().started;
    }

    const DownloadRequestTarget m_first = DownloadRequestTarget::Indexed(12, 1, "http://site/1", Sha1Of(kContent));
    const DownloadRequestTarget m_dynamic =
        DownloadRequestTarget::Dynamic(12, Sha1Of(kContent), kContent.size(), "http://site/dynamic");
    const std::uint32_t m_crc = ChecksumOfRange(Sha1Of(kContent).Bytes());
};

}  // namespace

TEST_F(DownloadPingsTest, ADownloadPingPassesOnOnlyForACachedAction) {
    EXPECT_FALSE(HandleDownloadPing(12, m_settings, Manager()));
    EXPECT_TRUE(Started().empty());

    m_state->ReplaceIndexedDownloads(12, {m_first});
    Put(DownloadRequestTarget::URLRequest(12), DownloadStateStatus::Completed, GetCurrentUTCTime());
    Put(m_first, DownloadStateStatus::Failed, GetCurrentUTCTime());
    EXPECT_FALSE(HandleDownloadPing(12, m_settings, Manager()));
    // Forced: the FAILED download starts at once. Without the action's list in the cache, the URL
    // request is asked for again too.
    EXPECT_EQ(Started(), (std::vector<std::string>{Text(m_first), Text(DownloadRequestTarget::URLRequest(12))}));

    m_state->SetCompletedFromAnyState(DownloadRequestTarget::URLRequest(12));
    InSha1Folder(kContent);
    EXPECT_TRUE(HandleDownloadPing(12, m_settings, Manager()));
}

TEST_F(DownloadPingsTest, ADynamicPingAsksForWhatWaitsAndAnswersWhetherAnyIsCached) {
    EXPECT_FALSE(HandleDynamicDownloadPing(m_crc, m_settings, Manager()));

    const DownloadRequestTarget busy =
        DownloadRequestTarget::Dynamic(13, Sha1Of(kContent), kContent.size(), "http://other/dynamic");
    Put(m_dynamic, DownloadStateStatus::Failed, GetCurrentUTCTime());
    Put(busy, DownloadStateStatus::Downloading, GetCurrentUTCTime());
    EXPECT_FALSE(HandleDynamicDownloadPing(m_crc, m_settings, Manager()));
    EXPECT_EQ(Started(), std::vector<std::string>{Text(m_dynamic)});

    InSha1Folder(kContent);
    EXPECT_TRUE(HandleDynamicDownloadPing(m_crc, m_settings, Manager()));
    // A stored dynamic download older than seven days is unknown to a ping.
    const DownloadRequestTarget old = DownloadRequestTarget::Dynamic(14, FilledDigest(0x01), 1, "http://old");
    Put(old, DownloadStateStatus::Failed, GetCurrentUTCTime() - kDynamicDownloadWindow - kMicrosecondsPerDay);
    EXPECT_FALSE(HandleDynamicDownloadPing(ChecksumOfRange(FilledDigest(0x01).Bytes()), m_settings, Manager()));
}

TEST_F(DownloadPingsTest, RetryingAnActionHandsOverItsFailedDownloads) {
    const DownloadRequestTarget second = DownloadRequestTarget::Indexed(12, 2, "http://site/2");
    m_state->ReplaceIndexedDownloads(12, {m_first, second});
    m_state->SetCompletedFromAnyState(m_first);
    m_state->SetCompletedFromAnyState(second);
    EXPECT_FALSE(RetryFailedActionDownloads(12, m_settings, Manager()));

    Put(second, DownloadStateStatus::Failed, GetCurrentUTCTime());
    Put(m_dynamic, DownloadStateStatus::Failed, GetCurrentUTCTime());
    EXPECT_TRUE(RetryFailedActionDownloads(12, m_settings, Manager()));
    EXPECT_EQ(Started(), (std::vector<std::string>{Text(second), Text(m_dynamic)}));
}
