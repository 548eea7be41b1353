#include "base/file_location.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::string Text(const FileLocation& location) {
    return location.GetPathString();
}

FileLocation Resolved(const char* base, const char* relative) {
    return ResolveRelativePath(FileLocation(base), ConstData(std::string_view(relative)));
}

}  // namespace

TEST(FileName, AcceptsOrdinaryNamesAndRefusesSeparatorsControlsAndDots) {
    for (const char* good : {"a.txt", "_x.log", "name with blanks", "\xc3\xa9t\xc3\xa9", "...", ".hidden"}) {
        EXPECT_EQ(FileName(good).ToString(), good);
    }
    for (const char* bad :
         {".", "..", "a/b", "a\\b", "a:b", "a*", "a?", "a<b", "a>b", "a|b", "a\"b", "tab\there"}) {
        EXPECT_THROW(FileName{bad}, IllegalFileName) << bad;
    }
    EXPECT_THROW(FileName("a\0b", 3), IllegalFileName);
}

TEST(FileName, LengthIsOneTo257Bytes) {
    EXPECT_EQ(FileName(std::string(257, 'n').c_str()).Length(), 257u);
    EXPECT_THROW(FileName(std::string(258, 'n').c_str()), IllegalFileNameLength);
    EXPECT_THROW(FileName(""), IllegalFileNameLength);
    EXPECT_TRUE(FileName(static_cast<const char*>(nullptr)).IsEmpty());
}

TEST(FileName, ConcatenationIsCheckedAsAWhole) {
    FileName name("list.txt");
    EXPECT_EQ(ConcatenateTextAndFileName("~", name).ToString(), "~list.txt");
    EXPECT_EQ(ConcatenateFileNameAndText(name, ".tmp").ToString(), "list.txt.tmp");
    EXPECT_THROW(ConcatenateFileNameAndText(name, "/../x"), IllegalFileName);
    FileName long256(std::string(255, 'n').c_str());
    EXPECT_EQ(ConcatenateFileNameAndText(long256, "x").Length(), 256u);
    EXPECT_THROW(ConcatenateFileNameAndText(long256, "xy"), IllegalFileName);
}

TEST(FileLocation, TrailingSeparatorsAreStrippedButTheRootStays) {
    struct Case {
        const char* text;
        const char* held;
    } cases[] = {
        {"/tmp/dir/", "/tmp/dir"}, {"/tmp//", "/tmp"}, {"/", "/"},     {"///", "/"},
        {"rel/", "rel"},           {"", ""},           {"a\\", "a\\"},
    };
    for (const Case& c : cases) EXPECT_EQ(Text(FileLocation(c.text)), c.held) << c.text;
    EXPECT_TRUE(FileLocation(static_cast<const char*>(nullptr)).IsEmpty());
    EXPECT_EQ(Text(FileLocation("/a\0/../b", 8)), "/a");
}

TEST(FileLocation, ParentsAndRoots) {
    struct Case {
        const char* text;
        const char* parent;
    } cases[] = {
        {"/a", "/"}, {"/a/b", "/a"}, {"/a//b", "/a"}, {"//a", "/"}, {"a/b", "a"}, {"a/b/c.txt", "a/b"},
    };
    for (const Case& c : cases) EXPECT_EQ(Text(FileLocation(c.text).GetParentLocation()), c.parent) << c.text;

    EXPECT_TRUE(FileLocation("/").IsRoot());
    EXPECT_FALSE(FileLocation("/a").IsRoot());
    EXPECT_THROW(FileLocation("/").GetParent(), RootHasNoParent);
    EXPECT_THROW(FileLocation("file.txt").GetParent(), InvalidFileLocation);
    EXPECT_THROW(FileLocation().GetParent(), EmptyFileLocationError);
    EXPECT_THROW(FileLocation().IsRoot(), EmptyFileLocationError);
    EXPECT_EQ(Text(GetContainingFolder(FileLocation("file.txt"))), ".");
    EXPECT_EQ(Text(GetContainingFolder(FileLocation("/d/file.txt"))), "/d");
}

TEST(FileLocation, NamesAndChildren) {
    EXPECT_EQ(FileLocation("/dir/a.txt").GetName().ToString(), "a.txt");
    EXPECT_EQ(FileLocation("a.txt").GetName().ToString(), "a.txt");
    EXPECT_TRUE(FileLocation().GetName().IsEmpty());
    EXPECT_THROW(FileLocation("/dir/a:b").GetName(), IllegalFileName);
    EXPECT_THROW(FileLocation("/").GetName(), IllegalFileNameLength);

    EXPECT_EQ(Text(FileLocation("/dir").MakeChild("x")), "/dir/x");
    EXPECT_EQ(Text(ChildFileLocation(FileLocation("/"), "x")), "/x");
    EXPECT_EQ(Text(FileLocation(FileLocation("/dir"), FileName())), "/dir");
    EXPECT_THROW(FileLocation("/dir").MakeChild("a/b"), IllegalFileName);
    EXPECT_THROW(FileLocation("/dir").MakeChild(".."), IllegalFileName);
    EXPECT_THROW(FileLocation().MakeChild("x"), EmptyFileLocationError);
}

TEST(FileLocation, ResolveRelativePathNeverRisesAboveItsBase) {
    struct Case {
        const char* relative;
        const char* resolved;
    } cases[] = {
        {"a/./b/../c", "/root/a/c"},
        {"../../x", "/root/x"},
        {"a/../../b", "/root/b"},
        {"//a//b/", "/root/a/b"},
        {"", "/root"},
        {"a/b/../..", "/root"},
        {"..", "/root"},
        {"./.", "/root"},
    };
    for (const Case& c : cases) EXPECT_EQ(Text(Resolved("/root", c.relative)), c.resolved) << c.relative;
    EXPECT_THROW(Resolved("/root", "a/b:c"), IllegalFileName);
    EXPECT_THROW(Resolved("/root", "a\\..\\..\\x"), IllegalFileName);
    EXPECT_THROW(Resolved("", "a"), EmptyFileLocationError);
}

TEST(FileLocation, CurrentDirectoryIsAbsolute) {
    FileLocation current = GetCurrentDirectoryLocation();
    ASSERT_FALSE(current.IsEmpty());
    EXPECT_EQ(current.CString()[0], '/');
}

TEST(FileName, StartsWithExactlyOrIgnoringCase) {
    EXPECT_TRUE(FileName("_x.log").StartsWith("_", false));
    EXPECT_FALSE(FileName("_").StartsWith("_x", false));
    EXPECT_TRUE(FileName("Archive_1").StartsWith("archive_", true));
    EXPECT_FALSE(FileName("Archive_1").StartsWith("archive_", false));
    EXPECT_TRUE(FileName("a").StartsWith(nullptr, false));
}

TEST(FileLocation, TextComparisonIgnoresAsciiCase) {
    EXPECT_TRUE(CompareFileLocationText(FileLocation("/Data/A.txt"), "/data/a.TXT"));
    EXPECT_FALSE(CompareFileLocationText(FileLocation("/data/a"), "/data/a/"));
    EXPECT_TRUE(CompareFileLocationText(FileLocation(), nullptr));
    EXPECT_FALSE(CompareFileLocationText(FileLocation("/\xc3\x89"), "/\xc3\xa9"));
}
