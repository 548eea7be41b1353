#include "platform/regedit4_format.h"

#include <gtest/gtest.h>

using namespace PosixPlatform;

namespace {

std::string DataOf(const RegistryKeyNode& hive, const char* path, const char* name, RegistryType type) {
    RegistryPath keyPath;
    EXPECT_TRUE(ParseRegistryPath(path, keyPath));
    const RegistryKeyNode* key = hive.FindKey(keyPath);
    if (!key) return "<no key>";
    const RegistryValue* value = key->FindValue(name);
    if (!value) return "<no value>";
    EXPECT_EQ(value->type, type) << name;
    return value->data;
}

std::string HiveText(const RegistryKeyNode& hive) {
    std::string text = RegistryTextHeader();
    AppendRegistryText(text, hive, RegistryRoot::LocalMachine, {});
    return text;
}

}  // namespace

TEST(Regedit4Format, ReadsAWindowsExport) {
    const std::string exported =
        "REGEDIT4\r\n"
        "\r\n"
        "; exported from a relay\r\n"
        "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\KVRRelay\\HTTPServer]\r\n"
        "\"ThrottleKBPS\"=dword:0000000A\r\n"
        "\"ServerRootPath\"=\"C:\\\\Program Files\\\\wwwroot\"\r\n"
        "\"Quoted\"=\"say \\\"hi\\\"\"\r\n"
        "@=\"unnamed\"\r\n"
        "\"Stamp\"=hex:01,02,03,04,\\\r\n"
        "  05,06,07,08\r\n"
        "\"Multi\" = hex(7):61,00,00,00\r\n"
        "\"Short\"=dword:7\r\n";
    RegistryKeyNode hive = ParseRegistryHiveText(exported, RegistryRoot::LocalMachine);
    const char* key = "software\\veltra\\kvrrelay\\httpserver";
    EXPECT_EQ(DataOf(hive, key, "ThrottleKBPS", RegistryType::DWord), std::string("\x0a\0\0\0", 4));
    EXPECT_EQ(DataOf(hive, key, "ServerRootPath", RegistryType::String), "C:\\Program Files\\wwwroot");
    EXPECT_EQ(DataOf(hive, key, "Quoted", RegistryType::String), "say \"hi\"");
    EXPECT_EQ(DataOf(hive, key, "", RegistryType::String), "unnamed");
    EXPECT_EQ(DataOf(hive, key, "Stamp", RegistryType::Binary), "\x01\x02\x03\x04\x05\x06\x07\x08");
    EXPECT_EQ(DataOf(hive, key, "Multi", static_cast<RegistryType>(7)), std::string("a\0\0\0", 4));
    EXPECT_EQ(DataOf(hive, key, "Short", RegistryType::DWord), std::string("\x07\0\0\0", 4));
}

TEST(Regedit4Format, RefusesMalformedTextNamingTheLine) {
    struct Case {
        const char* text;
        const char* message;
    } cases[] = {
        {"", "line 0: the first line is not REGEDIT4"},
        {"Windows Registry Editor Version 5.00\n", "line 1: the first line is not REGEDIT4"},
        {"\xFF\xFEW\0", "line 0: UTF-16 text"},
        {"REGEDIT4\n\"a\"=\"b\"\n", "line 2: a value before the first key"},
        {"REGEDIT4\n[HKEY_CLASSES_ROOT\\x]\n", "line 2: unknown root key 'HKEY_CLASSES_ROOT'"},
        {"REGEDIT4\n[HKLM\\a\\\\b]\n", "line 2: invalid key path"},
        {"REGEDIT4\n[HKLM\\a\n", "line 2: a key line must end with ']'"},
        {"REGEDIT4\n[-HKLM]\n", "line 2: a root key cannot be deleted"},
        {"REGEDIT4\n[-HKLM\\a]\n\"v\"=\"x\"\n", "line 3: a value under a deleted key"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=\"x\n", "line 3: missing closing '\"'"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=\"C:\\x\"\n", "line 3: only \\\\ and \\\" are escapes"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=\"a\x01\"\n", "line 3: a control byte inside quotes"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=dword:123456789\n", "line 3: too many hex digits"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=dword:\n", "line 3: hex digits expected"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=hex:01 02\n", "line 3: ',' expected between bytes"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=hex:123\n", "line 3: too many hex digits"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=hex:01,\\", "line 3: the file ends after a line continuation"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=hex(2:01\n", "line 3: \"hex(N):\" expected"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=word:1\n", "line 3: unknown value data"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\"=\"x\" trailing\n", "line 3: unexpected text after the value"},
        {"REGEDIT4\n[HKLM\\a]\n\"v\" \"x\"\n", "line 3: '=' expected"},
        {"REGEDIT4\n[HKLM\\a]\nv=1\n", "line 3: neither a key nor a value"},
        {"REGEDIT4\n[HKLM\\a]\n\"\t\"=\"x\"\n", "line 3: invalid value name"},
    };
    for (const Case& c : cases) {
        try {
            ParseRegistryText(c.text);
            ADD_FAILURE() << "accepted: " << c.text;
        } catch (const RegistryTextError& error) {
            EXPECT_TRUE(std::string(error.what()).starts_with(c.message)) << error.what();
        }
    }
}

TEST(Regedit4Format, AHiveHoldsOnlyItsOwnRoot) {
    EXPECT_NO_THROW(ParseRegistryHiveText("REGEDIT4\n[HKCU\\a]\n", RegistryRoot::CurrentUser));
    EXPECT_THROW(ParseRegistryHiveText("REGEDIT4\n[HKCU\\a]\n", RegistryRoot::LocalMachine),
                 RegistryTextError);
}

TEST(Regedit4Format, WrittenTextParsesBackToTheSameTree) {
    RegistryKeyNode hive(RegistryRootName(RegistryRoot::LocalMachine));
    hive.SetValue("at the root", RegistryType::String, "x");
    RegistryKeyNode& key = hive.EnsureKey({"Software", "Odd ]Names[", "a\"b;c=d"});
    key.SetValue("", RegistryType::String, "");
    key.SetValue("quote\" and \\ back", RegistryType::String, "tab\there \\ \"q\" é");
    key.SetValue("line break", RegistryType::String, "two\nlines\r\0nul");
    key.SetValue("dword", RegistryType::DWord, std::string("\xff\0\0\x80", 4));
    key.SetValue("short dword", RegistryType::DWord, "ab");
    key.SetValue("empty binary", RegistryType::Binary, "");
    key.SetValue("long binary", RegistryType::Binary, std::string(300, '\x5a'));
    key.SetValue("odd type", static_cast<RegistryType>(0x12345678), "zz");
    hive.EnsureKey({"Software", "empty leaf"});

    std::string text = HiveText(hive);
    RegistryKeyNode parsed = ParseRegistryHiveText(text, RegistryRoot::LocalMachine);
    EXPECT_TRUE(parsed == hive) << text;
    EXPECT_EQ(HiveText(parsed), text);
    for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos; start = end + 1)
        EXPECT_LE(end - start, 80u) << text.substr(start, end - start);
}

TEST(Regedit4Format, DeletionLinesApplyInOrder) {
    RegistryKeyNode hive = ParseRegistryHiveText(
        "REGEDIT4\n[HKLM\\a\\b\\c]\n\"v\"=\"1\"\n[HKLM\\a\\d]\n\"v\"=\"1\"\n\"w\"=\"2\"\n",
        RegistryRoot::LocalMachine);
    RegistryScript script =
        ParseRegistryText("REGEDIT4\n[-HKLM\\A\\B]\n[HKLM\\a\\d]\n\"W\"=-\n[-HKLM\\none\\x]\n");
    ApplyRegistryScript(script, RegistryRoot::LocalMachine, hive);
    EXPECT_EQ(HiveText(hive),
              "REGEDIT4\n\n[HKEY_LOCAL_MACHINE\\a]\n\n[HKEY_LOCAL_MACHINE\\a\\d]\n\"v\"=\"1\"\n\n");
}
