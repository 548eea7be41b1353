#include "support/temporary_folder.h"

#include <stdlib.h>

#include <filesystem>
#include <stdexcept>

TemporaryFolder::TemporaryFolder() {
    const char* root = std::getenv("KVR_TEST_TMPDIR");
    std::filesystem::path base = root && *root ? root : std::filesystem::temp_directory_path().string();
    std::filesystem::create_directories(base);
    std::string pattern = (base / "testXXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("cannot make a test folder under " + base.string());
    m_path = pattern;
}

TemporaryFolder::~TemporaryFolder() {
    std::error_code ignored;
    std::filesystem::remove_all(m_path, ignored);
}
