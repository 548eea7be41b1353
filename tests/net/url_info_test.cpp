#include "net/url_info.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>

#include "net/url_path_iterator.h"

namespace {

// A getter's text, or the what() text of what it threw.
std::string Part(const std::function<ConstData()>& getter) {
    try {
        return std::string(getter().View());
    } catch (const InvalidURLInfoUse& error) {
        return error.what();
    }
}

const char* const kNoScheme = "URLInfo: Attempt to use missing Scheme.";
const char* const kNoAuthority = "URLInfo: Attempt to use missing Authority.";
const char* const kNoUserInfo = "URLInfo: Attempt to use missing UserInfo.";
const char* const kNoHost = "URLInfo: Attempt to use missing Host.";
const char* const kNoPath = "URLInfo: Attempt to use missing Path.";
const char* const kNoQuery = "URLInfo: Attempt to use missing Query.";
const char* const kNoFragment = "URLInfo: Attempt to use missing Fragment.";

struct ParseCase {
    const char* text;
    std::string scheme, authority, userInfo, host, path, query, fragment;
    bool opaque;
};

const ParseCase kParseCases[] = {
    {"http://u@h:81/p?q#f", "http", "u@h:81", "u", "h", "/p", "q", "f", false},
    {"http://[::1]:8080/x", "http", "[::1]:8080", kNoUserInfo, "[::1]", "/x", kNoQuery, kNoFragment, false},
    {"http://h", "http", "h", kNoUserInfo, "h", kNoPath, kNoQuery, kNoFragment, false},
    {"http://h:/", "http", "h:", kNoUserInfo, "h", "/", kNoQuery, kNoFragment, false},
    {"a/b?c", kNoScheme, kNoAuthority, kNoUserInfo, kNoHost, "a/b", "c", kNoFragment, false},
    {"mailto:x?y", "mailto", kNoAuthority, kNoUserInfo, kNoHost, "x?y", kNoQuery, kNoFragment, true},
    {"http://a@b@c/", "http", "a@b@c", "a@b", "c", "/", kNoQuery, kNoFragment, false},
    {"http://u:pw@h:1/", "http", "u:pw@h:1", "u:pw", "h", "/", kNoQuery, kNoFragment, false},
    {"http://h/p?q#f?g#h", "http", "h", kNoUserInfo, "h", "/p", "q", "f?g#h", false},
    {"http://h?q", "http", "h", kNoUserInfo, "h", kNoPath, "q", kNoFragment, false},
    {"host:80", "host", kNoAuthority, kNoUserInfo, kNoHost, "80", kNoQuery, kNoFragment, true},
    {"//h/p", kNoScheme, "h", kNoUserInfo, "h", "/p", kNoQuery, kNoFragment, false},
    {"/a//b", kNoScheme, kNoAuthority, kNoUserInfo, kNoHost, "/a//b", kNoQuery, kNoFragment, false},
    {"http:/a/b", "http", kNoAuthority, kNoUserInfo, kNoHost, "/a/b", kNoQuery, kNoFragment, false},
    {"file:///etc/x", "file", "", kNoUserInfo, "", "/etc/x", kNoQuery, kNoFragment, false},
    {"?q", kNoScheme, kNoAuthority, kNoUserInfo, kNoHost, kNoPath, "q", kNoFragment, false},
    {"", kNoScheme, kNoAuthority, kNoUserInfo, kNoHost, kNoPath, kNoQuery, kNoFragment, false},
    {"#", kNoScheme, kNoAuthority, kNoUserInfo, kNoHost, kNoPath, kNoQuery, "", false},
};

TEST(URLInfo, ParseTable) {
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(c.text);
        URLInfo info(ConstData(std::string_view(c.text)));
        EXPECT_EQ(Part([&] { return info.GetScheme(); }), c.scheme);
        EXPECT_EQ(Part([&] { return info.GetAuthority(); }), c.authority);
        EXPECT_EQ(Part([&] { return info.GetUserInfo(); }), c.userInfo);
        EXPECT_EQ(Part([&] { return info.GetHost(); }), c.host);
        EXPECT_EQ(
            c.opaque ? Part([&] { return info.GetOpaquePart(); }) : Part([&] { return info.GetPath(); }),
            c.path);
        EXPECT_EQ(info.HasPath(), c.path.rfind("URLInfo:", 0) != 0);
        EXPECT_EQ(Part([&] { return info.GetQuery(); }), c.query);
        EXPECT_EQ(Part([&] { return info.GetFragment(); }), c.fragment);
        EXPECT_EQ(info.IsOpaque(), c.opaque);
    }
}

TEST(URLInfo, PortsAndBracketedHosts) {
    struct Case {
        const char* text;
        long port;  // -1: NoPortError, -2: InvalidPortNumber
        const char* unbracketedHost;
    } cases[] = {
        {"http://u@h:81/p", 81, "h"},
        {"http://[::1]:8080/x", 8080, "::1"},
        {"http://[::1]/x", -1, "::1"},
        {"http://h:/", -1, "h"},
        {"http://h/", -1, "h"},
        {"http://h:x/", -2, "h"},
        {"http://h:65535", 65535, "h"},
        {"http://h:65536", -2, "h"},
        {"http://h:99999999999", -2, "h"},
        {"http://[", -1, "["},
        {"http://[]:1", 1, ""},
        {"http://[fe80::1%25eth0]:2", 2, "fe80::1%25eth0"},
        {"http://h:1@g:2/", 2, "g"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        URLInfo info(ConstData(std::string_view(c.text)));
        EXPECT_EQ(info.GetUnbracketedHost().View(), c.unbracketedHost);
        EXPECT_EQ(info.HasPort(), c.port != -1);
        if (c.port >= 0) EXPECT_EQ(info.GetPort(), std::uint32_t(c.port));
        if (c.port == -1) EXPECT_THROW(info.GetPort(), NoPortError);
        if (c.port == -2) EXPECT_THROW(info.GetPort(), InvalidPortNumber);
    }
    EXPECT_THROW(URLInfo(ConstData(std::string_view("a/b"))).GetPort(), InvalidURLInfoUse);
}

TEST(URLText, EqualityDecodesEscapes) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"a%2Fb", "a/b", true}, {"%41", "A", true}, {"%4a", "%4A", true},
        {"%4", "%4", true},     {"%4", "J", false}, {"%zz", "%zz", true},
        {"abc", "ab", false},   {"", "", true},     {"%41%", "A%", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(URLTextEquals(ConstData(std::string_view(c.a)), ConstData(std::string_view(c.b))), c.equal)
            << c.a << " vs " << c.b;
    }
}

TEST(URLPath, EqualityComparesComponents) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"/a/b", "a/b", false},
        {"/a/b", "/a/b", true},
        {"/a/%62", "/a/b", true},
        {"/a;x/b", "/a;x/b", true},
        {"/a;%78/b", "/a;x/b", false},
        {"/a/b/", "/a/b", false},
        {"/a%2fb", "/a/b", false},
        {"", "", true},
        {"a", "%61", true},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(URLPathEquals(ConstData(std::string_view(c.a)), ConstData(std::string_view(c.b))), c.equal)
            << c.a << " vs " << c.b;
    }
}

TEST(URLInfo, EqualityOfWholeURLs) {
    struct Case {
        const char* a;
        const char* b;
        bool equal;
    } cases[] = {
        {"http://h/a%2Fb", "http://h/a%2fb", true}, {"http://h/a", "HTTP://h/a", false},
        {"http://h/%7e", "http://h/~", true},       {"mailto:%41", "mailto:A", true},
        {"http://h/a?x", "http://h/a", false},      {"http://h/a#f", "http://h/a#%66", true},
        {"http://h", "http://h/", false},           {"//h/a", "http://h/a", false},
    };
    for (const Case& c : cases) {
        URLInfo a(ConstData(std::string_view(c.a))), b(ConstData(std::string_view(c.b)));
        EXPECT_EQ(URLInfo::Equals(a, b), c.equal) << c.a << " vs " << c.b;
        EXPECT_EQ(URLInfo::Equals(b, a), c.equal) << c.b << " vs " << c.a;
    }
}

TEST(URLPathIterator, WalksComponentsWithParameters) {
    std::string path = "/a;p/b//c;x;y/";
    std::vector<std::string> names, parameters;
    for (auto it = URLPathIterator::First(ConstData(path)); !it.AtEnd(); it.Next()) {
        names.emplace_back(it.Current().name.View());
        parameters.emplace_back(it.Current().parameters.View());
    }
    EXPECT_EQ(names, (std::vector<std::string>{"a", "b", "", "c", ""}));
    EXPECT_EQ(parameters, (std::vector<std::string>{";p", "", "", ";x;y", ""}));

    EXPECT_TRUE(URLPathIterator::First(ConstData(std::string_view("/"))).AtEnd());
    EXPECT_TRUE(URLPathIterator::First(ConstData()).AtEnd());
    auto first = URLPathIterator::First(ConstData(path));
    auto other = URLPathIterator::First(ConstData(path));
    EXPECT_TRUE(first == other);
    other.Next();
    EXPECT_FALSE(first == other);
    auto end1 = URLPathIterator::First(ConstData(std::string_view("/")));
    auto end2 = URLPathIterator::First(ConstData(std::string_view("/x")));
    end2.Next();
    EXPECT_TRUE(end1 == end2);

    EXPECT_EQ(GetLastPathComponent(ConstData(std::string_view("/a/b;v"))).name.View(), "b");
    EXPECT_EQ(GetLastPathComponent(ConstData(std::string_view("/a/"))).whole.View(), "");
    EXPECT_EQ(GetLastPathComponent(ConstData(std::string_view("file"))).whole.View(), "file");
    EXPECT_THROW(GetLastPathComponent(ConstData()), NoSuchURLPathComponent);
}

}  // namespace
