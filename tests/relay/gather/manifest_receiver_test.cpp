#include "relay/gather/manifest_receiver.h"

#include <gtest/gtest.h>

#include "foundation/line_maker.h"
#include "relay/gather/many_version_list.h"

namespace {

// Reads the text through a LineMaker, cut into two chunks at `cut`.
SiteManifest Read(const std::string& text, std::size_t cut) {
    SiteManifest manifest;
    ManifestReceiver receiver(manifest);
    LineMaker lines(receiver);
    const ConstData bytes{std::string_view(text)};
    lines.Begin();
    lines.Receive(bytes.begin, bytes.begin + cut);
    lines.Receive(bytes.begin + cut, bytes.end);
    lines.End();
    return manifest;
}

TEST(ManifestReceiverTest, ReadsTheSiteAndVersionWhereverTheTextIsCut) {
    struct Case {
        const char* title;
        std::string text;
        std::uint32_t number;
        std::uint32_t version;
        std::string manyVersion;
        std::string siteURL;
    };
    const Case cases[] = {
        {"plain", "7\r\n42\r\nhttp://parent/demosite\r\n", 7, 42, "", "http://parent/demosite"},
        {"with a many-version list, lone line feeds", "1\n9,3,0,17\nhttp://parent/opsite1\n", 1, 9, "3,0,17",
         "http://parent/opsite1"},
        {"no line end after the URL, lines after it ignored", "0\r\n 1 2\r\nhttp://x/y\r\nextra\r\nmore", 0, 12, "",
         "http://x/y"},
        {"an empty list after the comma", "5\n6,\nhttp://x/z", 5, 6, "", "http://x/z"},
    };
    for (const Case& c : cases) {
        for (std::size_t cut = 0; cut <= c.text.size(); ++cut) {
            const SiteManifest manifest = Read(c.text, cut);
            EXPECT_EQ(manifest.number, c.number) << c.title << " cut at " << cut;
            EXPECT_EQ(manifest.version, c.version) << c.title << " cut at " << cut;
            EXPECT_EQ(ManyVersionToText(manifest.manyVersion), c.manyVersion) << c.title << " cut at " << cut;
            EXPECT_EQ(manifest.siteURL, c.siteURL) << c.title << " cut at " << cut;
            EXPECT_FALSE(manifest.expectedVersion.IsSet());
        }
    }
}

TEST(ManifestReceiverTest, AManifestThatNamesNoSiteVersionIsMalformed) {
    const std::string tooLong(ManifestReceiver::kMaxManifestLineLength + 1, 'u');
    for (const std::string& text : {std::string(""), std::string("1\n2\n"), std::string("1\n2\n\nhttp://x/y"),
                                    std::string("one\n2\nhttp://x/y"), std::string("1\nv2\nhttp://x/y"),
                                    std::string("1\n4294967296\nhttp://x/y"), "1\n2\n" + tooLong})
        EXPECT_THROW(Read(text, text.size() / 2), MalformedManifest) << text.substr(0, 40);
    EXPECT_NO_THROW(Read("1\n2\nhttp://x/y\n" + tooLong, 0));
}

}  // namespace
