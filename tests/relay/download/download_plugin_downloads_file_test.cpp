#include "relay/download/download_plugin_downloads_file.h"

#include <gtest/gtest.h>

#include "base/numerals.h"
#include "download_test_support.h"

TEST(DownloadPluginDownloadsFile, ListsEachDownloadWithItsNullsInOrder) {
    const PluginDownloads downloads = {
        {0,
         {DownloadRequestTarget::Dynamic(12, FilledDigest(0xab), 5000, "test://a/b"), FileLocation("/d/1")}},
        {7, {DownloadRequestTarget::Indexed(12, 2, "test://c?d=\"e\""), FileLocation("/d/2")}},
    };
    EXPECT_EQ(DownloadPluginDownloadsText(1700000000, FileLocation("/srv/Mirror Server/inbox"), downloads),
              "{\n"
              "  \"id\" : 1700000000, \n"
              "  \"inbox\" : \"\\u002Fsrv\\u002FMirror Server\\u002Finbox\", \n"
              "  \"downloads\" : \n"
              "    [\n"
              "\n"
              "        {\n"
              "          \"id\" : 0, \n"
              "          \"file\" : \"\\u002Fd\\u002F1\", \n"
              "          \"url\" : \"test:\\u002F\\u002Fa\\u002Fb\", \n"
              "          \"sha1\" : \"abababababababababababababababababababab\", \n"
              "          \"size\" : 5000\n"
              "        }, \n"
              "        {\n"
              "          \"id\" : 7, \n"
              "          \"file\" : \"\\u002Fd\\u002F2\", \n"
              "          \"url\" : \"test:\\u002F\\u002Fc?d=\\\"e\\\"\", \n"
              "          \"sha1\" : null, \n"
              "          \"size\" : null\n"
              "        }\n"
              "    ]\n"
              "}");
}

TEST(DownloadPluginDownloadsFile, RefusesNumbersAJSONIntegerCannotCarry) {
    const PluginDownloads huge = {
        {0,
         {DownloadRequestTarget::Dynamic(1, FilledDigest(1), 1ull << 63, "test://a"), FileLocation("/d")}}};
    EXPECT_THROW(DownloadPluginDownloadsText(1, FileLocation("/i"), huge), NumeralTooLarge);
    EXPECT_THROW(DownloadPluginDownloadsText(1ull << 63, FileLocation("/i"), {}), NumeralTooLarge);
    EXPECT_NO_THROW(DownloadPluginDownloadsText((1ull << 63) - 1, FileLocation("/i"), {}));
}
