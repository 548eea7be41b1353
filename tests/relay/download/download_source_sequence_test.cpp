#include "relay/download/download_source_sequence.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "relay/download/download_test_support.h"

namespace {

const DownloadRequestTarget kURLRequest = DownloadRequestTarget::URLRequest(12);
const DownloadRequestTarget kIndexed = DownloadRequestTarget::Indexed(12, 3, "http://site/a b.zip");
const DownloadRequestTarget kDynamic =
    DownloadRequestTarget::Dynamic(12, FilledDigest(0xab), 5, "http://site/dynamic.bin");
const std::string kSha1Hex = FilledDigest(0xab).ToHex();

class DownloadSourceSequenceTest : public DownloadSettingsFixture {
  protected:
    std::vector<std::string> Places(const DownloadRequestTarget& target, std::optional<std::string> parent) {
        std::vector<std::string> places;
        for (DownloadSourceSequence sequence(target, m_settings, std::move(parent)); !sequence.IsExhausted();
             sequence.Next())
            places.push_back(sequence.Current());
        return places;
    }
};

}  // namespace

TEST_F(DownloadSourceSequenceTest, PlacesByKindParentAndFlags) {
    const struct {
        const char* name;
        DownloadRequestTarget target;
        std::optional<std::string> parent;
        const char* checkParent;
        const char* checkInternet;
        std::vector<std::string> places;
    } cases[] = {
        {"URL request", kURLRequest, "http://parent:52311", "1", "1",
         {"http://parent:52311/vtmirror/downloads/12/dl_12"}},
        {"URL request, parent flag off", kURLRequest, "http://parent:52311/", "0", "1",
         {"http://parent:52311/vtmirror/downloads/12/dl_12"}},
        {"URL request without parent", kURLRequest, std::nullopt, "1", "1", {}},
        {"indexed", kIndexed, "http://parent:52311/", "1", "1",
         {"http://parent:52311/vtmirror/downloads/12/3", "http://site/a b.zip"}},
        {"indexed, parent flag off", kIndexed, "http://parent:52311/", "0", "1", {"http://site/a b.zip"}},
        {"indexed, internet flag off", kIndexed, "http://parent:52311/", "1", "0",
         {"http://parent:52311/vtmirror/downloads/12/3"}},
        {"indexed without parent", kIndexed, std::nullopt, "1", "1", {"http://site/a b.zip"}},
        {"indexed without any place", kIndexed, std::nullopt, "1", "0", {}},
        {"dynamic", kDynamic, "http://parent:52311/relay/", "1", "1",
         {"http://parent:52311/relay/vtmirror/downloads/sha1/" + kSha1Hex, "http://site/dynamic.bin"}},
        {"dynamic, both flags off", kDynamic, "http://parent:52311/", "0", "0", {}},
    };
    for (const auto& test : cases) {
        WriteSettings({{"_KVRGather_Download_CheckParentFlag", test.checkParent},
                       {"_KVRGather_Download_CheckInternetFlag", test.checkInternet}});
        EXPECT_EQ(Places(test.target, test.parent), test.places) << test.name;
    }
}

// Each flag counts as it stands when the sequence gets to its place.
TEST_F(DownloadSourceSequenceTest, TheInternetFlagIsReadWhenItsPlaceComes) {
    DownloadSourceSequence sequence(kIndexed, m_settings, "http://parent/");
    EXPECT_EQ(sequence.Current(), "http://parent/vtmirror/downloads/12/3");
    WriteSettings({{"_KVRGather_Download_CheckInternetFlag", "0"}});
    sequence.Next();
    EXPECT_TRUE(sequence.IsExhausted());
}
