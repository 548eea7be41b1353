#include "platform/trusted_program.h"

#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/file_bytes.h"
#include "support/temporary_folder.h"

using PosixPlatform::RequireTrustedProgram;
using PosixPlatform::UntrustedProgram;

namespace {

// A folder "bin" (mode 0755) holding "plugin" (mode 0755) inside the test's folder.
class TrustedProgramTest : public ::testing::Test {
  protected:
    TrustedProgramTest() : m_bin(m_folder / "bin"), m_program(m_bin + "/plugin") {
        std::filesystem::create_directory(m_bin);
        ::chmod(m_bin.c_str(), 0755);
        WriteFileBytes(m_program, "#!/bin/sh\n");
        ::chmod(m_program.c_str(), 0755);
    }

    // The text of the refusal, or "" when the program is trusted.
    static std::string Refusal(const std::string& path) {
        try {
            RequireTrustedProgram(path);
            return "";
        } catch (const UntrustedProgram& refusal) {
            return refusal.what();
        }
    }

    TemporaryFolder m_folder;
    std::string m_bin;
    std::string m_program;
};

}  // namespace

TEST_F(TrustedProgramTest, GuardedProgramInGuardedFolderIsTrusted) {
    EXPECT_EQ(Refusal(m_program), "");
    EXPECT_EQ(Refusal("/usr/bin/env"), "");
    // The program would be run as the text up to the NUL byte.
    EXPECT_NE(Refusal(std::string("/usr/bin/env\0x", 14)).find("its path holds a NUL byte"),
              std::string::npos);
}

TEST_F(TrustedProgramTest, RefusesWhatOthersCouldChange) {
    std::filesystem::create_symlink(m_program, m_bin + "/link");
    std::filesystem::create_directory(m_folder / "open");
    ::chmod((m_folder / "open").c_str(), 0777);
    WriteFileBytes(m_folder / "open/plugin", "#!/bin/sh\n");
    ::chmod((m_folder / "open/plugin").c_str(), 0755);
    std::filesystem::create_directory_symlink(m_bin, m_folder / "linked-bin");

    const struct {
        std::string path;
        unsigned programMode;
        std::string reason;
    } cases[] = {
        {"bin/plugin", 0755, "its path is not absolute"},
        {"", 0755, "its path is not absolute"},
        {m_program, 0757, "the file is writable by its group or by others"},
        {m_program, 0775, "the file is writable by its group or by others"},
        {m_bin + "/link", 0755, "it is a symbolic link"},
        {m_bin, 0755, "it is not a regular file"},
        {m_bin + "/missing", 0755, "the file cannot be looked at (No such file or directory)"},
        {m_folder / "open/plugin", 0755, "its folder is writable by its group or by others"},
        {m_folder / "linked-bin/plugin", 0755, "is a symbolic link or no folder"},
    };
    for (const auto& each : cases) {
        ::chmod(m_program.c_str(), each.programMode);
        const std::string refusal = Refusal(each.path);
        EXPECT_NE(refusal.find("The program " + each.path + " may not be run: "), std::string::npos)
            << refusal;
        EXPECT_NE(refusal.find(each.reason), std::string::npos) << each.path << ": " << refusal;
    }
}

TEST_F(TrustedProgramTest, RefusesAnotherUsersProgram) {
    if (::geteuid() != 0) GTEST_SKIP() << "only root can give a file away";
    ASSERT_EQ(::chown(m_program.c_str(), 12345, 0), 0);
    EXPECT_NE(Refusal(m_program).find("the file is owned by user 12345, neither root nor the relay's user"),
              std::string::npos);
    ASSERT_EQ(::chown(m_program.c_str(), 0, 0), 0);
    ASSERT_EQ(::chown(m_bin.c_str(), 12345, 0), 0);
    EXPECT_NE(Refusal(m_program).find("its folder is owned by user 12345"), std::string::npos);
}
