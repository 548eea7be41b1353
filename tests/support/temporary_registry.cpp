#include "support/temporary_registry.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>

TemporaryRegistry::TemporaryRegistry() {
    MakeCurrent();
}

void TemporaryRegistry::MakeCurrent() const {
    ::setenv("VELTRA_REGISTRY_DIR", Folder().c_str(), 1);
}

TemporaryRegistry::~TemporaryRegistry() {
    ::unsetenv("VELTRA_REGISTRY_DIR");
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
