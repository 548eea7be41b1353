#include "relay/gather/mirror_file_url.h"

#include <gtest/gtest.h>

#include "net/local_server_url.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_registry.h"

TEST(MirrorFileURL, JoinsTheNamesBelowTheWebRootToTheBase) {
    const FileLocation root("/srv/WWW");
    const struct {
        std::string location;
        bool trailingSlash;
        std::string url;
    } cases[] = {
        {"/srv/WWW/vtmirror/vtsites/gathercache", true,
         "http://127.0.0.1:52311/vtmirror/vtsites/gathercache/"},
        {"/srv/WWW/vtmirror/vtsites/daruravidumirror_1_42/__sdirlist", false,
         "http://127.0.0.1:52311/vtmirror/vtsites/daruravidumirror_1_42/__sdirlist"},
        {"/srv/www/gathercache", true, "http://127.0.0.1:52311/gathercache/"},
        {"/srv/WWW", true, "http://127.0.0.1:52311/"},
        {"/srv/WWW", false, "http://127.0.0.1:52311/"},
    };
    for (const auto& c : cases)
        EXPECT_EQ(
            MirrorFileURL(root, FileLocation(c.location.c_str()), c.trailingSlash, kDefaultLocalServerURL),
            c.url)
            << c.location;
    EXPECT_EQ(MirrorFileURL(root, FileLocation("/srv/WWW/a/b"), false, "http://relay.test:8080/ignored"),
              "http://relay.test:8080/a/b");
}

TEST(MirrorFileURL, AFileOutsideTheWebRootHasNoURL) {
    for (const char* location : {"/srv/other/a", "/srv", "/", "relative/a", "a"})
        EXPECT_THROW(
            MirrorFileURL(FileLocation("/srv/WWW"), FileLocation(location), false, kDefaultLocalServerURL),
            MirrorFileOutsideWebRoot)
            << location;
}

TEST(ReadServerBaseURL, IsTheInstallersHostnameOrTheLocalDefault) {
    TemporaryRegistry registry;
    EXPECT_EQ(ReadLocalServerURLText(), "http://127.0.0.1:52311");
    ImportWithKvrreg(
        "[HKLM\\Software\\Veltra\\Daruravidu Server\\Installer]\n\"Hostname\"=\"http://relay:8080\"\n");
    EXPECT_EQ(ReadLocalServerURLText(), "http://relay:8080");
}
