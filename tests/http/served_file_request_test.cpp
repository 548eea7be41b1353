#include "http/served_file_request.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(ResolveServedFilePath, PathRuleTable) {
    FileLocation root("/srv/root");
    struct Case {
        std::string path;
        const char* file;  // null: a bad request
    };
    for (const Case& test : {
             Case{"/", "/srv/root"},
             Case{"/a.txt", "/srv/root/a.txt"},
             Case{"/a;v=1/b.txt", "/srv/root/a/b.txt"},
             Case{"/a/b.txt;type=a", "/srv/root/a/b.txt"},
             Case{"/dir/", "/srv/root/dir"},
             Case{"//a//b", "/srv/root/a/b"},
             Case{"/./a/./b", "/srv/root/a/b"},
             Case{"/with%20space/%41.bin", "/srv/root/with space/A.bin"},
             Case{"/caf%C3%A9", "/srv/root/caf\xC3\xA9"},
             Case{"/...", "/srv/root/..."},
             Case{"/a..b", "/srv/root/a..b"},
             Case{"/..", nullptr},
             Case{"/a/../../etc/passwd", nullptr},
             Case{"/%2e%2e/etc", nullptr},
             Case{"/%2E%2E", nullptr},
             Case{"/..%2f/etc", nullptr},
             Case{"/a%2fb", nullptr},
             Case{"/a%5cb", nullptr},
             Case{"/a\\b", nullptr},
             Case{"/a%00.txt", nullptr},
             Case{"/a%0a.txt", nullptr},
             Case{"/a%7f", nullptr},
             Case{"/..;x=1", nullptr},
             Case{"/a:b", nullptr},
             Case{"/" + std::string(300, 'n'), nullptr},
         }) {
        std::optional<FileLocation> file = ResolveServedFilePath(root, ConstData(test.path));
        if (test.file == nullptr) {
            EXPECT_FALSE(file.has_value()) << test.path;
        } else {
            ASSERT_TRUE(file.has_value()) << test.path;
            EXPECT_EQ(file->GetPathString(), test.file) << test.path;
        }
    }
}

TEST(ResolveServedFilePath, AnUnsetRootServesNothingButStillRefusesBadPaths) {
    EXPECT_TRUE(ResolveServedFilePath(FileLocation(), ConstData(std::string_view("/a")))->IsEmpty());
    EXPECT_FALSE(ResolveServedFilePath(FileLocation(), ConstData(std::string_view("/.."))).has_value());
}

TEST(RangeStart, RangeRuleTable) {
    struct Case {
        const char* range;
        std::uint64_t start;
    };
    for (const Case& test : {
             Case{"", 0},
             Case{"bytes=100-199", 100},
             Case{"bytes=100-", 100},
             Case{"bytes= 100 -", 100},
             Case{"bytes=100", 100},
             Case{"bytes=0-", 0},
             Case{"bytes=100-199,300-400", 100},
             Case{"bytes=-500", 0},
             Case{"bytes=x-", 0},
             Case{"bytes=99999999999999999999-", 0},
             Case{"Bytes=100-", 0},
             Case{"items=100-", 0},
         }) {
        EXPECT_EQ(RangeStart(ConstData(std::string_view(test.range))), test.start) << test.range;
    }
}

}  // namespace
