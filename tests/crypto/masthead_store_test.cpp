#include "crypto/masthead_store.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <string>

#include "crypto/masthead_fixture.h"
#include "support/temporary_folder.h"

namespace {

std::string Key(const std::string& url) { return MastheadLookupKey(ConstData(std::string_view(url))); }

TEST(MastheadLookupKeyTest, CustomAndOperatorSitesArePublishedUnderTheActionSite) {
    struct Case {
        const char* url;
        const char* key;
    };
    const Case cases[] = {
        {"http://relay.example:8080/cgi-bin/bfgather.exe/CustomSite_Fixture",
         "http://relay.example:8080/cgi-bin/bfgather.exe/actionsite"},
        {"http://relay.example:8080/cgi-bin/bfgather.exe/opsite12?time=1#top",
         "http://relay.example:8080/cgi-bin/bfgather.exe/actionsite"},
        {"https://user@relay.example/a/./b/CustomSite_X", "https://user@relay.example/a/./b/actionsite"},
        {"/gather/CustomSite_X", "/gather/actionsite"},
        {"CustomSite_X", "actionsite"},
        // Every other URL is its own key.
        {"http://relay.example:8080/cgi-bin/bfgather.exe/demosite?x=1", nullptr},
        {"http://relay.example:8080/cgi-bin/bfgather.exe/customsite_lower", nullptr},
        {"http://relay.example:8080/cgi-bin/bfgather.exe/CustomSite_X/", nullptr},
        {"http://relay.example:8080", nullptr},
        {"", nullptr},
    };
    for (const Case& c : cases) EXPECT_EQ(Key(c.url), c.key != nullptr ? c.key : c.url) << c.url;
}

class MastheadStoreTest : public MastheadFixtureTest {
  protected:
    static ConstData Text(const char* text) { return ConstData(std::string_view(text)); }

    MastheadStore store;
};

TEST_F(MastheadStoreTest, KeysIgnoreCaseAndTheNewestMastheadOfASiteWins) {
    store.LoadFile(MastheadFixture("action.azqm"), MastheadKind::kActionOnly);
    store.LoadFile(MastheadFixture("demo.ezqm"), MastheadKind::kDaruravidu);
    const Masthead fips = store.LoadFile(MastheadFixture("action-fips.azqm"), MastheadKind::kActionOnly);
    EXPECT_EQ(fips.Headers().RequireFipsCryptography, 1u);

    const char* shouted = "HTTP://RELAY.EXAMPLE:52311/CGI-BIN/BFGATHER.EXE/ACTIONSITE";
    ASSERT_TRUE(store.Contains(Text(shouted)));
    EXPECT_EQ(store.Get(Text(shouted)).Headers().RequireFipsCryptography, 1u);
    store.Remove(Text(kFixtureActionURL));
    EXPECT_FALSE(store.Contains(Text(shouted)));  // one entry was left, holding the second
    EXPECT_TRUE(store.Contains(Text("http://relay.example:52311/cgi-bin/bfgather.exe/demosite")));
    store.Clear();
    EXPECT_EQ(FailureOf([&] { store.Get(Text(kFixtureActionURL)); }), "A masthead was requested which does not exist.");
}

TEST_F(MastheadStoreTest, AFailedLoadStoresNothing) {
    EXPECT_ANY_THROW(store.LoadFile(MastheadFixture("action-tampered.azqm"), MastheadKind::kActionOnly));
    EXPECT_FALSE(store.Contains(Text("http://relay.example:52311/cgi-bin/bfgather.exe/forgedsite")));
    EXPECT_FALSE(store.Contains(Text(kFixtureActionURL)));
}

// The agent's folders in a temporary tree: storage/__KVRData/actionsite (A), its sibling __Global
// (B) and data/gather (C).
class MastheadSearchTest : public MastheadFixtureTest, public MastheadSearchFolders {
  protected:
    MastheadSearchTest() {
        for (const std::string& folder : {ActionSiteFolder(), GlobalFolder(), GatherFolder()})
            std::filesystem::create_directories(folder);
        unsetenv("KVRClientActionMastheadPath");
    }
    ~MastheadSearchTest() override { unsetenv("KVRClientActionMastheadPath"); }

    FileLocation ClientActionSiteFolder() const override {
        if (m_noAgent) throw std::runtime_error("no agent storage path");
        return FileLocation(ActionSiteFolder().c_str());
    }
    FileLocation MerivantDataFolder() const override { return FileLocation((m_tree / "data").c_str()); }

    std::string ActionSiteFolder() const { return m_tree / "storage/__KVRData/actionsite"; }
    std::string GlobalFolder() const { return m_tree / "storage/__KVRData/__Global"; }
    std::string GatherFolder() const { return m_tree / "data/gather"; }

    static void Place(const std::string& fixture, const std::string& target) {
        std::filesystem::copy_file(MastheadFixturePath(fixture), target);
    }

    Masthead Find(const std::string& url) { return FindMastheadForURL(ConstData(std::string_view(url)), *this, store); }
    std::string FoundSite(const std::string& url) { return Find(url).Headers().GatherURL.Text(); }

    TemporaryFolder m_tree;
    MastheadStore store;
    bool m_noAgent = false;
};

TEST_F(MastheadSearchTest, EachFolderInTurn) {
    Place("action.azqm", ActionSiteFolder() + "/ActionSite.azqm");
    Place("custom-site.azqm", GlobalFolder() + "/custom.bezqm");
    Place("demo.ezqm", GatherFolder() + "/demo.ezqm");
    EXPECT_EQ(FoundSite("http://RELAY.example:52311/cgi-bin/bfgather.exe/ActionSite"), kFixtureActionURL);
    EXPECT_EQ(FoundSite("http://relay.example:8080/cgi-bin/bfgather.exe/CustomSite_Fixture"),
              "http://relay.example:8080/cgi-bin/bfgather.exe/actionsite");
    EXPECT_EQ(FoundSite("http://relay.example:52311/cgi-bin/bfgather.exe/demosite"),
              "http://relay.example:52311/cgi-bin/bfgather.exe/demosite");

    // Found once, a masthead is served from the store.
    std::filesystem::remove_all(m_tree / "storage");
    std::filesystem::remove_all(m_tree / "data");
    EXPECT_EQ(FoundSite("http://relay.example:52311/cgi-bin/bfgather.exe/demosite"),
              "http://relay.example:52311/cgi-bin/bfgather.exe/demosite");
}

TEST_F(MastheadSearchTest, DamagedAndUnacceptableFilesArePassedOver) {
    Place("action-tampered.azqm", ActionSiteFolder() + "/a.azqm");
    Place("action-mixed.azqm", ActionSiteFolder() + "/b.azqm");
    Place("consumer-operator.azqm", ActionSiteFolder() + "/c.azqm");
    Place("action.azqm", ActionSiteFolder() + "/d.azqm");
    EXPECT_EQ(FoundSite(kFixtureActionURL), kFixtureActionURL);
}

TEST_F(MastheadSearchTest, FilesOutsideTheFoldersPatternsAreNotRead) {
    Place("action.azqm", ActionSiteFolder() + "/ActionSite.bezqm");  // "*.?zqm" takes one letter
    Place("demo.ezqm", GatherFolder() + "/demo.zqm");
    Place("custom-site.azqm", GlobalFolder() + "/custom.azqm.old");
    for (const char* url : {kFixtureActionURL, "http://relay.example:52311/cgi-bin/bfgather.exe/demosite",
                            "http://relay.example:8080/cgi-bin/bfgather.exe/actionsite"})
        EXPECT_THROW(Find(url), NoMastheadMatchesURL) << url;
}

TEST_F(MastheadSearchTest, NothingToFind) {
    EXPECT_THROW(Find(kFixtureActionURL), NoMastheadMatchesURL);
    std::filesystem::remove_all(m_tree / "storage");
    std::filesystem::remove_all(m_tree / "data");
    EXPECT_THROW(Find(kFixtureActionURL), NoMastheadMatchesURL);
}

TEST_F(MastheadSearchTest, MissingAgentFoldersDoNotHideTheGatherFolder) {
    std::filesystem::remove_all(m_tree / "storage");
    Place("demo.ezqm", GatherFolder() + "/demo.ezqm");
    EXPECT_EQ(FoundSite("http://relay.example:52311/cgi-bin/bfgather.exe/demosite"),
              "http://relay.example:52311/cgi-bin/bfgather.exe/demosite");
    // No agent at all: its folders cannot even be named.
    m_noAgent = true;
    store.Clear();
    EXPECT_EQ(FoundSite("http://relay.example:52311/cgi-bin/bfgather.exe/demosite"),
              "http://relay.example:52311/cgi-bin/bfgather.exe/demosite");
}

TEST_F(MastheadSearchTest, TheEnvironmentNamesTheActionMastheadFirst) {
    Place("action.azqm", m_tree / "elsewhere.azqm");
    setenv("KVRClientActionMastheadPath", (m_tree / "elsewhere.azqm").c_str(), 1);
    EXPECT_EQ(FoundSite(kFixtureActionURL), kFixtureActionURL);

    MastheadStore fresh;
    setenv("KVRClientActionMastheadPath", (m_tree / "missing.azqm").c_str(), 1);
    Place("action.azqm", ActionSiteFolder() + "/ActionSite.azqm");
    EXPECT_EQ(FindMastheadForURL(ConstData(std::string_view(kFixtureActionURL)), *this, fresh).Headers().SiteName.Text(),
              "ActionSite");
}

}  // namespace
