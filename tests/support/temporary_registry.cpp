#include "support/temporary_registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <stdexcept>

TemporaryRegistry::TemporaryRegistry() {
    const char* base = std::getenv("KVR_TEST_TMPDIR");
    std::string parent = base && *base ? base : "/tmp";
    std::filesystem::create_directories(parent);
    std::string pattern = parent + "/registry-XXXXXX";
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed under " + parent);
    m_folder = pattern;
    MakeCurrent();
}

void TemporaryRegistry::MakeCurrent() const {
    ::setenv("VELTRA_REGISTRY_DIR", m_folder.c_str(), 1);
}

TemporaryRegistry::~TemporaryRegistry() {
    ::unsetenv("VELTRA_REGISTRY_DIR");
    std::error_code ignored;
    std::filesystem::remove_all(m_folder, ignored);
}

std::string ReadWholeFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteWholeFile(const std::string& path, const std::string& content) {
    std::string temporary = path + ".test-edit";
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out << content;
    out.close();
    ASSERT_TRUE(out.good()) << "cannot write " << temporary;
    std::filesystem::rename(temporary, path);
}
