#include "settings/named_settings_store.h"

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "foundation/clocks.h"
#include "platform/system_error.h"
#include "settings/registry_functions.h"
#include "settings/subsection_store.h"
#include "support/temporary_registry.h"

using PosixPlatform::ClientSettingStore;
using PosixPlatform::PosixSettingIterator;

namespace {

constexpr const char* kClient = "Client";
constexpr const char* kClientKey = "Software\\Veltra\\DaruraviduClient\\Settings\\Client";
constexpr std::int64_t kSecond = 1'000'000;
constexpr TimeValue kNoon = 1'767'268'800 * kSecond;  // Thu, 01 Jan 2026 12:00:00 +0000

ConstData Text(const char* text) {
    return ConstData(std::string_view(text));
}

class NamedSettingsTest : public ::testing::Test {
  protected:
    std::string StoredText(const char* setting, const char* valueName) {
        RegistryKey key;
        std::string path = std::string(kClientKey) + "\\" + setting;
        Stringy text;
        if (TryOpenRegistryKey(RegistryRoot::LocalMachine, path.c_str(), key, RegistryAccess::Read) != 0 ||
            !TryReadRegistryText(key, valueName, text))
            return "<none>";
        return text.GetCString();
    }

    std::vector<std::string> SettingNames() {
        std::vector<std::string> names;
        for (auto it = ClientSettingStore().Iterate(kClient); !it->AtEnd(); it->Next())
            names.push_back(it->GetName().GetCString());
        return names;
    }

    TemporaryRegistry m_registry;
};

}  // namespace

TEST_F(NamedSettingsTest, ATombstoneReadsAsAbsent) {
    WriteWholeFile(m_registry.MachineHivePath(),
                   "REGEDIT4\n[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_Gone]\n"
                   "\"effective date\"=\"Thu, 01 Jan 2026 12:00:00 +0000\"\n"
                   "[HKLM\\Software\\Veltra\\DaruraviduClient\\Settings\\Client\\_Empty]\n");
    auto gone = ClientSettingStore().Find(kClient, "_Gone");
    ASSERT_FALSE(gone->AtEnd());
    EXPECT_TRUE(gone->IsDeleted());
    EXPECT_EQ(gone->GetDate(), kNoon);
    EXPECT_TRUE(ClientSettingStore().Find(kClient, "_Empty")->AtEnd());
    EXPECT_TRUE(ClientSettingStore().Find(kClient, "_Missing")->AtEnd());

    char buffer[32];
    bool found = true;
    EXPECT_FALSE(GetClientSettingText("_Gone", buffer, sizeof buffer, found));
    EXPECT_FALSE(found);
    unsigned number = 0;
    EXPECT_FALSE(GetClientSettingNumber("_Gone", number, 0, 10, 3));
    EXPECT_EQ(number, 3u);
}

TEST_F(NamedSettingsTest, WritesAreRuledByTheEffectiveDate) {
    PosixPlatform::PosixSettingStore& store = ClientSettingStore();
    bool skipped = true;
    ASSERT_TRUE(store.SetValue(kClient, "_Mode", Text("first"), kNoon, &skipped));
    EXPECT_FALSE(skipped);
    EXPECT_EQ(StoredText("_Mode", "value"), "first");
    EXPECT_NE(StoredText("_Mode", "effective date").find(" 2026 "), std::string::npos);

    EXPECT_FALSE(store.SetValue(kClient, "_Mode", Text("older"), kNoon - kSecond, &skipped));
    EXPECT_TRUE(skipped);
    auto mode = store.Find(kClient, "_Mode");
    EXPECT_STREQ(mode->GetValue().GetCString(), "first");
    EXPECT_EQ(mode->GetDate(), kNoon);

    EXPECT_TRUE(store.SetValue(kClient, "_Mode", Text("same date"), kNoon, &skipped));
    EXPECT_FALSE(skipped);
    EXPECT_EQ(StoredText("_Mode", "value"), "same date");

    EXPECT_FALSE(store.DeleteValue(kClient, "_Mode", kNoon - kSecond, &skipped));
    EXPECT_TRUE(skipped);
    EXPECT_TRUE(store.DeleteValue(kClient, "_Mode", kNoon + kSecond, &skipped));
    EXPECT_TRUE(store.Find(kClient, "_Mode")->IsDeleted());
    EXPECT_EQ(store.Find(kClient, "_Mode")->GetDate(), kNoon + kSecond);
    // The tombstone keeps its date: an older value cannot come back.
    EXPECT_FALSE(store.SetValue(kClient, "_Mode", Text("resurrected"), kNoon, &skipped));
    EXPECT_TRUE(skipped);
    EXPECT_TRUE(store.SetValue(kClient, "_Mode", Text("new"), kNoon + 2 * kSecond, nullptr));
    EXPECT_FALSE(store.Find(kClient, "_Mode")->IsDeleted());

    // A tombstone of a setting never seen is written too, so that older values stay away.
    EXPECT_TRUE(store.DeleteValue(kClient, "_Never", kNoon, nullptr));
    EXPECT_TRUE(store.Find(kClient, "_Never")->IsDeleted());

    EXPECT_TRUE(store.SetValueText(kClient, "_Mode", Text("undated")));
    EXPECT_EQ(store.Find(kClient, "_Mode")->GetDate(), kNoon + 2 * kSecond);
    EXPECT_TRUE(store.SetEffectiveDate(kClient, "_Mode", kNoon));
    EXPECT_STREQ(store.Find(kClient, "_Mode")->GetValue().GetCString(), "undated");
    EXPECT_EQ(store.Find(kClient, "_Mode")->GetDate(), kNoon);
}

TEST_F(NamedSettingsTest, AReaderNeverSeesAValueWithAnotherWritesDate) {
    constexpr int kWrites = 150;
    pid_t writer = ::fork();
    if (writer == 0) {
        for (int i = 1; i <= kWrites; ++i) {
            std::string value = std::to_string(i);
            if (!ClientSettingStore().SetValue(kClient, "_Pair", Text(value.c_str()), kNoon + i * kSecond,
                                               nullptr))
                ::_exit(1);
        }
        ::_exit(0);
    }
    int mismatches = 0;
    for (int status = 0; ::waitpid(writer, &status, WNOHANG) == 0;) {
        auto pair = ClientSettingStore().Find(kClient, "_Pair");
        if (pair->AtEnd()) continue;
        std::uint32_t value = std::stoul(pair->GetValue().GetCString());
        if (pair->GetDate() != kNoon + value * kSecond) ++mismatches;
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_STREQ(ClientSettingStore().Find(kClient, "_Pair")->GetValue().GetCString(),
                 std::to_string(kWrites).c_str());
}

TEST_F(NamedSettingsTest, DeletingDuringIterationVisitsEveryOtherSettingOnce) {
    for (const char* name : {"_a", "_b", "_c", "_d", "_e", "_f"})
        ASSERT_TRUE(ClientSettingStore().SetValue(kClient, name, Text("1"), kNoon, nullptr));
    std::vector<std::string> visited;
    for (auto it = ClientSettingStore().Iterate(kClient); !it->AtEnd(); it->Next()) {
        std::string name = it->GetName().GetCString();
        visited.push_back(name);
        if (name == "_b" || name == "_c" || name == "_f") {
            EXPECT_TRUE(it->DeleteCurrent());
        }
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"_a", "_b", "_c", "_d", "_e", "_f"}));
    EXPECT_EQ(SettingNames(), (std::vector<std::string>{"_a", "_d", "_e"}));

    auto it = ClientSettingStore().Iterate(kClient);
    auto copy = it->Clone();
    it->Next();
    EXPECT_STREQ(copy->GetName().GetCString(), "_a");
    EXPECT_STREQ(it->GetName().GetCString(), "_d");
}

TEST_F(NamedSettingsTest, BulkDeletionsAndDateClearing) {
    PosixPlatform::PosixSettingStore& store = ClientSettingStore();
    for (const char* name : {"_KVRRelay_A", "_KVRRelay_B", "_kvrrelay_C", "_KVRGather_D"})
        ASSERT_TRUE(store.SetValue(kClient, name, Text("1"), kNoon, nullptr));
    ASSERT_TRUE(store.SetValue("Other", "_X", Text("1"), kNoon, nullptr));

    EXPECT_TRUE(store.DeleteSettingsWithPrefix(kClient, "_KVRRelay_"));
    EXPECT_EQ(SettingNames(), (std::vector<std::string>{"_KVRGather_D", "_kvrrelay_C"}));
    EXPECT_TRUE(store.DeleteSetting(kClient, "_kvrrelay_C"));
    EXPECT_TRUE(store.DeleteSetting(kClient, "_kvrrelay_C"));
    EXPECT_EQ(SettingNames(), (std::vector<std::string>{"_KVRGather_D"}));

    EXPECT_TRUE(store.ClearAllEffectiveDates());
    EXPECT_EQ(StoredText("_KVRGather_D", "effective date"), "<none>");
    EXPECT_EQ(StoredText("_KVRGather_D", "value"), "1");
    EXPECT_TRUE(store.FlushStore());
    EXPECT_TRUE(store.FlushSetting(kClient, "_KVRGather_D"));
    EXPECT_FALSE(store.FlushSetting(kClient, "_Missing"));

    EXPECT_TRUE(store.DeleteAllSettingsEverywhere());
    EXPECT_EQ(SettingNames(), std::vector<std::string>{});
    EXPECT_TRUE(store.Find("Other", "_X")->AtEnd());
    EXPECT_TRUE(store.DeleteAllSettings("NoSuchSubsection"));
}

TEST_F(NamedSettingsTest, ClientNumbersAreRepairedInPlace) {
    struct Case {
        const char* stored;
        unsigned min, max, defaultValue;
        bool result;
        unsigned value;
        const char* storedAfter;
    } cases[] = {
        {"  42", 0, 100, 7, true, 42, "  42"},
        {"42", 0, 100, 7, true, 42, "42"},
        {"42x", 0, 100, 7, true, 7, "7"},
        {"99999", 0, 100, 7, true, 100, "100"},
        {"0", 1, 100, 7, true, 1, "1"},
        {"", 0, 100, 7, true, 7, ""},
        {"   ", 0, 100, 7, true, 7, "   "},
        {"123456789012345678901234567890", 0, 0xFFFFFFFF, 7, true, 0xFFFFFFFF, "4294967295"},
        {"1234567890123456789012345678901", 0, 0xFFFFFFFF, 7, true, 7, "7"},
        {"4294967296", 0, 0xFFFFFFFF, 7, true, 0xFFFFFFFF, "4294967295"},
        {"18446744073709551617", 0, 0xFFFFFFFF, 7, true, 0xFFFFFFFF, "4294967295"},
    };
    for (const Case& c : cases) {
        ASSERT_TRUE(ClientSettingStore().SetValue(kClient, "_N", Text(c.stored), kNoon, nullptr));
        unsigned value = 0;
        EXPECT_EQ(GetClientSettingNumber("_N", value, c.min, c.max, c.defaultValue), c.result) << c.stored;
        EXPECT_EQ(value, c.value) << "'" << c.stored << "'";
        EXPECT_EQ(StoredText("_N", "value"), c.storedAfter) << c.stored;
        EXPECT_EQ(ClientSettingStore().Find(kClient, "_N")->GetDate(), kNoon) << c.stored;
    }
    unsigned value = 0;
    EXPECT_FALSE(GetClientSettingNumber("_Missing", value, 0, 10, 3));
    EXPECT_EQ(value, 3u);
    EXPECT_EQ(StoredText("_Missing", "value"), "<none>");

    ASSERT_TRUE(ClientSettingStore().SetValue(kClient, "_B", Text("5"), kNoon, nullptr));
    bool flag = false;
    EXPECT_TRUE(GetClientSettingBool("_B", flag, false));
    EXPECT_TRUE(flag);
    EXPECT_EQ(StoredText("_B", "value"), "1");
    EXPECT_FALSE(GetClientSettingBool("_Missing", flag, false));
    EXPECT_FALSE(flag);

    // The repair writes only over the text it read.
    EXPECT_TRUE(ClientSettingStore().ReplaceValueText(kClient, "_B", "not this", "9"));
    EXPECT_EQ(StoredText("_B", "value"), "1");
}

TEST_F(NamedSettingsTest, ClientTextFitsItsBufferWithRoomToSpare) {
    ASSERT_TRUE(ClientSettingStore().SetValue(kClient, "_T", Text("abcd"), kNoon, nullptr));
    struct Case {
        unsigned size;
        bool result;
    } cases[] = {{6, true}, {5, false}, {1, false}, {0, false}};
    for (const Case& c : cases) {
        char buffer[8] = "xxxxxxx";
        bool found = false;
        EXPECT_EQ(GetClientSettingText("_T", buffer, c.size, found), c.result) << c.size;
        EXPECT_TRUE(found);
        if (c.result) {
            EXPECT_STREQ(buffer, "abcd");
        }
    }
}

TEST_F(NamedSettingsTest, SubsectionStoresReadWhatTheyWrite) {
    KVRSubsectionSettings<PosixPlatform::PosixSettingStore>& client = ClientSubsection();
    PosixPlatform::PosixKVRSubsectionStore& gather = gatherServiceSubsectionStore();
    for (SubsectionStore* store : std::initializer_list<SubsectionStore*>{&client, &gather}) {
        bool found = false;
        ASSERT_TRUE(store->SetText("Text", Text("some text")));
        EXPECT_STREQ(store->GetText("Text", found).GetCString(), "some text");
        EXPECT_TRUE(found);
        ASSERT_TRUE(store->SetNumber("Number", -2));
        EXPECT_EQ(store->GetNumber("Number", found), 0xFFFFFFFEu);
        ASSERT_TRUE(store->SetNumber64("Number64", 0x1234567890));
        EXPECT_EQ(store->GetNumber64("Number64", found, 0), 0x1234567890u);
        ASSERT_TRUE(store->SetInt64("Int64", -5));
        EXPECT_EQ(store->GetInt64("Int64", found, 0), -5);
        ASSERT_TRUE(store->SetBool("Bool", true));
        EXPECT_TRUE(store->GetBool("Bool", found));
        ASSERT_TRUE(store->SetPath("Path", FileLocation("/var/lib/kvrrelay/wwwroot")));
        EXPECT_EQ(store->GetPath("Path", found).GetPathString(), "/var/lib/kvrrelay/wwwroot");
        EXPECT_TRUE(store->GetPath("Missing", found).IsEmpty());
        store->GetText("Missing", found);
        EXPECT_FALSE(found);
        EXPECT_TRUE(store->Flush());
        EXPECT_TRUE(store->ClearEffectiveDates());
    }
    bool found = false;
    EXPECT_EQ(client.GetNumber("Text", found), 0u);
    EXPECT_FALSE(found);
    ASSERT_TRUE(client.SetText("Big", Text("18446744073709551615")));
    EXPECT_EQ(client.GetInt64("Big", found, 0), 0);
    EXPECT_FALSE(found);
    EXPECT_EQ(client.GetInt64("Big", found, kAcceptUnsignedNumber), -1);
    EXPECT_TRUE(found);
    ASSERT_TRUE(client.SetNumber("Two", 2));
    client.GetBool("Two", found);
    EXPECT_FALSE(found);

    EXPECT_EQ(gather.GetNumber64("Number", found, 0), 0u);
    EXPECT_FALSE(found);
    EXPECT_EQ(gather.GetNumber64("Number", found, kAcceptDWordNumber), 0xFFFFFFFEu);
    EXPECT_TRUE(found);
    PosixPlatform::PosixKVRSubsectionStore missing(RegistryRoot::LocalMachine, "Software\\Nowhere");
    EXPECT_THROW(missing.Flush(), Posix::Error);
}
