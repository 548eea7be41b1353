#include "net/url.h"
#include "net/url_builders.h"
#include "net/url_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

URLInfo Info(const char* text) { return URLInfo(ConstData(std::string_view(text))); }

TEST(URL, AssignTakesThePartsAndWritesThemBack) {
    struct Case {
        const char* text;
        const char* written;
    } cases[] = {
        {"http://u@h:81/p?q#f", "http://u@h:81/p?q#f"},
        {"http://[::1]:8080/x", "http://[::1]:8080/x"},
        {"mailto:x?y#f", "mailto:x?y#f"},
        {"http://h", "http://h"},
        {"http://h/a/./b/../c", "http://h/a/c"},
        {"/a/../b", "/a/../b"},
        {"a/b?c", "a/b?c"},
        {"?q#f", "?q#f"},
        {"", ""},
    };
    for (const Case& c : cases) EXPECT_EQ(URL(ConstData(std::string_view(c.text))).ToString(), c.written) << c.text;

    URL url(ConstData(std::string_view("http://u@h:81/p?q#f")));
    EXPECT_EQ(url.Scheme(), "http");
    EXPECT_EQ(url.UserInfo(), "u");
    EXPECT_EQ(url.Host(), "h");
    EXPECT_EQ(url.Port(), 81);
    EXPECT_EQ(url.Path(), "/p");
    EXPECT_EQ(url.Query(), "q");
    EXPECT_EQ(url.Fragment(), "f");
    EXPECT_FALSE(url.OpaquePart());
    url.Assign(Info("mailto:x"));
    EXPECT_EQ(url.OpaquePart(), "x");
    EXPECT_FALSE(url.Host());

    EXPECT_THROW(URL(ConstData(std::string_view("http://h:x/"))), InvalidPortNumber);
    ByteString text("http://h/", "http://h/" + 9);
    EXPECT_EQ(URL(text).ToString(), "http://h/");
}

TEST(URL, CompositionRules) {
    URL hostAndPath;
    hostAndPath.SetHost("h");
    hostAndPath.SetPath("a/./b/../c");
    EXPECT_EQ(hostAndPath.ToString(), "//h/a/c");

    URL relative;
    relative.SetPath("a:b/c");
    EXPECT_EQ(relative.ToString(), "a%3ab/c");
    relative.SetPath("a:b");
    EXPECT_EQ(relative.ToString(), "a%3ab");
    relative.SetScheme("x");
    EXPECT_EQ(relative.ToString(), "x:a:b");

    URL full;
    full.SetScheme("https");
    full.SetHost("::1");
    EXPECT_EQ(full.Host(), "[::1]");
    full.SetHost("[::2]");
    EXPECT_EQ(full.Host(), "[::2]");
    full.SetPort(8443);
    full.SetUserInfo("me");
    full.SetPath("/x");
    full.SetQuery("a=1");
    full.SetFragment("top");
    EXPECT_EQ(full.ToString(), "https://me@[::2]:8443/x?a=1#top");
    full.ClearPort();
    EXPECT_EQ(full.ToString(), "https://me@[::2]/x?a=1#top");
}

TEST(URL, SetAuthorityReadsUserHostAndPort) {
    struct Case {
        const char* authority;
        const char* userInfo;  // nullptr: absent
        const char* host;
        int port;  // -1: absent
    } cases[] = {
        {"u@h:81", "u", "h", 81},   {"h", nullptr, "h", -1},     {"[::1]:8080", nullptr, "[::1]", 8080},
        {"[::1]", nullptr, "[::1]", -1}, {"h:x", nullptr, "h", -1}, {"h:", nullptr, "h", -1},
        {"a@b@c:1", "a", "b@c", 1}, {"[fe80::1", nullptr, "[fe80::1", -1}, {"", nullptr, "", -1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.authority);
        URL url(ConstData(std::string_view("http://old@x:1/p")));
        url.SetAuthority(c.authority);
        EXPECT_EQ(url.UserInfo().has_value(), c.userInfo != nullptr);
        if (c.userInfo) EXPECT_EQ(*url.UserInfo(), c.userInfo);
        EXPECT_EQ(url.Host(), c.host);
        EXPECT_EQ(url.Port().has_value(), c.port != -1);
        if (c.port != -1) EXPECT_EQ(*url.Port(), c.port);
    }
}

TEST(URL, DotSegmentRemoval) {
    struct Case {
        const char* path;
        const char* result;
    } cases[] = {
        {"/a/b/c/./../../g", "/a/g"}, {"mid/content=5/../6", "mid/6"}, {"/a/./b", "/a/b"}, {"/a/.", "/a/"},
        {"/a/b/..", "/a/"},           {"/..", "/"},                     {"../a", "a"},       {"./a", "a"},
        {".", ""},                    {"..", ""},                       {"/a/b/", "/a/b/"},  {"", ""},
        {"/a//../b", "/b"},  // ".." takes an empty segment together with the one before it (RFC 3986: "/a/b")
    };
    for (const Case& c : cases) EXPECT_EQ(RemoveDotSegments(c.path), c.result) << c.path;
}

TEST(URL, ResolutionOfThePartsExamples) {
    struct Case {
        const char* reference;
        const char* base;
        const char* result;
    } cases[] = {
        {"../d", "http://h/a/b/c", "http://h/a/d"},
        {"", "http://h/a?x", "http://h/a?x"},
        {"?y", "http://h/a?x", "http://h/a?y"},
        {"x", "http://h", "http://h/x"},
        {"x", "y", "x"},
        {"x", "", "x"},
        {"//other/p", "https://h/a", "https://other/p"},
        {"__sdirlistc", "http://parent:52311/site/version/", "http://parent:52311/site/version/__sdirlistc"},
        {"/gathercache/", "http://127.0.0.1:52311", "http://127.0.0.1:52311/gathercache/"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ResolveURLReference(Info(c.reference), Info(c.base)), c.result) << c.reference << " on " << c.base;
}

// RFC 3986 section 5.4; the rules here agree with every normal and abnormal example (strict parsing).
TEST(URL, ResolutionOfTheRFC3986Examples) {
    const char* const base = "http://a/b/c/d;p?q";
    const char* const cases[][2] = {
        {"g:h", "g:h"},
        {"g", "http://a/b/c/g"},
        {"./g", "http://a/b/c/g"},
        {"g/", "http://a/b/c/g/"},
        {"/g", "http://a/g"},
        {"//g", "http://g"},
        {"?y", "http://a/b/c/d;p?y"},
        {"g?y", "http://a/b/c/g?y"},
        {"#s", "http://a/b/c/d;p?q#s"},
        {"g#s", "http://a/b/c/g#s"},
        {"g?y#s", "http://a/b/c/g?y#s"},
        {";x", "http://a/b/c/;x"},
        {"g;x", "http://a/b/c/g;x"},
        {"g;x?y#s", "http://a/b/c/g;x?y#s"},
        {"", "http://a/b/c/d;p?q"},
        {".", "http://a/b/c/"},
        {"./", "http://a/b/c/"},
        {"..", "http://a/b/"},
        {"../", "http://a/b/"},
        {"../g", "http://a/b/g"},
        {"../..", "http://a/"},
        {"../../", "http://a/"},
        {"../../g", "http://a/g"},
        {"../../../g", "http://a/g"},
        {"../../../../g", "http://a/g"},
        {"/./g", "http://a/g"},
        {"/../g", "http://a/g"},
        {"g.", "http://a/b/c/g."},
        {".g", "http://a/b/c/.g"},
        {"g..", "http://a/b/c/g.."},
        {"..g", "http://a/b/c/..g"},
        {"./../g", "http://a/b/g"},
        {"./g/.", "http://a/b/c/g/"},
        {"g/./h", "http://a/b/c/g/h"},
        {"g/../h", "http://a/b/c/h"},
        {"g;x=1/./y", "http://a/b/c/g;x=1/y"},
        {"g;x=1/../y", "http://a/b/c/y"},
        {"g?y/./x", "http://a/b/c/g?y/./x"},
        {"g?y/../x", "http://a/b/c/g?y/../x"},
        {"g#s/./x", "http://a/b/c/g#s/./x"},
        {"g#s/../x", "http://a/b/c/g#s/../x"},
        {"http:g", "http:g"},
    };
    for (const auto& c : cases) EXPECT_EQ(ResolveURLReference(Info(c[0]), Info(base)), c[1]) << c[0];
}

TEST(URLBuilders, PathComponentsAreEscapedAndJoined) {
    URL url(ConstData(std::string_view("http://h/base")));
    url.EditPath().AppendComponent("a b/c").AppendRawComponent("d%20e").AppendComponent("caf\xc3\xa9;v=1").ApplyToURL();
    EXPECT_EQ(url.ToString(), "http://h/base/a%20b%2fc/d%20e/caf%c3%a9;v=1");

    URL trailing(ConstData(std::string_view("http://h/dir/")));
    trailing.EditPath().AppendComponent("DownloadRequest").ApplyToURL();
    EXPECT_EQ(trailing.ToString(), "http://h/dir/DownloadRequest");

    URL bare(ConstData(std::string_view("http://h")));
    bare.EditPath().AppendComponent("x").ApplyToURL();
    EXPECT_EQ(bare.ToString(), "http://h/x");

    URLPathBuilder unbound;
    EXPECT_EQ(unbound.AppendComponent("a:b").AppendComponent("%41").Text(), "a:b/%41");
    EXPECT_THROW(unbound.ApplyToURL(), RequirementFailure);

    EXPECT_EQ(URLDecodeRange(ConstData(std::string_view("%41%4a%zz+"))), "AJ%zz+");
}

TEST(URLBuilders, QueryPairs) {
    URLQueryBuilder query;
    query.Add("a b", "c&d").Add("k", "");
    EXPECT_EQ(query.Text(), "a+b=c%26d&k=");

    URL url(ConstData(std::string_view("http://h/p?x=1#f")));
    url.EditQuery().Add("RequestType", "Register Me").Commit();
    EXPECT_EQ(url.ToString(), "http://h/p?x=1&RequestType=Register+Me#f");

    URL empty;
    empty.EditQuery().Add("~.-_", "/?=").Commit();
    EXPECT_EQ(empty.ToString(), "?~.-_=%2f%3f%3d");
}

ByteString Text(std::string_view text) { return ByteString(text.data(), text.data() + text.size()); }

TEST(URLText, ResolveAndOrder) {
    ByteString resolved = ResolveURLText(Text("http://h/a/b"), Text("c?x"));
    EXPECT_EQ(resolved.GetConstData().View(), "http://h/a/c?x");
    EXPECT_EQ(ComposeURLPath(Text("a:b"), Text("c d")).GetConstData().View(), "a%3ab/c%20d");

    struct Case {
        const char* a;
        const char* b;
        bool less, greater;
    } cases[] = {
        {"http://h/a", "http://h/a", false, false},   {"http://h/%41", "http://h/A", false, false},
        {"http://h/a", "http://h/b", true, false},    {"http://h/a", "HTTP://h/a", false, true},
        {"http://h/a%2fb", "http://h/a/b", true, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(URLTextLess(Text(c.a), Text(c.b)), c.less) << c.a << " < " << c.b;
        EXPECT_EQ(URLTextLess(Text(c.b), Text(c.a)), c.greater) << c.b << " < " << c.a;
    }
}

}  // namespace
