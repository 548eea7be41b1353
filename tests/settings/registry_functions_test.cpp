#include "settings/registry_functions.h"

#include <gtest/gtest.h>

#include <cstring>

#include "platform/system_error.h"
#include "support/temporary_registry.h"

namespace {

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;
constexpr const char* kKey = "Software\\Veltra\\Test";

class RegistryFunctionsTest : public ::testing::Test {
  protected:
    void SetUp() override {
        WriteWholeFile(m_registry.MachineHivePath(),
                       "REGEDIT4\n[HKLM\\Software\\Veltra\\Test]\n"
                       "\"Text\"=\"abcdef\"\n"
                       "\"WithNul\"=hex(1):61,62,00\n"
                       "\"Empty\"=\"\"\n"
                       "\"Number\"=dword:fffffffe\n"
                       "\"Short\"=hex(4):01,02\n"
                       "\"Bytes\"=hex:01,02,03\n"
                       "[HKLM\\Software\\Veltra\\Test\\B]\n[HKLM\\Software\\Veltra\\Test\\a]\n");
    }

    TemporaryRegistry m_registry;
};

}  // namespace

TEST_F(RegistryFunctionsTest, ReadRegistryStringTerminatesWithinItsBuffer) {
    struct Case {
        const char* name;
        std::uint32_t size;
        bool result;
        std::uint32_t sizeAfter;
        const char* text;
    } cases[] = {
        {"Text", 7, true, 6, "abcdef"}, {"Text", 6, false, 6, ""},   {"WithNul", 4, true, 2, "ab"},
        {"Empty", 1, true, 0, ""},      {"Number", 8, false, 8, ""}, {"Missing", 8, false, 8, ""},
        {"Text", 0, false, 0, ""},
    };
    for (const Case& c : cases) {
        char buffer[16] = {};
        std::uint32_t size = c.size;
        EXPECT_EQ(ReadRegistryString(kMachine, kKey, c.name, buffer, size), c.result)
            << c.name << " " << c.size;
        if (c.result) {
            EXPECT_EQ(size, c.sizeAfter) << c.name;
            EXPECT_STREQ(buffer, c.text) << c.name;
        }
    }
    std::uint32_t needed = 0;
    EXPECT_TRUE(ReadRegistryString(kMachine, kKey, "Text", nullptr, needed));
    EXPECT_EQ(needed, 7u);
}

TEST_F(RegistryFunctionsTest, TypedReadsRefuseOtherTypes) {
    int number = 0;
    EXPECT_TRUE(ReadRegistryDWORD(kMachine, kKey, "Number", number));
    EXPECT_EQ(number, -2);
    EXPECT_FALSE(ReadRegistryDWORD(kMachine, kKey, "Short", number));
    EXPECT_FALSE(ReadRegistryDWORD(kMachine, kKey, "Text", number));
    EXPECT_FALSE(ReadRegistryDWORD(kMachine, "Software\\Missing", "Number", number));

    unsigned char bytes[3];
    std::uint32_t size = sizeof bytes;
    EXPECT_TRUE(ReadRegistryBinary(kMachine, kKey, "Bytes", bytes, size));
    EXPECT_EQ(size, 3u);
    size = 2;
    EXPECT_FALSE(ReadRegistryBinary(kMachine, kKey, "Bytes", bytes, size));
    EXPECT_EQ(size, 3u);
    size = sizeof bytes;
    EXPECT_FALSE(ReadRegistryStringRaw(kMachine, kKey, "Bytes", bytes, size));
    EXPECT_FALSE(ReadRegistryDWORDRaw(kMachine, kKey, "Text", bytes, size));
}

TEST_F(RegistryFunctionsTest, ReadRegistryTextThrowsOneClassPerFailure) {
    EXPECT_STREQ(ReadRegistryText(kMachine, kKey, "Text").GetCString(), "abcdef");
    EXPECT_STREQ(ReadRegistryText(kMachine, "SOFTWARE\\veltra\\test\\", "withnul").GetCString(), "ab");
    EXPECT_THROW(ReadRegistryText(kMachine, kKey, "Empty"), Posix::RegistryValueIsEmpty);
    EXPECT_THROW(ReadRegistryText(kMachine, kKey, "Number"), Posix::WrongRegistryType);
    try {
        ReadRegistryText(kMachine, kKey, "Missing");
        ADD_FAILURE() << "no exception";
    } catch (const Posix::Error& error) {
        EXPECT_EQ(error.Code(), ENOENT);
    }
    EXPECT_THROW(OpenRegistryKey(kMachine, "Software\\Missing", RegistryAccess::Read), Posix::Error);
    EXPECT_STREQ(Posix::WrongRegistryType().what(), "class Posix::WrongRegistryType");

    RegistryKey key = OpenRegistryKey(kMachine, kKey, RegistryAccess::Read);
    Stringy text;
    EXPECT_TRUE(TryReadRegistryText(key, "Text", text));
    EXPECT_STREQ(text.GetCString(), "abcdef");
    EXPECT_FALSE(TryReadRegistryText(key, "Number", text));
    char buffer[2];
    RegistryValueInfo info = QueryRegistryValue(key, "Number", nullptr, 0);
    EXPECT_EQ(info.type, RegistryType::DWord);
    EXPECT_EQ(info.size, 4u);
    try {
        QueryRegistryValue(key, "Text", buffer, sizeof buffer);
        ADD_FAILURE() << "no exception";
    } catch (const Posix::Error& error) {
        EXPECT_EQ(error.Code(), ERANGE);
    }
}

TEST_F(RegistryFunctionsTest, SubkeysEnumerateInNameOrder) {
    RegistryKey key = OpenRegistryKey(kMachine, kKey, RegistryAccess::Read);
    RegistrySubkeyInfo info;
    ASSERT_TRUE(NextRegistrySubkey(key, 0, info));
    EXPECT_STREQ(info.name.GetCString(), "a");
    ASSERT_TRUE(NextRegistrySubkey(key, 1, info));
    EXPECT_STREQ(info.name.GetCString(), "B");
    EXPECT_FALSE(NextRegistrySubkey(key, 2, info));
    RegistryKey none;
    EXPECT_THROW(NextRegistrySubkey(none, 0, info), Posix::Error);
}

TEST_F(RegistryFunctionsTest, WritesCreateTheirKey) {
    EXPECT_TRUE(WriteRegistryDWORD(kMachine, "Software\\New\\Key", "N", 5, true));
    int number = 0;
    EXPECT_TRUE(ReadRegistryDWORD(kMachine, "Software\\New\\Key", "N", number));
    EXPECT_EQ(number, 5);
    EXPECT_TRUE(WriteRegistryString(kMachine, "Software\\New\\Key", "S", nullptr));
    EXPECT_STREQ(ReadRegistryText(kMachine, kKey, "Text").GetCString(), "abcdef");
    EXPECT_TRUE(WriteRegistryBinary(kMachine, "Software\\New", "B", "\x01\x02", 2));
    EXPECT_FALSE(WriteRegistryString(kMachine, "Software\\\\Bad", "S", "x"));
    EXPECT_FALSE(WriteRegistryString(kMachine, "Software", "bad\nname", "x"));
    EXPECT_TRUE(EnsureRegistryKey(kMachine, "Software\\Other"));
    EXPECT_TRUE(EnsureRegistryKey(kMachine, "Software\\Other"));
    EXPECT_TRUE(CreateRegistryKey(kMachine, "Software\\Other\\Deeper"));
    RegistryKey key;
    EXPECT_EQ(TryOpenRegistryKey(kMachine, "software\\other\\deeper", key, RegistryAccess::Read), 0);
}
