#include "relay/download/download_plugin_registry.h"

#include <gtest/gtest.h>

#include "download_test_support.h"
#include "support/exception_text.h"

namespace {

class DownloadPluginRegistryTest : public DownloadSettingsFixture {
  protected:
    FileLocation DatabaseFile() const { return m_settings.GetDownloadPluginsDatabaseFile(); }
    std::string DatabasePath() const { return DatabaseFile().GetPathString(); }
};

}  // namespace

TEST_F(DownloadPluginRegistryTest, KeepsOneProgramPerProtocolAcrossRuns) {
    {
        DownloadPluginRegistry registry(DatabaseFile());
        registry.SetPlugin("test", "/opt/first");
        registry.SetPlugin("test", "/opt/second");
        registry.SetPlugin("other", "/opt/other");
        registry.RemovePlugin("other");
        registry.RemovePlugin("never registered");
    }
    DownloadPluginRegistry registry(DatabaseFile());
    EXPECT_EQ(registry.FindPlugin("test"), "/opt/second");
    EXPECT_EQ(registry.FindPlugin("TEST"), std::nullopt);
    EXPECT_EQ(registry.FindPlugin("other"), std::nullopt);
    EXPECT_EQ(QueryRows(DatabasePath(), "select Version from DBINFO"), std::vector<std::string>{"1"});
    EXPECT_EQ(QueryRows(DatabasePath(), "select Protocol, Plugin from PLUGINS"),
              std::vector<std::string>{"test|/opt/second"});
}

TEST_F(DownloadPluginRegistryTest, RefusesAnotherSchemaVersion) {
    DownloadPluginRegistry{DatabaseFile()};
    ExecuteOn(DatabasePath(), "update DBINFO set Version = 2");
    EXPECT_EQ(ErrorOf([&] { DownloadPluginRegistry{DatabaseFile()}; }),
              "Invalid download plugin SQLite database version");
}
