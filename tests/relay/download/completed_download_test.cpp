#include "relay/download/completed_download.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "crypto/openssl_startup.h"
#include "relay/download/download_files.h"
#include "relay/download/download_request_file.h"
#include "relay/download/download_test_support.h"

namespace {

const std::string kContent = "downloaded bytes";

// A relay's download folders and state, and a finished download waiting in the active-downloads folder.
class StoreCompletedDownloadTest : public DownloadSettingsFixture {
  protected:
    static void SetUpTestSuite() { InitializeOpenSSL(false); }

    StoreCompletedDownloadTest() {
        OpenDownloadStateDatabase(m_settings);
        m_state = std::make_unique<DownloadState>(m_settings);
        WriteAgedFile(Downloaded(), kContent, 0);
    }

    std::string Downloads(const std::string& path) const {
        return m_settings.GetDownloadsFolder().GetPathString() + "/" + path;
    }
    std::string Downloaded() const { return Downloads("ActiveDownloads/part"); }
    // The message of the failure, or "stored".
    std::string Store(const DownloadRequestTarget& target) {
        try {
            StoreCompletedDownload(target, Location(Downloaded()), m_settings, *m_state);
            return "stored";
        } catch (const std::exception& failure) {
            return failure.what();
        }
    }

    const std::string m_hex = Sha1Of(kContent).ToHex();
    std::unique_ptr<DownloadState> m_state;
};

TEST_F(StoreCompletedDownloadTest, ChecksADynamicDownloadAgainstItsSha1AndSize) {
    const std::string otherHex = FilledDigest(0x01).ToHex();
    const struct {
        const char* name;
        DigestRecord sha1;
        std::uint64_t size;
        std::string outcome;
    } cases[] = {
        {"both match", Sha1Of(kContent), kContent.size(), "stored"},
        {"the size differs", Sha1Of(kContent), 5, "Requested size 5 does not match actual size 16"},
        {"the SHA-1 differs", FilledDigest(0x01), kContent.size(),
         "Requested SHA1 " + otherHex + " does not match actual SHA1 " + m_hex},
        {"both differ: the SHA-1 wins", FilledDigest(0x01), 5,
         "Requested SHA1 " + otherHex + " does not match actual SHA1 " + m_hex},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAgedFile(Downloaded(), kContent, 0);
        std::filesystem::remove_all(Downloads("sha1"));
        EXPECT_EQ(Store(DownloadRequestTarget::Dynamic(7, c.sha1, c.size, "http://site/f")), c.outcome);
        // Stored or failed, the download is gone from where it grew; only a stored one is in the cache.
        EXPECT_FALSE(std::filesystem::exists(Downloaded()));
        EXPECT_EQ(Names(Downloads("sha1")),
                  c.outcome == "stored" ? std::set<std::string>{m_hex} : std::set<std::string>{});
        if (c.outcome == "stored") {
            EXPECT_EQ(ReadWholeFile(Downloads("sha1/" + m_hex)), kContent);
        }
    }
}

TEST_F(StoreCompletedDownloadTest, ChecksAnIndexedDownloadAgainstItsRowAndRecordsWhatItGot) {
    const DownloadRequestTarget target = DownloadRequestTarget::Indexed(7, 1, "http://parent/f");
    m_state->SetNew(target);
    EXPECT_EQ(Store(target), "stored");
    EXPECT_EQ(ReadWholeFile(Downloads("sha1/" + m_hex)), kContent);
    EXPECT_EQ(m_state->GetSHA1(7, 1)->ToHex(), m_hex);
    EXPECT_EQ(m_state->GetSize(7, 1), kContent.size());

    WriteAgedFile(Downloaded(), "other bytes", 0);
    EXPECT_EQ(Store(target),
              "Requested SHA1 " + m_hex + " does not match actual SHA1 " + Sha1Of("other bytes").ToHex());
    EXPECT_FALSE(std::filesystem::exists(Downloaded()));
}

TEST_F(StoreCompletedDownloadTest, StoresAnActionsListOnlyWhenItReadsAsThatActionsList) {
    const DownloadRequestTarget urlRequest = DownloadRequestTarget::URLRequest(12);
    const struct {
        const char* name;
        std::string content;
        std::string outcome;
    } cases[] = {
        {"not a request file", "<html>Not here</html>", "class InvalidDownloadRequestFile"},
        {"another action's list", "+\n13\n", "class InvalidDownloadRequestFile"},
        {"a bad size", "+\n12\nu\nsize:x\nsha1:null\n", "class NotANumeral"},
        {"the action's list", "+\n12\nu\nsha1:null\n", "stored"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        WriteAgedFile(Downloaded(), c.content, 0);
        EXPECT_EQ(Store(urlRequest), c.outcome);
        EXPECT_FALSE(std::filesystem::exists(Downloaded()));
        EXPECT_EQ(std::filesystem::exists(Downloads("ActionURLs/dl_12")), c.outcome == "stored");
    }
    EXPECT_EQ(ReadWholeFile(Downloads("ActionURLs/dl_12")), "+\n12\nu\nsha1:null\n");
}

}  // namespace
