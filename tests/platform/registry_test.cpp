#include "platform/registry.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <thread>

#include "support/capturing_critical_log.h"
#include "support/temporary_registry.h"

using namespace PosixPlatform;

namespace {

constexpr RegistryRoot kMachine = RegistryRoot::LocalMachine;

class RegistryTest : public ::testing::Test {
  protected:
    // The machine hive as a process that never saw it before reads it from the file.
    RegistryKeyNode TreeFromFile() {
        return ParseRegistryHiveText(ReadWholeFile(m_registry.MachineHivePath()), kMachine);
    }

    RegistryKeyHandle CreateKey(const char* path) {
        RegistryKeyHandle key;
        EXPECT_EQ(RegistryKeyHandle::Create(kMachine, path, key), 0) << path;
        return key;
    }

    std::uint32_t ReadCounter(const RegistryKeyHandle& key) {
        RegistryType type;
        std::string data;
        if (key.QueryValue("Counter", type, data) != 0 || data.size() != 4) return 0;
        std::uint32_t number;
        std::memcpy(&number, data.data(), 4);
        return number;
    }

    TemporaryRegistry m_registry;
};

// Runs `work` in a child process and returns its pid; the child exits 0 when `work` returns true.
template <typename Work>
pid_t RunInChild(Work work) {
    pid_t pid = ::fork();
    if (pid == 0) ::_exit(work() ? 0 : 1);
    return pid;
}

int ExitStatusOf(pid_t pid) {
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

TEST_F(RegistryTest, EveryTypeAndNameRoundTripsThroughTheFile) {
    const char* names[] = {"Plain", "", "with \"quotes\" and \\ backslash", "= ; [x] @", "ünïcode"};
    const RegistryValue values[] = {
        {"", RegistryType::String, "wwwroot"},
        {"", RegistryType::String, ""},
        {"", RegistryType::String, "line\nbreak and \\\"escapes\""},
        {"", RegistryType::DWord, std::string("\x01\x00\x00\x80", 4)},
        {"", RegistryType::Binary, "\x01\x02\x03\x04\x05\x06\x07\x08"},
        {"", RegistryType::Binary, ""},
        {"", static_cast<RegistryType>(7), std::string("a\0b\0\0", 5)},
        {"", static_cast<RegistryType>(11), std::string(8, '\xff')},
    };
    RegistryKeyHandle key = CreateKey("Software\\Veltra\\Types");
    for (const char* name : names) {
        for (const RegistryValue& value : values) {
            ASSERT_EQ(key.SetValue(name, value.type, value.data), 0);
            RegistryPath path;
            ASSERT_TRUE(ParseRegistryPath("Software\\Veltra\\Types", path));
            RegistryKeyNode tree = TreeFromFile();
            const RegistryValue* stored = tree.FindKey(path)->FindValue(name);
            ASSERT_NE(stored, nullptr) << name;
            EXPECT_EQ(stored->name, name);
            EXPECT_EQ(stored->type, value.type) << name;
            EXPECT_EQ(stored->data, value.data) << name;
        }
    }
}

TEST_F(RegistryTest, LookupsIgnoreCaseAndATrailingBackslash) {
    RegistryKeyHandle created = CreateKey("Software\\Veltra\\KVRRelay\\HTTPServer");
    ASSERT_EQ(created.SetValue("ServerRootPath", RegistryType::String, "wwwroot"), 0);
    for (const char* path :
         {"SOFTWARE\\veltra\\kvrrelay\\httpserver", "Software\\Veltra\\KVRRelay\\HTTPServer\\"}) {
        RegistryKeyHandle key;
        ASSERT_EQ(RegistryKeyHandle::Open(kMachine, path, RegistryAccess::Read, key), 0) << path;
        RegistryType type;
        std::string data;
        ASSERT_EQ(key.QueryValue("SERVERROOTPATH", type, data), 0);
        EXPECT_EQ(data, "wwwroot");
    }
    // A second spelling finds the first one, which keeps its spelling.
    RegistryKeyHandle again = CreateKey("software\\VELTRA");
    ASSERT_EQ(again.SetValue("serverrootpath", RegistryType::String, "x"), 0);
    EXPECT_EQ(TreeFromFile().SubkeyAt(0).SubkeyAt(0).Name(), "Veltra");
}

TEST_F(RegistryTest, ResultCodes) {
    RegistryKeyHandle parent = CreateKey("Software\\Parent\\Child");
    ASSERT_EQ(RegistryKeyHandle::Open(kMachine, "Software\\Parent", RegistryAccess::ReadWrite, parent), 0);
    RegistryKeyHandle reader;
    ASSERT_EQ(RegistryKeyHandle::Open(kMachine, "Software", RegistryAccess::Read, reader), 0);
    RegistryKeyHandle none;
    RegistryType type;
    std::string data;
    std::string name;
    EXPECT_EQ(RegistryKeyHandle::Open(kMachine, "Software\\Missing", RegistryAccess::Read, none), ENOENT);
    EXPECT_EQ(RegistryKeyHandle::Open(kMachine, "Software\\\\Parent", RegistryAccess::Read, none), EINVAL);
    EXPECT_EQ(RegistryKeyHandle::Create(kMachine, "\\Software", none), EINVAL);
    EXPECT_FALSE(none.IsOpen());
    EXPECT_EQ(parent.QueryValue("missing", type, data), ENOENT);
    EXPECT_EQ(parent.DeleteValue("missing"), ENOENT);
    EXPECT_EQ(parent.SetValue("bad\nname", RegistryType::String, "x"), EINVAL);
    EXPECT_EQ(reader.SetValue("x", RegistryType::String, "x"), EACCES);
    EXPECT_EQ(reader.DeleteSubkey("Parent"), EACCES);
    EXPECT_EQ(reader.EnumerateSubkey(1, name), kRegistryNoMoreItems);
    ASSERT_EQ(RegistryKeyHandle::Open(kMachine, "", RegistryAccess::ReadWrite, none), 0);
    EXPECT_EQ(none.DeleteSubkey("Software"), ENOTEMPTY);
    EXPECT_EQ(parent.DeleteSubkey("Child"), 0);
    EXPECT_EQ(parent.DeleteSubkey("Child"), ENOENT);
    EXPECT_EQ(none.DeleteSubkey("Software\\Parent"), EINVAL);
    EXPECT_EQ(parent.Flush(), 0);
    RegistryKeyHandle software;
    ASSERT_EQ(RegistryKeyHandle::Open(kMachine, "Software", RegistryAccess::ReadWrite, software), 0);
    ASSERT_EQ(software.DeleteSubkey("Parent"), 0);
    EXPECT_EQ(parent.Flush(), ENOENT);
    EXPECT_EQ(parent.SetValue("x", RegistryType::String, "x"), ENOENT);
}

TEST_F(RegistryTest, SubkeysEnumerateInNameOrderAndStepBackAfterDelete) {
    RegistryKeyHandle settings = CreateKey("Settings");
    for (const char* name : {"delta", "Alpha", "charlie", "Bravo", "echo"})
        CreateKey((std::string("Settings\\") + name).c_str());
    std::vector<std::string> visited;
    std::string name;
    for (std::uint32_t index = 0; settings.EnumerateSubkey(index, name) == 0; ++index) {
        visited.push_back(name);
        if (name == "Bravo" || name == "charlie") {
            ASSERT_EQ(settings.DeleteSubkey(name), 0);
            --index;
        }
    }
    EXPECT_EQ(visited, (std::vector<std::string>{"Alpha", "Bravo", "charlie", "delta", "echo"}));
    EXPECT_EQ(settings.EnumerateSubkey(2, name), 0);
    EXPECT_EQ(name, "echo");
    EXPECT_EQ(settings.EnumerateSubkey(3, name), kRegistryNoMoreItems);
}

TEST_F(RegistryTest, AChangeByAnotherWriterIsSeenAtTheNextRead) {
    RegistryKeyHandle key = CreateKey("Software\\Veltra");
    ASSERT_EQ(key.SetValue("Name", RegistryType::String, "first"), 0);
    WriteWholeFile(m_registry.MachineHivePath(), "REGEDIT4\n[HKLM\\Software\\Veltra]\n\"Name\"=\"second\"\n");
    RegistryType type;
    std::string data;
    ASSERT_EQ(key.QueryValue("Name", type, data), 0);
    EXPECT_EQ(data, "second");
    std::filesystem::remove(m_registry.MachineHivePath());
    EXPECT_EQ(key.QueryValue("Name", type, data), ENOENT);
}

TEST_F(RegistryTest, AnUnparsableHiveKeepsTheLastGoodTreeAndIsNeverOverwritten) {
    RegistryKeyHandle key = CreateKey("Software\\Veltra");
    ASSERT_EQ(key.SetValue("Name", RegistryType::String, "good"), 0);
    const std::string broken = "REGEDIT4\n[HKLM\\Software\\Veltra]\n\"Name\"=\"half written\n";
    WriteWholeFile(m_registry.MachineHivePath(), broken);
    CapturingCriticalLog log;

    RegistryType type;
    std::string data;
    ASSERT_EQ(key.QueryValue("Name", type, data), 0);
    EXPECT_EQ(data, "good");
    EXPECT_EQ(key.SetValue("Name", RegistryType::String, "new"), kRegistryHiveUnparsable);
    EXPECT_EQ(UpdateRegistryKey(kMachine, "Other", [](RegistryKeyNode&) { return 0; }),
              kRegistryHiveUnparsable);
    EXPECT_EQ(ReadWholeFile(m_registry.MachineHivePath()), broken);
    EXPECT_EQ(RegistryHive::Of(kMachine)->ParseFailure(), "line 3: missing closing '\"'");
    EXPECT_EQ(log.entries, std::vector<std::string>{"Registry hive " + m_registry.MachineHivePath() +
                                                    " cannot be parsed (line 3: missing closing '\"'); it is "
                                                    "left as it is and not written"});

    // A process that never saw a good tree gets the error instead of settings.
    RegistryHive fresh(m_registry.Folder(), "HKLM.reg", kMachine);
    std::shared_ptr<const RegistryKeyNode> tree;
    EXPECT_EQ(fresh.Read(tree), kRegistryHiveUnparsable);

    // Once mended by hand, the file is read and written again.
    WriteWholeFile(m_registry.MachineHivePath(), "REGEDIT4\n[HKLM\\Software\\Veltra]\n\"Name\"=\"mended\"\n");
    ASSERT_EQ(key.QueryValue("Name", type, data), 0);
    EXPECT_EQ(data, "mended");
    EXPECT_EQ(key.SetValue("Name", RegistryType::String, "new"), 0);
    EXPECT_EQ(RegistryHive::Of(kMachine)->ParseFailure(), "");
}

TEST_F(RegistryTest, TwoProcessesIncrementingOneValueLoseNoUpdate) {
    constexpr int kIncrements = 1000;
    RegistryKeyHandle key = CreateKey("Software\\Counter");
    auto incrementer = [&] {
        for (int i = 0; i < kIncrements; ++i) {
            int result = key.Update([](RegistryKeyNode& node) {
                std::uint32_t number = 0;
                if (const RegistryValue* value = node.FindValue("Counter"))
                    std::memcpy(&number, value->data.data(), 4);
                ++number;
                node.SetValue("Counter", RegistryType::DWord,
                              std::string(reinterpret_cast<char*>(&number), 4));
                return 0;
            });
            if (result != 0) return false;
        }
        return true;
    };
    pid_t first = RunInChild(incrementer);
    pid_t second = RunInChild(incrementer);
    EXPECT_EQ(ExitStatusOf(first), 0);
    EXPECT_EQ(ExitStatusOf(second), 0);
    EXPECT_EQ(ReadCounter(key), 2u * kIncrements);
}

TEST_F(RegistryTest, AWriterKilledBeforeItsRenameLeavesThePreviousHiveComplete) {
    RegistryKeyHandle key = CreateKey("Software\\Big");
    ASSERT_EQ(key.SetValue("Counter", RegistryType::DWord, std::string("\x07\0\0\0", 4)), 0);
    const std::string before = ReadWholeFile(m_registry.MachineHivePath());
    // A tree large enough that writing its temporary file takes a while.
    auto bigWrite = [&] {
        return key.Update([](RegistryKeyNode& node) {
            for (int i = 0; i < 2000; ++i)
                node.SetValue("v" + std::to_string(i), RegistryType::Binary, std::string(4000, 'x'));
            return 0;
        }) == 0;
    };
    bool killedBeforeRename = false;
    for (int attempt = 0; attempt < 10 && !killedBeforeRename; ++attempt) {
        pid_t writer = RunInChild(bigWrite);
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        std::filesystem::path temporary;
        while (temporary.empty() && std::chrono::steady_clock::now() < deadline) {
            for (const auto& entry : std::filesystem::directory_iterator(m_registry.Folder()))
                if (entry.path().filename().string().starts_with("veltra-HKLM.reg."))
                    temporary = entry.path();
        }
        ::kill(writer, SIGKILL);
        ExitStatusOf(writer);
        killedBeforeRename = !temporary.empty() && std::filesystem::exists(temporary);
        if (killedBeforeRename) {
            EXPECT_EQ(ReadWholeFile(m_registry.MachineHivePath()), before);
        }
        if (ReadWholeFile(m_registry.MachineHivePath()) != before) {  // the writer won the race: start again
            ASSERT_EQ(RegistryKeyHandle::Open(kMachine, "Software", RegistryAccess::ReadWrite, key), 0);
            ASSERT_EQ(key.DeleteSubkey("Big"), 0);
            key = CreateKey("Software\\Big");
            ASSERT_EQ(key.SetValue("Counter", RegistryType::DWord, std::string("\x07\0\0\0", 4)), 0);
        }
    }
    ASSERT_TRUE(killedBeforeRename);
    EXPECT_EQ(ReadCounter(key), 7u);
    // The next writer takes the lock the dead one held, clears its leftover and writes.
    ASSERT_EQ(key.SetValue("After", RegistryType::String, "ok"), 0);
    for (const auto& entry : std::filesystem::directory_iterator(m_registry.Folder()))
        EXPECT_FALSE(entry.path().filename().string().starts_with("veltra-")) << entry.path();
    EXPECT_EQ(ReadCounter(key), 7u);
}
