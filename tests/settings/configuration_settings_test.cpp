#include "settings/configuration_settings.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>

#include "support/kvrreg_runner.h"
#include "support/temporary_registry.h"

namespace {

constexpr std::uint32_t kDefault = 7;
constexpr std::uint64_t kDefault64 = 0x1122334455667788;
const std::string kRelayKey = "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\KVRRelay\\HTTPServer]\n";
const std::string kClientKey = "[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\";

class ConfigurationSettingsTest : public ::testing::Test {
  protected:
    void WriteMachineHive(const std::string& keysAndValues) {
        WriteWholeFile(m_registry.MachineHivePath(), "REGEDIT4\n\n" + keysAndValues);
    }
    void WriteUserHive(const std::string& keysAndValues) {
        WriteWholeFile(m_registry.Folder() + "/HKCU-" + std::to_string(::getuid()) + ".reg",
                       "REGEDIT4\n\n" + keysAndValues);
    }

    TemporaryRegistry m_registry;
};

}  // namespace

TEST_F(ConfigurationSettingsTest, NumbersReadOnlyTheirOwnTypeAndDigits) {
    struct Case {
        std::string hive;
        int mode;
        std::uint32_t expected;
    } cases[] = {
        {kRelayKey + "\"Limit\"=dword:0000002a\n", 1, 42},
        {kRelayKey + "\"Limit\"=\"42\"\n", 1, kDefault},
        {kRelayKey + "\"Limit\"=hex(4):2a,00\n", 1, kDefault},
        {kRelayKey + "\"Limit\"=hex:2a,00,00,00\n", 1, kDefault},
        {kRelayKey, 1, kDefault},
        {"", 1, kDefault},
        {kRelayKey + "\"Limit\"=dword:0000002a\n", 0, kDefault},  // the user hive is empty
        {kRelayKey + "\"Limit\"=dword:0000002a\n", 4, kDefault},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=\"0012\"\n", 2, 12},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=\"4294967295\"\n", 2, 4294967295u},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=\"4294967296\"\n", 2, kDefault},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=\"12x\"\n", 2, kDefault},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=\" 12\"\n", 2, kDefault},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=\"\"\n", 2, kDefault},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=\"-1\"\n", 2, kDefault},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=dword:0000000c\n", 2, kDefault},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"effective date\"=\"x\"\n", 2, kDefault},
        {kClientKey + "_KVRRelay_HTTPServer_Limit]\n\"value\"=\"12\"\n", 3, kDefault},
        {kClientKey + "__KVRRelay_HTTPServer_Limit]\n\"value\"=\"12\"\n", 3, 12},
    };
    for (const Case& c : cases) {
        WriteMachineHive(c.hive);
        EXPECT_EQ(ConfigurationNumber(c.mode, "KVRRelay", "HTTPServer", "Limit", kDefault).GetValue(),
                  c.expected)
            << "mode " << c.mode << "\n"
            << c.hive;
    }
    WriteMachineHive("");
    WriteUserHive("[HKEY_CURRENT_USER\\Software\\Veltra\\KVRRelay\\HTTPServer]\n\"Limit\"=dword:00000003\n");
    EXPECT_EQ(ConfigurationNumber(0, "KVRRelay", "HTTPServer", "Limit", kDefault).GetValue(), 3u);
}

TEST_F(ConfigurationSettingsTest, Numbers64ReadExactlyEightBytesOrDigits) {
    struct Case {
        std::string hive;
        int mode;
        std::uint64_t expected;
    } cases[] = {
        {kRelayKey + "\"Size\"=hex:01,02,03,04,05,06,07,08\n", 1, 0x0807060504030201},
        {kRelayKey + "\"Size\"=hex:01,02,03,04\n", 1, kDefault64},
        {kRelayKey + "\"Size\"=hex:01,02,03,04,05,06,07,08,09\n", 1, kDefault64},
        {kRelayKey + "\"Size\"=dword:00000001\n", 1, kDefault64},
        {kClientKey + "_KVRRelay_HTTPServer_Size]\n\"value\"=\"18446744073709551615\"\n", 2, UINT64_MAX},
        {kClientKey + "_KVRRelay_HTTPServer_Size]\n\"value\"=\"184467440737095516150\"\n", 2, kDefault64},
        {kClientKey + "_KVRRelay_HTTPServer_Size]\n\"value\"=\"18446744073709551616\"\n", 2, kDefault64},
        {kClientKey + "_KVRRelay_HTTPServer_Size]\n\"value\"=\"\"\n", 2, kDefault64},
    };
    for (const Case& c : cases) {
        WriteMachineHive(c.hive);
        EXPECT_EQ(ConfigurationNumber64(c.mode, "KVRRelay", "HTTPServer", "Size", kDefault64).GetValue(),
                  c.expected)
            << c.hive;
    }
}

TEST_F(ConfigurationSettingsTest, StringsReadTextValuesOnly) {
    struct Case {
        std::string hive;
        int mode;
        const char* section;
        const char* expected;
    } cases[] = {
        {kRelayKey + "\"Root\"=\"wwwroot\"\n", 1, "HTTPServer", "wwwroot"},
        {kRelayKey + "\"Root\"=hex(1):77,77,77,00\n", 1, "HTTPServer", "www"},
        {kRelayKey + "\"Root\"=dword:00000001\n", 1, "HTTPServer", "default"},
        {kRelayKey + "\"Root\"=\"\"\n", 1, "HTTPServer", ""},
        {"[HKLM\\Software\\Veltra\\KVRRelay]\n\"Root\"=\"component\"\n", 1, "", "component"},
        {kClientKey + "_KVRRelay__Root]\n\"value\"=\"client\"\n", 2, "", "client"},
        {kClientKey + "__KVRRelay_HTTPServer_Root]\n\"value\"=\"client\"\n", 3, "HTTPServer", "client"},
        {kRelayKey + "\"Root\"=\"wwwroot\"\n", -1, "HTTPServer", "default"},
    };
    for (const Case& c : cases) {
        WriteMachineHive(c.hive);
        EXPECT_STREQ(
            ConfigurationString(c.mode, "KVRRelay", c.section, "Root", "default").GetValue().GetCString(),
            c.expected)
            << c.hive;
    }
    EXPECT_STREQ(ConfigurationString(1, nullptr, nullptr, nullptr, nullptr).GetValue().GetCString(), "");
    EXPECT_EQ(ConfigurationString(1, nullptr, nullptr, nullptr, nullptr).GetText(), "");
    WriteMachineHive(kRelayKey + "\"Root\"=\"wwwroot\"\n");
    EXPECT_EQ(ConfigurationString(1, "KVRRelay", "HTTPServer", "Root", nullptr).GetText(), "wwwroot");
}

TEST_F(ConfigurationSettingsTest, SetWritesWhatTheNextReaderReads) {
    for (int mode : {0, 1, 2, 3}) {
        ConfigurationString text(mode, "KVRRelay", "HTTPServer", "Root", "default");
        text.Set("C:\\wwwroot \"quoted\"\nsecond line");
        EXPECT_STREQ(ConfigurationString(mode, "KVRRelay", "HTTPServer", "Root", "x").GetValue().GetCString(),
                     "C:\\wwwroot \"quoted\"\nsecond line");
        text.Set(nullptr);
        EXPECT_STREQ(ConfigurationString(mode, "KVRRelay", "HTTPServer", "Root", "x").GetValue().GetCString(),
                     "");
    }
    for (int mode : {0, 1, 2}) {
        ConfigurationNumber64 number(mode, "KVRRelay", "HTTPServer", "Size", 1);
        number.Set(UINT64_MAX - 1);
        EXPECT_EQ(number.GetValue(), UINT64_MAX - 1);
        EXPECT_EQ(ConfigurationNumber64(mode, "KVRRelay", "HTTPServer", "Size", 1).GetValue(),
                  UINT64_MAX - 1);
    }
    EXPECT_NE(
        ReadWholeFile(m_registry.MachineHivePath())
            .find("[HKEY_LOCAL_MACHINE\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_KVRRelay_"
                  "HTTPServer_Size]\n\"value\"=\"18446744073709551614\"\n\n"),
        std::string::npos);
}

TEST_F(ConfigurationSettingsTest, AFailedWriteThrowsAndKeepsTheOldValue) {
    ConfigurationNumber64 mode3(3, "KVRRelay", "HTTPServer", "Size", 5);
    EXPECT_THROW(mode3.Set(6), ConfigurationNumberWriteError);
    EXPECT_EQ(mode3.GetValue(), 5u);
    ConfigurationNumber64 badMode(9, "KVRRelay", "HTTPServer", "Size", 5);
    EXPECT_THROW(badMode.Set(6), ConfigurationNumberWriteError);
    ConfigurationString badString(9, "KVRRelay", "HTTPServer", "Root", "old");
    EXPECT_THROW(badString.Set("new"), ConfigurationStringWriteError);
    EXPECT_STREQ(badString.GetValue().GetCString(), "old");

    WriteMachineHive(kRelayKey + "\"Root\"=\"unterminated\n");  // an unparsable hive is never written
    ConfigurationString text(1, "KVRRelay", "HTTPServer", "Root", "old");
    EXPECT_THROW(text.Set("new"), ConfigurationStringWriteError);
    EXPECT_STREQ(text.GetValue().GetCString(), "old");
    ConfigurationNumber64 number(1, "KVRRelay", "HTTPServer", "Size", 5);
    EXPECT_THROW(number.Set(6), ConfigurationNumberWriteError);
    EXPECT_EQ(number.GetValue(), 5u);
}

TEST_F(ConfigurationSettingsTest, ReloadSeesAChangeAndKeepsTheValueWhenItGoes) {
    WriteMachineHive(kRelayKey + "\"Limit\"=dword:00000001\n");
    ConfigurationNumber number(1, "KVRRelay", "HTTPServer", "Limit", kDefault);
    EXPECT_EQ(number.GetValue(), 1u);
    WriteMachineHive(kRelayKey + "\"Limit\"=dword:00000002\n");
    EXPECT_EQ(number.GetValue(), 1u);
    number.Reload();
    EXPECT_EQ(number.GetValue(), 2u);
    WriteMachineHive("");
    number.Reload();
    EXPECT_EQ(number.GetValue(), 2u);
}

TEST_F(ConfigurationSettingsTest, AHiveImportedWithKvrregReadsBackThroughTheSettings) {
    WriteWholeFile(m_registry.Folder() + "/relay.reg",
                   "REGEDIT4\r\n"
                   "\r\n"
                   "; the relay of building 4\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\KVRRelay\\HTTPServer]\r\n"
                   "\"ThrottleKBPS\"=dword:00000200\r\n"
                   "\"ServerRootPath\"=\"/srv/relay/wwwroot\"\r\n"
                   "\"CacheLimit\"=hex:00,00,00,40,00,00,00,00\r\n"
                   "\r\n"
                   "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\DaruraviduClient\\Settings\\Client\\"
                   "_KVRRelay_HTTPServer_WriteMiniDumps]\r\n"
                   "\"value\"=\"1\"\r\n"
                   "\"effective date\"=\"Thu, 01 Jan 2026 10:00:00 +0000\"\r\n");
    KvrregRun run = RunKvrreg({"import", m_registry.Folder() + "/relay.reg"});
    ASSERT_EQ(run.exitStatus, 0) << run.err;
    EXPECT_EQ(ConfigurationNumber(1, "KVRRelay", "HTTPServer", "ThrottleKBPS", 0).GetValue(), 512u);
    EXPECT_STREQ(
        ConfigurationString(1, "KVRRelay", "HTTPServer", "ServerRootPath", "").GetValue().GetCString(),
        "/srv/relay/wwwroot");
    EXPECT_EQ(ConfigurationNumber64(1, "KVRRelay", "HTTPServer", "CacheLimit", 0).GetValue(), 0x40000000u);
    EXPECT_EQ(ConfigurationNumber(2, "KVRRelay", "HTTPServer", "WriteMiniDumps", 0).GetValue(), 1u);
}

TEST_F(ConfigurationSettingsTest, StoragePathsAreRequired) {
    struct Case {
        const char* component;
        FileLocation (*read)();
    } cases[] = {{"Daruravidu Server", GetServerStoragePath}, {"DaruraviduClient", GetClientStoragePath}};
    for (const Case& c : cases) {
        const std::string key = std::string("[HKLM\\Software\\Veltra\\") + c.component + "\\GlobalOptions]\n";
        for (const std::string& hive : {std::string(), key + "\"StoragePath\"=\"\"\n"}) {
            WriteMachineHive(hive);
            try {
                c.read();
                ADD_FAILURE() << "no exception for " << hive;
            } catch (const MissingRegistrySetting& error) {
                EXPECT_EQ(error.what(), std::string(c.component) + "/StoragePath regkey missing");
            }
        }
        WriteMachineHive(key + "\"StoragePath\"=\"/srv/storage/\"\n");
        EXPECT_EQ(c.read().GetPathString(), "/srv/storage");
    }
}
