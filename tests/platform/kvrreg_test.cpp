#include <gtest/gtest.h>
#include <unistd.h>

#include "platform/regedit4_format.h"
#include "support/kvrreg_runner.h"
#include "support/temporary_registry.h"

using namespace PosixPlatform;

namespace {

const char kHandWritten[] =
    "REGEDIT4\r\n"
    "\r\n"
    "; settings of the relay on host 7\r\n"
    "[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\KVRRelay\\HTTPServer]\r\n"
    "\"ThrottleKBPS\"=dword:00000080\r\n"
    "\"ServerRootPath\"=\"wwwroot\"\r\n"
    "\"Stamp\"=hex:01,02,03,04,\\\r\n"
    "    05,06,07,08\r\n"
    "\r\n"
    "[HKLM\\Software\\Veltra\\KVRRelay\\Empty]\r\n"
    "[HKCU\\Software\\Veltra\\Tool]\r\n"
    "@=\"default\"\r\n"
    "\"Multi\"=hex(7):61,00,62,00,00\r\n";

std::string HiveFileOf(const TemporaryRegistry& registry, RegistryRoot root) {
    return registry.Folder() + (root == RegistryRoot::LocalMachine
                                    ? "/HKLM.reg"
                                    : "/HKCU-" + std::to_string(::getuid()) + ".reg");
}

RegistryKeyNode HiveOf(const TemporaryRegistry& registry, RegistryRoot root) {
    return ParseRegistryHiveText(ReadWholeFile(HiveFileOf(registry, root)), root);
}

}  // namespace

TEST(Kvrreg, ExportedTextImportsBackToTheSameTree) {
    TemporaryRegistry original;
    WriteWholeFile(original.Folder() + "/settings.reg", kHandWritten);
    KvrregRun import = RunKvrreg({"import", original.Folder() + "/settings.reg"});
    ASSERT_EQ(import.exitStatus, 0) << import.err;
    KvrregRun exported = RunKvrreg({"export"});
    ASSERT_EQ(exported.exitStatus, 0) << exported.err;
    EXPECT_NE(exported.out.find("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Veltra\\KVRRelay\\HTTPServer]\n"
                                "\"ThrottleKBPS\"=dword:00000080\n"),
              std::string::npos)
        << exported.out;

    TemporaryRegistry copy;
    WriteWholeFile(copy.Folder() + "/exported.reg", exported.out);
    KvrregRun reimport = RunKvrreg({"import", copy.Folder() + "/exported.reg"});
    ASSERT_EQ(reimport.exitStatus, 0) << reimport.err;
    for (RegistryRoot root : {RegistryRoot::LocalMachine, RegistryRoot::CurrentUser})
        EXPECT_TRUE(HiveOf(copy, root) == HiveOf(original, root)) << RegistryRootName(root);
    EXPECT_EQ(RunKvrreg({"export"}).out, exported.out);
}

TEST(Kvrreg, CommandsReadAndEditTheHive) {
    TemporaryRegistry registry;
    const std::string key = "HKLM\\Software\\Veltra\\KVRRelay\\HTTPServer";
    struct Step {
        std::vector<std::string> arguments;
        int exitStatus;
        std::string out;
    } steps[] = {
        {{"set", key, "ThrottleKBPS", "dword", "0x80"}, 0, ""},
        {{"set", key, "ServerRootPath", "REG_SZ", "C:\\wwwroot \"x\""}, 0, ""},
        {{"set", key, "Stamp", "binary", "01,02,ff"}, 0, ""},
        {{"set", key, "@", "string", "unnamed"}, 0, ""},
        {{"get", "hkey_local_machine\\software\\veltra\\kvrrelay\\httpserver\\", "throttlekbps"}, 0, "128\n"},
        {{"get", key, "ServerRootPath"}, 0, "C:\\wwwroot \"x\"\n"},
        {{"get", key, "Stamp"}, 0, "01,02,ff\n"},
        {{"get", key},
         0,
         "\"ThrottleKBPS\"=dword:00000080\n\"ServerRootPath\"=\"C:\\\\wwwroot \\\"x\\\"\"\n"
         "\"Stamp\"=hex:01,02,ff\n@=\"unnamed\"\n"},
        {{"list", "HKLM\\Software\\Veltra"}, 0, "KVRRelay\n"},
        {{"delete", "HKLM\\Software\\Veltra\\KVRRelay"}, 1, ""},
        {{"delete", key, "Stamp"}, 0, ""},
        {{"delete", key, "Stamp"}, 1, ""},
        {{"get", key, "Stamp"}, 1, ""},
        {{"delete", key}, 0, ""},
        {{"list", "HKLM\\Software\\Veltra\\KVRRelay"}, 0, ""},
        {{"list", key}, 1, ""},
        {{"set", key, "n", "dword", "4294967296"}, 2, ""},
        {{"set", key, "n", "binary", "0g"}, 2, ""},
        {{"set", key, "n", "qword", "1"}, 2, ""},
        {{"set", "HKEY_USERS\\x", "n", "string", "1"}, 2, ""},
        {{"bogus"}, 2, ""},
        {{}, 2, ""},
    };
    for (const Step& step : steps) {
        KvrregRun run = RunKvrreg(step.arguments);
        std::string shown = step.arguments.empty() ? "" : step.arguments[0];
        EXPECT_EQ(run.exitStatus, step.exitStatus) << shown << ": " << run.err;
        EXPECT_EQ(run.out, step.out) << shown;
        EXPECT_EQ(run.err.empty(), step.exitStatus == 0) << shown << ": " << run.err;
    }
    KvrregRun help = RunKvrreg({"--help"});
    EXPECT_EQ(help.exitStatus, 0);
    for (const char* command : {"get KEY [VALUE]", "set KEY VALUE TYPE DATA", "delete KEY [VALUE]",
                                "list KEY", "import FILE.reg", "export [KEY]"})
        EXPECT_NE(help.out.find(command), std::string::npos) << command;
}

TEST(Kvrreg, AFileWithAnErrorChangesNothing) {
    TemporaryRegistry registry;
    ASSERT_EQ(RunKvrreg({"set", "HKLM\\Software\\A", "v", "string", "kept"}).exitStatus, 0);
    const std::string before = ReadWholeFile(registry.MachineHivePath());
    WriteWholeFile(registry.Folder() + "/bad.reg",
                   "REGEDIT4\n[HKLM\\Software\\A]\n\"v\"=\"new\"\n\"w\"=dword:xyz\n");
    KvrregRun run = RunKvrreg({"import", registry.Folder() + "/bad.reg"});
    EXPECT_EQ(run.exitStatus, 1);
    EXPECT_NE(run.err.find("bad.reg: line 4: hex digits expected"), std::string::npos) << run.err;
    EXPECT_EQ(ReadWholeFile(registry.MachineHivePath()), before);
    EXPECT_EQ(RunKvrreg({"import", registry.Folder() + "/missing.reg"}).exitStatus, 1);
}
